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
    if (hint == SH_ScrollBar_LeftClickAbsolutePosition)
        return 0;
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace potpanel
