#include "wiper_frame.h"

#include <QTest>

using namespace potpanel;

class TestWiperFrame : public QObject
{
    Q_OBJECT

private slots:
    void encodesEveryChannelAndValue();
};

void TestWiperFrame::encodesEveryChannelAndValue()
{
    // Spelled by printf rather than by the digit table under test.
    for (const auto& [channel, digit] : {std::pair{ChannelId::A, 0}, {ChannelId::B, 1}})
        for (int value = 0; value <= 255; ++value) {
            const WiperFrame frame = encodeWiperFrame(channel, static_cast<std::int16_t>(value));
            QCOMPARE(QByteArray(frame.bytes().data(), WiperFrame::size),
                     '\x02' + QString::asprintf("D%d%02X", digit, value).toLatin1());
            QCOMPARE(QString::fromStdString(hexText(value)), QString::asprintf("%X", value));
        }
}

QTEST_APPLESS_MAIN(TestWiperFrame)
#include "tst_wiper_frame.moc"
