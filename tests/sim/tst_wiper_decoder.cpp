#include "frame_description.h"
#include "wiper_decoder.h"

#include <QTest>

using namespace potpanel;

class TestWiperDecoder : public QObject
{
    Q_OBJECT

private slots:
    void cutsTheStreamIntoFrames_data();
    void cutsTheStreamIntoFrames();
};

void TestWiperDecoder::cutsTheStreamIntoFrames_data()
{
    // The stream in hex; the controller's log lines for it, oldest first, then what is pending.
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("log");
    QTest::newRow("start frames, ends of the range")
        << QByteArray("0244303332 0244303030 0244314646")
        << QStringList{"02 44 30 33 32   CH-A = 50 (32)", "02 44 30 30 30   CH-A = 0 (00)",
                       "02 44 31 46 46   CH-B = 255 (FF)", ""};
    QTest::newRow("unknown command and channel")
        << QByteArray("0258303332 0244323332")
        << QStringList{"02 58 30 33 32   unknown command", "02 44 32 33 32   unknown channel", ""};
    QTest::newRow("lower-case digits")
        << QByteArray("024430 6166")
        << QStringList{"02 44 30 61 66   malformed: value is not two upper-case hex digits", ""};
    QTest::newRow("cut short by the next frame")
        << QByteArray("024430 0244313332")
        << QStringList{"02 44 30   malformed: cut short by the next frame",
                       "02 44 31 33 32   CH-B = 50 (32)", ""};
    QTest::newRow("five stray bytes are no frame")
        << QByteArray("0d0a414243 0244303332")
        << QStringList{"0D 0A 41 42 43   malformed: bytes outside a frame",
                       "02 44 30 33 32   CH-A = 50 (32)", ""};
    QTest::newRow("a frame still coming")
        << QByteArray("0244303332 024431")
        << QStringList{"02 44 30 33 32   CH-A = 50 (32)", "02 44 31"};
    QTest::newRow("trailing line end waits for the next STX")
        << QByteArray("0244303332 0d0a") << QStringList{"02 44 30 33 32   CH-A = 50 (32)", "0D 0A"};
}

void TestWiperDecoder::cutsTheStreamIntoFrames()
{
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, log);
    const std::string bytes = QByteArray::fromHex(stream).toStdString();
    // However the line hands the bytes over, the controller reads the same.
    for (std::size_t piece = 1; piece <= 7; ++piece) {
        WiperDecoder decoder;
        QStringList seen;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            for (const DecodedFrame& frame :
                 decoder.feed(std::string_view(bytes).substr(at, piece)))
                seen << QString::fromStdString(describe(frame));
        seen << QString::fromStdString(hexBytes(decoder.pending()));
        QCOMPARE(seen, log);
    }
}

QTEST_APPLESS_MAIN(TestWiperDecoder)
#include "tst_wiper_decoder.moc"
