#include "frame_description.h"
#include "wiper_decoder.h"
#include "wiper_frame.h"

#include <QTest>

using potpanel::ChannelId;
using potpanel::DecodedFrame;
using Kind = potpanel::DecodedFrame::Kind;

Q_DECLARE_METATYPE(ChannelId)
Q_DECLARE_METATYPE(std::string)

namespace {

std::string fromHex(const char* hex)
{
    return QByteArray::fromHex(hex).toStdString();
}

// Feeds the stream in pieces of the given size and gathers every frame reported.
std::vector<DecodedFrame> decodeInPieces(const std::string& stream, std::size_t piece)
{
    potpanel::WiperDecoder decoder;
    std::vector<DecodedFrame> frames;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
        auto decoded = decoder.feed(std::string_view(stream).substr(at, piece));
        frames.insert(frames.end(), decoded.begin(), decoded.end());
    }
    return frames;
}

QString kindName(Kind kind)
{
    switch (kind) {
    case Kind::Wiper:
        return QStringLiteral("wiper");
    case Kind::UnknownCommand:
        return QStringLiteral("unknown command");
    case Kind::UnknownChannel:
        return QStringLiteral("unknown channel");
    case Kind::BadDigits:
        return QStringLiteral("bad digits");
    case Kind::CutShort:
        return QStringLiteral("cut short");
    case Kind::Stray:
        return QStringLiteral("stray");
    }
    return {};
}

// "wiper 02 44 30 33 32" per frame, so that a mismatch shows the whole stream.
QStringList summary(const std::vector<DecodedFrame>& frames)
{
    QStringList lines;
    for (const DecodedFrame& frame : frames)
        lines << kindName(frame.kind) + u' ' +
                     QString::fromStdString(potpanel::hexBytes(frame.bytes));
    return lines;
}

} // namespace

class TestWiperDecoder : public QObject
{
    Q_OBJECT

private slots:
    void recoversEveryFrame_data();
    void recoversEveryFrame();
    void streamOfAllFramesInAnyPieces_data();
    void streamOfAllFramesInAnyPieces();
    void flagsMalformedFrames_data();
    void flagsMalformedFrames();
    void keepsIncompleteFramePending_data();
    void keepsIncompleteFramePending();
    void describesFrames_data();
    void describesFrames();
};

void TestWiperDecoder::recoversEveryFrame_data()
{
    QTest::addColumn<ChannelId>("channel");
    QTest::addColumn<int>("value");
    for (const ChannelId channel : {ChannelId::A, ChannelId::B})
        for (int value = 0; value <= 255; ++value)
            QTest::addRow("%c %d", static_cast<char>(channel), value) << channel << value;
}

// Each frame the panel can send decodes to its channel and value however the
// port splits it.
void TestWiperDecoder::recoversEveryFrame()
{
    QFETCH(ChannelId, channel);
    QFETCH(int, value);
    const std::string bytes{
        potpanel::encodeWiperFrame(channel, static_cast<std::int16_t>(value)).bytes()};

    for (std::size_t piece = 1; piece <= bytes.size(); ++piece) {
        const std::vector<DecodedFrame> frames = decodeInPieces(bytes, piece);
        QCOMPARE(frames.size(), 1u);
        QCOMPARE(kindName(frames[0].kind), QStringLiteral("wiper"));
        QCOMPARE(frames[0].channel, channel);
        QCOMPARE(frames[0].value, value);
        QCOMPARE(frames[0].bytes, bytes);
    }
}

void TestWiperDecoder::streamOfAllFramesInAnyPieces_data()
{
    QTest::addColumn<int>("piece");
    for (const int piece : {1, 2, 3, 4, 6, 7, 13, 4096})
        QTest::addRow("pieces of %d", piece) << piece;
}

// All 512 frames back to back, as a fast operator would send them.
void TestWiperDecoder::streamOfAllFramesInAnyPieces()
{
    QFETCH(int, piece);
    std::string stream;
    std::vector<std::pair<ChannelId, int>> sent;
    for (int value = 0; value <= 255; ++value)
        for (const ChannelId channel : {ChannelId::B, ChannelId::A}) {
            stream += potpanel::encodeWiperFrame(channel, static_cast<std::int16_t>(value)).bytes();
            sent.emplace_back(channel, value);
        }

    const std::vector<DecodedFrame> frames =
        decodeInPieces(stream, static_cast<std::size_t>(piece));
    QCOMPARE(frames.size(), sent.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        QCOMPARE(frames[i].kind, Kind::Wiper);
        QCOMPARE(frames[i].channel, sent[i].first);
        QCOMPARE(frames[i].value, sent[i].second);
    }
}

void TestWiperDecoder::flagsMalformedFrames_data()
{
    QTest::addColumn<std::string>("stream");
    QTest::addColumn<QStringList>("expected");

    const auto row = [](const char* name, const char* hex, QStringList expected) {
        QTest::newRow(name) << fromHex(hex) << expected;
    };
    row("lower-case digit", "0244303361", {"bad digits 02 44 30 33 61"});
    row("digit past F", "0244314730", {"bad digits 02 44 31 47 30"});
    row("space for a digit", "0244302030", {"bad digits 02 44 30 20 30"});
    row("unknown command letter", "0258303332", {"unknown command 02 58 30 33 32"});
    row("lower-case command letter", "0264303332", {"unknown command 02 64 30 33 32"});
    row("channel 2", "0244323332", {"unknown channel 02 44 32 33 32"});
    row("channel A by letter", "0244413332", {"unknown channel 02 44 41 33 32"});
    row("cut short by the next frame", "0244300244313332",
        {"cut short 02 44 30", "wiper 02 44 31 33 32"});
    row("lone STX before a frame", "020244303332", {"cut short 02", "wiper 02 44 30 33 32"});
    row("bytes before the first frame", "41420244314646", {"stray 41 42", "wiper 02 44 31 46 46"});
    row("line ending between frames", "02443033320D0A0244313030",
        {"wiper 02 44 30 33 32", "stray 0D 0A", "wiper 02 44 31 30 30"});
    row("frame with a terminator", "024430333203", {"wiper 02 44 30 33 32"});
    row("checked in order: command first", "0258327A7A", {"unknown command 02 58 32 7A 7A"});
    row("checked in order: channel before digits", "0244327A7A",
        {"unknown channel 02 44 32 7A 7A"});
}

// Damaged frames are reported as such, the same way whatever the pieces, and the
// decoder is back in step for the next good frame.
void TestWiperDecoder::flagsMalformedFrames()
{
    QFETCH(std::string, stream);
    QFETCH(QStringList, expected);

    for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{5}, stream.size()})
        QCOMPARE(summary(decodeInPieces(stream, piece)), expected);
}

void TestWiperDecoder::keepsIncompleteFramePending_data()
{
    QTest::addColumn<std::string>("stream");
    QTest::addColumn<std::string>("pending");

    QTest::newRow("nothing yet") << std::string() << std::string();
    QTest::newRow("four bytes of a frame") << fromHex("02443033") << fromHex("02443033");
    QTest::newRow("frame then STX") << fromHex("024430333202") << fromHex("02");
    QTest::newRow("stray bytes") << fromHex("0D0A") << fromHex("0D0A");
    QTest::newRow("complete frame") << fromHex("0244303332") << std::string();
}

// A frame not yet complete is held back, not reported as damaged.
void TestWiperDecoder::keepsIncompleteFramePending()
{
    QFETCH(std::string, stream);
    QFETCH(std::string, pending);

    potpanel::WiperDecoder decoder;
    const std::vector<DecodedFrame> frames = decoder.feed(stream);
    QCOMPARE(decoder.pending(), pending);
    for (const DecodedFrame& frame : frames)
        QCOMPARE(frame.kind, Kind::Wiper);
}

void TestWiperDecoder::describesFrames_data()
{
    QTest::addColumn<std::string>("stream");
    QTest::addColumn<QString>("line");

    QTest::newRow("channel A 50") << fromHex("0244303332") << "02 44 30 33 32   CH-A = 50 (32)";
    QTest::newRow("channel B 255") << fromHex("0244314646") << "02 44 31 46 46   CH-B = 255 (FF)";
    QTest::newRow("channel B 0") << fromHex("0244313030") << "02 44 31 30 30   CH-B = 0 (00)";
    QTest::newRow("unknown command") << fromHex("0258303332") << "02 58 30 33 32   unknown command";
    QTest::newRow("unknown channel") << fromHex("0244323332") << "02 44 32 33 32   unknown channel";
    QTest::newRow("bad digits")
        << fromHex("0244306130")
        << "02 44 30 61 30   malformed: value is not two upper-case hex digits";
    QTest::newRow("cut short") << fromHex("02443002")
                               << "02 44 30   malformed: cut short by the next frame";
    QTest::newRow("stray high bytes")
        << fromHex("FF8002") << "FF 80   malformed: bytes outside a frame";
}

// The first frame a stream completes, as the controller's log shows it.
void TestWiperDecoder::describesFrames()
{
    QFETCH(std::string, stream);
    QFETCH(QString, line);

    potpanel::WiperDecoder decoder;
    const std::vector<DecodedFrame> frames = decoder.feed(stream);
    QVERIFY(!frames.empty());
    QCOMPARE(QString::fromStdString(potpanel::describe(frames.front())), line);
}

QTEST_APPLESS_MAIN(TestWiperDecoder)
#include "tst_wiper_decoder.moc"
