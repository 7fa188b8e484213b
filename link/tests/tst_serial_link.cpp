// The serial link on QtSerialPort against real pseudo-terminals: what reaches
// the far end, what the terminal is set to, and how each way of failing reads.

#include "forked_child.h"
#include "pseudo_terminal.h"
#include "qt_serial_port.h"
#include "serial_link.h"
#include "serial_link_error.h"
#include "slow_far_end.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fcntl.h>
#include <fstream>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace potpanel;

namespace {

SerialLink linkOn(const std::string& device)
{
    return SerialLink(std::make_unique<QtSerialPort>(), [device](int) { return device; });
}

void open(SerialLink& link, std::string_view settings = "9600,N,8,1")
{
    link.setPortNumber(1);
    link.setSettings(settings);
    link.open();
}

// The link's message for a failure, or empty when the call succeeded.
template <typename Call> std::string failureOf(Call call)
{
    try {
        call();
    } catch (const SerialLinkError& error) {
        return error.what();
    }
    return {};
}

std::string openFailure(const std::string& device, const std::string& cause)
{
    return "COM1 (" + device + "): cannot open the port: " + cause;
}

std::string processName(pid_t pid)
{
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

std::string inUseBy(pid_t pid)
{
    return "in use by process " + std::to_string(pid) + " (" + processName(pid) + ")";
}

QByteArray frame(char channel, int value)
{
    return QByteArray("\x02"
                      "D") +
           channel + QByteArray::number(value, 16).rightJustified(2, '0').toUpper();
}

// Frames for both channels walking through every value, so that a lost,
// doubled or reordered frame changes the bytes.
QByteArrayList frameSequence(int count)
{
    QByteArrayList frames;
    for (int i = 0; i < count; ++i)
        frames << frame(i % 2 == 0 ? '0' : '1', (i / 2) % 256);
    return frames;
}

bool startsWith(const std::string& text, const std::string& prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// A UUCP lock file written the way terminal programs write one, removed again
// however the test ends.
class LockFile
{
public:
    LockFile(const std::string& path, pid_t owner) : file_(QString::fromStdString(path))
    {
        if (file_.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file_.write(QByteArray::number(owner).rightJustified(10, ' ') + '\n');
        file_.close();
    }
    ~LockFile() { file_.remove(); }
    bool exists() const { return file_.exists(); }

    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;

private:
    QFile file_;
};

// A child process ended at the end of the test however the test ends.
class Child
{
public:
    Child(const QString& program, const QStringList& arguments)
    {
        process_.start(program, arguments);
        process_.waitForStarted(5'000);
        // Kept: QProcess forgets the id once the process has ended.
        pid_ = static_cast<pid_t>(process_.processId());
    }
    ~Child()
    {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.kill();
        process_.waitForFinished(5'000);
    }
    pid_t pid() const { return pid_; }
    bool finish() { return process_.waitForFinished(5'000); }
    // Waits until the child has become `name`, i.e. has run up to its exec.
    bool becomes(const std::string& name)
    {
        for (int waited = 0; waited < 5'000; waited += 10) {
            if (processName(pid()) == name)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

private:
    QProcess process_;
    pid_t pid_ = 0;
};

} // namespace

class TestSerialLink : public QObject
{
    Q_OBJECT

private slots:
    void framesArriveExactly_data();
    void framesArriveExactly();
    void settingsReachTheTerminal_data();
    void settingsReachTheTerminal();
    void oneAndAHalfStopBitsAreRefused();
    void slowFarEndGetsEveryFrameInOrder();
    void closeStraightAfterBurstLosesNothing();
    void openFailsOnDevicesThatAreNoTerminal_data();
    void openFailsOnDevicesThatAreNoTerminal();
    void openFailsWhileAnotherLinkHoldsThePort();
    void openFailsWhileAnotherProcessHoldsThePort();
    void openFailsWhileAProgramHoldsAFlock();
    void openFailsWhileALiveProcessHoldsTheLockFile();
    void staleLockFileDoesNotBlock();
    void lockFileNamingNoProcessIsExplained();
    void openFailsWithoutPermission();
    void rtsOnAPseudoTerminalIsAnError();
    void farEndGoneClosesTheLink();
};

void TestSerialLink::framesArriveExactly_data()
{
    QTest::addColumn<QByteArrayList>("writes");

    QTest::newRow("one frame") << QByteArrayList{QByteArray::fromHex("0244303332")};
    QTest::newRow("two frames back to back")
        << QByteArrayList{QByteArray::fromHex("0244303332"), QByteArray::fromHex("0244313332")};
    QTest::newRow("extremes of both channels")
        << QByteArrayList{frame('0', 0), frame('1', 255), frame('0', 255), frame('1', 0)};
    // Output processing left on would turn "\n" into "\r\n".
    QTest::newRow("line endings pass untouched") << QByteArrayList{"\r\n", "a\nb", "\x7f\x01"};
    QTest::newRow("empty write adds nothing") << QByteArrayList{frame('1', 51), "", frame('0', 1)};
}

void TestSerialLink::framesArriveExactly()
{
    QFETCH(QByteArrayList, writes);

    PseudoTerminal pty;
    SerialLink link = linkOn(pty.slavePath());
    open(link);
    // No Qt event loop runs in this test: whatever arrives was handed to the
    // operating system by write() itself.
    for (const QByteArray& bytes : writes)
        link.write(bytes.toStdString());
    const QByteArray expected = writes.join();
    QCOMPARE(pty.read(expected.size()), expected);
    QVERIFY(pty.read(1, std::chrono::milliseconds(50)).isEmpty());
    link.close();
}

void TestSerialLink::settingsReachTheTerminal_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<speed_t>("speed");
    QTest::addColumn<bool>("twoStopBits");

    QTest::newRow("9600,N,8,1") << "9600,N,8,1" << speed_t(B9600) << false;
    QTest::newRow("19200,E,7,2") << "19200,E,7,2" << speed_t(B19200) << true;
    QTest::newRow("1200,O,8,1") << "1200,O,8,1" << speed_t(B1200) << false;
    QTest::newRow("115200,N,8,2") << "115200,N,8,2" << speed_t(B115200) << true;
}

void TestSerialLink::settingsReachTheTerminal()
{
    QFETCH(QString, settings);
    QFETCH(speed_t, speed);
    QFETCH(bool, twoStopBits);

    PseudoTerminal pty;
    // Start from something else, so that every value read back was set by the link.
    termios before{};
    QCOMPARE(::tcgetattr(pty.slave(), &before), 0);
    ::cfsetspeed(&before, twoStopBits ? B38400 : B4800);
    before.c_cflag = twoStopBits ? (before.c_cflag & ~CSTOPB) : (before.c_cflag | CSTOPB);
    QCOMPARE(::tcsetattr(pty.slave(), TCSANOW, &before), 0);

    SerialLink link = linkOn(pty.slavePath());
    open(link, settings.toStdString());
    termios after{};
    QCOMPARE(::tcgetattr(pty.slave(), &after), 0);
    QCOMPARE(::cfgetospeed(&after), speed);
    QCOMPARE(::cfgetispeed(&after), speed);
    QCOMPARE((after.c_cflag & CSTOPB) != 0, twoStopBits);
    // Raw output and no flow control: the frames' bytes go out as they are.
    QCOMPARE(after.c_oflag & OPOST, tcflag_t(0));
    QCOMPARE(after.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(after.c_iflag & (IXON | IXOFF), tcflag_t(0));
    link.close();
}

void TestSerialLink::oneAndAHalfStopBitsAreRefused()
{
    PseudoTerminal pty;
    SerialLink link = linkOn(pty.slavePath());
    QCOMPARE(failureOf([&] { open(link, "9600,N,5,1.5"); }),
             openFailure(pty.slavePath(), "1.5 stop bits cannot be set on this system's serial "
                                          "ports; use 1 or 2"));
    QVERIFY(!link.isOpen());

    // The refusal left nothing held: the port opens with settings the system can keep.
    SerialLink next = linkOn(pty.slavePath());
    open(next, "9600,N,5,2");
    termios now{};
    QCOMPARE(::tcgetattr(pty.slave(), &now), 0);
    QVERIFY(now.c_cflag & CSTOPB);
    next.close();
}

void TestSerialLink::slowFarEndGetsEveryFrameInOrder()
{
    PseudoTerminal pty;
    SerialLink link = linkOn(pty.slavePath());
    open(link);
    const QByteArray expected = frameSequence(20'000).join();

    SlowFarEnd farEnd(pty.master(), expected.size());
    for (const QByteArray& bytes : frameSequence(20'000))
        link.write(bytes.toStdString());
    link.close();

    const QByteArray received = farEnd.received();
    QCOMPARE(received.size(), expected.size());
    QVERIFY(received == expected);
    // The writer really met a full buffer: the reader found it (nearly) full.
    QVERIFY2(farEnd.mostWaiting() >= 2048, qPrintable(QString::number(farEnd.mostWaiting())));
}

void TestSerialLink::closeStraightAfterBurstLosesNothing()
{
    PseudoTerminal pty;
    SerialLink link = linkOn(pty.slavePath());
    open(link);
    // More than the pseudo-terminal holds, so that bytes are still on their way at close.
    const QByteArrayList burst = frameSequence(2'000);
    const QByteArray expected = burst.join();

    SlowFarEnd farEnd(pty.master(), expected.size());
    for (const QByteArray& bytes : burst)
        link.write(bytes.toStdString());
    link.close();
    QVERIFY(!link.isOpen());
    link.close();

    QVERIFY(farEnd.received() == expected);
    QVERIFY(pty.read(1, std::chrono::milliseconds(100)).isEmpty());
}

void TestSerialLink::openFailsOnDevicesThatAreNoTerminal_data()
{
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("cause");

    QTest::newRow("missing device") << "/dev/potpanel-no-such-port"
                                    << "no such device";
    QTest::newRow("not a terminal") << "/dev/null"
                                    << "not a serial device";
}

void TestSerialLink::openFailsOnDevicesThatAreNoTerminal()
{
    QFETCH(QString, device);
    QFETCH(QString, cause);

    SerialLink link = linkOn(device.toStdString());
    QCOMPARE(failureOf([&] { open(link); }),
             openFailure(device.toStdString(), cause.toStdString()));
    QVERIFY(!link.isOpen());
    QVERIFY(startsWith(failureOf([&] {
                           link.write("\x02"
                                      "D032");
                       }),
                       "COM1 (" + device.toStdString() + "): cannot write to the port: "));
}

void TestSerialLink::openFailsWhileAnotherLinkHoldsThePort()
{
    PseudoTerminal pty;
    SerialLink first = linkOn(pty.slavePath());
    open(first);
    SerialLink second = linkOn(pty.slavePath());
    QCOMPARE(failureOf([&] { open(second); }), openFailure(pty.slavePath(), inUseBy(::getpid())));
    QVERIFY(!second.isOpen());

    // The refused link did not disturb the one holding the port.
    first.write(frame('0', 50).toStdString());
    QCOMPARE(pty.read(5), frame('0', 50));
}

void TestSerialLink::openFailsWhileAnotherProcessHoldsThePort()
{
    PseudoTerminal pty;
    const std::string device = pty.slavePath();
    ForkedChild holder([&](const ForkedChild::Report& report) {
        SerialLink link = linkOn(device);
        report(failureOf([&] { open(link); }).empty() ? "open" : "failed");
    });
    QCOMPARE(holder.report(), std::string("open"));

    SerialLink link = linkOn(device);
    const std::string failure = failureOf([&] { open(link); });
    QVERIFY2(startsWith(failure, openFailure(device, inUseBy(holder.pid()))), failure.c_str());
    QVERIFY(!link.isOpen());
}

void TestSerialLink::openFailsWhileAProgramHoldsAFlock()
{
    PseudoTerminal pty;
    // Without forking, the process holding the lock is the one that ends with the test.
    Child holder("flock", {"--no-fork", QString::fromStdString(pty.slavePath()), "sleep", "30"});
    QVERIFY(holder.becomes("sleep"));

    SerialLink link = linkOn(pty.slavePath());
    QCOMPARE(failureOf([&] { open(link); }),
             openFailure(pty.slavePath(),
                         "in use by process " + std::to_string(holder.pid()) + " (sleep)"));
    QVERIFY(!link.isOpen());
}

void TestSerialLink::openFailsWhileALiveProcessHoldsTheLockFile()
{
    PseudoTerminal pty;
    Child owner("sleep", {"30"});
    QVERIFY(owner.becomes("sleep"));
    const std::string path = "/var/lock/" + pty.lockFileName();
    const LockFile lock(path, owner.pid());
    if (!lock.exists())
        QSKIP("/var/lock is not writable here");

    SerialLink link = linkOn(pty.slavePath());
    QCOMPARE(failureOf([&] { open(link); }),
             openFailure(pty.slavePath(), "in use by process " + std::to_string(owner.pid()) +
                                              " (sleep), which holds the lock file " + path));
    QVERIFY(!link.isOpen());
    QVERIFY(pty.read(1, std::chrono::milliseconds(100)).isEmpty());
}

void TestSerialLink::staleLockFileDoesNotBlock()
{
    PseudoTerminal pty;
    Child gone("true", {});
    QVERIFY(gone.finish());
    QVERIFY(gone.pid() > 0);
    const LockFile lock("/var/lock/" + pty.lockFileName(), gone.pid());
    if (!lock.exists())
        QSKIP("/var/lock is not writable here");

    SerialLink link = linkOn(pty.slavePath());
    open(link);
    link.write(frame('1', 50).toStdString());
    QCOMPARE(pty.read(5), frame('1', 50));
    link.close();
}

void TestSerialLink::openFailsWithoutPermission()
{
    if (::getuid() != 0)
        QSKIP("dropping to another user needs root");
    PseudoTerminal pty;
    const std::string device = pty.slavePath();
    struct stat status
    {
    };
    QCOMPARE(::stat(device.c_str(), &status), 0);
    const group* owners = ::getgrgid(status.st_gid);
    QVERIFY(owners);
    const std::string groupName = owners->gr_name;

    ForkedChild stranger([&](const ForkedChild::Report& report) {
        constexpr uid_t nobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(nobody) != 0 || ::setuid(nobody) != 0) {
            report("cannot drop privileges");
            return;
        }
        SerialLink link = linkOn(device);
        report(failureOf([&] { open(link); }));
    });
    const std::string failure = stranger.report();
    QVERIFY2(startsWith(failure, openFailure(device, "permission denied; the device belongs to "
                                                     "the group " +
                                                         groupName + ": join it with")),
             failure.c_str());
}

void TestSerialLink::rtsOnAPseudoTerminalIsAnError()
{
    PseudoTerminal pty;
    SerialLink link = linkOn(pty.slavePath());
    open(link);
    const std::string failure = failureOf([&] { link.setRts(true); });
    QVERIFY2(startsWith(failure, "COM1 (" + pty.slavePath() +
                                     "): cannot raise RTS: the device has no modem-control lines"),
             failure.c_str());
}

void TestSerialLink::farEndGoneClosesTheLink()
{
    PseudoTerminal pty;
    SerialLink link = linkOn(pty.slavePath());
    open(link);
    link.write(frame('0', 50).toStdString());
    QCOMPARE(pty.read(5), frame('0', 50));

    pty.closeMaster();
    const std::string failure = failureOf([&] { link.write(frame('0', 51).toStdString()); });
    QVERIFY2(startsWith(failure, "COM1 (" + pty.slavePath() +
                                     "): cannot write to the port: the device has gone"),
             failure.c_str());
    QVERIFY(!link.isOpen());
    // Closed at once: the device is no longer locked by the link.
    QCOMPARE(::flock(pty.slave(), LOCK_EX | LOCK_NB), 0);
    QVERIFY(!QFile::exists(QString::fromStdString("/var/lock/" + pty.lockFileName())));
    QCOMPARE(failureOf([&] { link.write(frame('0', 52).toStdString()); }),
             "COM1 (" + pty.slavePath() + "): cannot write to the port: the port is not open");
}

void TestSerialLink::lockFileNamingNoProcessIsExplained()
{
    PseudoTerminal pty;
    const std::string path = "/var/lock/" + pty.lockFileName();
    const LockFile lock(path, 0);
    if (!lock.exists())
        QSKIP("/var/lock is not writable here");

    SerialLink link = linkOn(pty.slavePath());
    QCOMPARE(failureOf([&] { open(link); }),
             openFailure(pty.slavePath(), "the lock file " + path +
                                              " names no process; if no other program uses the "
                                              "port, delete it"));
    QVERIFY(!link.isOpen());
}

QTEST_GUILESS_MAIN(TestSerialLink)
#include "tst_serial_link.moc"
