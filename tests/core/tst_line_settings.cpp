#include "line_settings.h"

#include <QTest>
#include <stdexcept>

using namespace potpanel;

class TestLineSettings : public QObject
{
    Q_OBJECT

private slots:
    void readsTheLineOrRefuses_data();
    void readsTheLineOrRefuses();
};

void TestLineSettings::readsTheLineOrRefuses_data()
{
    // The settings text; what is read from it, or nothing when it is refused.
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("read");
    QTest::newRow("the panel's line") << "9600,N,8,1" << true;
    for (const char* text :
         {"", "9600,N,8", "9600,N,8,1,1", "9600;N;8;1", "0,N,8,1", "-9600,N,8,1", "96x0,N,8,1",
          "4294967296,N,8,1", "9600,X,8,1", "9600,N,9,1", "9600,N,8,3", "9600,N,8,1 "})
        QTest::addRow("\"%s\"", text) << QString(text) << false;
}

void TestLineSettings::readsTheLineOrRefuses()
{
    QFETCH(QString, text);
    QFETCH(bool, read);
    if (!read) {
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, parseLineSettings(text.toStdString()));
        return;
    }
    const LineSettings settings = parseLineSettings(text.toStdString());
    QCOMPARE(settings.baudRate, 9600);
    QCOMPARE(settings.parity, Parity::None);
    QCOMPARE(settings.dataBits, 8);
    QCOMPARE(settings.stopBits, StopBits::One);
}

QTEST_APPLESS_MAIN(TestLineSettings)
#include "tst_line_settings.moc"
