#include "memory_serial_port.h"
#include "panel_controller.h"
#include "recording_view.h"
#include "serial_link_error.h"

#include <QTest>

using namespace potpanel;

namespace {

using Log = std::vector<std::string>;
using Operation = MemoryLine::Operation;

const std::string startFrames("\x02"
                              "D032"
                              "\x02"
                              "D132");

// One panel over a line in memory, as the window puts them together.
struct Panel
{
    std::shared_ptr<MemoryLine> line = std::make_shared<MemoryLine>();
    RecordingView view{line};
    SerialLink comm1{std::make_unique<MemorySerialPort>(line)};
    PanelController controller{view, comm1};

    Panel() { view.attach(controller); }
};

QString joined(const Log& log)
{
    QStringList lines;
    for (const std::string& line : log)
        lines << QString::fromStdString(line);
    return lines.join(QLatin1String(" | "));
}

} // namespace

class TestPanelController : public QObject
{
    Q_OBJECT

private slots:
    void startUpOpensTheLineThenSendsBothChannels();
    void changeWritesTheFrameBeforeTheDisplay_data();
    void changeWritesTheFrameBeforeTheDisplay();
    void everyChangeSendsOneFrame();
    void exitClosesOnceWithoutUnload();
    void unloadClosesOnceAndNeverCancels();
    void failureAtStartUp_data();
    void failureAtStartUp();
    void failedWriteLeavesTheDisplay();
    void failedCloseStillReported();
    void hexTextHasNoLeadingZeros_data();
    void hexTextHasNoLeadingZeros();
};

void TestPanelController::startUpOpensTheLineThenSendsBothChannels()
{
    Panel panel;
    panel.controller.Form_Load();

    const Log expected{
        "open /dev/ttyS0 9600,N,8,1", "rts on", "write", "display 0 32", "write", "display 1 32"};
    QCOMPARE(joined(panel.line->log), joined(expected));
    QCOMPARE(panel.line->bytes, startFrames);
    QCOMPARE(panel.view.display(ChannelId::A), "32");
    QCOMPARE(panel.view.display(ChannelId::B), "32");
    QVERIFY(panel.comm1.isOpen());
    QCOMPARE(panel.comm1.portName(), "COM1");
}

void TestPanelController::changeWritesTheFrameBeforeTheDisplay_data()
{
    QTest::addColumn<ChannelId>("channel");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("display");

    QTest::newRow("A 0") << ChannelId::A << 0
                         << QByteArray("\x02"
                                       "D000")
                         << "0";
    QTest::newRow("A 10") << ChannelId::A << 10
                          << QByteArray("\x02"
                                        "D00A")
                          << "A";
    QTest::newRow("A 255") << ChannelId::A << 255
                           << QByteArray("\x02"
                                         "D0FF")
                           << "FF";
    QTest::newRow("B 51") << ChannelId::B << 51
                          << QByteArray("\x02"
                                        "D133")
                          << "33";
    QTest::newRow("B 16") << ChannelId::B << 16
                          << QByteArray("\x02"
                                        "D110")
                          << "10";
}

void TestPanelController::changeWritesTheFrameBeforeTheDisplay()
{
    QFETCH(ChannelId, channel);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    QFETCH(QString, display);

    Panel panel;
    panel.controller.Form_Load();
    panel.line->log.clear();
    panel.line->bytes.clear();

    panel.view.setSliderValue(channel, static_cast<std::int16_t>(value));

    const std::string shown =
        "display " + std::string(1, static_cast<char>(channel)) + ' ' + display.toStdString();
    QCOMPARE(joined(panel.line->log), joined({"write", shown}));
    QCOMPARE(QByteArray::fromStdString(panel.line->bytes), frame);
}

void TestPanelController::everyChangeSendsOneFrame()
{
    Panel panel;
    panel.controller.Form_Load();
    panel.line->bytes.clear();

    // The slider already stands at 50: the handler is not told "no change", it
    // simply sends what the slider holds, every time it is called.
    panel.controller.HScroll2_Change();
    panel.controller.HScroll2_Change();
    panel.controller.HScroll1_Change();
    QCOMPARE(panel.line->bytes, std::string("\x02"
                                            "D132"
                                            "\x02"
                                            "D132"
                                            "\x02"
                                            "D032"));
}

void TestPanelController::exitClosesOnceWithoutUnload()
{
    Panel panel;
    panel.controller.Form_Load();
    panel.line->log.clear();

    panel.controller.Command1_Click();

    QCOMPARE(joined(panel.line->log), joined({"close", "end"}));
    QVERIFY(!panel.comm1.isOpen());
}

void TestPanelController::unloadClosesOnceAndNeverCancels()
{
    Panel panel;
    panel.controller.Form_Load();
    panel.line->log.clear();

    std::int16_t cancel = 0;
    panel.controller.Form_Unload(cancel);

    QCOMPARE(cancel, std::int16_t(0));
    QCOMPARE(joined(panel.line->log), joined({"close", "end"}));
}

void TestPanelController::failureAtStartUp_data()
{
    QTest::addColumn<Operation>("operation");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("logged");

    QTest::newRow("open") << Operation::Open
                          << "COM1 (/dev/ttyS0): cannot open the port: no such device"
                          << "";
    QTest::newRow("rts") << Operation::SetRts
                         << "COM1 (/dev/ttyS0): cannot raise RTS: no such device"
                         << "open /dev/ttyS0 9600,N,8,1";
    QTest::newRow("first frame") << Operation::Write
                                 << "COM1 (/dev/ttyS0): cannot write to the port: no such device"
                                 << "open /dev/ttyS0 9600,N,8,1 | rts on";
}

void TestPanelController::failureAtStartUp()
{
    QFETCH(Operation, operation);
    QFETCH(QString, message);
    QFETCH(QString, logged);

    Panel panel;
    panel.line->failures[operation] = "no such device";

    try {
        panel.controller.Form_Load();
        QFAIL("start-up went on past a failure");
    } catch (const SerialLinkError& error) {
        QCOMPARE(QString::fromStdString(error.what()), message);
    }
    QCOMPARE(joined(panel.line->log), logged);
    QCOMPARE(panel.line->bytes, std::string());
    QCOMPARE(panel.view.display(ChannelId::A), "");
    QCOMPARE(panel.view.display(ChannelId::B), "");
}

void TestPanelController::failedWriteLeavesTheDisplay()
{
    Panel panel;
    panel.controller.Form_Load();
    panel.line->failures[Operation::Write] = "the device has gone";

    QVERIFY_THROWS_EXCEPTION(SerialLinkError, panel.view.setSliderValue(ChannelId::B, 51));

    QCOMPARE(panel.view.display(ChannelId::B), "32");
    QCOMPARE(panel.line->bytes, startFrames);
    QVERIFY(!panel.comm1.isOpen());
    QVERIFY(!panel.line->open);
}

void TestPanelController::failedCloseStillReported()
{
    Panel panel;
    panel.controller.Form_Load();
    panel.line->failures[Operation::Close] = "the line did not drain";

    QVERIFY_THROWS_EXCEPTION(SerialLinkError, panel.controller.Command1_Click());
    QCOMPARE(panel.view.endings(), 0);
    QVERIFY(!panel.comm1.isOpen());
}

void TestPanelController::hexTextHasNoLeadingZeros_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("0") << 0 << "0";
    QTest::newRow("9") << 9 << "9";
    QTest::newRow("15") << 15 << "F";
    QTest::newRow("16") << 16 << "10";
    QTest::newRow("50") << 50 << "32";
    QTest::newRow("171") << 171 << "AB";
    QTest::newRow("255") << 255 << "FF";
}

void TestPanelController::hexTextHasNoLeadingZeros()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(hexText(value)), text);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, hexText(-1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, hexText(256));
}

QTEST_APPLESS_MAIN(TestPanelController)
#include "tst_panel_controller.moc"
