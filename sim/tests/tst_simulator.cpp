#include "simulator.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>

namespace {

enum class Move {
    KeyRight,
    KeyLeft,
    KeyHome,
    KeyEnd,
    ClickAddArrow,
    ClickSubArrow,
    ClickAfterHandle,
    DragHandleToRightEnd,
    DragHandleToLeftEnd
};

// The centre of one part of a scroll bar as its style lays it out now.
QPoint centreOf(const QScrollBar& bar, QStyle::SubControl part)
{
    QStyleOptionSlider option;
    option.initFrom(&bar);
    option.orientation = bar.orientation();
    option.state |= QStyle::State_Horizontal;
    option.minimum = bar.minimum();
    option.maximum = bar.maximum();
    option.sliderPosition = bar.sliderPosition();
    option.sliderValue = bar.value();
    option.singleStep = bar.singleStep();
    option.pageStep = bar.pageStep();
    option.subControls = QStyle::SC_All;
    return bar.style()->subControlRect(QStyle::CC_ScrollBar, &option, part, &bar).center();
}

void drag(QScrollBar& bar, int toX)
{
    const QPoint handle = centreOf(bar, QStyle::SC_ScrollBarSlider);
    QTest::mousePress(&bar, Qt::LeftButton, {}, handle);
    QTest::mouseMove(&bar, QPoint((handle.x() + toX) / 2, handle.y()));
    QTest::mouseMove(&bar, QPoint(toX, handle.y()));
    QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(toX, handle.y()));
}

// A key as the keyboard delivers it: to whichever widget has the focus.
void pressKey(Qt::Key key)
{
    QWidget* target = QApplication::focusWidget();
    QVERIFY2(target, "no widget has the keyboard focus");
    QTest::keyClick(target, key);
}

// Moves the focus with Tab, as the operator would, until the slider has it.
void tabTo(QScrollBar& bar)
{
    QWidget* form1 = bar.window();
    QApplication::setActiveWindow(form1);
    QVERIFY(QTest::qWaitForWindowActive(form1));
    for (int press = 0; press < 8 && QApplication::focusWidget() != &bar; ++press) {
        pressKey(Qt::Key_Tab);
        if (QTest::currentTestFailed())
            return;
    }
    QVERIFY2(QApplication::focusWidget() == &bar,
             qPrintable(bar.objectName() + QStringLiteral(" never takes the keyboard focus")));
}

void pressOn(QScrollBar& bar, Qt::Key key)
{
    tabTo(bar);
    if (!QTest::currentTestFailed())
        pressKey(key);
}

// Real input events, as the operator's keyboard and mouse deliver them.
void perform(QScrollBar& bar, Move move)
{
    switch (move) {
    case Move::KeyRight:
        pressOn(bar, Qt::Key_Right);
        break;
    case Move::KeyLeft:
        pressOn(bar, Qt::Key_Left);
        break;
    case Move::KeyHome:
        pressOn(bar, Qt::Key_Home);
        break;
    case Move::KeyEnd:
        pressOn(bar, Qt::Key_End);
        break;
    case Move::ClickAddArrow:
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddLine));
        break;
    case Move::ClickSubArrow:
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarSubLine));
        break;
    case Move::ClickAfterHandle:
        QTest::mouseClick(&bar, Qt::LeftButton, {}, centreOf(bar, QStyle::SC_ScrollBarAddPage));
        break;
    case Move::DragHandleToRightEnd:
        drag(bar, bar.width() - 1);
        break;
    case Move::DragHandleToLeftEnd:
        drag(bar, 0);
        break;
    }
}

} // namespace

Q_DECLARE_METATYPE(Move)

class TestSimulator : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void startUpSetsBothWipers();
    void controllerFollowsSlider_data();
    void controllerFollowsSlider();
    void everyStepIsLoggedNewestFirst_data();
    void everyStepIsLoggedNewestFirst();
    void damagedBytesShowAsSuch_data();
    void damagedBytesShowAsSuch();

private:
    QScrollBar& slider(const char* name);
    int wiperBar(QChar channel);
    QString wiperText(QChar channel);
    QStringList log();

    std::unique_ptr<potpanel::Simulator> simulator_;
};

void TestSimulator::init()
{
    simulator_ = std::make_unique<potpanel::Simulator>();
    QVERIFY(simulator_->load());
    simulator_->show();
    QVERIFY(QTest::qWaitForWindowExposed(&simulator_->form1()));
    QVERIFY(QTest::qWaitForWindowExposed(&simulator_->controller()));
}

void TestSimulator::cleanup()
{
    simulator_.reset();
}

QScrollBar& TestSimulator::slider(const char* name)
{
    auto* bar = simulator_->form1().findChild<QScrollBar*>(QString::fromLatin1(name));
    Q_ASSERT(bar);
    return *bar;
}

int TestSimulator::wiperBar(QChar channel)
{
    const auto* bar =
        simulator_->controller().findChild<QProgressBar*>(QStringLiteral("Wiper") + channel);
    Q_ASSERT(bar);
    return bar->value();
}

QString TestSimulator::wiperText(QChar channel)
{
    const auto* label =
        simulator_->controller().findChild<QLabel*>(QStringLiteral("Value") + channel);
    Q_ASSERT(label);
    return label->text();
}

QStringList TestSimulator::log()
{
    const auto* list = simulator_->controller().findChild<QListWidget*>(QStringLiteral("FrameLog"));
    Q_ASSERT(list);
    QStringList lines;
    for (int row = 0; row < list->count(); ++row)
        lines << list->item(row)->text();
    return lines;
}

// Before the windows show, the load handling has set both channels to 50.
void TestSimulator::startUpSetsBothWipers()
{
    QCOMPARE(log(),
             QStringList({"02 44 31 33 32   CH-B = 50 (32)", "02 44 30 33 32   CH-A = 50 (32)"}));
    QCOMPARE(wiperBar(u'A'), 50);
    QCOMPARE(wiperBar(u'B'), 50);
    QCOMPARE(wiperText(u'A'), QStringLiteral("50 (32)"));
    QCOMPARE(wiperText(u'B'), QStringLiteral("50 (32)"));
}

void TestSimulator::controllerFollowsSlider_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<Move>("move");
    QTest::addColumn<QChar>("moved");
    QTest::addColumn<QChar>("still");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("frame");

    QTest::newRow("A right arrow key")
        << "HScroll1" << Move::KeyRight << QChar(u'A') << QChar(u'B') << 51 << "51 (33)"
        << "02 44 30 33 33   CH-A = 51 (33)";
    QTest::newRow("B left arrow key")
        << "HScroll2" << Move::KeyLeft << QChar(u'B') << QChar(u'A') << 49 << "49 (31)"
        << "02 44 31 33 31   CH-B = 49 (31)";
    QTest::newRow("A Home") << "HScroll1" << Move::KeyHome << QChar(u'A') << QChar(u'B') << 0
                            << "0 (00)"
                            << "02 44 30 30 30   CH-A = 0 (00)";
    QTest::newRow("B End") << "HScroll2" << Move::KeyEnd << QChar(u'B') << QChar(u'A') << 255
                           << "255 (FF)"
                           << "02 44 31 46 46   CH-B = 255 (FF)";
    QTest::newRow("B right arrow button")
        << "HScroll2" << Move::ClickAddArrow << QChar(u'B') << QChar(u'A') << 51 << "51 (33)"
        << "02 44 31 33 33   CH-B = 51 (33)";
    QTest::newRow("A left arrow button")
        << "HScroll1" << Move::ClickSubArrow << QChar(u'A') << QChar(u'B') << 49 << "49 (31)"
        << "02 44 30 33 31   CH-A = 49 (31)";
    QTest::newRow("A track right of the handle")
        << "HScroll1" << Move::ClickAfterHandle << QChar(u'A') << QChar(u'B') << 51 << "51 (33)"
        << "02 44 30 33 33   CH-A = 51 (33)";
    QTest::newRow("B handle dragged to the right end")
        << "HScroll2" << Move::DragHandleToRightEnd << QChar(u'B') << QChar(u'A') << 255
        << "255 (FF)"
        << "02 44 31 46 46   CH-B = 255 (FF)";
    QTest::newRow("A handle dragged to the left end")
        << "HScroll1" << Move::DragHandleToLeftEnd << QChar(u'A') << QChar(u'B') << 0 << "0 (00)"
        << "02 44 30 30 30   CH-A = 0 (00)";
}

// One operator move on a slider of Form1 reaches the controller as one frame that
// moves that channel's wiper and leaves the other where it was.
void TestSimulator::controllerFollowsSlider()
{
    QFETCH(QString, slider);
    QFETCH(Move, move);
    QFETCH(QChar, moved);
    QFETCH(QChar, still);
    QFETCH(int, value);
    QFETCH(QString, shown);
    QFETCH(QString, frame);

    const QStringList before = log();
    perform(this->slider(slider.toLatin1().constData()), move);
    if (QTest::currentTestFailed())
        return;

    QCOMPARE(log(), QStringList(frame) + before);
    QCOMPARE(wiperBar(moved), value);
    QCOMPARE(wiperText(moved), shown);
    QCOMPARE(wiperBar(still), 50);
    QCOMPARE(wiperText(still), QStringLiteral("50 (32)"));
}

void TestSimulator::everyStepIsLoggedNewestFirst_data()
{
    QTest::addColumn<QString>("slider");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<QStringList>("newLines");

    QTest::newRow("A three steps right")
        << "HScroll1" << Qt::Key_Right
        << QStringList({"02 44 30 33 35   CH-A = 53 (35)", "02 44 30 33 34   CH-A = 52 (34)",
                        "02 44 30 33 33   CH-A = 51 (33)"});
    QTest::newRow("B three steps left")
        << "HScroll2" << Qt::Key_Left
        << QStringList({"02 44 31 32 46   CH-B = 47 (2F)", "02 44 31 33 30   CH-B = 48 (30)",
                        "02 44 31 33 31   CH-B = 49 (31)"});
}

void TestSimulator::everyStepIsLoggedNewestFirst()
{
    QFETCH(QString, slider);
    QFETCH(Qt::Key, key);
    QFETCH(QStringList, newLines);

    const QStringList before = log();
    tabTo(this->slider(slider.toLatin1().constData()));
    for (int step = 0; step < 3 && !QTest::currentTestFailed(); ++step)
        pressKey(key);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(log(), newLines + before);
}

void TestSimulator::damagedBytesShowAsSuch_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("newLines");

    QTest::newRow("unknown command")
        << QByteArray::fromHex("0258303332") << QStringList({"02 58 30 33 32   unknown command"});
    QTest::newRow("unknown channel")
        << QByteArray::fromHex("0244323332") << QStringList({"02 44 32 33 32   unknown channel"});
    QTest::newRow("lower-case digits")
        << QByteArray::fromHex("0244306666")
        << QStringList({"02 44 30 66 66   malformed: value is not two upper-case hex digits"});
    QTest::newRow("cut short") << QByteArray::fromHex("024431")
                               << QStringList(
                                      {"02 44 31   malformed: cut short by the next frame"});
}

// Bytes the panel would never send, arriving ahead of its next frame: the log
// shows them as damaged, the wipers stay put, and the next good frame still
// gets through.
void TestSimulator::damagedBytesShowAsSuch()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, newLines);

    const QStringList before = log();
    simulator_->controller().receive(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    QScrollBar& hScroll2 = slider("HScroll2");
    QTest::mouseClick(&hScroll2, Qt::LeftButton, {},
                      centreOf(hScroll2, QStyle::SC_ScrollBarAddLine));

    QCOMPARE(log(), QStringList("02 44 31 33 33   CH-B = 51 (33)") + newLines + before);
    QCOMPARE(wiperBar(u'A'), 50);
    QCOMPARE(wiperBar(u'B'), 51);
}

QTEST_MAIN(TestSimulator)
#include "tst_simulator.moc"
