#pragma once

#include "simulated_controller.h"

#include <QWidget>
#include <array>
#include <string_view>

class QLabel;
class QListWidget;
class QProgressBar;

namespace potpanel {

// The simulated controller's own window: each channel's wiper position as a
// number and a bar, and the frames received, newest first.
class ControllerWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ControllerWindow(QWidget* parent = nullptr);

    // Bytes arriving on the line, in whatever pieces the port hands them over.
    void receive(std::string_view bytes);

private:
    struct ChannelRow
    {
        QProgressBar* bar;
        QLabel* value;
    };

    ChannelRow& row(ChannelId channel) { return rows_[channelIndex(channel)]; }
    void showWiper(ChannelId channel);

    SimulatedController controller_;
    std::array<ChannelRow, 2> rows_{};
    QListWidget* log_;
};

} // namespace potpanel
