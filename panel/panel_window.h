#pragma once

#include "panel_controller.h"
#include "panel_view.h"
#include "serial_link.h"

#include <QWidget>
#include <memory>

class QLineEdit;
class QScrollBar;

namespace potpanel {

// The panel's one window, Form1. It owns the serial link COMM1, delivers its
// controls' events to the panel logic and implements the view that logic needs.
// A failure of any handler is shown to the operator and ends the program with a
// non-zero status.
class PanelWindow : public QWidget, public PanelView
{
    Q_OBJECT

public:
    explicit PanelWindow(std::unique_ptr<SerialPort> port, QWidget* parent = nullptr);
    ~PanelWindow() override;

    // Runs the load handling; false when it failed and the operator has been told.
    bool load();

    std::int16_t sliderValue(ChannelId channel) const override;
    void setSliderValue(ChannelId channel, std::int16_t value) override;
    void setDisplayText(ChannelId channel, std::string_view text) override;
    void endProgram() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QScrollBar* slider(ChannelId channel) const;
    QLineEdit* display(ChannelId channel) const;
    // Runs one handler; a failure is shown and ends the program.
    template <typename Handler> bool deliver(Handler handler);
    void fail(const std::exception& error);

    SerialLink comm1_;
    PanelController controller_;
    QScrollBar* hScroll1_;
    QScrollBar* hScroll2_;
    QLineEdit* text1_;
    QLineEdit* text2_;
    bool ended_ = false;
};

} // namespace potpanel
