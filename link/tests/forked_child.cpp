#include "forked_child.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace potpanel {
namespace {

// How long a child waits to be let go before it gives up on its parent.
constexpr int childPatienceMs = 20'000;

void writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
        if (wrote <= 0)
            return;
        done += static_cast<std::size_t>(wrote);
    }
}

} // namespace

ForkedChild::ForkedChild(const std::function<void(const Report& report)>& work)
{
    int toParent[2];
    int release[2];
    if (::pipe2(toParent, O_CLOEXEC) != 0 || ::pipe2(release, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
    pid_ = ::fork();
    if (pid_ < 0)
        throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
    if (pid_ == 0) {
        ::close(toParent[0]);
        ::close(release[1]);
        const Report report = [&](const std::string& line) {
            writeAll(toParent[1], line + '\n');
            // Hold on until the parent closes its end (or is gone).
            pollfd letGo{release[0], POLLIN, 0};
            ::poll(&letGo, 1, childPatienceMs);
        };
        try {
            work(report);
        } catch (const std::exception& error) {
            writeAll(toParent[1], std::string("child failed: ") + error.what() + '\n');
        }
        // Skips the parent's exit handlers and test framework teardown.
        ::_exit(0);
    }
    ::close(toParent[1]);
    ::close(release[0]);
    fromChild_ = toParent[0];
    releaseChild_ = release[1];
}

ForkedChild::~ForkedChild()
{
    ::close(releaseChild_);
    ::close(fromChild_);
    for (int waited = 0; waited < 5'000; waited += 10) {
        if (::waitpid(pid_, nullptr, WNOHANG) == pid_)
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
}

std::string ForkedChild::report(std::chrono::milliseconds patience)
{
    std::string line;
    char c = 0;
    for (;;) {
        pollfd ready{fromChild_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(patience.count())) <= 0)
            return line;
        if (::read(fromChild_, &c, 1) != 1 || c == '\n')
            return line;
        line += c;
    }
}

} // namespace potpanel
