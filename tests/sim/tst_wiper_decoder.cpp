#include "frame_description.h"
#include "wiper_decoder.h"

#include <QTest>

using namespace potpanel;

class TestWiperDecoder : public QObject
{
    Q_OBJECT

private slots:
    void cutsTheStreamIntoFrames();
};

void TestWiperDecoder::cutsTheStreamIntoFrames()
{
    // The stream in hex; the controller's log lines for it, oldest first, then what is pending.
    const std::pair<QByteArray, QStringList> rows[] = {
        {"0244303332 0244303030 0244314646", // start frames, ends of the range
         {"02 44 30 33 32   CH-A = 50 (32)", "02 44 30 30 30   CH-A = 0 (00)",
          "02 44 31 46 46   CH-B = 255 (FF)", ""}},
        {"0258303332 0244323332",
         {"02 58 30 33 32   unknown command", "02 44 32 33 32   unknown channel", ""}},
        {"024430 6166", {"02 44 30 61 66   malformed: value is not two upper-case hex digits", ""}},
        {"024430 0244313332",
         {"02 44 30   malformed: cut short by the next frame", "02 44 31 33 32   CH-B = 50 (32)",
          ""}},
        {"0d0a414243 0244303332", // five stray bytes are no frame
         {"0D 0A 41 42 43   malformed: bytes outside a frame", "02 44 30 33 32   CH-A = 50 (32)",
          ""}},
        {"0244303332 024431", {"02 44 30 33 32   CH-A = 50 (32)", "02 44 31"}}, // still coming
        {"0244303332 0d0a", {"02 44 30 33 32   CH-A = 50 (32)", "0D 0A"}},      // waits for an STX
    };
    for (const auto& [stream, log] : rows) {
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
}

QTEST_APPLESS_MAIN(TestWiperDecoder)
#include "tst_wiper_decoder.moc"
