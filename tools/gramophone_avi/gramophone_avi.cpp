// Draws a gramophone record turning under its tone arm and writes the frames as an AVI file:
// RIFF "AVI ", one video stream of uncompressed 24-bit bottom-up bitmaps, an index.
//
//   gramophone_avi <output.avi>
//
// The background is one flat colour, which the program's player shows as transparent.
#include <QByteArray>
#include <QConicalGradient>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSide = 64;
constexpr int kFrames = 16;
constexpr int kFramesPerSecond = 12;
const QColor kBackground(0xf0, 0xf0, 0xf0);
const QPointF kCentre(29.5, 34.5);
constexpr qreal kRecordRadius = 27;
constexpr qreal kLabelRadius = 9.5;

// The parts that turn with the record, drawn at `degrees` of rotation.
void drawTurningParts(QPainter &p, qreal degrees) {
    p.save();
    p.translate(kCentre);
    p.rotate(degrees);

    // Light catching a few stretches of groove.
    p.setBrush(Qt::NoBrush);
    const struct {
        qreal radius;
        int start;
        int span;
    } glints[] = {{13.5, 20, 50}, {18, 200, 35}, {22.5, 110, 40}, {25, 290, 30}};
    for (const auto &glint : glints) {
        p.setPen(QPen(QColor(150, 150, 160, 150), 1.1, Qt::SolidLine, Qt::RoundCap));
        const QRectF ring(-glint.radius, -glint.radius, 2 * glint.radius, 2 * glint.radius);
        p.drawArc(ring, glint.start * 16, glint.span * 16);
    }

    // The label: red, its upper half a lighter band, two lines of print below.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xc0, 0x24, 0x2c));
    p.drawEllipse(QPointF(0, 0), kLabelRadius, kLabelRadius);
    QPainterPath band;
    band.moveTo(-kLabelRadius, 0);
    band.arcTo(QRectF(-kLabelRadius, -kLabelRadius, 2 * kLabelRadius, 2 * kLabelRadius), 180, -180);
    band.lineTo(kLabelRadius * 0.55, 0);
    band.arcTo(QRectF(-kLabelRadius * 0.55, -kLabelRadius * 0.55, kLabelRadius * 1.1, kLabelRadius * 1.1), 0, 180);
    band.closeSubpath();
    p.setBrush(QColor(0xf2, 0xd4, 0x8a));
    p.drawPath(band);
    p.setPen(QPen(QColor(0xf8, 0xec, 0xd0), 1.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(-4.5, 4), QPointF(4.5, 4));
    p.drawLine(QPointF(-3, 6.5), QPointF(3, 6.5));
    p.restore();
}

QImage drawFrame(int frame) {
    QImage image(kSide, kSide, QImage::Format_RGB32);
    image.fill(kBackground);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Shadow, disc and grooves.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 40));
    p.drawEllipse(kCentre + QPointF(1.2, 1.6), kRecordRadius, kRecordRadius);
    QRadialGradient vinyl(kCentre, kRecordRadius);
    vinyl.setColorAt(0, QColor(0x1c, 0x1c, 0x1e));
    vinyl.setColorAt(0.92, QColor(0x10, 0x10, 0x12));
    vinyl.setColorAt(1, QColor(0x2a, 0x2a, 0x2e));
    p.setBrush(vinyl);
    p.drawEllipse(kCentre, kRecordRadius, kRecordRadius);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x30, 0x30, 0x34), 0.5));
    for (qreal radius = 11.5; radius < kRecordRadius - 1; radius += 1.6) p.drawEllipse(kCentre, radius, radius);

    drawTurningParts(p, 360.0 * frame / kFrames);

    // A sheen that stays where the light is while the record turns beneath it.
    QConicalGradient sheen(kCentre, 45);
    sheen.setColorAt(0.0, QColor(255, 255, 255, 55));
    sheen.setColorAt(0.08, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.42, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 45));
    sheen.setColorAt(0.58, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.92, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.0, QColor(255, 255, 255, 55));
    QPainterPath ring;
    ring.addEllipse(kCentre, kRecordRadius - 1, kRecordRadius - 1);
    ring.addEllipse(kCentre, kLabelRadius + 1, kLabelRadius + 1);
    p.setPen(Qt::NoPen);
    p.setBrush(sheen);
    p.drawPath(ring);

    // Spindle.
    p.setBrush(QColor(0xd8, 0xd8, 0xdc));
    p.drawEllipse(kCentre, 1.4, 1.4);

    // Tone arm from its pivot at the top right down to the stylus in the outer grooves.
    const QPointF pivot(56, 9);
    const QPointF elbow(54, 30);
    const QPointF head(45, 44);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0x4a, 0x4e, 0x56), 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({pivot, elbow, head}));
    p.setPen(QPen(QColor(0xc8, 0xcc, 0xd4), 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPolyline(QPolygonF({pivot, elbow, head}));
    p.setPen(QPen(QColor(0x3a, 0x3e, 0x46), 1.0));
    p.setBrush(QColor(0x8a, 0x90, 0x9a));
    p.save();
    p.translate(head);
    p.rotate(35);
    p.drawRoundedRect(QRectF(-2.5, -3.5, 5, 7), 1.2, 1.2);
    p.restore();
    QRadialGradient knob(pivot - QPointF(1, 1), 5);
    knob.setColorAt(0, QColor(0xf4, 0xf4, 0xf8));
    knob.setColorAt(1, QColor(0x80, 0x86, 0x90));
    p.setBrush(knob);
    p.drawEllipse(pivot, 4.5, 4.5);
    return image;
}

void putU16(QByteArray &out, quint16 value) {
    out.append(char(value & 0xff));
    out.append(char(value >> 8));
}
void putU32(QByteArray &out, quint32 value) {
    for (int shift = 0; shift < 32; shift += 8) out.append(char((value >> shift) & 0xff));
}
void putFourCc(QByteArray &out, const char *code) { out.append(code, 4); }

// A chunk: code, size, data and a pad byte when the size is odd.
QByteArray chunk(const char *code, const QByteArray &data) {
    QByteArray out;
    putFourCc(out, code);
    putU32(out, quint32(data.size()));
    out.append(data);
    if (data.size() % 2) out.append('\0');
    return out;
}
QByteArray list(const char *type, const QByteArray &body) {
    QByteArray data;
    putFourCc(data, type);
    data.append(body);
    return chunk("LIST", data);
}

// 24-bit pixels, rows bottom to top, each row padded to four bytes.
QByteArray bitmapBits(const QImage &image) {
    const int stride = (image.width() * 3 + 3) / 4 * 4;
    QByteArray bits;
    for (int y = image.height() - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        QByteArray row;
        for (int x = 0; x < image.width(); ++x) {
            row.append(char(qBlue(line[x])));
            row.append(char(qGreen(line[x])));
            row.append(char(qRed(line[x])));
        }
        row.append(QByteArray(stride - row.size(), '\0'));
        bits.append(row);
    }
    return bits;
}

QByteArray aviFile(const std::vector<QImage> &frames) {
    const quint32 frameBytes = quint32((kSide * 3 + 3) / 4 * 4 * kSide);
    const quint32 count = quint32(frames.size());

    QByteArray mainHeader;
    putU32(mainHeader, 1000000 / kFramesPerSecond);  // microseconds per frame
    putU32(mainHeader, frameBytes * kFramesPerSecond);
    putU32(mainHeader, 0);     // padding granularity
    putU32(mainHeader, 0x10);  // has an index
    putU32(mainHeader, count);
    putU32(mainHeader, 0);  // initial frames
    putU32(mainHeader, 1);  // streams
    putU32(mainHeader, frameBytes);
    putU32(mainHeader, kSide);
    putU32(mainHeader, kSide);
    for (int i = 0; i < 4; ++i) putU32(mainHeader, 0);

    QByteArray streamHeader;
    putFourCc(streamHeader, "vids");
    putFourCc(streamHeader, "DIB ");
    putU32(streamHeader, 0);  // flags
    putU16(streamHeader, 0);  // priority
    putU16(streamHeader, 0);  // language
    putU32(streamHeader, 0);  // initial frames
    putU32(streamHeader, 1);  // scale
    putU32(streamHeader, kFramesPerSecond);
    putU32(streamHeader, 0);  // start
    putU32(streamHeader, count);
    putU32(streamHeader, frameBytes);
    putU32(streamHeader, 0xffffffffu);  // quality: default
    putU32(streamHeader, frameBytes);   // sample size
    for (const int edge : {0, 0, kSide, kSide}) putU16(streamHeader, quint16(edge));

    QByteArray bitmapInfo;
    putU32(bitmapInfo, 40);
    putU32(bitmapInfo, kSide);
    putU32(bitmapInfo, kSide);  // positive: bottom-up rows
    putU16(bitmapInfo, 1);      // planes
    putU16(bitmapInfo, 24);
    putU32(bitmapInfo, 0);  // uncompressed
    putU32(bitmapInfo, frameBytes);
    for (int i = 0; i < 4; ++i) putU32(bitmapInfo, 0);

    const QByteArray header =
        list("hdrl", chunk("avih", mainHeader) + list("strl", chunk("strh", streamHeader) + chunk("strf", bitmapInfo)));

    QByteArray movie;
    QByteArray index;
    for (const QImage &frame : frames) {
        putFourCc(index, "00db");
        putU32(index, 0x10);                       // key frame
        putU32(index, quint32(4 + movie.size()));  // from the "movi" code
        putU32(index, frameBytes);
        movie.append(chunk("00db", bitmapBits(frame)));
    }

    QByteArray body;
    putFourCc(body, "AVI ");
    body.append(header);
    body.append(list("movi", movie));
    body.append(chunk("idx1", index));
    return chunk("RIFF", body);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gramophone_avi <output.avi>\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    std::vector<QImage> frames;
    for (int frame = 0; frame < kFrames; ++frame) frames.push_back(drawFrame(frame));
    QFile output(QString::fromLocal8Bit(argv[1]));
    if (!output.open(QIODevice::WriteOnly | QIODevice::Truncate) || output.write(aviFile(frames)) < 0) {
        std::fprintf(stderr, "gramophone_avi: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
