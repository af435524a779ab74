#include "yenc_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>

namespace harbeat::yenc {
namespace {

bool mustEscape(unsigned char encoded, bool lineStart, bool lineEnd) {
    switch (encoded) {
        case 0x00:
        case '\n':
        case '\r':
        case '=': return true;
        case '\t':
        case ' ': return lineStart || lineEnd;
        case '.': return lineStart;
        default: return false;
    }
}

}  // namespace

std::uint32_t crc32Of(std::string_view bytes) {
    return static_cast<std::uint32_t>(
        crc32_z(crc32_z(0, nullptr, 0), reinterpret_cast<const Bytef *>(bytes.data()), bytes.size()));
}

std::string encodeLines(std::string_view bytes, int lineLength) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 32 + bytes.size() / static_cast<std::size_t>(lineLength) * 2 + 4);
    int column = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const auto encoded = static_cast<unsigned char>(static_cast<unsigned char>(bytes[i]) + 42);
        const bool lineEnd = column + 1 >= lineLength || i + 1 == bytes.size();
        if (mustEscape(encoded, column == 0, lineEnd)) {
            out += '=';
            out += static_cast<char>(static_cast<unsigned char>(encoded + 64));
            column += 2;
        } else {
            out += static_cast<char>(encoded);
            ++column;
        }
        if (column >= lineLength) {
            out += "\r\n";
            column = 0;
        }
    }
    if (column > 0) out += "\r\n";
    return out;
}

std::string encodeSinglePart(std::string_view file, std::string_view name, int lineLength) {
    std::string out = "=ybegin line=" + std::to_string(lineLength) + " size=" + std::to_string(file.size()) +
                      " name=" + std::string(name) + "\r\n";
    out += encodeLines(file, lineLength);
    char crc[9];
    std::snprintf(crc, sizeof crc, "%08x", crc32Of(file));
    out += "=yend size=" + std::to_string(file.size()) + " crc32=" + crc + "\r\n";
    return out;
}

PartRange partRange(std::size_t size, int part, int total) {
    const std::size_t each = (size + static_cast<std::size_t>(total) - 1) / static_cast<std::size_t>(total);
    const std::size_t offset = std::min(size, each * static_cast<std::size_t>(part - 1));
    return {offset, std::min(each, size - offset)};
}

std::string encodePartAt(std::string_view bytes, std::string_view name, int part, int total, std::size_t offset,
                         std::size_t fileSize, std::uint32_t fileCrc, int lineLength) {
    std::string out = "=ybegin part=" + std::to_string(part) + " total=" + std::to_string(total) +
                      " line=" + std::to_string(lineLength) + " size=" + std::to_string(fileSize) +
                      " name=" + std::string(name) + "\r\n";
    out += "=ypart begin=" + std::to_string(offset + 1) + " end=" + std::to_string(offset + bytes.size()) + "\r\n";
    out += encodeLines(bytes, lineLength);
    // The whole file's CRC goes with the last part only: decoders that keep a running CRC over
    // the parts (uudeview) compare it wherever it appears.
    char crcs[40];
    if (part == total)
        std::snprintf(crcs, sizeof crcs, " pcrc32=%08x crc32=%08x", crc32Of(bytes), fileCrc);
    else
        std::snprintf(crcs, sizeof crcs, " pcrc32=%08x", crc32Of(bytes));
    out += "=yend size=" + std::to_string(bytes.size()) + " part=" + std::to_string(part) + crcs + "\r\n";
    return out;
}

std::string encodePart(std::string_view file, std::string_view name, int part, int total, int lineLength) {
    const PartRange range = partRange(file.size(), part, total);
    return encodePartAt(file.substr(range.offset, range.length), name, part, total, range.offset, file.size(),
                        part == total ? crc32Of(file) : 0, lineLength);
}

std::vector<std::string> encodeParts(std::string_view file, std::string_view name, int total, int lineLength) {
    std::vector<std::string> bodies;
    if (total <= 1) {
        bodies.push_back(encodeSinglePart(file, name, lineLength));
        return bodies;
    }
    for (int part = 1; part <= total; ++part) bodies.push_back(encodePart(file, name, part, total, lineLength));
    return bodies;
}

}  // namespace harbeat::yenc
