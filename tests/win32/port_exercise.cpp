// Drives the Windows serial port for the tests under Wine, where only it can be reached: opens
// DEVICE with SETTINGS, then takes each STEP in turn (rts, write:N for N bytes counting up from 0
// modulo 251, close) and prints "STEP: ok" or "STEP: failed: why", ending at the first failure.
#include "win32_serial_port.h"

#include <cstdio>
#include <string>

using namespace potpanel;

int main(int argc, char* argv[])
{
    Win32SerialPort port;
    for (int at = 2; at < argc; ++at) {
        const std::string step = at == 2 ? "open" : argv[at];
        try {
            std::string bytes(step.starts_with("write:") ? std::stoul(step.substr(6)) : 0, '\0');
            for (std::size_t n = 0; n < bytes.size(); ++n)
                bytes[n] = char(n % 251);
            if (step == "open")
                port.open(argv[1], parseLineSettings(argv[2]));
            else if (step == "rts")
                port.setRts(true);
            else if (step == "close")
                port.close();
            else
                port.write(bytes);
            std::printf("%s: ok\n", step.c_str());
        } catch (const std::exception& failure) {
            std::printf("%s: failed: %s\n", step.c_str(), failure.what());
            return 1;
        }
        std::fflush(stdout);
    }
}
