#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <sys/types.h>

namespace potpanel {

// A forked copy of this process that runs one piece of work, such as holding a
// port or opening one with fewer privileges. The work hands its report line to
// `report`, which returns once the parent lets the child go; the child then
// unwinds (closing what it holds) and exits. The parent never waits unbounded
// and always reaps the child.
class ForkedChild
{
public:
    using Report = std::function<void(const std::string& line)>;

    explicit ForkedChild(const std::function<void(const Report& report)>& work);
    ~ForkedChild();

    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    pid_t pid() const { return pid_; }
    // The child's report line; empty if none came within `patience`.
    std::string report(std::chrono::milliseconds patience = std::chrono::seconds(5));

private:
    pid_t pid_ = -1;
    int fromChild_ = -1;
    int releaseChild_ = -1;
};

} // namespace potpanel
