#include "wiper_frame.h"

#include <QTest>
#include <stdexcept>

using namespace potpanel;

namespace {

QByteArray bytesOf(const WiperFrame& frame)
{
    return QByteArray(frame.bytes().data(), static_cast<qsizetype>(frame.bytes().size()));
}

// Written the other way round from the encoder: text formatting of the value.
QByteArray expectedFrame(char channel, int value)
{
    return QByteArray("\x02"
                      "D") +
           channel + QByteArray::number(value, 16).rightJustified(2, '0').toUpper();
}

} // namespace

class TestWiperFrame : public QObject
{
    Q_OBJECT

private slots:
    void workedExamples_data();
    void workedExamples();
    void everyChannelAndValue();
    void hexDigits();
    void refusesValuesOutsideTheRange_data();
    void refusesValuesOutsideTheRange();
    void refusesDigitsOutsideTheRange();
};

void TestWiperFrame::workedExamples_data()
{
    QTest::addColumn<ChannelId>("channel");
    QTest::addColumn<int>("value");
    QTest::addColumn<QByteArray>("frame");

    QTest::newRow("A 0") << ChannelId::A << 0 << QByteArray::fromHex("0244303030");
    QTest::newRow("A 10") << ChannelId::A << 10 << QByteArray::fromHex("0244303041");
    QTest::newRow("A 15") << ChannelId::A << 15 << QByteArray::fromHex("0244303046");
    QTest::newRow("A 16") << ChannelId::A << 16 << QByteArray::fromHex("0244303130");
    QTest::newRow("A 50") << ChannelId::A << 50 << QByteArray::fromHex("0244303332");
    QTest::newRow("B 50") << ChannelId::B << 50 << QByteArray::fromHex("0244313332");
    QTest::newRow("B 51") << ChannelId::B << 51 << QByteArray::fromHex("0244313333");
    QTest::newRow("B 255") << ChannelId::B << 255 << QByteArray::fromHex("0244314646");
}

void TestWiperFrame::workedExamples()
{
    QFETCH(ChannelId, channel);
    QFETCH(int, value);
    QFETCH(QByteArray, frame);

    QCOMPARE(bytesOf(encodeWiperFrame(channel, static_cast<std::int16_t>(value))), frame);
}

void TestWiperFrame::everyChannelAndValue()
{
    for (const auto& [channel, character] : {std::pair{ChannelId::A, '0'}, {ChannelId::B, '1'}}) {
        for (int value = 0; value <= 255; ++value) {
            const QByteArray frame =
                bytesOf(encodeWiperFrame(channel, static_cast<std::int16_t>(value)));
            QCOMPARE(frame, expectedFrame(character, value));
        }
    }
}

void TestWiperFrame::hexDigits()
{
    const QByteArray digits = "0123456789ABCDEF";
    for (int n = 0; n < 16; ++n)
        QCOMPARE(hexDigit(n), digits.at(n));
}

void TestWiperFrame::refusesValuesOutsideTheRange_data()
{
    QTest::addColumn<int>("value");
    QTest::newRow("-1") << -1;
    QTest::newRow("256") << 256;
    QTest::newRow("4095") << 4095;
    QTest::newRow("lowest") << -32768;
    QTest::newRow("highest") << 32767;
}

void TestWiperFrame::refusesValuesOutsideTheRange()
{
    QFETCH(int, value);
    QVERIFY_THROWS_EXCEPTION(std::out_of_range,
                             encodeWiperFrame(ChannelId::A, static_cast<std::int16_t>(value)));
}

void TestWiperFrame::refusesDigitsOutsideTheRange()
{
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, hexDigit(-1));
    QVERIFY_THROWS_EXCEPTION(std::out_of_range, hexDigit(16));
}

QTEST_APPLESS_MAIN(TestWiperFrame)
#include "tst_wiper_frame.moc"
