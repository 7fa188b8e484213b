#pragma once

#include "panel_controller.h"
#include "panel_view.h"
#include "serial_link.h"

#include <QWidget>
#include <array>
#include <exception>
#include <memory>

class QLineEdit;

namespace potpanel {

class ChannelSlider;
struct FormControl;

// The panel's one window, Form1, built from the control table in form1_controls.h.
// It owns the serial link COMM1, delivers its controls' events to the panel logic
// and implements the view that logic needs. A failure of any handler is shown to
// the operator; then the program ends with a non-zero status.
class PanelWindow : public QWidget, public PanelView
{
    Q_OBJECT

public:
    // deviceForPort names the device behind a port number: the platform's serial
    // device, or another line (a simulated controller's) that stands in for it.
    explicit PanelWindow(std::unique_ptr<SerialPort> port,
                         SerialLink::DeviceForPort deviceForPort = platformDevice,
                         QWidget* parent = nullptr);
    ~PanelWindow() override;

    // Runs the load handling; false when it failed and the operator has been
    // told, in which case the caller ends the program.
    bool load();

    std::int16_t sliderValue(ChannelId channel) const override;
    void setSliderValue(ChannelId channel, std::int16_t value) override;
    void setDisplayText(ChannelId channel, std::string_view text) override;
    void endProgram() override;

    // The session asks the program to end (SIGTERM and the like): the window
    // closes as by its close box. While a failure is being shown the window has
    // already gone; the message is dismissed instead, and the program ends with
    // the failure's status.
    void requestClose();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QWidget* createControl(const FormControl& entry);
    ChannelSlider* slider(ChannelId channel) const;
    QLineEdit* display(ChannelId channel) const;
    void sliderChanged(ChannelId channel);
    // Runs one handler; a failure is shown and ends the program.
    template <typename Handler> bool deliver(Handler handler);
    void fail(const std::exception& error);

    SerialLink comm1_;
    PanelController controller_;
    std::array<ChannelSlider*, 2> sliders_{};
    std::array<QLineEdit*, 2> displays_{};
    bool loading_ = false;
    bool handlerRunning_ = false;
    // A failure of a change handling raised by setSliderValue inside a running
    // handler; setSliderValue passes it on to that handler.
    std::exception_ptr nestedFailure_;
    bool ended_ = false;
};

} // namespace potpanel
