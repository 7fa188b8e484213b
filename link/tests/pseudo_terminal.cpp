#include "pseudo_terminal.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace potpanel {

PseudoTerminal::PseudoTerminal()
{
    if (::openpty(&master_, &slave_, nullptr, nullptr, nullptr) != 0)
        throw std::runtime_error(std::string("openpty: ") + std::strerror(errno));
    slavePath_ = ::ttyname(slave_);
}

PseudoTerminal::~PseudoTerminal()
{
    closeMaster();
    ::close(slave_);
}

std::string PseudoTerminal::lockFileName() const
{
    std::string name = slavePath_.substr(std::strlen("/dev/"));
    for (char& c : name)
        if (c == '/')
            c = '_';
    return "LCK.." + name;
}

QByteArray PseudoTerminal::read(qsizetype count, std::chrono::milliseconds patience) const
{
    QByteArray received;
    char chunk[4096];
    while (received.size() < count) {
        pollfd ready{master_, POLLIN, 0};
        if (::poll(&ready, 1, static_cast<int>(patience.count())) <= 0)
            break;
        const ssize_t got = ::read(master_, chunk, sizeof chunk);
        if (got <= 0)
            break;
        received.append(chunk, got);
    }
    return received;
}

void PseudoTerminal::closeMaster()
{
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

} // namespace potpanel
