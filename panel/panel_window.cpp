#include "panel_window.h"

#include "channel_slider.h"
#include "command_button.h"
#include "form1_controls.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <utility>

namespace potpanel {

namespace {

QString toQString(std::string_view text)
{
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

PanelWindow::PanelWindow(std::unique_ptr<SerialPort> port, SerialLink::DeviceForPort deviceForPort,
                         QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      comm1_(std::move(port), std::move(deviceForPort)), controller_(*this, comm1_)
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
        if (control->focusPolicy() & Qt::TabFocus) {
            if (previous)
                setTabOrder(previous, control);
            previous = control;
        }
    }
}

PanelWindow::~PanelWindow() = default;

QWidget* PanelWindow::createControl(const FormControl& entry)
{
    switch (entry.kind) {
    case ControlKind::Slider: {
        const ChannelId channel = *entry.channel;
        auto* slider = new ChannelSlider(this);
        slider->setAccessibleName(toQString(channelCaption(channel)));
        connect(slider, &QScrollBar::valueChanged, this,
                [this, channel] { sliderChanged(channel); });
        sliders_[channelIndex(channel)] = slider;
        return slider;
    }
    case ControlKind::Display: {
        const ChannelId channel = *entry.channel;
        auto* display = new QLineEdit(toQString(entry.text), this);
        display->setAccessibleName(toQString(channelCaption(channel)));
        displays_[channelIndex(channel)] = display;
        return display;
    }
    case ControlKind::Button: {
        auto* button = new CommandButton(toQString(entry.text), this);
        connect(button, &QPushButton::clicked, this,
                [this] { deliver([this] { controller_.Command1_Click(); }); });
        return button;
    }
    case ControlKind::Label:
        break;
    }
    auto* label = new QLabel(toQString(entry.text), this);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (entry.face == ControlFace::Banner) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, bannerColour);
        label->setPalette(palette);
    }
    return label;
}

bool PanelWindow::load()
{
    loading_ = true;
    const bool loaded = deliver([this] { controller_.Form_Load(); });
    loading_ = false;
    return loaded;
}

template <typename Handler> bool PanelWindow::deliver(Handler handler)
{
    // Once the program has ended, a late event (a held arrow's repeat, a second
    // close) reaches no handler.
    if (ended_)
        return false;
    handlerRunning_ = true;
    try {
        handler();
        handlerRunning_ = false;
        return true;
    } catch (const std::exception& error) {
        handlerRunning_ = false;
        fail(error);
        return false;
    }
}

void PanelWindow::sliderChanged(ChannelId channel)
{
    const auto change = [this, channel] {
        if (channel == ChannelId::A)
            controller_.HScroll1_Change();
        else
            controller_.HScroll2_Change();
    };
    if (!handlerRunning_) {
        deliver(change);
        return;
    }
    // Raised by setSliderValue inside a handler: the failure belongs to that
    // handler, and must not cross Qt's signal code as an exception.
    try {
        change();
    } catch (const std::exception&) {
        nestedFailure_ = std::current_exception();
    }
}

void PanelWindow::fail(const std::exception& error)
{
    ended_ = true;
    hide();
    QMessageBox::critical(nullptr, toQString(form1Caption), QString::fromStdString(error.what()));
    // During start-up no event loop runs yet; load() tells the caller instead.
    if (!loading_)
        QCoreApplication::exit(EXIT_FAILURE);
}

ChannelSlider* PanelWindow::slider(ChannelId channel) const
{
    return sliders_[channelIndex(channel)];
}

QLineEdit* PanelWindow::display(ChannelId channel) const
{
    return displays_[channelIndex(channel)];
}

std::int16_t PanelWindow::sliderValue(ChannelId channel) const
{
    return static_cast<std::int16_t>(slider(channel)->value());
}

void PanelWindow::setSliderValue(ChannelId channel, std::int16_t value)
{
    // valueChanged is emitted synchronously, so the change handling has run on return.
    slider(channel)->setValue(value);
    if (nestedFailure_)
        std::rethrow_exception(std::exchange(nestedFailure_, nullptr));
}

void PanelWindow::setDisplayText(ChannelId channel, std::string_view text)
{
    display(channel)->setText(toQString(text));
}

void PanelWindow::endProgram()
{
    ended_ = true;
    hide();
    QCoreApplication::exit(EXIT_SUCCESS);
}

void PanelWindow::requestClose()
{
    if (auto* message = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
        message->reject();
    else
        close();
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
    // Closing is never cancelled, and only the first close is an unload.
    event->accept();
    std::int16_t cancel = 0;
    deliver([this, &cancel] { controller_.Form_Unload(cancel); });
}

} // namespace potpanel
