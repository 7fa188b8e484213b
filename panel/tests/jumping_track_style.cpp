// A style such as some desktops choose, where a left click on a scroll bar's
// track jumps there. Built in as a style plugin so that it reaches the program
// by name, the way a desktop's style does.

#include <QProxyStyle>
#include <QStylePlugin>

namespace {

class JumpingTrackStyle : public QProxyStyle
{
public:
    JumpingTrackStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override
    {
        if (hint == SH_ScrollBar_LeftClickAbsolutePosition)
            return 1;
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

} // namespace

class JumpingTrackStylePlugin : public QStylePlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QStyleFactoryInterface_iid FILE "jumping_track_style.json")

public:
    QStyle* create(const QString& key) override
    {
        if (key.compare(QLatin1String("JumpingTrack"), Qt::CaseInsensitive) != 0)
            return nullptr;
        return new JumpingTrackStyle;
    }
};

#include "jumping_track_style.moc"
