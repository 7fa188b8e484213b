#include "controller_window.h"

#include "frame_description.h"

#include <QFontDatabase>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>

namespace potpanel {
namespace {

QString channelSuffix(ChannelId channel)
{
    return channel == ChannelId::A ? QStringLiteral("A") : QStringLiteral("B");
}

} // namespace

ControllerWindow::ControllerWindow(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ControllerWindow"));
    setWindowTitle(QStringLiteral("Simulated controller on COM1"));

    auto* layout = new QGridLayout(this);
    int line = 0;
    for (const ChannelId channel : {ChannelId::A, ChannelId::B}) {
        const QString suffix = channelSuffix(channel);
        auto* bar = new QProgressBar(this);
        bar->setObjectName(QStringLiteral("Wiper") + suffix);
        bar->setRange(0, 255);
        bar->setTextVisible(false);
        bar->setValue(0);
        auto* value = new QLabel(this);
        value->setObjectName(QStringLiteral("Value") + suffix);
        value->setMinimumWidth(64);
        const QString caption = QString::fromUtf8(channelCaption(channel).data());
        // Named as the panel's slider is, by its caption, which is tied to it.
        auto* label = new QLabel(caption, this);
        label->setBuddy(bar);
        bar->setAccessibleName(caption);
        bar->setAccessibleDescription(QStringLiteral("Where the controller has set channel %1's "
                                                     "wiper, from 0 to 255")
                                          .arg(suffix));
        value->setAccessibleDescription(
            QStringLiteral("Channel %1's wiper position; in brackets, in hexadecimal").arg(suffix));
        layout->addWidget(label, line, 0);
        layout->addWidget(bar, line, 1);
        layout->addWidget(value, line, 2);
        row(channel) = {bar, value};
        showWiper(channel);
        ++line;
    }
    auto* heading = new QLabel(QStringLiteral("Frames received, newest first:"), this);
    layout->addWidget(heading, line++, 0, 1, 3);
    log_ = new QListWidget(this);
    log_->setObjectName(QStringLiteral("FrameLog"));
    heading->setBuddy(log_);
    log_->setAccessibleName(QStringLiteral("Frames received"));
    log_->setAccessibleDescription(QStringLiteral("Newest first, each in hex and what it meant"));
    log_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(log_, line, 0, 1, 3);
    resize(420, 300);
}

void ControllerWindow::showWiper(ChannelId channel)
{
    const std::optional<int> position = controller_.wiper(channel);
    ChannelRow& shown = row(channel);
    // Before its first frame the wiper's position is unknown, not zero.
    shown.bar->setValue(position.value_or(0));
    shown.bar->setEnabled(position.has_value());
    shown.value->setText(position ? QStringLiteral("%1 (%2)").arg(*position).arg(
                                        QString::fromStdString(hexText(*position)))
                                  : QStringLiteral("unknown"));
}

void ControllerWindow::receive(std::string_view bytes)
{
    for (const DecodedFrame& frame : controller_.receive(bytes)) {
        auto* item = new QListWidgetItem(QString::fromStdString(describe(frame)));
        if (frame.kind != DecodedFrame::Kind::Wiper)
            item->setForeground(Qt::red);
        log_->insertItem(0, item);
        if (frame.kind == DecodedFrame::Kind::Wiper)
            showWiper(frame.channel);
    }
}

} // namespace potpanel
