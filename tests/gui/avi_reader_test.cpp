// The AVI reader: frames and frame time of well-formed clips of every supported layout, a clear
// refusal of damaged or unsupported ones, and the program's own clip.
#include "main/avi_reader.h"

#include <QFile>
#include <QTest>

#include "gui_test_main.h"
#include "platform/program_folder.h"

using namespace harbeat;

namespace {

void putU16(QByteArray &out, quint16 value) { out.append(char(value & 0xff)).append(char(value >> 8)); }
void putU32(QByteArray &out, quint32 value) {
    for (int shift = 0; shift < 32; shift += 8) out.append(char((value >> shift) & 0xff));
}
QByteArray chunk(const char *code, const QByteArray &data) {
    QByteArray out(code, 4);
    putU32(out, quint32(data.size()));
    out.append(data);
    if (data.size() % 2) out.append('\0');
    return out;
}
QByteArray list(const char *type, const QByteArray &body) { return chunk("LIST", QByteArray(type, 4) + body); }

// What a test clip looks like; the defaults make a valid 2 x 2, 24-bit, 10 frames a second clip.
struct Clip {
    int width = 2;
    int height = 2;
    int bitCount = 24;
    quint32 compression = 0;
    QByteArray palette;            // 8-bit only: blue, green, red, 0 per colour
    int claimedColours = -1;       // the header's colour count; -1: as many as the palette holds
    quint32 rate = 10, scale = 1;  // the stream's frame rate
    quint32 fileMicroseconds = 50000;
    std::vector<QByteArray> frames;  // each frame's bitmap bits
    bool audioStreamFirst = false;   // the video stream is then stream 01
    bool framesInRecList = false;
    int recNesting = 0;             // "rec " lists around the frames, one inside the other
    bool junkBeforeFrames = false;  // an odd-sized chunk before the frame list
};

QByteArray build(const Clip &clip) {
    QByteArray main;
    for (quint32 value :
         {clip.fileMicroseconds, 0u, 0u, 0x10u, quint32(clip.frames.size()), 0u, clip.audioStreamFirst ? 2u : 1u, 0u,
          quint32(clip.width), quint32(std::abs(clip.height)), 0u, 0u, 0u, 0u})
        putU32(main, value);
    QByteArray video("vidsDIB ", 8);
    for (quint32 value : {0u, 0u, 0u, clip.scale, clip.rate, 0u, quint32(clip.frames.size()), 0u, 0u, 0u, 0u, 0u})
        putU32(video, value);
    QByteArray info;
    putU32(info, 40);
    putU32(info, quint32(clip.width));
    putU32(info, quint32(clip.height));
    putU16(info, 1);
    putU16(info, quint16(clip.bitCount));
    putU32(info, clip.compression);
    for (int i = 0; i < 3; ++i) putU32(info, 0);
    putU32(info, quint32(clip.claimedColours >= 0 ? clip.claimedColours : clip.palette.size() / 4));
    putU32(info, 0);
    info.append(clip.palette);
    QByteArray audio("auds", 4);
    audio.append(QByteArray(52, '\0'));

    QByteArray streams = list("strl", chunk("strh", video) + chunk("strf", info));
    if (clip.audioStreamFirst)
        streams = list("strl", chunk("strh", audio) + chunk("strf", QByteArray(18, '\0'))) + streams;
    const char *frameCode = clip.audioStreamFirst ? "01db" : "00db";
    QByteArray movie;
    for (const QByteArray &frame : clip.frames) {
        if (clip.audioStreamFirst) movie.append(chunk("00wb", QByteArray(7, 'a')));
        movie.append(chunk(frameCode, frame));
    }
    if (clip.framesInRecList) movie = list("rec ", movie);
    if (clip.recNesting > 0) {  // the list headers written outermost first, in one pass
        QByteArray nested;
        for (int level = 0; level < clip.recNesting; ++level) {
            nested.append("LIST", 4);
            putU32(nested, quint32(4 + 12 * (clip.recNesting - 1 - level) + movie.size()));
            nested.append("rec ", 4);
        }
        movie = nested + movie;
    }
    QByteArray body("AVI ", 4);
    body.append(list("hdrl", chunk("avih", main) + streams));
    if (clip.junkBeforeFrames) body.append(chunk("JUNK", "abc"));
    body.append(list("movi", movie));
    return chunk("RIFF", body);
}

// A 24-bit frame of 2 x 2 pixels, bottom row first, rows padded to 8 bytes.
QByteArray frame24(QRgb bottomLeft, QRgb topLeft) {
    QByteArray bits;
    for (const QRgb left : {bottomLeft, topLeft}) {
        for (const QRgb pixel : {left, qRgb(0, 0, 0)})
            bits.append(char(qBlue(pixel))).append(char(qGreen(pixel))).append(char(qRed(pixel)));
        bits.append(2, '\0');
    }
    return bits;
}

const QRgb red = qRgb(255, 0, 0);
const QRgb blue = qRgb(0, 0, 255);
const QRgb green = qRgb(0, 200, 0);

}  // namespace

class AviReaderTest : public QObject {
    Q_OBJECT
private slots:
    void readsUncompressedClips_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("microseconds");
        QTest::addColumn<QRgb>("topLeft");  // of the last frame
        QTest::addColumn<QRgb>("bottomLeft");

        Clip clip;
        clip.frames = {frame24(red, blue), frame24(green, red)};
        QTest::newRow("24-bit, bottom-up") << build(clip) << 2 << 100000 << red << green;
        Clip topDown = clip;
        topDown.height = -2;
        QTest::newRow("24-bit, top-down") << build(topDown) << 2 << 100000 << green << red;
        Clip fileRate = clip;
        fileRate.rate = 0;
        QTest::newRow("frame time of the file") << build(fileRate) << 2 << 50000 << red << green;
        Clip ntsc = clip;
        ntsc.rate = 30000;
        ntsc.scale = 1001;
        QTest::newRow("fractional rate") << build(ntsc) << 2 << 33367 << red << green;
        Clip nested = clip;
        nested.framesInRecList = true;
        nested.junkBeforeFrames = true;
        QTest::newRow("rec list, odd junk") << build(nested) << 2 << 100000 << red << green;
        Clip withAudio = clip;
        withAudio.audioStreamFirst = true;
        QTest::newRow("audio stream skipped") << build(withAudio) << 2 << 100000 << red << green;
        Clip repeat = clip;
        repeat.frames.push_back(QByteArray());
        QTest::newRow("empty frame repeats") << build(repeat) << 3 << 100000 << red << green;

        Clip indexed;
        indexed.width = 3;  // 3 bytes a row, padded to 4
        indexed.height = 1;
        indexed.bitCount = 8;
        indexed.palette = QByteArray("\xff\x00\x00\x00\x00\x00\xff\x00", 8);  // blue, red
        indexed.frames = {QByteArray("\x01\x00\x01\x00", 4)};
        QTest::newRow("8-bit palette") << build(indexed) << 1 << 100000 << red << red;

        Clip wide;
        wide.width = 1;
        wide.height = 2;
        wide.bitCount = 32;
        wide.frames = {QByteArray("\x00\xc8\x00\x00\xff\x00\x00\x00", 8)};
        QTest::newRow("32-bit") << build(wide) << 1 << 100000 << blue << green;
    }
    void readsUncompressedClips() {
        QFETCH(QByteArray, file);
        QFETCH(int, frames);
        QFETCH(int, microseconds);
        QFETCH(QRgb, topLeft);
        QFETCH(QRgb, bottomLeft);
        const AviReadResult read = readAvi(file);
        QCOMPARE(read.error, QString());
        QCOMPARE(int(read.clip.frames.size()), frames);
        QCOMPARE(read.clip.frameMicroseconds, microseconds);
        const QImage &last = read.clip.frames.back();
        QCOMPARE(last.pixel(0, 0), topLeft);
        QCOMPARE(last.pixel(0, last.height() - 1), bottomLeft);
    }

    void refusesWhatItCannotShow_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("error");
        Clip clip;
        clip.frames = {frame24(red, blue)};
        const QByteArray good = build(clip);
        QTest::newRow("not RIFF") << QByteArray("RIFX") + good.mid(4) << "not an AVI file";
        QTest::newRow("a WAVE file") << good.left(8) + "WAVE" + good.mid(12) << "not an AVI file";
        QTest::newRow("cut short") << good.left(good.size() - 10) << "truncated file";
        QByteArray longChunk = good;
        longChunk[17] = char(0x7f);  // the header list claims more than the file holds
        QTest::newRow("chunk past its list") << longChunk << "damaged file";
        Clip rle = clip;
        rle.compression = 1;
        QTest::newRow("compressed") << build(rle) << "compressed frames";
        Clip sixteen = clip;
        sixteen.bitCount = 16;
        QTest::newRow("16-bit") << build(sixteen) << "unsupported bit count 16";
        Clip huge = clip;
        huge.width = 100000;
        QTest::newRow("huge frame") << build(huge) << "bad frame size";
        Clip zero = clip;
        zero.height = 0;
        QTest::newRow("no height") << build(zero) << "bad frame size";
        Clip shortFrame = clip;
        shortFrame.frames = {QByteArray(5, '\0')};
        QTest::newRow("frame too short") << build(shortFrame) << "frame 1 too short";
        Clip empty = clip;
        empty.frames.clear();
        QTest::newRow("no frames") << build(empty) << "no frames";
        Clip noRate = clip;
        noRate.rate = 0;
        noRate.fileMicroseconds = 0;
        QTest::newRow("no frame rate") << build(noRate) << "no frame rate";
        Clip badPalette;
        badPalette.bitCount = 8;
        badPalette.frames = {QByteArray(8, '\0')};
        badPalette.palette = QByteArray(4, '\0');
        badPalette.claimedColours = 9;
        QTest::newRow("palette too short") << build(badPalette) << "bad palette";
        Clip nested = clip;
        nested.recNesting = 40000;  // would overflow the stack
        QTest::newRow("nested lists") << build(nested) << "frame lists nested too deeply";
    }
    void refusesWhatItCannotShow() {
        QFETCH(QByteArray, file);
        QFETCH(QString, error);
        const AviReadResult read = readAvi(file);
        QCOMPARE(read.error, error);
        QVERIFY(read.clip.frames.empty());
    }

    void programClip() {
        QFile file(dataFile("GRAMOPH.avi"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const AviReadResult read = readAvi(file.readAll());
        QCOMPARE(read.error, QString());
        QCOMPARE(int(read.clip.frames.size()), 16);
        QCOMPARE(read.clip.frames.front().size(), QSize(64, 64));
        QCOMPARE(read.clip.frameMicroseconds, 83333);
        QVERIFY(read.clip.frames[0] != read.clip.frames[1]);  // the record turns
    }
};

HARBEAT_GUI_TEST_MAIN(AviReaderTest)
#include "avi_reader_test.moc"
