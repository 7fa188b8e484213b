#include "line_settings.h"

#include <QTest>
#include <stdexcept>

using namespace potpanel;

Q_DECLARE_METATYPE(LineSettings)

class TestLineSettings : public QObject
{
    Q_OBJECT

private slots:
    void readsWellFormedText_data();
    void readsWellFormedText();
    void refusesMalformedText_data();
    void refusesMalformedText();
};

void TestLineSettings::readsWellFormedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<LineSettings>("settings");
    QTest::addColumn<QString>("written");

    QTest::newRow("the panel's own")
        << "9600,N,8,1" << LineSettings{9600, Parity::None, 8, StopBits::One} << "9600,N,8,1";
    QTest::newRow("even, 7, 2") << "19200,E,7,2"
                                << LineSettings{19200, Parity::Even, 7, StopBits::Two}
                                << "19200,E,7,2";
    QTest::newRow("odd, 5, 1.5") << "1200,O,5,1.5"
                                 << LineSettings{1200, Parity::Odd, 5, StopBits::OneAndHalf}
                                 << "1200,O,5,1.5";
    QTest::newRow("mark, 6") << "300,M,6,1" << LineSettings{300, Parity::Mark, 6, StopBits::One}
                             << "300,M,6,1";
    QTest::newRow("space") << "115200,S,8,2"
                           << LineSettings{115200, Parity::Space, 8, StopBits::Two}
                           << "115200,S,8,2";
    QTest::newRow("lower-case parity")
        << "9600,e,8,1" << LineSettings{9600, Parity::Even, 8, StopBits::One} << "9600,E,8,1";
    QTest::newRow("odd speed") << "250000,N,8,1"
                               << LineSettings{250000, Parity::None, 8, StopBits::One}
                               << "250000,N,8,1";
}

void TestLineSettings::readsWellFormedText()
{
    QFETCH(QString, text);
    QFETCH(LineSettings, settings);
    QFETCH(QString, written);

    const LineSettings read = parseLineSettings(text.toStdString());
    QVERIFY2(read == settings, toString(read).c_str());
    QCOMPARE(QString::fromStdString(toString(read)), written);
}

void TestLineSettings::refusesMalformedText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("why");

    const QString fields = "they need four comma-separated fields";
    const QString speed = "the speed must be a positive whole number";
    const QString parity = "the parity must be N, E, O, M or S";
    const QString data = "the data bits must be 5, 6, 7 or 8";
    const QString stop = "the stop bits must be 1, 1.5 or 2";

    QTest::newRow("empty") << "" << fields;
    QTest::newRow("speed alone") << "9600" << fields;
    QTest::newRow("three fields") << "9600,N,8" << fields;
    QTest::newRow("five fields") << "9600,N,8,1,1" << fields;
    QTest::newRow("semicolons") << "9600;N;8;1" << fields;
    QTest::newRow("zero speed") << "0,N,8,1" << speed;
    QTest::newRow("negative speed") << "-9600,N,8,1" << speed;
    QTest::newRow("speed with letters") << "96x0,N,8,1" << speed;
    QTest::newRow("speed with a space") << " 9600,N,8,1" << speed;
    QTest::newRow("speed beyond range") << "4294967296,N,8,1" << speed;
    QTest::newRow("no speed") << ",N,8,1" << speed;
    QTest::newRow("unknown parity") << "9600,X,8,1" << parity;
    QTest::newRow("parity as a word") << "9600,None,8,1" << parity;
    QTest::newRow("no parity field") << "9600,,8,1" << parity;
    QTest::newRow("9 data bits") << "9600,N,9,1" << data;
    QTest::newRow("4 data bits") << "9600,N,4,1" << data;
    QTest::newRow("data bits with a sign") << "9600,N,+8,1" << data;
    QTest::newRow("3 stop bits") << "9600,N,8,3" << stop;
    QTest::newRow("0 stop bits") << "9600,N,8,0" << stop;
    QTest::newRow("1.0 stop bits") << "9600,N,8,1.0" << stop;
    QTest::newRow("trailing space") << "9600,N,8,1 " << stop;
}

void TestLineSettings::refusesMalformedText()
{
    QFETCH(QString, text);
    QFETCH(QString, why);

    try {
        parseLineSettings(text.toStdString());
        QFAIL("malformed settings were accepted");
    } catch (const std::invalid_argument& error) {
        QCOMPARE(QString::fromStdString(error.what()),
                 "line settings \"" + text + "\" are malformed: " + why +
                     " (expected speed,parity,data,stop such as 9600,N,8,1)");
    }
}

QTEST_GUILESS_MAIN(TestLineSettings)
#include "tst_line_settings.moc"
