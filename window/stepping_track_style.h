#pragma once

#include <QProxyStyle>

namespace potpanel {

// The application's style, except that a left click on a scroll bar's track
// always steps towards the click instead of jumping there, and a middle click
// does nothing, whatever the desktop prefers.
class SteppingTrackStyle : public QProxyStyle
{
    Q_OBJECT

public:
    SteppingTrackStyle();

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

} // namespace potpanel
