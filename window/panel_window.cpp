#include "panel_window.h"

#include "accessible_texts.h"
#include "channel_slider.h"
#include "command_button.h"
#include "form1_qt.h"
#include "panel_controller.h"
#include "reconnect_question.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <limits>

namespace potpanel {

namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

PanelWindow::PanelWindow(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(toQString(form1Name));
    setWindowTitle(toQString(form1Caption));
    setFixedSize(toPixels(form1ClientArea).size());
    setFont(windowFont());

    QWidget* previous = nullptr;
    for (const FormControl& entry : form1Controls) {
        QWidget* control = createControl(entry);
        control->setObjectName(toQString(entry.name));
        control->setGeometry(toPixels(entry.twips));
        if (const auto font = ownFont(entry.face))
            control->setFont(*font);
        const AccessibleTexts spoken = accessibleTexts(entry);
        if (!spoken.name.empty())
            control->setAccessibleName(toQString(spoken.name));
        control->setAccessibleDescription(toQString(spoken.description));
        if (control->focusPolicy() & Qt::TabFocus) {
            if (previous)
                setTabOrder(previous, control);
            previous = control;
        }
    }
}

void PanelWindow::attach(PanelController& controller, FailureHandler onFailure)
{
    controller_ = &controller;
    onFailure_ = std::move(onFailure);
}

QWidget* PanelWindow::createControl(const FormControl& entry)
{
    switch (entry.kind) {
    case ControlKind::Slider: {
        const ChannelId channel = *entry.channel;
        auto* slider = new ChannelSlider(this);
        connect(slider, &QScrollBar::valueChanged, this, [this, channel] {
            deliver([channel](PanelController& c) { c.sliderChanged(channel); });
        });
        sliders_[channelIndex(channel)] = slider;
        return slider;
    }
    case ControlKind::Display: {
        const ChannelId channel = *entry.channel;
        auto* display = new QLineEdit(toQString(entry.text), this);
        // Nothing reads what is typed here, so nothing bounds it either.
        display->setMaxLength(std::numeric_limits<int>::max());
        displays_[channelIndex(channel)] = display;
        return display;
    }
    case ControlKind::Button: {
        auto* button = new CommandButton(toQString(entry.text), this);
        connect(button, &QPushButton::clicked, this,
                [this] { deliver([](PanelController& c) { c.Command1_Click(); }); });
        return button;
    }
    case ControlKind::Label:
        break;
    }
    auto* label = new QLabel(toQString(entry.text), this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // A caption is its slider's label (the slider comes first in the table).
    if (entry.channel)
        label->setBuddy(sliders_[channelIndex(*entry.channel)]);
    if (isPortNotice(entry))
        portNotice_ = label;
    if (entry.face == ControlFace::Banner) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, toQColor(bannerColour));
        label->setPalette(palette);
    }
    return label;
}

void PanelWindow::describePort(std::string_view port, std::string_view device)
{
    portNotice_->setAccessibleDescription(toQString(portDescription(port, device)));
}

void PanelWindow::deliver(const std::function<void(PanelController&)>& handler)
{
    // No exception may cross Qt's event code: the failure handler takes it.
    try {
        if (controller_)
            handler(*controller_);
    } catch (const std::exception& failure) {
        retire();
        onFailure_(failure);
    }
}

std::int16_t PanelWindow::sliderValue(ChannelId channel) const
{
    return static_cast<std::int16_t>(sliders_[channelIndex(channel)]->value());
}

void PanelWindow::setSliderValue(ChannelId channel, std::int16_t value)
{
    ChannelSlider* slider = sliders_[channelIndex(channel)];
    const int before = slider->value();
    {
        const QSignalBlocker quiet(slider);
        slider->setValue(value);
    }
    if (slider->value() == before)
        return;
    // The change handling runs here, as a plain call, so that a failure reaches
    // the handler that set the value.
    if (controller_)
        controller_->sliderChanged(channel);
}

void PanelWindow::setDisplayText(ChannelId channel, std::string_view text)
{
    displays_[channelIndex(channel)]->setText(toQString(text));
}

void PanelWindow::endProgram(ExitStatus status)
{
    retire();
    QCoreApplication::exit(status == ExitStatus::Success ? EXIT_SUCCESS : EXIT_FAILURE);
}

bool PanelWindow::offerReconnect(std::string_view message)
{
    return askReconnect(toQString(message));
}

void PanelWindow::lineChanged()
{
    deliver([](PanelController& c) { c.lineChanged(); });
}

void PanelWindow::retire()
{
    // Late events (a held key's repeat, a second close) reach no handler.
    controller_ = nullptr;
    hide();
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
    // Closing is never cancelled.
    event->accept();
    std::int16_t cancel = 0;
    deliver([&cancel](PanelController& c) { c.Form_Unload(cancel); });
}

} // namespace potpanel
