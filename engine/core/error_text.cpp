#include "core/error_text.h"

#include <algorithm>
#include <cstring>

namespace corvane {

void copyErrorText(char *buffer, std::string_view message) {
    if (!buffer) return;
    const std::size_t n = std::min(message.size(), kCallerErrorCapacity);
    std::memcpy(buffer, message.data(), n);
    buffer[n] = '\0';
}

bool isTimeOut(std::string_view message) { return message.substr(0, 9) == "Timed Out"; }

}  // namespace corvane
