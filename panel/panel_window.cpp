#include "panel_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>

namespace potpanel {

namespace {
const QString caption = QStringLiteral("Tarvel Digital Potentiometers");
}

PanelWindow::PanelWindow(std::unique_ptr<SerialPort> port, QWidget* parent)
    : QWidget(parent), comm1_(std::move(port)), controller_(*this, comm1_)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(caption);
    setFixedSize(356, 149);

    const auto makeSlider = [this](const char* name, int top) {
        auto* slider = new QScrollBar(Qt::Horizontal, this);
        slider->setObjectName(QString::fromLatin1(name));
        slider->setGeometry(68, top, 193, 21);
        slider->setRange(0, 255);
        slider->setSingleStep(1);
        slider->setPageStep(1);
        slider->setTracking(false);
        return slider;
    };
    hScroll1_ = makeSlider("HScroll1", 20);
    hScroll2_ = makeSlider("HScroll2", 60);
    text1_ = new QLineEdit(this);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setGeometry(280, 20, 37, 21);
    text2_ = new QLineEdit(this);
    text2_->setObjectName(QStringLiteral("Text2"));
    text2_->setGeometry(280, 60, 37, 21);
    auto* exit = new QPushButton(QStringLiteral("EXIT"), this);
    exit->setObjectName(QStringLiteral("Command1"));
    exit->setGeometry(276, 108, 41, 25);

    connect(hScroll1_, &QScrollBar::valueChanged, this,
            [this] { deliver([this] { controller_.HScroll1_Change(); }); });
    connect(hScroll2_, &QScrollBar::valueChanged, this,
            [this] { deliver([this] { controller_.HScroll2_Change(); }); });
    connect(exit, &QPushButton::clicked, this,
            [this] { deliver([this] { controller_.Command1_Click(); }); });
}

PanelWindow::~PanelWindow() = default;

bool PanelWindow::load()
{
    return deliver([this] { controller_.Form_Load(); });
}

template <typename Handler> bool PanelWindow::deliver(Handler handler)
{
    try {
        handler();
        return true;
    } catch (const std::exception& error) {
        fail(error);
        return false;
    }
}

void PanelWindow::fail(const std::exception& error)
{
    ended_ = true;
    hide();
    QMessageBox::critical(nullptr, caption, QString::fromStdString(error.what()));
    QCoreApplication::exit(EXIT_FAILURE);
}

QScrollBar* PanelWindow::slider(ChannelId channel) const
{
    return channel == ChannelId::A ? hScroll1_ : hScroll2_;
}

QLineEdit* PanelWindow::display(ChannelId channel) const
{
    return channel == ChannelId::A ? text1_ : text2_;
}

std::int16_t PanelWindow::sliderValue(ChannelId channel) const
{
    return static_cast<std::int16_t>(slider(channel)->value());
}

void PanelWindow::setSliderValue(ChannelId channel, std::int16_t value)
{
    // valueChanged is emitted synchronously, so the change handling has run on return.
    slider(channel)->setValue(value);
}

void PanelWindow::setDisplayText(ChannelId channel, std::string_view text)
{
    display(channel)->setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void PanelWindow::endProgram()
{
    ended_ = true;
    hide();
    QCoreApplication::exit(EXIT_SUCCESS);
}

void PanelWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (ended_)
        return;
    std::int16_t cancel = 0;
    deliver([this, &cancel] { controller_.Form_Unload(cancel); });
}

} // namespace potpanel
