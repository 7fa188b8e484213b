#include "channel_slider.h"

#include "stepping_track_style.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>
#include <optional>

namespace potpanel {

namespace {

// Qt's horizontal scroll bar reads Up and Page Up as "towards the start", like a
// page scrolling up; a slider setting a level reads them as "more".
std::optional<QAbstractSlider::SliderAction> actionForKey(int key)
{
    switch (key) {
    case Qt::Key_Right:
    case Qt::Key_Up:
        return QAbstractSlider::SliderSingleStepAdd;
    case Qt::Key_Left:
    case Qt::Key_Down:
        return QAbstractSlider::SliderSingleStepSub;
    case Qt::Key_PageUp:
        return QAbstractSlider::SliderPageStepAdd;
    case Qt::Key_PageDown:
        return QAbstractSlider::SliderPageStepSub;
    case Qt::Key_Home:
        return QAbstractSlider::SliderToMinimum;
    case Qt::Key_End:
        return QAbstractSlider::SliderToMaximum;
    default:
        return std::nullopt;
    }
}

} // namespace

ChannelSlider::ChannelSlider(QWidget* parent) : QScrollBar(Qt::Horizontal, parent)
{
    auto* style = new SteppingTrackStyle;
    style->setParent(this);
    setStyle(style);
    setRange(0, 255);
    setSingleStep(1);
    setPageStep(1);
    // The wheel, like the keys, turns the level up when rolled up.
    setInvertedControls(false);
    // A drag moves only the thumb; the value follows once, on release.
    setTracking(false);
    setFocusPolicy(Qt::StrongFocus);
    // Qt's scroll-bar menu offers "Right edge": one stray click would send full scale.
    setContextMenuPolicy(Qt::NoContextMenu);
}

QRect ChannelSlider::partRect(QStyle::SubControl part) const
{
    QStyleOptionSlider option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ScrollBar, &option, part, this);
}

void ChannelSlider::keyPressEvent(QKeyEvent* event)
{
    const auto action = actionForKey(event->key());
    if (!action) {
        QScrollBar::keyPressEvent(event);
        return;
    }
    // triggerAction commits the new value at once, tracking or not.
    triggerAction(*action);
    event->accept();
}

void ChannelSlider::paintEvent(QPaintEvent* event)
{
    QScrollBar::paintEvent(event);
    if (!hasFocus())
        return;
    // Styles such as Fusion mark no focus on a scroll bar; without a mark the
    // operator cannot tell which slider the keys will move.
    QStylePainter painter(this);
    QStyleOptionFocusRect mark;
    mark.initFrom(this);
    mark.rect = partRect(QStyle::SC_ScrollBarSlider).adjusted(2, 2, -2, -2);
    mark.state |= QStyle::State_KeyboardFocusChange | QStyle::State_HasFocus;
    mark.backgroundColor = palette().color(QPalette::Button);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, mark);
}

} // namespace potpanel
