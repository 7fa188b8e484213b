#include "wiper_frame.h"

#include <QTest>
#include <stdexcept>

using namespace potpanel;

class TestWiperFrame : public QObject
{
    Q_OBJECT

private slots:
    void encodesEveryChannelAndValue_data();
    void encodesEveryChannelAndValue();
    void refusesWhatNoSliderGives();
};

void TestWiperFrame::encodesEveryChannelAndValue_data()
{
    QTest::addColumn<ChannelId>("channel");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("display");
    // Spelled by printf rather than by the digit table under test.
    for (const auto& [channel, character] : {std::pair{ChannelId::A, '0'}, {ChannelId::B, '1'}})
        for (int value = 0; value <= 255; ++value)
            QTest::addRow("%c %d", character, value)
                << channel << value
                << QByteArray("\x02"
                              "D") +
                       character + QString::asprintf("%02X", value).toLatin1()
                << QString::asprintf("%X", value);
}

void TestWiperFrame::encodesEveryChannelAndValue()
{
    QFETCH(ChannelId, channel);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);
    QFETCH(QString, display);
    const WiperFrame encoded = encodeWiperFrame(channel, static_cast<std::int16_t>(value));
    QCOMPARE(QByteArray(encoded.bytes().data(), WiperFrame::size), frame);
    QCOMPARE(QString::fromStdString(hexText(value)), display);
}

void TestWiperFrame::refusesWhatNoSliderGives()
{
    for (const int value : {-32768, -1, 256, 4095, 32767}) {
        QVERIFY_THROWS_EXCEPTION(std::out_of_range,
                                 encodeWiperFrame(ChannelId::A, static_cast<std::int16_t>(value)));
        QVERIFY_THROWS_EXCEPTION(std::out_of_range, hexText(value));
    }
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, hexDigit(16));
}

QTEST_APPLESS_MAIN(TestWiperFrame)
#include "tst_wiper_frame.moc"
