#include "failure_log.h"

#include "application_identity.h"

#include <windows.h>

namespace potpanel {

void logFailure(const std::string& text)
{
    HANDLE errors = ::GetStdHandle(STD_ERROR_HANDLE);
    if (errors && errors != INVALID_HANDLE_VALUE && ::GetFileType(errors) != FILE_TYPE_UNKNOWN) {
        const std::string line = std::string(applicationName) + ": " + text + "\n";
        DWORD written = 0;
        ::WriteFile(errors, line.data(), DWORD(line.size()), &written, nullptr);
    }
}

} // namespace potpanel
