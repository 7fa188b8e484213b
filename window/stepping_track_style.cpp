#include "stepping_track_style.h"

#include <QApplication>
#include <QStyleFactory>

namespace potpanel {

SteppingTrackStyle::SteppingTrackStyle()
    : QProxyStyle(QStyleFactory::create(QApplication::style()->name()))
{
}

int SteppingTrackStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                  QStyleHintReturn* returnData) const
{
    // A click never jumps the thumb to where it lands; a middle click, which
    // some styles make jump, does nothing at all.
    if (hint == SH_ScrollBar_LeftClickAbsolutePosition ||
        hint == SH_ScrollBar_MiddleClickAbsolutePosition)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace potpanel
