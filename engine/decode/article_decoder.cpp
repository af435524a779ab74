#include "decode/article_decoder.h"

#include <algorithm>

#include "core/engine_settings.h"
#include "decode/line_decoders.h"
#include "decode/yenc_decode.h"
#include "songs/part_number.h"

namespace corvane {
namespace {

constexpr std::string_view kSubjectKey = "Subject:";
constexpr std::string_view kEncodingKey = "Content-Transfer-Encoding:";
constexpr std::string_view kBeginKey = "begin ";

// The header value behind `key`: leading white space skipped, ending at the first control
// character, so trailing blanks stay part of it (and "base64 " is not "base64").
std::string_view headerValue(std::string_view line, std::size_t keyEnd) {
    std::size_t start = keyEnd;
    while (start < line.size() && (line[start] == ' ' || line[start] == '\t')) ++start;
    std::size_t end = start;
    while (end < line.size() && static_cast<unsigned char>(line[end]) >= 0x20) ++end;
    return line.substr(start, end - start);
}

// The first non-empty line of a body starts a yEnc part.
bool bodyStartsYenc(std::string_view article, std::size_t position) {
    while (article.substr(position, 2) == "\r\n") position += 2;
    return isYencBegin(article, position);
}

void storePart(DecodedFileList &list, DecodeState &state) {
    if (addDecodedPart(list, state) != kPartStored) state.bytes = std::string();
}

// A Content-Transfer-Encoding header: the MIME part behind it, when it has a file name.
void decodeMimePart(DecodedFileList &list, DecodeState &state, std::string_view article, std::size_t &position,
                    std::string_view line, std::size_t keyAt) {
    const int code = transferEncodingCode(headerValue(line, keyAt + kEncodingKey.size()));
    if (code == kEncodingUnknown) return;
    state.encoding = code;
    if (findFileName(state, article, position) != kFileNameFound) return;
    skipHeaderBlock(article, position);
    int result = kNothingDecoded;
    if (code == kEncodingBase64)
        result = base64DecodeLines(state, article, position);
    else if (code == kEncodingQuotedPrintable)
        result = quotedPrintableDecodeLines(state, article, position);
    // 8bit, 7bit and binary content is recognised but not extracted.
    if (result == kDecoded) storePart(list, state);
}

}  // namespace

void skipHeaderBlock(std::string_view text, std::size_t &position) {
    while (position < text.size()) {
        const std::size_t lineEnd = findLineEnd(text, position);
        if (lineEnd == std::string_view::npos) {
            position = text.size();
            return;
        }
        const bool empty = lineEnd == position;
        position = lineEnd + 2;
        if (empty) return;
    }
}

int decodeArticle(const char *text, std::size_t length, DecodedFileList *list) {
    if (!text || !list) return kArticleMissing;
    const std::string_view article(text, length);
    DecodeState state;
    int parts = 0;
    // Called where a part starts: whether the scan may go on.
    const auto mayDecodePart = [&parts](int &result) {
        if (cancelRequested())
            result = kArticleCancelled;
        else if (parts == kMaxPartsPerArticle)
            result = kArticleTooManyParts;
        else
            ++parts;
        return result == kArticleScanned;
    };
    int result = kArticleScanned;
    std::size_t position = 0;
    while (position < article.size()) {
        const std::size_t lineEnd = findLineEnd(article, position);
        if (lineEnd == std::string_view::npos) break;
        // A yEnc part names its file and its place in it, in whatever article of the song it
        // travels; the Subject line is not needed to place it.
        if (std::size_t yencPosition = position; isYencBegin(article, yencPosition)) {
            if (!mayDecodePart(result)) return result;
            YencPart part;
            yencDecodePart(article, yencPosition, part,
                           [list](const YencPart &header) { return placeYencPart(*list, header); });
            addYencPart(*list, part);
            position = std::max(yencPosition, lineEnd + 2);
            continue;
        }
        const std::string_view line = article.substr(position, lineEnd - position);
        position = lineEnd + 2;

        if (line.find(kSubjectKey) != std::string_view::npos) {
            state.continuation = 0;
            // Part 2 or later of a multi-part post: its body continues the uuencoded lines of
            // the first part, without a begin line of its own.
            if (parsePartNumber(line, state.baseName, state.partIndex, state.partCount) >= 1) {
                state.continuation = 1;
                skipHeaderBlock(article, position);
                // Later parts of a yEnc post carry their own =ybegin line: the scan finds it.
                if (bodyStartsYenc(article, position)) continue;
                if (!mayDecodePart(result)) return result;
                if (uuDecodeLines(state, article, position) == kDecoded) storePart(*list, state);
                continue;
            }
        }
        if (const std::size_t keyAt = line.find(kEncodingKey); keyAt != std::string_view::npos) {
            if (!mayDecodePart(result)) return result;
            decodeMimePart(*list, state, article, position, line, keyAt);
        } else if (line.find(kBeginKey) != std::string_view::npos) {
            state.encoding = kEncodingUuencode;
            if (findFileName(state, line, 0) != kFileNameFound) continue;
            if (!mayDecodePart(result)) return result;
            if (uuDecodeLines(state, article, position) == kDecoded) storePart(*list, state);
        }
    }
    return kArticleScanned;
}

}  // namespace corvane
