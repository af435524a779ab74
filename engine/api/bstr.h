// A minimal OLE string (BSTR): UTF-16 text with its byte length in a 32-bit word in front and a
// zero unit behind. The pointer handed out points at the text, as on Windows.
#pragma once

#include <cstddef>

namespace corvane {

// Returns null when the memory cannot be had.
char16_t *sysAllocStringLen(const char16_t *text, std::size_t units);
void sysFreeString(char16_t *text);
// Byte length stored in front of the text (0 for null).
std::size_t sysStringByteLen(const char16_t *text);

}  // namespace corvane
