#include "core/notify.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "core/bstr.h"
#include "core/engine_settings.h"
#include "core/operation.h"
#include "core/text_convert.h"

namespace corvane {

void notifyGui(int32_t code, std::string_view text) {
    StatusCallback callback = statusCallback();
    if (!callback) return;
    // The string lives only during the call, so one per thread is made over and over, without an
    // allocation per report (a search sends one per overview line).
    thread_local std::u16string wide;
    thread_local ReusedOleString string;
    const char16_t *bstr;
    try {
        ansiToUtf16(text, wide);
        bstr = string.assign(wide);
    } catch (const std::bad_alloc &) {
        return;  // no memory for the report: it is dropped, the operation goes on
    }
    const auto lock = lockReports();
    if (reportAllowed(code)) callback(code, bstr);
}

std::string_view formatProgress(double value, char (&buffer)[64]) {
    const int n = std::snprintf(buffer, sizeof buffer, "%3.2f", value);
    if (n <= 0) return {};
    // A value too large for the buffer is shown cut, never read past it.
    return std::string_view(buffer, std::min(static_cast<std::size_t>(n), sizeof buffer - 1));
}

void notifyProgress(double value) {
    char buffer[64];
    notifyGui(kNotifyProgress, formatProgress(value, buffer));
}

}  // namespace corvane
