#pragma once

#include <string_view>
#include <vector>
#include <windows.h>

struct IAccPropServices;

namespace potpanel {

// Names and descriptions that screen readers take for controls, set through
// Active Accessibility's annotations, which UI Automation reads too. Where the
// system offers no annotation service, the controls keep what Windows gives
// them: a label's text names the control after it in the window order.
class AccessibleAnnotations
{
public:
    AccessibleAnnotations();
    ~AccessibleAnnotations();

    AccessibleAnnotations(const AccessibleAnnotations&) = delete;
    AccessibleAnnotations& operator=(const AccessibleAnnotations&) = delete;

    // An empty text leaves that property as Windows has it.
    void annotate(HWND control, std::string_view name, std::string_view description);
    // Before the controls go: the system keeps annotations past their windows.
    void clear();

private:
    bool comStarted_ = false;
    IAccPropServices* services_ = nullptr;
    std::vector<HWND> annotated_;
};

} // namespace potpanel
