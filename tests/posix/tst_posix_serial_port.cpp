// The serial port on real pseudo-terminals: the bytes and settings that reach
// the far end, the lock file it holds, the lock files of others it will not
// trust, the stale one it clears, how it fails, and how it sees the far end go.

#include "lock_file.h"
#include "posix_serial_port.h"
#include "wiper_frame.h"

#include <QFile>
#include <QTest>
#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/fsuid.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace potpanel;

namespace {

// A pseudo-terminal pair: the slave stands for COM1, the master is the far end. The slave is open
// here only for a moment at a time, since whoever keeps it open holds the port. It belongs to the
// user's own group rather than to tty, which marks a login session's terminal.
struct PseudoTerminal
{
    int master = -1;
    std::string device;

    PseudoTerminal()
    {
        char name[64];
        int slave = -1;
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        device = name;
        // As an earlier program may leave it: cooked, two stop bits, hardware and software flow
        // control, 1200 baud (so that a refused port is seen untouched).
        termios line{};
        ::tcgetattr(slave, &line);
        line.c_lflag |= ICANON | ECHO | ISIG;
        line.c_oflag |= OPOST | ONLCR;
        line.c_iflag |= ICRNL | IXON;
        line.c_cflag |= CSTOPB | CRTSCTS;
        ::cfsetospeed(&line, B1200);
        ::tcsetattr(slave, TCSANOW, &line);
        if (::fchown(slave, -1, ::getgid()) != 0 || ::fchmod(slave, 0660) != 0)
            qFatal("cannot give the pseudo-terminal to the user's group");
        ::close(slave);
    }
    ~PseudoTerminal()
    {
        ::close(master);
        ::unlink(lockPath().c_str());
    }
    std::string lockPath() const { return lockFilePath(device); }
    // The slave's settings, read through the master: the slave may be held exclusively.
    termios line() const
    {
        termios line{};
        ::tcgetattr(master, &line);
        return line;
    }
    speed_t speed() const
    {
        const termios settings = line();
        return ::cfgetospeed(&settings);
    }
    // The far end reads slowly, in small pieces, until `count` bytes or three silent seconds.
    QByteArray read(qsizetype count) const
    {
        QByteArray received;
        char piece[64];
        pollfd ready{master, POLLIN, 0};
        while (received.size() < count && ::poll(&ready, 1, 3000) > 0) {
            const ssize_t n = ::read(master, piece, sizeof piece);
            if (n <= 0)
                break;
            received.append(piece, n);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return received;
    }
};

QByteArray readFile(const std::string& path)
{
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(absent)");
}

// Opened as the program does, the look for other holders begun ahead.
std::string openFailure(const std::string& device)
{
    try {
        PosixSerialPort port;
        port.lookAhead(device);
        port.open(device, LineSettings{});
    } catch (const PortFailure& failure) {
        return failure.what();
    }
    return "opened";
}

void writeFile(const std::string& path, const QByteArray& bytes)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", path.c_str());
}

// The PID of a process that has ended and been reaped.
pid_t endedProcess()
{
    const pid_t gone = ::fork();
    if (gone == 0)
        ::_exit(0);
    ::waitpid(gone, nullptr, 0);
    return gone;
}

} // namespace

class TestPosixSerialPort : public QObject
{
    Q_OBJECT

private slots:
    void carriesEveryByteInOrderThenLetsGo();
    void givesUpOnAStalledLineAndLetsGo();
    void tellsOnceOfAHangUpAndOfNothingElse();
    void neverTrustsAStrangeLockFile();
    void clearsOnlyTheStaleLockItRead();
    void refusesWhenItCannotLook();
};

void TestPosixSerialPort::carriesEveryByteInOrderThenLetsGo()
{
    PseudoTerminal terminal;
    QByteArray sent;
    for (int n = 0; n < 16000; ++n)
        sent += QString::asprintf("\002D%d%02X", n % 2, n % 256).toLatin1();
    PosixSerialPort port;
    port.open(terminal.device, LineSettings{});
    // Raw, whatever the line was left as (the settings themselves have their rows elsewhere).
    const termios line = terminal.line();
    QVERIFY(::cfgetospeed(&line) == B9600 && (line.c_oflag & OPOST) == 0);
    // Held alone: a neighbour's flock fails, and so does its open, but for root's.
    const int neighbour = ::open(terminal.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    int exclusive = 0;
    QVERIFY(neighbour < 0 ? errno == EBUSY
                          : ::flock(neighbour, LOCK_EX | LOCK_NB) != 0 &&
                                ::ioctl(neighbour, TIOCGEXCL, &exclusive) == 0 && exclusive);
    if (neighbour >= 0)
        ::close(neighbour);

    // More than the kernel's 64 KiB buffer, so some writes go in part; read slowly, closed at once.
    QByteArray received;
    std::thread farEnd([&] { received = terminal.read(sent.size()); });
    for (qsizetype at = 0; at < sent.size(); at += WiperFrame::size)
        port.write(std::string_view(sent.constData() + at, WiperFrame::size));
    port.close();
    farEnd.join();
    QCOMPARE(received, sent);
    QCOMPARE(readFile(terminal.lockPath()), QByteArray("(absent)"));
    const int after = ::open(terminal.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    QVERIFY(::ioctl(after, TIOCGEXCL, &exclusive) == 0 && !exclusive && ::close(after) == 0);
}

void TestPosixSerialPort::givesUpOnAStalledLineAndLetsGo()
{
    PseudoTerminal terminal;
    PosixSerialPort port;
    port.open(terminal.device, LineSettings{});
    QString said;
    try {
        for (;;) // the far end reads nothing: once the line's buffer is full, a write must give up
            port.write("\002D032");
    } catch (const PortFailure& failure) {
        said = failure.what();
    }
    QVERIFY2(said.contains("bytes were not sent"), qPrintable(said));
    QCOMPARE(readFile(terminal.lockPath()), QByteArray("(absent)"));
    QVERIFY_THROWS_EXCEPTION(PortFailure, port.write("\002D032"));
}

void TestPosixSerialPort::tellsOnceOfAHangUpAndOfNothingElse()
{
    PseudoTerminal terminal;
    std::atomic<int> told = 0;
    PosixSerialPort port;
    port.watch([&told] { ++told; });
    port.open(terminal.device, LineSettings{});
    // The controller talks; nobody reads it, and the watch takes no notice.
    QCOMPARE(::write(terminal.master, "\006\006\006", 3), 3);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    QVERIFY(told == 0 && !port.hasGone());
    ::close(std::exchange(terminal.master, -1)); // the far end goes
    QTRY_COMPARE(told.load(), 1);
    QVERIFY(port.hasGone());
    QVERIFY_THROWS_EXCEPTION(DeviceGone, port.write("\002D032"));
    QCOMPARE(readFile(terminal.lockPath()), QByteArray("(absent)"));
    QCOMPARE(told.load(), 1);
}

void TestPosixSerialPort::neverTrustsAStrangeLockFile()
{
    // What the file's text says is read as the parser's rows show; these are the files themselves.
    // The last two are perhaps being written: waited for, then taken for what they say.
    const std::pair<QByteArray, bool> rows[] = {
        {"mkfifo", false},   {"link to /dev/zero", false},       {"unreadable", false},
        {"      12", false}, {"gone %d\nhost\nprogram\n", true},
    };
    for (const auto& [make, cleared] : rows) {
        PseudoTerminal terminal;
        const std::string path = terminal.lockPath();
        if (make == "mkfifo") {
            QCOMPARE(::mkfifo(path.c_str(), 0666), 0);
        } else if (make.startsWith("link")) {
            QCOMPARE(::symlink("/dev/zero", path.c_str()), 0);
        } else if (make == "unreadable") {
            // Mode 0 keeps out everyone but root, who reads it here as another user.
            writeFile(path, "123\n");
            ::chmod(path.c_str(), 0);
            ::setfsuid(65534);
        } else {
            writeFile(path,
                      make.startsWith("gone ")
                          ? QString::asprintf(make.mid(5).constData(), endedProcess()).toLatin1()
                          : make);
        }
        const QString said = QString::fromStdString(openFailure(terminal.device));
        ::setfsuid(::geteuid());
        QCOMPARE(said, cleared ? QStringLiteral("opened")
                               : QString::fromStdString("the lock file " + path +
                                                        " names no process; if no other program "
                                                        "uses the port, delete it"));
        QVERIFY2(cleared || terminal.speed() == speed_t(B1200), make.constData());
    }
}

void TestPosixSerialPort::clearsOnlyTheStaleLockItRead()
{
    PseudoTerminal terminal;
    const std::string path = terminal.lockPath();
    writeFile(path, QString::asprintf("%10d\n", endedProcess()).toLatin1());
    const LockFileReading stale = readLockFile(path);
    // Another program cleared it and made its own before this one got round to it.
    QCOMPARE(::unlink(path.c_str()), 0);
    writeFile(path, QString::asprintf("%10d\n", ::getpid()).toLatin1());
    QCOMPARE(removeStaleLock(path, stale), StaleLockRemoval::Replaced);
    QCOMPARE(readFile(path), QString::asprintf("%10d\n", ::getpid()).toLatin1());
}

void TestPosixSerialPort::refusesWhenItCannotLook()
{
    PseudoTerminal terminal;
    // No descriptor left for the look.
    rlimit was{};
    ::getrlimit(RLIMIT_NOFILE, &was);
    const int next = ::dup(0);
    ::close(next);
    const rlimit none{static_cast<rlim_t>(next), was.rlim_max};
    ::setrlimit(RLIMIT_NOFILE, &none);
    const QString said = QString::fromStdString(openFailure(terminal.device));
    ::setrlimit(RLIMIT_NOFILE, &was);
    QVERIFY2(said.startsWith("cannot see which programs use the port (/proc") &&
                 said.endsWith(": Too many open files), so it is not taken; allow the program "
                               "more open files (ulimit -n) and start again"),
             qPrintable(said));
    QCOMPARE(terminal.speed(), speed_t(B1200));
}

QTEST_APPLESS_MAIN(TestPosixSerialPort)
#include "tst_posix_serial_port.moc"
