#include "channel_slider.h"
#include "memory_serial_port.h"
#include "panel_application.h"
#include "panel_window.h"

#include <QAccessible>
#include <QApplication>
#include <QCloseEvent>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <QtPlugin>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <functional>

using namespace potpanel;

Q_IMPORT_PLUGIN(JumpingTrackStylePlugin)

namespace {

using Operation = MemoryLine::Operation;

const QByteArray startFrames("\x02"
                             "D032"
                             "\x02"
                             "D132");

// Faces that set text in Arial's metrics.
const QStringList arialFaces{"Arial", "Liberation Sans", "Arimo"};

// The frame for a channel character and a value, spelled out independently of
// the encoder under test.
QByteArray frameFor(char channel, int value)
{
    return QByteArray("\x02"
                      "D") +
           channel + QByteArray::number(value, 16).toUpper().rightJustified(2, '0');
}

// What a display should read for a value.
QString hexFor(int value)
{
    return QString::number(value, 16).toUpper();
}

// The status the event loop ends with when nothing ended the program.
constexpr int stuck = 99;

// Bounds a run of the event loop: ends it with `stuck` if nothing else does.
class Watchdog
{
public:
    Watchdog()
    {
        timer_.setSingleShot(true);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            fired_ = true;
            QCoreApplication::exit(stuck);
        });
        timer_.start(std::chrono::seconds(30));
    }

    // Whether the run had to be ended from here; a failure at start-up turns
    // `stuck` into the ordinary failure status, so the status alone cannot tell.
    bool fired() const { return fired_; }

private:
    QTimer timer_;
    bool fired_ = false;
};

// Runs the application's event loop, as the program does, with action done once
// it runs; returns the status the program ended with.
int runEventLoop(const std::function<void()>& action)
{
    QObject context;
    QMetaObject::invokeMethod(&context, action, Qt::QueuedConnection);
    const Watchdog watchdog;
    return QCoreApplication::exec();
}

QWidget* findForm1()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    const auto form1 = std::ranges::find_if(
        windows, [](const QWidget* w) { return w->objectName() == QLatin1String("Form1"); });
    return form1 == windows.end() ? nullptr : *form1;
}

// While it lives, watches every window the application shows and every close
// event Form1 receives; answers each message box with a click on its OK button.
class WindowWatch : public QObject
{
public:
    struct Message
    {
        QString title;
        QString text;
        QMessageBox::Icon icon;
        bool form1Visible;
    };

    WindowWatch() { qApp->installEventFilter(this); }
    ~WindowWatch() override { qApp->removeEventFilter(this); }

    std::vector<Message> messages;
    std::function<void(QMessageBox*)> answer = [](QMessageBox* box) {
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    };
    QStringList shownWindows;
    int form1Closes = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!watched->isWidgetType())
            return false;
        auto* widget = static_cast<QWidget*>(watched);
        if (event->type() == QEvent::Close && widget->objectName() == QLatin1String("Form1"))
            ++form1Closes;
        if (event->type() != QEvent::Show || !widget->isWindow())
            return false;
        shownWindows << widget->objectName();
        if (auto* box = qobject_cast<QMessageBox*>(widget)) {
            const QWidget* form1 = findForm1();
            messages.push_back(
                {box->windowTitle(), box->text(), box->icon(), form1 && form1->isVisible()});
            QMetaObject::invokeMethod(
                box, [this, box] { answer(box); }, Qt::QueuedConnection);
        }
        return false;
    }
};

// Form1 on a line in memory.
struct Panel
{
    std::shared_ptr<MemoryLine> line = std::make_shared<MemoryLine>();
    PanelWindow window{std::make_unique<MemorySerialPort>(line)};

    // Loads and shows the window as the program does; false if it did not come up.
    bool start()
    {
        if (!window.load())
            return false;
        window.show();
        window.activateWindow();
        return QTest::qWaitForWindowActive(&window);
    }

    template <typename Control = QWidget> Control* control(const QString& name) const
    {
        return window.findChild<Control*>(name);
    }
    ChannelSlider* slider(const QString& name) const { return control<ChannelSlider>(name); }
    QByteArray bytes() const { return QByteArray::fromStdString(line->bytes); }
    qsizetype closes() const { return std::ranges::count(line->log, std::string("close")); }
};

QWidget* focused()
{
    return QApplication::focusWidget();
}

// The window's controls in the order Tab walks Qt's focus chain, focusable or not.
QStringList focusChain(const QWidget& window)
{
    QStringList names;
    for (QWidget* w = window.nextInFocusChain(); w != &window; w = w->nextInFocusChain()) {
        if (w->parentWidget() == &window)
            names << w->objectName();
    }
    return names;
}

QString accessibleName(QWidget* widget)
{
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

} // namespace

class TestPanelWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void controlsFollowTheLayout_data();
    void controlsFollowTheLayout();
    void slidersRunFrom0To255InSingleSteps_data();
    void slidersRunFrom0To255InSingleSteps();
    void displaysAreOrdinaryEditableBoxes_data();
    void displaysAreOrdinaryEditableBoxes();
    void windowIsFixedWithCloseBoxAndSystemMenu();
    void textFitsItsBox_data();
    void textFitsItsBox();
    void bannerIsDrawnInTeal();
    void exitIsNeitherDefaultNorCancel();

    void tabWalksTheControlsInOrder_data();
    void tabWalksTheControlsInOrder();
    void startUpSendsBothFramesBeforeShowing();
    void focusMarkShowsOnlyOnTheFocusedSlider_data();
    void focusMarkShowsOnlyOnTheFocusedSlider();

    void mouseOnSliderSendsOneFrame_data();
    void mouseOnSliderSendsOneFrame();
    void trackClickStepsWhateverTheStylePrefers_data();
    void trackClickStepsWhateverTheStylePrefers();
    void keyOnFocusedSliderSendsOneFrame_data();
    void keyOnFocusedSliderSendsOneFrame();
    void wheelSendsOneFramePerNotch_data();
    void wheelSendsOneFramePerNotch();
    void dragSendsOnlyOnRelease_data();
    void dragSendsOnlyOnRelease();
    void displayShowsHexWithoutLeadingZeros_data();
    void displayShowsHexWithoutLeadingZeros();
    void typedTextIsNeverSent_data();
    void typedTextIsNeverSent();

    void exitClosesOnceWithoutUnload_data();
    void exitClosesOnceWithoutUnload();
    void closingRunsUnloadOnce_data();
    void closingRunsUnloadOnce();
    void terminationRequestClosesLikeTheCloseBox_data();
    void terminationRequestClosesLikeTheCloseBox();
    void startUpFailureEndsBeforeTheWindowShows_data();
    void startUpFailureEndsBeforeTheWindowShows();
    void failureWhileRunningEndsTheProgram_data();
    void failureWhileRunningEndsTheProgram();
    void terminationRequestWhileAFailureShowsEndsWithIt_data();
    void terminationRequestWhileAFailureShowsEndsWithIt();
};

void TestPanelWindow::initTestCase()
{
    // As the program runs: only EXIT, the unload handling or a failure end it.
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

void TestPanelWindow::controlsFollowTheLayout_data()
{
    QTest::addColumn<QString>("className");
    QTest::addColumn<QRect>("geometry");
    QTest::addColumn<int>("tabIndex");
    QTest::addColumn<bool>("takesFocus");
    QTest::addColumn<QString>("text");
    // 0 for the window's own font; otherwise the point size of an Arial face.
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("italic");

    QTest::newRow("HScroll1") << "QScrollBar" << QRect(68, 20, 193, 21) << 0 << true << "" << 0.0
                              << false;
    QTest::newRow("HScroll2") << "QScrollBar" << QRect(68, 60, 193, 21) << 1 << true << "" << 0.0
                              << false;
    QTest::newRow("Label1") << "QLabel" << QRect(8, 24, 33, 21) << 2 << false << "CH-A" << 0.0
                            << false;
    QTest::newRow("Label2") << "QLabel" << QRect(8, 64, 33, 21) << 3 << false << "CH-B" << 0.0
                            << false;
    QTest::newRow("Text1") << "QLineEdit" << QRect(280, 20, 37, 21) << 4 << true << "" << 9.75
                           << false;
    QTest::newRow("Text2") << "QLineEdit" << QRect(280, 60, 37, 21) << 5 << true << "" << 9.75
                           << false;
    QTest::newRow("Command1") << "QPushButton" << QRect(276, 108, 41, 25) << 6 << true << "EXIT"
                              << 0.0 << false;
    QTest::newRow("Label3") << "QLabel" << QRect(12, 116, 61, 17) << 7 << false << "COM1 Only"
                            << 0.0 << false;
    QTest::newRow("Label4") << "QLabel" << QRect(84, 108, 181, 29) << 8 << false << "Brennow"
                            << 14.25 << true;
}

void TestPanelWindow::controlsFollowTheLayout()
{
    QFETCH(QString, className);
    QFETCH(QRect, geometry);
    QFETCH(int, tabIndex);
    QFETCH(bool, takesFocus);
    QFETCH(QString, text);
    QFETCH(double, points);
    QFETCH(bool, italic);

    Panel panel; // as created, before the load handling
    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QWidget* control = panel.control(name);
    QVERIFY(control);
    QCOMPARE(control->parentWidget(), &panel.window);
    QVERIFY(control->inherits(className.toLatin1().constData()));
    QCOMPARE(control->geometry(), geometry);
    QCOMPARE(focusChain(panel.window).indexOf(name), tabIndex);
    QCOMPARE(bool(control->focusPolicy() & Qt::TabFocus), takesFocus);

    QString shown;
    if (auto* label = qobject_cast<QLabel*>(control))
        shown = label->text();
    else if (auto* button = qobject_cast<QPushButton*>(control))
        shown = button->text();
    else if (auto* edit = qobject_cast<QLineEdit*>(control))
        shown = edit->text();
    QCOMPARE(shown, text);

    const QFont font = control->font();
    QVERIFY(!font.underline());
    QVERIFY(!font.strikeOut());
    if (points == 0.0) {
        QCOMPARE(font, panel.window.font());
        QVERIFY(!control->testAttribute(Qt::WA_SetFont));
        return;
    }
    QCOMPARE(font.family(), QString("Arial"));
    QCOMPARE(font.pointSizeF(), points);
    QCOMPARE(font.weight(), QFont::Bold);
    QCOMPARE(font.italic(), italic);
    const QFontInfo resolved(font);
    QVERIFY2(arialFaces.contains(resolved.family()), qPrintable(resolved.family()));
    QCOMPARE(resolved.bold(), true);
    QCOMPARE(resolved.italic(), italic);
}

void TestPanelWindow::slidersRunFrom0To255InSingleSteps_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("HScroll1") << "CH-A";
    QTest::newRow("HScroll2") << "CH-B";
}

void TestPanelWindow::slidersRunFrom0To255InSingleSteps()
{
    QFETCH(QString, caption);

    Panel panel;
    QScrollBar* slider = panel.control<QScrollBar>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(slider);
    QCOMPARE(slider->orientation(), Qt::Horizontal);
    QCOMPARE(slider->minimum(), 0);
    QCOMPARE(slider->maximum(), 255);
    QCOMPARE(slider->singleStep(), 1);
    QCOMPARE(slider->pageStep(), 1);
    QCOMPARE(slider->value(), 0);
    QVERIFY(!slider->hasTracking());
    QVERIFY(!slider->invertedAppearance());
    QCOMPARE(slider->focusPolicy(), Qt::StrongFocus);
    QCOMPARE(accessibleName(slider), caption);
}

void TestPanelWindow::displaysAreOrdinaryEditableBoxes_data()
{
    QTest::addColumn<QString>("caption");
    QTest::newRow("Text1") << "CH-A";
    QTest::newRow("Text2") << "CH-B";
}

void TestPanelWindow::displaysAreOrdinaryEditableBoxes()
{
    QFETCH(QString, caption);

    Panel panel;
    QLineEdit* display = panel.control<QLineEdit>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(display);
    QVERIFY(!display->isReadOnly());
    QVERIFY(display->isEnabled());
    QCOMPARE(display->echoMode(), QLineEdit::Normal);
    QCOMPARE(display->maxLength(), 32767); // Qt's own bound: no limit of the panel's
    QVERIFY(display->validator() == nullptr);
    QVERIFY(display->inputMask().isEmpty());
    QCOMPARE(accessibleName(display), caption);
}

void TestPanelWindow::windowIsFixedWithCloseBoxAndSystemMenu()
{
    Panel panel;
    QCOMPARE(panel.window.objectName(), QString("Form1"));
    QCOMPARE(panel.window.windowTitle(), QString("Tarvel Digital Potentiometers"));
    QCOMPARE(panel.window.size(), QSize(356, 149));
    QCOMPARE(panel.window.minimumSize(), QSize(356, 149));
    QCOMPARE(panel.window.maximumSize(), QSize(356, 149));

    const Qt::WindowFlags flags = panel.window.windowFlags();
    QVERIFY(panel.window.isWindow());
    QVERIFY(flags & Qt::WindowTitleHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));

    QVERIFY(panel.start());
    panel.window.resize(500, 300);
    QCOMPARE(panel.window.size(), QSize(356, 149));
    QVERIFY(!(panel.window.windowHandle()->flags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(panel.window.windowHandle()->minimumSize(),
             panel.window.windowHandle()->maximumSize());
}

void TestPanelWindow::textFitsItsBox_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("Label1") << "CH-A";
    QTest::newRow("Label2") << "CH-B";
    QTest::newRow("Label3") << "COM1 Only";
    QTest::newRow("Label4") << "Brennow";
    QTest::newRow("Command1") << "EXIT";
    QTest::newRow("Text1") << "FF";
    QTest::newRow("Text2") << "FF";
}

void TestPanelWindow::textFitsItsBox()
{
    QFETCH(QString, text);

    Panel panel;
    QWidget* control = panel.control(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(control);
    QRect room = control->contentsRect();
    if (auto* button = qobject_cast<QPushButton*>(control)) {
        QStyleOptionButton option;
        option.initFrom(button);
        room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit);
        const QRect contents =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        // QLineEdit keeps two pixels clear on either side of its text.
        room = contents.adjusted(2, 0, -2, 0);
    }
    const QFontMetrics metrics(control->font());
    const int width = metrics.horizontalAdvance(text);
    QVERIFY2(width <= room.width(),
             qPrintable(QString("%1 px of text in %2 px").arg(width).arg(room.width())));
    QVERIFY(metrics.ascent() + metrics.descent() <= room.height());
}

void TestPanelWindow::bannerIsDrawnInTeal()
{
    Panel panel;
    const QColor teal(0, 128, 128);
    auto tealPixels = [teal](QWidget* widget) {
        const QImage image = widget->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                count += image.pixelColor(x, y).rgb() == teal.rgb();
        }
        return count;
    };
    QLabel* banner = panel.control<QLabel>("Label4");
    QCOMPARE(banner->palette().color(QPalette::WindowText), teal);
    QVERIFY(tealPixels(banner) > 20);
    QCOMPARE(tealPixels(panel.control("Label3")), 0);
}

void TestPanelWindow::exitIsNeitherDefaultNorCancel()
{
    Panel panel;
    QVERIFY(panel.start());
    auto* exit = panel.control<QPushButton>("Command1");
    QVERIFY(!exit->isDefault());
    QVERIFY(!exit->autoDefault());

    for (const char* name : {"Text1", "Text2"}) {
        QWidget* display = panel.control(name);
        display->setFocus();
        QTest::keyClick(display, Qt::Key_Return);
        QTest::keyClick(display, Qt::Key_Enter);
        QTest::keyClick(display, Qt::Key_Escape);
    }
    QVERIFY(panel.window.isVisible());
    QVERIFY(panel.line->open);
    QCOMPARE(panel.closes(), 0);
}

void TestPanelWindow::tabWalksTheControlsInOrder_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("visited");
    QTest::newRow("Tab") << int(Qt::Key_Tab)
                         << QStringList{"HScroll2", "Text1", "Text2", "Command1", "HScroll1"};
    QTest::newRow("Shift+Tab") << int(Qt::Key_Backtab)
                               << QStringList{"Command1", "Text2", "Text1", "HScroll2", "HScroll1"};
}

void TestPanelWindow::tabWalksTheControlsInOrder()
{
    QFETCH(int, key);
    QFETCH(QStringList, visited);

    Panel panel;
    QVERIFY(panel.start());
    QVERIFY(focused());
    QCOMPARE(focused()->objectName(), QString("HScroll1"));
    QStringList walk;
    for (qsizetype i = 0; i < visited.size(); ++i) {
        QTest::keyClick(focused(), Qt::Key(key));
        walk << focused()->objectName();
    }
    QCOMPARE(walk, visited);
    QCOMPARE(panel.bytes(), startFrames);
}

void TestPanelWindow::startUpSendsBothFramesBeforeShowing()
{
    Panel panel;
    std::vector<bool> visibleAtWrite;
    panel.line->onWrite = [&](std::string_view) {
        visibleAtWrite.push_back(panel.window.isVisible());
    };
    QCOMPARE(panel.control<QLineEdit>("Text1")->text(), QString());
    QVERIFY(panel.start());

    QCOMPARE(panel.bytes(), startFrames);
    QCOMPARE(visibleAtWrite, (std::vector<bool>{false, false}));
    QCOMPARE(panel.line->device, std::string("/dev/ttyS0"));
    QCOMPARE(panel.control<QLineEdit>("Text1")->text(), QString("32"));
    QCOMPARE(panel.control<QLineEdit>("Text2")->text(), QString("32"));
    QCOMPARE(panel.slider("HScroll1")->value(), 50);
    QCOMPARE(panel.slider("HScroll2")->value(), 50);
}

void TestPanelWindow::focusMarkShowsOnlyOnTheFocusedSlider_data()
{
    QTest::addColumn<int>("tabs");
    QTest::addColumn<QString>("focusedName");
    QTest::addColumn<QString>("otherName");
    QTest::newRow("HScroll1") << 0 << "HScroll1"
                              << "HScroll2";
    QTest::newRow("HScroll2") << 1 << "HScroll2"
                              << "HScroll1";
}

void TestPanelWindow::focusMarkShowsOnlyOnTheFocusedSlider()
{
    QFETCH(int, tabs);
    QFETCH(QString, focusedName);
    QFETCH(QString, otherName);

    Panel panel;
    QVERIFY(panel.start());
    for (int i = 0; i < tabs; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    ChannelSlider* withFocus = panel.slider(focusedName);
    ChannelSlider* without = panel.slider(otherName);
    QCOMPARE(focused(), withFocus);
    QCOMPARE(withFocus->value(), without->value());

    // Both stand at the same value, so only the focus mark tells them apart.
    const QImage marked = withFocus->grab().toImage();
    const QImage plain = without->grab().toImage();
    QCOMPARE(marked.size(), plain.size());
    QRect changed;
    for (int y = 0; y < marked.height(); ++y) {
        for (int x = 0; x < marked.width(); ++x) {
            if (marked.pixel(x, y) != plain.pixel(x, y))
                changed |= QRect(x, y, 1, 1);
        }
    }
    QVERIFY2(!changed.isEmpty(), "no focus mark drawn");
    QVERIFY(withFocus->partRect(QStyle::SC_ScrollBarSlider).contains(changed));

    // The mark follows the focus.
    QTest::keyClick(focused(), Qt::Key_Tab, Qt::NoModifier);
    QVERIFY(focused() != withFocus);
    QCOMPARE(withFocus->grab().toImage(), plain);
}

void TestPanelWindow::mouseOnSliderSendsOneFrame_data()
{
    QTest::addColumn<QString>("sliderName");
    QTest::addColumn<char>("channel");
    QTest::addColumn<int>("startKey"); // 0: from the start-up value 50
    QTest::addColumn<int>("part");
    QTest::addColumn<int>("value");

    const auto sub = int(QStyle::SC_ScrollBarSubLine);
    const auto add = int(QStyle::SC_ScrollBarAddLine);
    const auto subPage = int(QStyle::SC_ScrollBarSubPage);
    const auto addPage = int(QStyle::SC_ScrollBarAddPage);
    QTest::newRow("A left arrow") << "HScroll1" << '0' << 0 << sub << 49;
    QTest::newRow("A right arrow") << "HScroll1" << '0' << 0 << add << 51;
    QTest::newRow("A track left of thumb") << "HScroll1" << '0' << 0 << subPage << 49;
    QTest::newRow("A track right of thumb") << "HScroll1" << '0' << 0 << addPage << 51;
    QTest::newRow("B left arrow") << "HScroll2" << '1' << 0 << sub << 49;
    QTest::newRow("B right arrow") << "HScroll2" << '1' << 0 << add << 51;
    QTest::newRow("B track left of thumb") << "HScroll2" << '1' << 0 << subPage << 49;
    QTest::newRow("B track right of thumb") << "HScroll2" << '1' << 0 << addPage << 51;
    QTest::newRow("B right arrow from 0") << "HScroll2" << '1' << int(Qt::Key_Home) << add << 1;
    QTest::newRow("A left arrow at 0") << "HScroll1" << '0' << int(Qt::Key_Home) << sub << 0;
    QTest::newRow("A track left of thumb at 255")
        << "HScroll1" << '0' << int(Qt::Key_End) << subPage << 254;
    QTest::newRow("B right arrow at 255") << "HScroll2" << '1' << int(Qt::Key_End) << add << 255;
}

void TestPanelWindow::mouseOnSliderSendsOneFrame()
{
    QFETCH(QString, sliderName);
    QFETCH(char, channel);
    QFETCH(int, startKey);
    QFETCH(int, part);
    QFETCH(int, value);

    Panel panel;
    QVERIFY(panel.start());
    ChannelSlider* slider = panel.slider(sliderName);
    const int display = channel == '0' ? 1 : 2;
    auto* text = panel.control<QLineEdit>(QString("Text%1").arg(display));
    if (startKey != 0) {
        QTest::keyClick(slider, Qt::Key(startKey));
        QCOMPARE(text->text(), hexFor(slider->value()));
    }
    const int before = slider->value();
    const QByteArray sent = panel.bytes();

    const QRect target = slider->partRect(QStyle::SubControl(part));
    QVERIFY(!target.isEmpty());
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, target.center());

    QCOMPARE(slider->value(), value);
    // A click that cannot move the value sends nothing; any other sends one frame.
    const QByteArray expected = value == before ? QByteArray() : frameFor(channel, value);
    QCOMPARE(panel.bytes().mid(sent.size()), expected);
    QCOMPARE(text->text(), hexFor(value));
    QCOMPARE(focused(), slider);
}

namespace {

// Sets the application's style while it lives.
class ApplicationStyle
{
public:
    explicit ApplicationStyle(const QString& name) : previous_(QApplication::style()->name())
    {
        QApplication::setStyle(name);
    }
    ~ApplicationStyle() { QApplication::setStyle(previous_); }

private:
    QString previous_;
};

} // namespace

void TestPanelWindow::trackClickStepsWhateverTheStylePrefers_data()
{
    QTest::addColumn<int>("part");
    QTest::addColumn<int>("value");
    QTest::newRow("left of thumb") << int(QStyle::SC_ScrollBarSubPage) << 49;
    QTest::newRow("right of thumb") << int(QStyle::SC_ScrollBarAddPage) << 51;
}

void TestPanelWindow::trackClickStepsWhateverTheStylePrefers()
{
    QFETCH(int, part);
    QFETCH(int, value);

    const ApplicationStyle jumping(QStringLiteral("JumpingTrack"));
    QCOMPARE(QApplication::style()->name(), QString("jumpingtrack"));
    Panel panel;
    QVERIFY(panel.start());
    ChannelSlider* slider = panel.slider("HScroll2");
    const QPoint target = slider->partRect(QStyle::SubControl(part)).center();

    // A plain scroll bar of the same size and setting jumps in this style.
    QScrollBar plain(Qt::Horizontal, &panel.window);
    plain.setGeometry(slider->geometry());
    plain.setRange(0, 255);
    plain.setPageStep(1);
    plain.setValue(50);
    plain.show();
    QTest::mouseClick(&plain, Qt::LeftButton, Qt::NoModifier, target);
    QVERIFY(std::abs(plain.value() - 50) > 1);

    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, target);
    QCOMPARE(slider->value(), value);
    QCOMPARE(panel.bytes(), startFrames + frameFor('1', value));
}

void TestPanelWindow::keyOnFocusedSliderSendsOneFrame_data()
{
    QTest::addColumn<int>("tabs");
    QTest::addColumn<char>("channel");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("value");

    const std::pair<Qt::Key, int> keys[] = {
        {Qt::Key_Right, 51}, {Qt::Key_Up, 51},       {Qt::Key_PageUp, 51}, {Qt::Key_Left, 49},
        {Qt::Key_Down, 49},  {Qt::Key_PageDown, 49}, {Qt::Key_Home, 0},    {Qt::Key_End, 255},
    };
    for (const auto& [key, value] : keys) {
        const QString keyName = QKeySequence(key).toString();
        QTest::addRow("A %s", qPrintable(keyName)) << 0 << '0' << int(key) << value;
        QTest::addRow("B %s", qPrintable(keyName)) << 1 << '1' << int(key) << value;
    }
}

void TestPanelWindow::keyOnFocusedSliderSendsOneFrame()
{
    QFETCH(int, tabs);
    QFETCH(char, channel);
    QFETCH(int, key);
    QFETCH(int, value);

    Panel panel;
    QVERIFY(panel.start());
    for (int i = 0; i < tabs; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    auto* slider = qobject_cast<QScrollBar*>(focused());
    QVERIFY(slider);
    QCOMPARE(slider->objectName(), QString("HScroll%1").arg(tabs + 1));

    QTest::keyClick(slider, Qt::Key(key));

    QCOMPARE(slider->value(), value);
    QCOMPARE(panel.bytes(), startFrames + frameFor(channel, value));
    QCOMPARE(panel.control<QLineEdit>(QString("Text%1").arg(tabs + 1))->text(), hexFor(value));
    QCOMPARE(focused(), slider);
}

void TestPanelWindow::wheelSendsOneFramePerNotch_data()
{
    QTest::addColumn<int>("notch");
    QTest::addColumn<int>("value");
    // A notch scrolls at most a page, which is one step; up raises like the Up key.
    QTest::newRow("up") << 120 << 51;
    QTest::newRow("down") << -120 << 49;
}

void TestPanelWindow::wheelSendsOneFramePerNotch()
{
    QFETCH(int, notch);
    QFETCH(int, value);

    Panel panel;
    QVERIFY(panel.start());
    ChannelSlider* slider = panel.slider("HScroll2");
    const QPoint at = slider->rect().center();
    QWheelEvent wheel(at, slider->mapToGlobal(at), QPoint(), QPoint(0, notch), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QSpontaneKeyEvent::setSpontaneous(&wheel);
    QApplication::sendEvent(slider, &wheel);

    QCOMPARE(slider->value(), value);
    QCOMPARE(panel.bytes(), startFrames + frameFor('1', value));
    QCOMPARE(panel.control<QLineEdit>("Text2")->text(), hexFor(value));
}

void TestPanelWindow::dragSendsOnlyOnRelease_data()
{
    QTest::addColumn<QString>("sliderName");
    QTest::addColumn<char>("channel");
    QTest::addColumn<int>("distance");

    QTest::newRow("A to the right") << "HScroll1" << '0' << 60;
    QTest::newRow("A to the left") << "HScroll1" << '0' << -15;
    QTest::newRow("B to the right") << "HScroll2" << '1' << 90;
    QTest::newRow("B far past the right end") << "HScroll2" << '1' << 400;
}

void TestPanelWindow::dragSendsOnlyOnRelease()
{
    QFETCH(QString, sliderName);
    QFETCH(char, channel);
    QFETCH(int, distance);

    Panel panel;
    QVERIFY(panel.start());
    ChannelSlider* slider = panel.slider(sliderName);
    auto* text = panel.control<QLineEdit>(QString("Text%1").arg(channel == '0' ? 1 : 2));
    const QPoint grip = slider->partRect(QStyle::SC_ScrollBarSlider).center();

    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, grip);
    QVERIFY(slider->isSliderDown());
    QPoint at = grip;
    for (int step = 1; step <= 4; ++step) {
        at = grip + QPoint(distance * step / 4, 0);
        QTest::mouseMove(slider, at);
        QCOMPARE(panel.bytes(), startFrames);
        QCOMPARE(slider->value(), 50);
        QCOMPARE(text->text(), QString("32"));
    }
    const int dropped = slider->sliderPosition();
    QVERIFY(dropped != 50);
    QCOMPARE(dropped > 50, distance > 0);

    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, at);

    QCOMPARE(slider->value(), dropped);
    QCOMPARE(panel.bytes(), startFrames + frameFor(channel, dropped));
    QCOMPARE(text->text(), hexFor(dropped));
}

void TestPanelWindow::displayShowsHexWithoutLeadingZeros_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("display");

    QList<int> toTen{Qt::Key_Home};
    for (int i = 0; i < 10; ++i)
        toTen << Qt::Key_Right;
    QTest::newRow("0") << QList<int>{Qt::Key_Home} << 0 << "0";
    QTest::newRow("10") << toTen << 10 << "A";
    QTest::newRow("16") << (toTen << Qt::Key_Right << Qt::Key_Up << Qt::Key_PageUp << Qt::Key_Up
                                  << Qt::Key_Right << Qt::Key_PageUp)
                        << 16 << "10";
    QTest::newRow("255") << QList<int>{Qt::Key_End} << 255 << "FF";
    QTest::newRow("254") << QList<int>{Qt::Key_End, Qt::Key_Left} << 254 << "FE";
}

void TestPanelWindow::displayShowsHexWithoutLeadingZeros()
{
    QFETCH(QList<int>, keys);
    QFETCH(int, value);
    QFETCH(QString, display);

    Panel panel;
    QVERIFY(panel.start());
    ChannelSlider* slider = panel.slider("HScroll1");
    QByteArray expected = startFrames;
    for (const int key : keys) {
        const int before = slider->value();
        QTest::keyClick(slider, Qt::Key(key));
        QVERIFY(slider->value() != before);
        expected += frameFor('0', slider->value());
    }
    QCOMPARE(slider->value(), value);
    QCOMPARE(panel.control<QLineEdit>("Text1")->text(), display);
    QCOMPARE(panel.bytes(), expected);
    QCOMPARE(panel.control<QLineEdit>("Text2")->text(), QString("32"));
}

void TestPanelWindow::typedTextIsNeverSent_data()
{
    QTest::addColumn<QString>("displayName");
    QTest::addColumn<int>("tabs");
    QTest::addColumn<QString>("ownSlider");
    QTest::addColumn<QString>("otherSlider");
    QTest::addColumn<char>("channel");

    QTest::newRow("Text1") << "Text1" << 2 << "HScroll1"
                           << "HScroll2" << '0';
    QTest::newRow("Text2") << "Text2" << 3 << "HScroll2"
                           << "HScroll1" << '1';
}

void TestPanelWindow::typedTextIsNeverSent()
{
    QFETCH(QString, displayName);
    QFETCH(int, tabs);
    QFETCH(QString, ownSlider);
    QFETCH(QString, otherSlider);
    QFETCH(char, channel);

    Panel panel;
    QVERIFY(panel.start());
    for (int i = 0; i < tabs; ++i)
        QTest::keyClick(focused(), Qt::Key_Tab);
    auto* display = qobject_cast<QLineEdit*>(focused());
    QVERIFY(display);
    QCOMPARE(display->objectName(), displayName);

    QTest::keyClick(display, Qt::Key_End);
    QTest::keyClicks(display, "7F go");
    QTest::keyClick(display, Qt::Key_Return);
    QCOMPARE(display->text(), QString("327F go"));
    QCOMPARE(panel.bytes(), startFrames);
    QVERIFY(panel.window.isVisible());

    // The other channel's change leaves the typed text alone...
    ChannelSlider* other = panel.slider(otherSlider);
    QTest::mouseClick(other, Qt::LeftButton, Qt::NoModifier,
                      other->partRect(QStyle::SC_ScrollBarAddLine).center());
    QCOMPARE(display->text(), QString("327F go"));

    // ...and this channel's next change replaces it.
    ChannelSlider* own = panel.slider(ownSlider);
    QTest::mouseClick(own, Qt::LeftButton, Qt::NoModifier,
                      own->partRect(QStyle::SC_ScrollBarSubLine).center());
    QCOMPARE(display->text(), QString("31"));
    const char otherChannel = channel == '0' ? '1' : '0';
    QCOMPARE(panel.bytes(), startFrames + frameFor(otherChannel, 51) + frameFor(channel, 49));
}

void TestPanelWindow::exitClosesOnceWithoutUnload_data()
{
    QTest::addColumn<int>("key"); // 0: a mouse click

    QTest::newRow("click") << 0;
    QTest::newRow("Space") << int(Qt::Key_Space);
    QTest::newRow("Return") << int(Qt::Key_Return);
    QTest::newRow("Enter") << int(Qt::Key_Enter);
}

void TestPanelWindow::exitClosesOnceWithoutUnload()
{
    QFETCH(int, key);

    Panel panel;
    QVERIFY(panel.start());
    auto* exit = panel.control<QPushButton>("Command1");
    if (key != 0) {
        QTest::keyClick(focused(), Qt::Key_Backtab);
        QCOMPARE(focused(), exit);
    }
    WindowWatch watch;

    const int status = runEventLoop([&] {
        if (key == 0)
            QTest::mouseClick(exit, Qt::LeftButton);
        else
            QTest::keyClick(exit, Qt::Key(key));
    });

    QCOMPARE(status, 0);
    QCOMPARE(panel.closes(), 1);
    QCOMPARE(panel.line->log.back(), std::string("close"));
    QVERIFY(!panel.line->open);
    QVERIFY(panel.window.isHidden());
    QCOMPARE(watch.form1Closes, 0);
    QVERIFY(watch.messages.empty());
    QCOMPARE(panel.bytes(), startFrames);

    // Once the program has ended, a late event reaches no handler.
    QTest::keyClick(panel.slider("HScroll1"), Qt::Key_Right);
    panel.window.close();
    QVERIFY(watch.messages.empty());
    QCOMPARE(panel.closes(), 1);
    QCOMPARE(panel.bytes(), startFrames);
}

void TestPanelWindow::closingRunsUnloadOnce_data()
{
    QTest::addColumn<bool>("byWindowSystem");
    QTest::addColumn<int>("times");

    QTest::newRow("close box") << true << 1;
    QTest::newRow("QWidget::close") << false << 1;
    QTest::newRow("closed twice") << true << 2;
}

void TestPanelWindow::closingRunsUnloadOnce()
{
    QFETCH(bool, byWindowSystem);
    QFETCH(int, times);

    Panel panel;
    QVERIFY(panel.start());
    WindowWatch watch;

    const int status = runEventLoop([&] {
        for (int i = 0; i < times; ++i) {
            if (byWindowSystem)
                QVERIFY(panel.window.windowHandle()->close());
            else
                QVERIFY(panel.window.close());
        }
    });

    QCOMPARE(status, 0);
    QVERIFY(watch.form1Closes >= 1);
    QCOMPARE(panel.closes(), 1);
    QVERIFY(!panel.line->open);
    QVERIFY(panel.window.isHidden());
    QVERIFY(watch.messages.empty());
    QCOMPARE(panel.bytes(), startFrames);
}

void TestPanelWindow::terminationRequestClosesLikeTheCloseBox_data()
{
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
    QTest::newRow("SIGINT") << SIGINT;
}

void TestPanelWindow::terminationRequestClosesLikeTheCloseBox()
{
    QFETCH(int, signalNumber);

    auto line = std::make_shared<MemoryLine>();
    WindowWatch watch;
    bool shownBeforeSignal = false;
    QObject context;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            const QWidget* form1 = findForm1();
            shownBeforeSignal = form1 && form1->isVisible();
            std::raise(signalNumber);
        },
        Qt::QueuedConnection);
    const Watchdog watchdog;

    const int status = runPanel(*qApp, std::make_unique<MemorySerialPort>(line));

    QCOMPARE(status, 0);
    QVERIFY(shownBeforeSignal);
    QCOMPARE(watch.form1Closes, 1);
    QVERIFY(watch.messages.empty());
    const std::vector<std::string> expected{"open /dev/ttyS0 9600,N,8,1", "rts on", "write",
                                            "write", "close"};
    QCOMPARE(line->log, expected);
    QCOMPARE(QByteArray::fromStdString(line->bytes), startFrames);
    QCOMPARE(QGuiApplication::desktopFileName(), QString("com.tarvel.potpanel"));
    QCOMPARE(QCoreApplication::applicationName(), QString("potpanel"));
    QCOMPARE(QCoreApplication::organizationName(), QString("Tarvel"));
    QVERIFY(!QCoreApplication::applicationVersion().isEmpty());
}

void TestPanelWindow::startUpFailureEndsBeforeTheWindowShows_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("cause");

    QTest::newRow("COM1 cannot be opened") << int(Operation::Open) << "Device or resource busy";
    QTest::newRow("RTS cannot be raised")
        << int(Operation::SetRts) << "Inappropriate ioctl for device";
    QTest::newRow("first frame cannot be written") << int(Operation::Write) << "Input/output error";
}

void TestPanelWindow::startUpFailureEndsBeforeTheWindowShows()
{
    QFETCH(int, operation);
    QFETCH(QString, cause);

    auto line = std::make_shared<MemoryLine>();
    line->failures[Operation(operation)] = cause.toStdString();
    WindowWatch watch;
    const Watchdog watchdog;

    const int status = runPanel(*qApp, std::make_unique<MemorySerialPort>(line));

    QVERIFY(status != stuck);
    QVERIFY(status != 0);
    QCOMPARE(watch.messages.size(), std::size_t(1));
    const WindowWatch::Message& message = watch.messages.front();
    QCOMPARE(message.title, QString("Tarvel Digital Potentiometers"));
    QCOMPARE(message.icon, QMessageBox::Critical);
    QVERIFY2(message.text.contains(cause), qPrintable(message.text));
    QVERIFY2(message.text.contains("COM1"), qPrintable(message.text));
    QVERIFY(!message.form1Visible);
    QVERIFY(!watch.shownWindows.contains("Form1"));
    // Nothing after the failing step ran: no frame reached the line, not even
    // channel B's after channel A's failed.
    QCOMPARE(QByteArray::fromStdString(line->bytes), QByteArray());
    QCOMPARE(std::ranges::count(line->log, std::string("write")), 0);
    QVERIFY(!line->open);
}

void TestPanelWindow::failureWhileRunningEndsTheProgram_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("operation");
    QTest::addColumn<QString>("cause");

    QTest::newRow("write on a click of B's arrow")
        << "HScroll2" << int(Operation::Write) << "Input/output error";
    QTest::newRow("write on a click of A's arrow")
        << "HScroll1" << int(Operation::Write) << "No such device";
    QTest::newRow("close on EXIT") << "Command1" << int(Operation::Close) << "Input/output error";
    QTest::newRow("close on the close box") << "Form1" << int(Operation::Close) << "Bad file";
}

void TestPanelWindow::failureWhileRunningEndsTheProgram()
{
    QFETCH(QString, control);
    QFETCH(int, operation);
    QFETCH(QString, cause);

    Panel panel;
    QVERIFY(panel.start());
    panel.line->failures[Operation(operation)] = cause.toStdString();
    WindowWatch watch;

    const int status = runEventLoop([&] {
        if (control == "Form1") {
            panel.window.windowHandle()->close();
        } else if (auto* slider = panel.slider(control)) {
            QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier,
                              slider->partRect(QStyle::SC_ScrollBarAddLine).center());
        } else {
            QTest::mouseClick(panel.control(control), Qt::LeftButton);
        }
    });

    QVERIFY(status != 0);
    QVERIFY(status != stuck);
    QCOMPARE(watch.messages.size(), std::size_t(1));
    QCOMPARE(watch.messages.front().title, QString("Tarvel Digital Potentiometers"));
    QVERIFY2(watch.messages.front().text.contains(cause), qPrintable(watch.messages.front().text));
    QVERIFY(panel.window.isHidden());
    QCOMPARE(panel.bytes(), startFrames);
    // A failed write stops the handling before the display changes.
    QCOMPARE(panel.control<QLineEdit>("Text1")->text(), QString("32"));
    QCOMPARE(panel.control<QLineEdit>("Text2")->text(), QString("32"));
    QVERIFY(!panel.line->open);
}

void TestPanelWindow::terminationRequestWhileAFailureShowsEndsWithIt_data()
{
    QTest::addColumn<int>("operation");
    QTest::addColumn<int>("signalNumber");
    QTest::newRow("open fails, then SIGTERM") << int(Operation::Open) << SIGTERM;
    QTest::newRow("first frame fails, then SIGHUP") << int(Operation::Write) << SIGHUP;
}

void TestPanelWindow::terminationRequestWhileAFailureShowsEndsWithIt()
{
    QFETCH(int, operation);
    QFETCH(int, signalNumber);

    auto line = std::make_shared<MemoryLine>();
    line->failures[Operation(operation)] = "Input/output error";
    WindowWatch watch;
    watch.answer = [signalNumber](QMessageBox*) {
        std::raise(signalNumber);
    };
    const Watchdog watchdog;

    const int status = runPanel(*qApp, std::make_unique<MemorySerialPort>(line));

    QVERIFY(!watchdog.fired());
    QVERIFY(status != 0);
    QCOMPARE(watch.messages.size(), std::size_t(1));
    QVERIFY(!watch.shownWindows.contains("Form1"));
    QCOMPARE(QByteArray::fromStdString(line->bytes), QByteArray());
}

QTEST_MAIN(TestPanelWindow)
#include "tst_panel_window.moc"
