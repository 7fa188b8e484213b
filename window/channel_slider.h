#pragma once

#include <QScrollBar>
#include <QStyle>

namespace potpanel {

// A channel's horizontal slider, 0 to 255 in steps of 1. Its value changes only
// when a move is committed: an arrow or track click, a key, or the release of a
// dragged thumb; every such change emits valueChanged once. It takes focus from
// Tab and a click and marks its thumb while it has focus. Right, Up and Page Up
// raise the value, Left, Down and Page Down lower it, Home and End go to the ends;
// the wheel rolled up raises it.
class ChannelSlider : public QScrollBar
{
    Q_OBJECT

public:
    explicit ChannelSlider(QWidget* parent = nullptr);

    // Where an arrow, the track either side of the thumb, or the thumb lies now.
    QRect partRect(QStyle::SubControl part) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};

} // namespace potpanel
