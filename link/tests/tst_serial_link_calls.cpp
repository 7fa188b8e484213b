// The serial link's own rules, on a port in memory: port numbers, the settings
// it hands to the port, the order of calls and what a failing port leaves.

#include "memory_serial_port.h"
#include "serial_link.h"
#include "serial_link_error.h"

#include <QTest>

using namespace potpanel;

namespace {

struct MemoryLink
{
    std::shared_ptr<MemoryLine> line = std::make_shared<MemoryLine>();
    SerialLink link{std::make_unique<MemorySerialPort>(line)};
};

template <typename Call> QString failureOf(Call call)
{
    try {
        call();
    } catch (const SerialLinkError& error) {
        return QString::fromStdString(error.what());
    }
    return {};
}

void openOnCom1(SerialLink& link)
{
    link.setPortNumber(1);
    link.setSettings("9600,N,8,1");
    link.open();
}

// One step of the calling order, by name.
void apply(SerialLink& link, const QString& step)
{
    if (step == "port")
        link.setPortNumber(1);
    else if (step == "settings")
        link.setSettings("9600,N,8,1");
    else if (step == "open")
        link.open();
    else if (step == "rts")
        link.setRts(true);
    else if (step == "threshold")
        link.setReceiveThreshold(0);
    else if (step == "write")
        link.write("\x02"
                   "D032");
    else if (step == "close")
        link.close();
    else
        QFAIL(qPrintable("unknown step " + step));
}

} // namespace

class TestSerialLinkCalls : public QObject
{
    Q_OBJECT

private slots:
    void portNumbersMapToDevices_data();
    void portNumbersMapToDevices();
    void refusesPortNumbersBelowOne_data();
    void refusesPortNumbersBelowOne();
    void handsTheSettingsToThePort_data();
    void handsTheSettingsToThePort();
    void refusesMalformedSettingsQuotingThem();
    void runsTheStartUpOrder();
    void refusesCallsOutOfOrder_data();
    void refusesCallsOutOfOrder();
    void failedOpenLeavesTheLinkClosed();
    void failedWriteClosesTheLink();
    void closesWhenDestroyedOpen();
};

void TestSerialLinkCalls::portNumbersMapToDevices_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device");

    QTest::newRow("1") << 1 << "COM1"
                       << "/dev/ttyS0";
    QTest::newRow("2") << 2 << "COM2"
                       << "/dev/ttyS1";
    QTest::newRow("16") << 16 << "COM16"
                        << "/dev/ttyS15";
}

void TestSerialLinkCalls::portNumbersMapToDevices()
{
    QFETCH(int, number);
    QFETCH(QString, name);
    QFETCH(QString, device);

    MemoryLink memory;
    QVERIFY(memory.link.portName().empty());
    memory.link.setPortNumber(static_cast<std::int16_t>(number));
    QCOMPARE(QString::fromStdString(memory.link.portName()), name);
    QCOMPARE(QString::fromStdString(memory.link.device()), device);
    memory.link.setSettings("9600,N,8,1");
    memory.link.open();
    QCOMPARE(QString::fromStdString(memory.line->device), device);
}

void TestSerialLinkCalls::refusesPortNumbersBelowOne_data()
{
    QTest::addColumn<int>("number");
    QTest::newRow("0") << 0;
    QTest::newRow("-1") << -1;
    QTest::newRow("lowest") << -32768;
}

void TestSerialLinkCalls::refusesPortNumbersBelowOne()
{
    QFETCH(int, number);

    MemoryLink memory;
    QCOMPARE(
        failureOf([&] { memory.link.setPortNumber(static_cast<std::int16_t>(number)); }),
        QString("serial port: cannot set port number %1: port numbers start at 1").arg(number));
    QVERIFY(memory.link.device().empty());
    memory.link.setSettings("9600,N,8,1");
    QCOMPARE(failureOf([&] { memory.link.open(); }),
             "serial port: cannot open the port: no port number has been set");
}

Q_DECLARE_METATYPE(LineSettings)

void TestSerialLinkCalls::handsTheSettingsToThePort_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<LineSettings>("settings");

    QTest::newRow("9600,N,8,1") << "9600,N,8,1"
                                << LineSettings{9600, Parity::None, 8, StopBits::One};
    QTest::newRow("19200,E,7,2") << "19200,E,7,2"
                                 << LineSettings{19200, Parity::Even, 7, StopBits::Two};
    QTest::newRow("1200,O,5,1.5") << "1200,O,5,1.5"
                                  << LineSettings{1200, Parity::Odd, 5, StopBits::OneAndHalf};
    QTest::newRow("4800,M,6,1") << "4800,M,6,1"
                                << LineSettings{4800, Parity::Mark, 6, StopBits::One};
    QTest::newRow("2400,S,8,2") << "2400,S,8,2"
                                << LineSettings{2400, Parity::Space, 8, StopBits::Two};
}

void TestSerialLinkCalls::handsTheSettingsToThePort()
{
    QFETCH(QString, text);
    QFETCH(LineSettings, settings);

    MemoryLink memory;
    memory.link.setPortNumber(1);
    // Only the last settings before open count.
    memory.link.setSettings("300,N,8,1");
    memory.link.setSettings(text.toStdString());
    memory.link.open();
    QVERIFY(memory.line->settings.has_value());
    QVERIFY2(*memory.line->settings == settings, toString(*memory.line->settings).c_str());
}

void TestSerialLinkCalls::refusesMalformedSettingsQuotingThem()
{
    MemoryLink memory;
    memory.link.setPortNumber(1);
    memory.link.setSettings("9600,N,8,1");
    const QString failure = failureOf([&] { memory.link.setSettings("9600,N,9,1"); });
    QVERIFY2(failure.startsWith("COM1 (/dev/ttyS0): cannot change the line settings: line settings "
                                "\"9600,N,9,1\" are malformed: "),
             qPrintable(failure));
    // The refused text did not replace the good one.
    memory.link.open();
    QCOMPARE(toString(*memory.line->settings), std::string("9600,N,8,1"));
}

void TestSerialLinkCalls::runsTheStartUpOrder()
{
    MemoryLink memory;
    openOnCom1(memory.link);
    QVERIFY(memory.link.isOpen());
    memory.link.setRts(true);
    memory.link.setReceiveThreshold(0);
    memory.link.write("\x02"
                      "D032");
    memory.link.write("\x02"
                      "D132");
    memory.link.close();
    QVERIFY(!memory.link.isOpen());
    memory.link.close();

    const std::vector<std::string> expected = {"open /dev/ttyS0 9600,N,8,1", "rts on", "write",
                                               "write", "close"};
    QCOMPARE(memory.line->log, expected);
    QCOMPARE(memory.line->bytes, std::string("\x02"
                                             "D032\x02"
                                             "D132"));
}

void TestSerialLinkCalls::refusesCallsOutOfOrder_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("failure");

    const QString com1 = "COM1 (/dev/ttyS0): ";
    QTest::newRow("open first") << QStringList{"open"}
                                << "serial port: cannot open the port: no port number has been set";
    QTest::newRow("open without settings")
        << QStringList{"port", "open"}
        << com1 + "cannot open the port: no line settings have been set";
    QTest::newRow("open without port number")
        << QStringList{"settings", "open"}
        << "serial port: cannot open the port: no port number has been set";
    QTest::newRow("open twice") << QStringList{"port", "settings", "open", "open"}
                                << com1 + "cannot open the port: it is already open";
    QTest::newRow("reopen after close")
        << QStringList{"port", "settings", "open", "close", "open"} << QString();
    QTest::newRow("rts before open") << QStringList{"port", "settings", "rts"}
                                     << com1 + "cannot raise RTS: the port is not open";
    QTest::newRow("threshold before open")
        << QStringList{"port", "settings", "threshold"}
        << com1 + "cannot set receive threshold 0: the port is not open";
    QTest::newRow("write first") << QStringList{"write"}
                                 << "serial port: cannot write to the port: the port is not open";
    QTest::newRow("write before open") << QStringList{"port", "settings", "write"}
                                       << com1 + "cannot write to the port: the port is not open";
    QTest::newRow("write after close")
        << QStringList{"port", "settings", "open", "write", "close", "write"}
        << com1 + "cannot write to the port: the port is not open";
    QTest::newRow("port number while open")
        << QStringList{"port", "settings", "open", "port"}
        << com1 + "cannot set port number 1: the port is open; it can only be changed while closed";
    QTest::newRow("settings while open")
        << QStringList{"port", "settings", "open", "settings"}
        << com1 + "cannot change the line settings: the port is open; it can only be changed "
                  "while closed";
}

void TestSerialLinkCalls::refusesCallsOutOfOrder()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, failure);

    MemoryLink memory;
    const QString last = steps.takeLast();
    for (const QString& step : steps)
        apply(memory.link, step);
    const std::vector<std::string> logBefore = memory.line->log;
    const std::string bytesBefore = memory.line->bytes;
    QCOMPARE(failureOf([&] { apply(memory.link, last); }), failure);
    if (failure.isEmpty())
        return;
    // A refused call never reaches the port.
    QCOMPARE(memory.line->log, logBefore);
    QCOMPARE(memory.line->bytes, bytesBefore);
}

void TestSerialLinkCalls::failedOpenLeavesTheLinkClosed()
{
    MemoryLink memory;
    memory.line->failures[MemoryLine::Operation::Open] = "no such device";
    QCOMPARE(failureOf([&] { openOnCom1(memory.link); }),
             "COM1 (/dev/ttyS0): cannot open the port: no such device");
    QVERIFY(!memory.link.isOpen());
    QCOMPARE(failureOf([&] { memory.link.setRts(true); }),
             "COM1 (/dev/ttyS0): cannot raise RTS: the port is not open");
    memory.link.close();
    QVERIFY(memory.line->log.empty());
    QVERIFY(memory.line->bytes.empty());
}

void TestSerialLinkCalls::failedWriteClosesTheLink()
{
    MemoryLink memory;
    openOnCom1(memory.link);
    memory.link.write("\x02"
                      "D032");
    memory.line->failures[MemoryLine::Operation::Write] = "the far end has gone";
    QCOMPARE(failureOf([&] {
                 memory.link.write("\x02"
                                   "D033");
             }),
             "COM1 (/dev/ttyS0): cannot write to the port: the far end has gone");
    QVERIFY(!memory.link.isOpen());
    QVERIFY(!memory.line->open);
    QCOMPARE(failureOf([&] {
                 memory.link.write("\x02"
                                   "D034");
             }),
             "COM1 (/dev/ttyS0): cannot write to the port: the port is not open");
    QCOMPARE(memory.line->bytes, std::string("\x02"
                                             "D032"));
}

void TestSerialLinkCalls::closesWhenDestroyedOpen()
{
    const auto line = std::make_shared<MemoryLine>();
    {
        SerialLink link(std::make_unique<MemorySerialPort>(line));
        openOnCom1(link);
    }
    QVERIFY(!line->open);
    QCOMPARE(line->log.back(), std::string("close"));
}

QTEST_GUILESS_MAIN(TestSerialLinkCalls)
#include "tst_serial_link_calls.moc"
