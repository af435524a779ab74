// Turns the text of one article into decoded files: finds where encoded content starts (a
// uuencode "begin " line, a MIME part with a Content-Transfer-Encoding header, or the body of a
// later part of a multi-part uuencoded post, known by its Subject line), decodes it and puts the
// result into the song's DecodedFileList.
#pragma once

#include <cstddef>
#include <string_view>

#include "decode/decode_state.h"
#include "decode/decoded_files.h"

namespace corvane {

enum DecodeArticleResult {
    kArticleScanned = 0,
    kArticleMissing = 2,
    kArticleCancelled = 3,     // a cancel was requested: the scan stopped between two parts
    kArticleTooManyParts = 4,  // the scan stopped before part kMaxPartsPerArticle + 1
};

// A real post carries one encoded file per article, a few at most; an article of thousands of
// tiny parts is made to keep the decoder busy.
inline constexpr int kMaxPartsPerArticle = 1000;
inline constexpr std::string_view kTooManyPartsError = "An article of more than 1,000 encoded parts cannot be decoded.";

// Scans the article (lines ending in CR LF, already unstuffed) and adds every decoded part to
// the list. kArticleMissing when the text or the list is missing. Stops early, with the parts
// decoded so far in the list, on a cancel (kArticleCancelled) and before decoding more than
// kMaxPartsPerArticle parts (kArticleTooManyParts).
int decodeArticle(const char *text, std::size_t length, DecodedFileList *list);

enum FindFileNameResult { kFileNameFound = 0, kNoFileName = 1, kFileNameRejected = 3 };

// The file name of the part that state.encoding announces. MIME encodings: `text` from
// `position` is the rest of the article after the Content-Transfer-Encoding line. uuencode:
// `text` is the begin line alone (without CR LF); a mode below 600 rejects it, so that prose
// containing "begin " is not taken for a begin line.
int findFileName(DecodeState &state, std::string_view text, std::size_t position);

// Moves `position` past the next empty line (the end of a header block), or to the end.
void skipHeaderBlock(std::string_view text, std::size_t &position);

// The TransferEncoding code of a Content-Transfer-Encoding value (compared without regard to
// case), or kEncodingUnknown.
int transferEncodingCode(std::string_view value);

}  // namespace corvane
