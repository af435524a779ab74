// The scratch record of one article being decoded, and the transfer-encoding codes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

// Codes of the Content-Transfer-Encoding values, plus uuencode for a "begin " line.
enum TransferEncoding : int32_t {
    kEncodingUnknown = -1,
    kEncodingBase64 = 0,
    kEncodingQuotedPrintable = 1,
    kEncoding8Bit = 2,
    kEncoding7Bit = 3,
    kEncodingBinary = 4,
    kEncodingUuencode = 5,
    kEncodingYenc = 6,  // a "=ybegin" line
};

// The next place of a fixed text in the article, remembered: a later look from further on starts
// where the last one ended, so that an article of many parts is searched through once, not once
// per part.
struct NextOccurrence {
    std::size_t searchedFrom = std::string_view::npos;
    std::size_t foundAt = std::string_view::npos;  // npos: nowhere after searchedFrom

    std::size_t find(std::string_view text, std::string_view key, std::size_t from) {
        if (searchedFrom == std::string_view::npos || from < searchedFrom ||
            (foundAt != std::string_view::npos && foundAt < from)) {
            searchedFrom = from;
            foundAt = text.find(key, from);
        }
        return foundAt;
    }
};

struct DecodeState {
    std::string fileName;        // from findFileName
    std::string bytes;           // output of the last decoder run
    int32_t continuation = 0;    // 1 when the Subject line carries part 2 or later
    std::string baseName;        // Subject line before its part number; later parts are matched by it
    int32_t partIndex = 0;       // n - 1 of "(n/m)"
    int32_t partCount = 0;       // m of "(n/m)", 0 without a part number
    int32_t encoding = 0;        // a TransferEncoding code
    NextOccurrence fileNameKey;  // "filename=" of a MIME part
    NextOccurrence partEnd;      // the boundary that ends a quoted-printable part
};

}  // namespace corvane
