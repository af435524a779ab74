// Reports to the GUI through the registered StatusCallback.
#pragma once

#include <cstdint>
#include <string_view>

namespace corvane {

// Converts the text to an OLE string, calls the callback on this thread, frees the string.
// Does nothing when no callback is registered.
void notifyGui(int32_t code, std::string_view text);

// 9004 with the value printed as "%3.2f".
void notifyProgress(double value);

// The "%3.2f" text of a progress value.
std::string_view formatProgress(double value, char (&buffer)[64]);

}  // namespace corvane
