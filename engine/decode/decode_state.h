// The scratch record of one article being decoded, and the transfer-encoding codes.
#pragma once

#include <cstdint>
#include <string>

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

struct DecodeState {
    std::string fileName;      // from findFileName
    std::string bytes;         // output of the last decoder run
    int32_t continuation = 0;  // 1 when the Subject line carries part 2 or later
    std::string baseName;      // Subject line before its part number; later parts are matched by it
    int32_t partIndex = 0;     // n - 1 of "(n/m)"
    int32_t partCount = 0;     // m of "(n/m)", 0 without a part number
    int32_t encoding = 0;      // a TransferEncoding code
};

}  // namespace corvane
