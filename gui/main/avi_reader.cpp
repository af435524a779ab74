#include "main/avi_reader.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>

namespace harbeat {
namespace {

// Frames larger than this are not an animation clip; the limit also keeps a damaged header from
// asking for a huge image.
constexpr int32_t kMaxSide = 4096;
// "rec " lists inside the frame list are one level deep in real files. A damaged or hostile file
// could nest them without end and run the reader out of stack; deeper nesting fails the clip.
constexpr int kMaxRecordNesting = 8;

uint32_t readU32(QByteArrayView bytes, qsizetype at) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data()) + at;
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t readU16(QByteArrayView bytes, qsizetype at) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data()) + at;
    return uint16_t(p[0] | p[1] << 8);
}
int32_t readI32(QByteArrayView bytes, qsizetype at) { return static_cast<int32_t>(readU32(bytes, at)); }

bool isFourCc(QByteArrayView bytes, qsizetype at, const char (&code)[5]) {
    return bytes.sliced(at, 4) == QByteArrayView(code, 4);
}

// One chunk inside a parent's data: its four-character code and its data.
struct Chunk {
    QByteArrayView id;
    QByteArrayView data;
};

// Splits a RIFF list body into its chunks. Each chunk is padded to an even length.
std::optional<std::vector<Chunk>> splitChunks(QByteArrayView body) {
    std::vector<Chunk> chunks;
    qsizetype at = 0;
    while (body.size() - at >= 8) {
        const uint32_t size = readU32(body, at + 4);
        if (size > static_cast<uint64_t>(body.size() - at - 8)) return std::nullopt;
        chunks.push_back({body.sliced(at, 4), body.sliced(at + 8, size)});
        at += 8 + static_cast<qsizetype>(size) + (size & 1);
    }
    return chunks;
}

bool isList(const Chunk &chunk, const char (&type)[5]) {
    return chunk.id == QByteArrayView("LIST", 4) && chunk.data.size() >= 4 && isFourCc(chunk.data, 0, type);
}

struct VideoFormat {
    int32_t width = 0;
    int32_t height = 0;  // negative: rows top to bottom
    int bitCount = 0;
    std::vector<QRgb> palette;
    int streamNumber = -1;
    uint32_t scale = 0;
    uint32_t rate = 0;
};

// strh (the stream header) and strf (a BITMAPINFOHEADER) of one stream list. A video stream
// fills `format`; any other stream is passed over. Returns what is wrong, or "".
QString readVideoStream(const std::vector<Chunk> &streamChunks, int number, VideoFormat &format) {
    QByteArrayView header;
    QByteArrayView bitmapInfo;
    for (const Chunk &chunk : streamChunks) {
        if (chunk.id == QByteArrayView("strh", 4)) header = chunk.data;
        if (chunk.id == QByteArrayView("strf", 4)) bitmapInfo = chunk.data;
    }
    if (header.size() < 28 || !isFourCc(header, 0, "vids")) return QString();
    if (bitmapInfo.size() < 40) return QStringLiteral("video format too short");
    const uint32_t infoSize = readU32(bitmapInfo, 0);
    if (infoSize < 40 || infoSize > static_cast<uint32_t>(bitmapInfo.size())) return QStringLiteral("bad format size");
    if (readU32(bitmapInfo, 16) != 0) return QStringLiteral("compressed frames");

    format.streamNumber = number;
    format.scale = readU32(header, 20);
    format.rate = readU32(header, 24);
    format.width = readI32(bitmapInfo, 4);
    format.height = readI32(bitmapInfo, 8);
    format.bitCount = readU16(bitmapInfo, 14);
    if (format.width <= 0 || format.width > kMaxSide || format.height == 0 || format.height < -kMaxSide ||
        format.height > kMaxSide)
        return QStringLiteral("bad frame size");
    if (format.bitCount != 8 && format.bitCount != 24 && format.bitCount != 32)
        return QStringLiteral("unsupported bit count %1").arg(format.bitCount);
    if (format.bitCount == 8) {
        const uint32_t used = readU32(bitmapInfo, 32);
        const uint32_t colours = used == 0 ? 256 : used;
        if (colours > 256 || infoSize + colours * 4 > static_cast<uint32_t>(bitmapInfo.size()))
            return QStringLiteral("bad palette");
        for (uint32_t i = 0; i < colours; ++i) {
            const qsizetype at = infoSize + i * 4;
            const auto *p = reinterpret_cast<const unsigned char *>(bitmapInfo.data()) + at;
            format.palette.push_back(qRgb(p[2], p[1], p[0]));  // stored blue, green, red, reserved
        }
    }
    return QString();
}

// One frame's bitmap: rows of pixels, each row padded to four bytes.
std::optional<QImage> decodeFrame(QByteArrayView bits, const VideoFormat &format) {
    const int width = format.width;
    const int height = std::abs(format.height);
    const qsizetype stride = ((static_cast<qsizetype>(width) * format.bitCount + 31) / 32) * 4;
    if (bits.size() < stride * height) return std::nullopt;
    QImage image(width, height, QImage::Format_RGB32);
    const auto *data = reinterpret_cast<const unsigned char *>(bits.data());
    for (int row = 0; row < height; ++row) {
        const unsigned char *source = data + stride * row;
        // Bottom-up unless the height is negative.
        const int y = format.height > 0 ? height - 1 - row : row;
        auto *target = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            switch (format.bitCount) {
                case 8: {
                    const unsigned index = source[x];
                    target[x] = index < format.palette.size() ? format.palette[index] : qRgb(0, 0, 0);
                    break;
                }
                case 24: target[x] = qRgb(source[3 * x + 2], source[3 * x + 1], source[3 * x]); break;
                default: target[x] = qRgb(source[4 * x + 2], source[4 * x + 1], source[4 * x]); break;
            }
        }
    }
    return image;
}

// Whether a movi chunk holds a frame of the video stream: "nndb" or "nndc", nn its number.
bool isFrameChunk(const Chunk &chunk, int streamNumber) {
    const QByteArray expected = QByteArray::number(streamNumber).rightJustified(2, '0');
    return chunk.id.first(2) == expected && (chunk.id.sliced(2) == "db" || chunk.id.sliced(2) == "dc");
}

// Adds the frames of a movi list (or of a "rec " list inside it). Returns what is wrong, or "".
QString readFrames(QByteArrayView body, const VideoFormat &format, AviClip &clip, int depth = 0) {
    if (depth > kMaxRecordNesting) return QStringLiteral("frame lists nested too deeply");
    const auto chunks = splitChunks(body);
    if (!chunks) return QStringLiteral("damaged frame list");
    for (const Chunk &chunk : *chunks) {
        if (isList(chunk, "rec ")) {
            if (QString error = readFrames(chunk.data.sliced(4), format, clip, depth + 1); !error.isEmpty())
                return error;
            continue;
        }
        if (!isFrameChunk(chunk, format.streamNumber)) continue;
        if (chunk.data.isEmpty()) {  // an empty frame repeats the one before
            if (!clip.frames.empty()) clip.frames.push_back(clip.frames.back());
            continue;
        }
        auto frame = decodeFrame(chunk.data, format);
        if (!frame) return QStringLiteral("frame %1 too short").arg(clip.frames.size() + 1);
        clip.frames.push_back(std::move(*frame));
    }
    return QString();
}

}  // namespace

AviReadResult readAvi(QByteArrayView file) {
    AviReadResult result;
    auto fail = [&result](const QString &error) {
        result.clip = {};
        result.error = error;
        return result;
    };
    if (file.size() < 12 || !isFourCc(file, 0, "RIFF") || !isFourCc(file, 8, "AVI "))
        return fail(QStringLiteral("not an AVI file"));
    const uint32_t riffSize = readU32(file, 4);
    if (riffSize < 4 || riffSize > static_cast<uint64_t>(file.size() - 8))
        return fail(QStringLiteral("truncated file"));
    const auto top = splitChunks(file.sliced(12, riffSize - 4));
    if (!top) return fail(QStringLiteral("damaged file"));

    VideoFormat format;
    uint32_t fileFrameMicroseconds = 0;
    const Chunk *movi = nullptr;
    for (const Chunk &chunk : *top) {
        if (isList(chunk, "movi")) movi = &chunk;
        if (!isList(chunk, "hdrl")) continue;
        const auto header = splitChunks(chunk.data.sliced(4));
        if (!header) return fail(QStringLiteral("damaged header"));
        int streamNumber = 0;
        for (const Chunk &part : *header) {
            if (part.id == QByteArrayView("avih", 4) && part.data.size() >= 4)
                fileFrameMicroseconds = readU32(part.data, 0);
            if (!isList(part, "strl")) continue;
            const auto stream = splitChunks(part.data.sliced(4));
            if (!stream) return fail(QStringLiteral("damaged stream header"));
            if (format.streamNumber < 0) {
                if (QString error = readVideoStream(*stream, streamNumber, format); !error.isEmpty())
                    return fail(error);
            }
            ++streamNumber;
        }
    }
    if (format.streamNumber < 0) return fail(QStringLiteral("no video stream"));
    if (!movi) return fail(QStringLiteral("no frames"));
    if (QString error = readFrames(movi->data.sliced(4), format, result.clip); !error.isEmpty()) return fail(error);
    if (result.clip.frames.empty()) return fail(QStringLiteral("no frames"));

    const double microseconds =
        format.rate > 0 && format.scale > 0 ? 1e6 * format.scale / format.rate : double(fileFrameMicroseconds);
    result.clip.frameMicroseconds = static_cast<int>(std::llround(std::min(microseconds, double(INT32_MAX))));
    if (result.clip.frameMicroseconds <= 0) return fail(QStringLiteral("no frame rate"));
    return result;
}

}  // namespace harbeat
