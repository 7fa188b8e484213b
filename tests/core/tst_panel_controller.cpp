// The panel logic between a window and a port that fails: what reaches the
// display when the frame could not be written, and what the operator is asked
// when the device goes under a write.

#include "panel_controller.h"

#include <QTest>
#include <array>
#include <optional>
#include <stdexcept>
#include <vector>

using namespace potpanel;

namespace {

// A port whose writes fail once `writesLeft` have gone through: the device has
// gone, if so told, else for another cause.
struct FailingPort final : SerialPort
{
    explicit FailingPort(int writes, bool goes = false) : writesLeft(writes), goes(goes) {}
    void open(const std::string&, const LineSettings&) override {}
    void setRts(bool) override {}
    void write(std::string_view) override
    {
        if (writesLeft-- > 0)
            return;
        gone = goes;
        if (goes)
            throw DeviceGone("Input/output error");
        throw PortFailure("the line did not take everything");
    }
    void close() override {}
    void watch(std::function<void()>) override {}
    bool hasGone() override { return gone; }
    int writesLeft;
    bool goes;
    bool gone = false;
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
    void endProgram(ExitStatus status) override { ended = status; }
    // The port's watch tells of the loss while the question is up, as it does
    // when a write saw it first; then the operator answers OK.
    bool offerReconnect(std::string_view message) override
    {
        offers.emplace_back(message);
        controller->lineChanged();
        return false;
    }
    std::vector<std::string> offers;
    std::optional<ExitStatus> ended;
};

} // namespace

class TestPanelController : public QObject
{
    Q_OBJECT

private slots:
    void showsOnlyWhatWasWritten();
    void asksOnceWhenTheDeviceGoesUnderAWrite();
};

void TestPanelController::showsOnlyWhatWasWritten()
{
    // Writes that succeed before the failing one: channel A's start frame fails, then B's.
    for (const auto& [writesLeft, displays] :
         {std::pair{0, QStringList{"", ""}}, {1, {"32", ""}}}) {
        MemoryView view;
        SerialLink comm1(std::make_unique<FailingPort>(writesLeft));
        PanelController controller(view, comm1);
        view.controller = &controller;
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, controller.Form_Load());
        QCOMPARE((QStringList{QString::fromStdString(view.displays[0]),
                              QString::fromStdString(view.displays[1])}),
                 displays);
    }
}

void TestPanelController::asksOnceWhenTheDeviceGoesUnderAWrite()
{
    MemoryView view;
    SerialLink comm1(std::make_unique<FailingPort>(2, true));
    PanelController controller(view, comm1);
    view.controller = &controller;
    controller.Form_Load();
    view.sliders[0] = 51;
    controller.HScroll1_Change();
    QCOMPARE(view.offers.size(), std::size_t(1));
    QVERIFY2(view.offers[0].starts_with("COM1 (/dev/ttyS0): the device is gone: it was unplugged, "
                                        "switched off or its far end closed"),
             view.offers[0].c_str());
    QVERIFY(view.ended == ExitStatus::Failure && view.displays[0] == "32" && !comm1.isOpen());
}

QTEST_APPLESS_MAIN(TestPanelController)
#include "tst_panel_controller.moc"
