// The panel logic between a window and a port that fails: what reaches the
// display when the frame could not be written.

#include "panel_controller.h"

#include <QTest>
#include <array>
#include <stdexcept>

using namespace potpanel;

namespace {

// A port whose writes fail once `writesLeft` have gone through.
struct FailingPort final : SerialPort
{
    explicit FailingPort(int writes) : writesLeft(writes) {}
    void open(const std::string&, const LineSettings&) override {}
    void setRts(bool) override {}
    void write(std::string_view) override
    {
        if (writesLeft-- <= 0)
            throw PortFailure("the device has gone");
    }
    void close() override {}
    void watch(std::function<void()>) override {}
    bool hasGone() override { return false; }
    int writesLeft;
};

// Sliders and displays in memory; a changed slider runs its channel's handling.
struct MemoryView final : PanelView
{
    PanelController* controller = nullptr;
    std::array<std::int16_t, 2> sliders{};
    std::array<std::string, 2> displays;

    std::int16_t sliderValue(ChannelId channel) const override
    {
        return sliders[channelIndex(channel)];
    }
    void setSliderValue(ChannelId channel, std::int16_t value) override
    {
        if (std::exchange(sliders[channelIndex(channel)], value) != value)
            channel == ChannelId::A ? controller->HScroll1_Change() : controller->HScroll2_Change();
    }
    void setDisplayText(ChannelId channel, std::string_view text) override
    {
        displays[channelIndex(channel)] = text;
    }
    void endProgram(ExitStatus) override {}
    bool offerReconnect(std::string_view) override { return false; }
};

} // namespace

class TestPanelController : public QObject
{
    Q_OBJECT

private slots:
    void showsOnlyWhatWasWritten_data();
    void showsOnlyWhatWasWritten();
};

void TestPanelController::showsOnlyWhatWasWritten_data()
{
    // Writes that succeed before the failing one; the displays afterwards.
    QTest::addColumn<int>("writesLeft");
    QTest::addColumn<QStringList>("displays");
    QTest::newRow("channel A's start frame fails") << 0 << QStringList{"", ""};
    QTest::newRow("channel B's start frame fails") << 1 << QStringList{"32", ""};
}

void TestPanelController::showsOnlyWhatWasWritten()
{
    QFETCH(int, writesLeft);
    QFETCH(QStringList, displays);
    MemoryView view;
    SerialLink comm1(std::make_unique<FailingPort>(writesLeft));
    PanelController controller(view, comm1);
    view.controller = &controller;
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, controller.Form_Load());
    QCOMPARE((QStringList{QString::fromStdString(view.displays[0]),
                          QString::fromStdString(view.displays[1])}),
             displays);
}

QTEST_APPLESS_MAIN(TestPanelController)
#include "tst_panel_controller.moc"
