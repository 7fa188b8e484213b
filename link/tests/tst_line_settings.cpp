#include "line_settings.h"

#include <QTest>
#include <stdexcept>

using namespace potpanel;

class TestLineSettings : public QObject
{
    Q_OBJECT

private slots:
    void readsOrRefuses_data();
    void readsOrRefuses();
};

void TestLineSettings::readsOrRefuses_data()
{
    // What is read, written back in the same notation; or why it is refused.
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("outcome");
    const QString fields = "refused: they need four comma-separated fields";
    const QString speed = "refused: the speed must be a positive whole number";
    const QString parity = "refused: the parity must be N, E, O, M or S";
    const QString data = "refused: the data bits must be 5, 6, 7 or 8";
    const QString stop = "refused: the stop bits must be 1, 1.5 or 2";
    const std::pair<const char*, QString> rows[] = {
        {"9600,N,8,1", "9600,N,8,1"},
        {"19200,E,7,2", "19200,E,7,2"},
        {"1200,O,5,1.5", "1200,O,5,1.5"},
        {"300,M,6,1", "300,M,6,1"},
        {"115200,S,8,2", "115200,S,8,2"},
        {"9600,e,8,1", "9600,E,8,1"},
        {"", fields},
        {"9600,N,8", fields},
        {"9600,N,8,1,1", fields},
        {"9600;N;8;1", fields},
        {"0,N,8,1", speed},
        {"-9600,N,8,1", speed},
        {"96x0,N,8,1", speed},
        {" 9600,N,8,1", speed},
        {"4294967296,N,8,1", speed},
        {",N,8,1", speed},
        {"9600,X,8,1", parity},
        {"9600,None,8,1", parity},
        {"9600,N,9,1", data},
        {"9600,N,4,1", data},
        {"9600,N,+8,1", data},
        {"9600,N,8,3", stop},
        {"9600,N,8,1.0", stop},
        {"9600,N,8,1 ", stop},
    };
    for (const auto& [text, outcome] : rows)
        QTest::addRow("\"%s\"", text) << QString(text) << outcome;
}

void TestLineSettings::readsOrRefuses()
{
    QFETCH(QString, text);
    QFETCH(QString, outcome);
    try {
        QCOMPARE(QString::fromStdString(toString(parseLineSettings(text.toStdString()))), outcome);
    } catch (const std::invalid_argument& error) {
        QCOMPARE(QString::fromStdString(error.what()),
                 "line settings \"" + text + "\" are malformed: " + outcome.mid(9) +
                     " (expected speed,parity,data,stop such as 9600,N,8,1)");
    }
}

QTEST_APPLESS_MAIN(TestLineSettings)
#include "tst_line_settings.moc"
