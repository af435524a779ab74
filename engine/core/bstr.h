// A minimal OLE string (BSTR): UTF-16 text with its byte length in a 32-bit word in front and a
// zero unit behind. The pointer handed out points at the text, as on Windows.
#pragma once

#include <cstddef>
#include <string>

namespace corvane {

// Byte length stored in front of the text (0 for null).
std::size_t sysStringByteLen(const char16_t *text);

// An OLE string that is made again and again on one thread, each living only until the next:
// the report callback's string, which the receiver copies during the call. Its memory is reused.
class ReusedOleString {
public:
    // The text as an OLE string; valid until the next call.
    const char16_t *assign(const std::u16string &text);

private:
    std::u16string block_;
};

}  // namespace corvane
