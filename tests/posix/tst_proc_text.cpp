// What the port reads of the kernel and of other programs, as text and on saved /proc trees: each
// parser's rows, the terminal settings it builds, and how it judges a lock file.

#include "line_settings.h"
#include "line_termios.h"
#include "lock_file.h"
#include "port_holders.h"
#include "serial_port.h"
#include "terminals.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <sys/sysmacros.h>
#include <tuple>

using namespace potpanel;

namespace {

// A saved tree beneath a temporary root: path, text; a text "-> target" makes a link.
struct SavedTree
{
    QTemporaryDir root;
    explicit SavedTree(std::initializer_list<std::pair<QString, QByteArray>> files)
    {
        for (const auto& [path, text] : files) {
            const QString where = root.path() + path;
            QDir().mkpath(where.section('/', 0, -2));
            if (text.startsWith("-> ")) {
                QFile::link(QString::fromLatin1(text.mid(3)), where);
                continue;
            }
            QFile file(where);
            if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
                qFatal("cannot write %s", qPrintable(where));
        }
    }
    ProcFiles proc() const { return ProcFiles(root.path().toStdString()); }
};

// A file's status: a regular file's, or with a device number a character device's.
struct stat fileAt(dev_t device, ino_t inode, dev_t rdev = 0)
{
    struct stat file = {};
    file.st_mode = rdev ? S_IFCHR : S_IFREG;
    file.st_dev = device;
    file.st_ino = inode;
    file.st_rdev = rdev;
    return file;
}

} // namespace

class TestProcText : public QObject
{
    Q_OBJECT

private slots:
    void readsLockLines();
    void readsConsolesAndTerminalDrivers();
    void readsProcessStatus();
    void readsNamespaces();
    void readsLockFileTexts();
    void buildsARawLine();
    void judgesLockFiles();
    void namesEveryKindOfHolder();
};

void TestProcText::readsLockLines()
{
    const std::tuple<const char*, std::optional<LockLine>> rows[] = {
        {"1: POSIX  ADVISORY  WRITE 4242 00:05:1039 0 EOF",
         LockLine{"POSIX", 4242, makedev(0, 5), 1039}},
        {"2: FLOCK  ADVISORY  WRITE 17 fd:1a:786 0 EOF",
         LockLine{"FLOCK", 17, makedev(0xfd, 0x1a), 786}},
        {"3: OFDLCK ADVISORY  READ  -1 00:05:9 0 EOF", LockLine{"OFDLCK", -1, makedev(0, 5), 9}},
        {"4: -> FLOCK  ADVISORY  WRITE 99 00:05:1039 0 EOF", std::nullopt}, // a waiter
        {"5: POSIX  ADVISORY  WRITE 4242 00:05 0 EOF", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& [line, lock] : rows)
        QVERIFY2(parseLockLine(line) == lock, line);
}

void TestProcText::readsConsolesAndTerminalDrivers()
{
    const auto consoles = parseConsoles("ttyS0                -W- (EC p a)    4:64\n"
                                        "netcon0              -W- (E     )\n");
    QVERIFY(consoles.size() == 2 && consoles[0].name == "ttyS0" &&
            consoles[0].device == makedev(4, 64) && !consoles[1].device);
    const SavedTree tree{{"/proc/consoles", "tty0                 -WU (EC p  )    4:1\n"},
                         {"/sys/class/tty/console/active", "tty0 ttyUSB0\n"},
                         {"/proc/tty/drivers",
                          "/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
                          "serial               /dev/ttyS       4 64-111 serial\n"
                          "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
                          "unknown              /dev/tty        4 1-63 console\n"}};
    const std::tuple<const char*, dev_t, bool, bool> rows[] = {
        {"ttyS0", makedev(4, 64), true, false},      {"ttyS47", makedev(4, 111), true, false},
        {"pts/300", makedev(136, 300), true, false}, {"tty", makedev(5, 0), false, false},
        {"tty1", makedev(4, 1), false, true},        {"ttyUSB0", makedev(188, 0), false, true},
        {"by number", makedev(4, 1), false, true},
    };
    for (const auto& [name, device, serial, console] : rows) {
        QVERIFY2(isSerialTerminal(device, tree.proc()) == serial, name);
        QVERIFY2(isKernelConsole(name, device, tree.proc()) == console, name);
    }
}

void TestProcText::readsProcessStatus()
{
    const std::tuple<const char*, std::optional<ProcessStat>> rows[] = {
        {"1 (systemd) S 0 1 1 0 -1 4194560", ProcessStat{'S', 0}},
        {"7 (a) (b)) Z 1 7 7 1088 -1", ProcessStat{'Z', makedev(4, 64)}}, // parentheses in a name
        {"8 (bash) R 1 8 8 1083436 8", ProcessStat{'R', makedev(136, 300)}},
        {"9 (x) S 1 2", std::nullopt},
        {"garbage", std::nullopt},
    };
    for (const auto& [text, status] : rows)
        QVERIFY2(parseProcessStat(text) == status, text);
}

void TestProcText::readsNamespaces()
{
    // Inside a PID namespace when NSpid has two numbers or the namespace is not the first one.
    const std::tuple<const char*, const char*, pid_t, bool> rows[] = {
        {"77", "pid:[4026531836]", 77, false},
        {"4242\t1", "pid:[4026532100]", 4242, true},
        {"5", "pid:[4026532100]", 5, true},
    };
    for (const auto& [nspid, link, pid, inside] : rows) {
        const SavedTree tree{{"/proc/self/status", QByteArray("NSpid:\t") + nspid + '\n'},
                             {"/proc/self/ns/pid", QByteArray("-> ") + link}};
        const OwnPid self = tree.proc().self();
        QVERIFY2(self.pid == pid && self.inPidNamespace == inside, nspid);
    }
}

void TestProcText::readsLockFileTexts()
{
    using Kind = LockFileText::Kind;
    const std::tuple<const char*, Kind, pid_t, const char*> rows[] = {
        {"      4242\n", Kind::Process, 4242, ""},
        {"42\npotpanel\nhost\n", Kind::Process, 42, "potpanel"}, // as Qt writes them
        {"  42 \r\n", Kind::Process, 42, ""},
        {"", Kind::Unfinished, 0, ""},
        {"      12", Kind::Unfinished, 0, ""},
        {"4294967295\n", Kind::NamesNoProcess, 0, ""},
        {"4194305\n", Kind::NamesNoProcess, 0, ""}, // above pid_max
        {"0\n", Kind::NamesNoProcess, 0, ""},
        {"minicom\n", Kind::NamesNoProcess, 0, ""},
    };
    for (const auto& [text, kind, pid, program] : rows)
        QVERIFY2(parseLockFileText(text, 4194304) == (LockFileText{kind, pid, program}), text);
}

void TestProcText::buildsARawLine()
{
    // As an earlier program may leave a line: cooked, echoing, flow-controlled, two stop bits.
    termios dirty{};
    dirty.c_iflag = ICRNL | IXON | IXOFF | IXANY;
    dirty.c_oflag = OPOST | ONLCR;
    dirty.c_lflag = ICANON | ECHO | ISIG;
    dirty.c_cflag = CS7 | CSTOPB | CRTSCTS | PARENB | HUPCL;
    ::cfsetospeed(&dirty, B1200);
    const tcflag_t framing = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CLOCAL | CREAD;
    const std::tuple<const char*, speed_t, tcflag_t> rows[] = {
        {"9600,N,8,1", B9600, CS8},
        {"1200,E,7,2", B1200, CS7 | PARENB | CSTOPB},
        {"300,O,5,1", B300, CS5 | PARENB | PARODD},
        {"115200,M,8,1", B115200, CS8 | PARENB | PARODD | CMSPAR},
        {"9600,S,6,1", B9600, CS6 | PARENB | CMSPAR},
    };
    for (const auto& [settings, speed, flags] : rows) {
        const termios line = rawLine(dirty, parseLineSettings(settings));
        QVERIFY2(::cfgetospeed(&line) == speed && ::cfgetispeed(&line) == speed &&
                     (line.c_cflag & framing) == (flags | CLOCAL | CREAD) &&
                     (line.c_iflag & (ICRNL | IXON | IXOFF | IXANY)) == 0 &&
                     (line.c_oflag & OPOST) == 0 && (line.c_lflag & (ICANON | ECHO | ISIG)) == 0,
                 settings);
    }
    const std::pair<const char*, const char*> refused[] = {
        {"14400,N,8,1", "the speed 14400 is not one this system's serial ports know"},
        {"9600,N,8,1.5", "1.5 stop bits cannot be set on this system's serial ports; use 1 or 2"},
    };
    for (const auto& [settings, refusal] : refused) {
        QString said;
        try {
            rawLine(dirty, parseLineSettings(settings));
        } catch (const PortFailure& failure) {
            said = failure.what();
        }
        QCOMPARE(said, QString(refusal));
    }
}

void TestProcText::judgesLockFiles()
{
    using Kind = LockFileText::Kind;
    const pid_t self = 100;
    const std::tuple<const char*, bool, Kind, pid_t, const char*, Liveness, bool, LockVerdict>
        rows[] = {
            {"absent", false, Kind::Process, 0, "", Liveness::Ended, false, LockVerdict::Free},
            {"no PID", true, Kind::NamesNoProcess, 0, "", Liveness::Ended, false,
             LockVerdict::NamesNoProcess},
            {"never finished", true, Kind::Unfinished, 0, "", Liveness::Ended, false,
             LockVerdict::NamesNoProcess},
            {"our own", true, Kind::Process, self, "", Liveness::Live, false, LockVerdict::Free},
            {"live", true, Kind::Process, 42, "", Liveness::Live, false, LockVerdict::Held},
            {"ended", true, Kind::Process, 42, "", Liveness::Ended, false, LockVerdict::Stale},
            // A flock counts only where the PID cannot be seen: elsewhere nothing changes.
            {"ended, flocked", true, Kind::Process, 42, "potpanel", Liveness::Ended, true,
             LockVerdict::Stale},
            {"unseen, flocked", true, Kind::Process, 42, "potpanel", Liveness::Unseen, true,
             LockVerdict::HeldUnseen},
            {"unseen, another program's", true, Kind::Process, 42, "", Liveness::Unseen, false,
             LockVerdict::CannotTell},
            {"unseen, ours without its flock", true, Kind::Process, 42, "potpanel",
             Liveness::Unseen, false, LockVerdict::Stale},
        };
    for (const auto& [name, present, kind, pid, program, liveness, flocked, verdict] : rows) {
        const LockFileReading reading{present, {kind, pid, program}, 0, 0, 0};
        QVERIFY2(judgeLockFile(reading, self, liveness, flocked) == verdict, name);
    }
}

void TestProcText::namesEveryKindOfHolder()
{
    // Process 42 holds an open file description's lock, which /proc/locks leaves unnamed; 43 a
    // POSIX lock (50 one on another filesystem); this process (7) one of its own. 46, whose files
    // cannot be seen, has ttyS0 as its terminal. Inside a PID namespace, 44 is a zombie and 45 is
    // out of sight.
    const SavedTree tree{
        {"/proc/self/status", "NSpid:\t7\t1\n"},
        {"/proc/locks", "0: POSIX  ADVISORY  WRITE 50 00:06:2000 0 EOF\n"
                        "1: OFDLCK ADVISORY  WRITE -1 00:05:1039 0 EOF\n"
                        "2: POSIX  ADVISORY  WRITE 43 00:05:2000 0 EOF\n"
                        "3: FLOCK  ADVISORY  WRITE 7 00:05:3000 0 EOF\n"},
        {"/proc/41/fd/0", "-> /dev/null"},
        {"/proc/41/fdinfo/0", "pos:\t0\n"},
        {"/proc/42/fd/3", "-> /dev/null"},
        {"/proc/42/fdinfo/3", "pos:\t0\nlock:\t1: OFDLCK ADVISORY  WRITE -1 00:05:1039 0 EOF\n"},
        {"/proc/42/comm", "minicom\n"},
        {"/proc/42/stat", "42 (minicom) S 1 42 42 0 -1\n"},
        {"/proc/44/stat", "44 (cu) Z 1 44 44 1088 -1\n"},
        {"/proc/46/stat", "46 (agetty) S 1 46 46 1088 -1\n"},
    };
    const ProcFiles proc = tree.proc();
    QCOMPARE(lockHolder(fileAt(makedev(0, 5), 1039), proc), std::optional<long>(42));
    QCOMPARE(describeProcess(42, proc), std::string("process 42 (minicom)"));
    QCOMPARE(lockHolder(fileAt(makedev(0, 5), 2000), proc), std::optional<long>(43));
    QCOMPARE(lockHolder(fileAt(makedev(0, 5), 3000), proc), std::nullopt);
    QVERIFY(liveness(42, proc) == Liveness::Live && liveness(44, proc) == Liveness::Ended &&
            liveness(45, proc) == Liveness::Unseen);
    const auto holder = processHolding(fileAt(makedev(0, 5), 1, makedev(4, 64)), proc);
    QVERIFY(holder && holder->pid == 46 && holder->how == Holder::How::ControllingTerminal);
    // Every devpts instance numbers its terminals from 0.
    const struct stat pts0 = fileAt(makedev(0, 5), 1, makedev(136, 0)),
                      otherPts0 = fileAt(makedev(0, 99), 1, makedev(136, 0));
    QVERIFY(sameFile(pts0, pts0) && !sameFile(pts0, otherPts0));
}

QTEST_APPLESS_MAIN(TestProcText)
#include "tst_proc_text.moc"
