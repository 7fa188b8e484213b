#pragma once

#include "panel_view.h"

#include <QWidget>
#include <array>
#include <exception>
#include <functional>

class QLabel;
class QLineEdit;

namespace potpanel {

class ChannelSlider;
class PanelController;
struct FormControl;

// The panel's one window, Form1, built from its description in form1.h.
// It is the panel logic's view: it answers PanelView and hands its controls'
// events to the controller. A failure of a handler raised by the operator goes
// to the failure handler; one raised by setSliderValue leaves it as an exception,
// to the handler that set the value.
class PanelWindow : public QWidget, public PanelView
{
    Q_OBJECT

public:
    using FailureHandler = std::function<void(const std::exception&)>;

    explicit PanelWindow(QWidget* parent = nullptr);

    void attach(PanelController& controller, FailureHandler onFailure);
    // Tells a screen reader which device stands for the port.
    void describePort(std::string_view port, std::string_view device);

    std::int16_t sliderValue(ChannelId channel) const override;
    void setSliderValue(ChannelId channel, std::int16_t value) override;
    void setDisplayText(ChannelId channel, std::string_view text) override;
    void endProgram(ExitStatus status) override;
    bool offerReconnect(std::string_view message) override;

    // The port's word that its device may have gone; safe to post from its thread.
    void lineChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* createControl(const FormControl& entry);
    void deliver(const std::function<void(PanelController&)>& handler);
    // The window goes, and no handler runs any more.
    void retire();

    PanelController* controller_ = nullptr;
    FailureHandler onFailure_;
    std::array<ChannelSlider*, 2> sliders_{};
    std::array<QLineEdit*, 2> displays_{};
    QLabel* portNotice_ = nullptr;
};

} // namespace potpanel
