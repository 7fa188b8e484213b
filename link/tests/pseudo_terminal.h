#pragma once

#include <QByteArray>
#include <chrono>
#include <string>

namespace potpanel {

// A pseudo-terminal pair from openpty(): the slave stands in for a serial device,
// the master is the far end of its line. The slave stays open here as well, so
// that its settings can be read back and the far end keeps what was written
// after the link has closed.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();

    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    // "LCK..pts_3" for /dev/pts/3: the name of its UUCP lock file.
    std::string lockFileName() const;
    int slave() const { return slave_; }
    int master() const { return master_; }

    // Reads at the far end until `count` bytes have come or none came for `patience`.
    QByteArray read(qsizetype count,
                    std::chrono::milliseconds patience = std::chrono::seconds(2)) const;
    // Hangs up the far end, like a cable pulled out.
    void closeMaster();

private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

} // namespace potpanel
