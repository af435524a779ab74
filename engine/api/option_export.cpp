// mp3SetOption: the one way new capabilities reach the engine without changing the other exports.
#include <cstring>
#include <string_view>

#include "core/engine_options.h"
#include "corvane_n.h"

extern "C" int32_t CORVANE_CALL mp3SetOption(const char *name, const char *value) {
    try {
        if (!name || !value) return 0;
        // Longer texts than any valid name or path are refused without reading past the limit.
        const std::string_view nameText(name, strnlen(name, 64));
        const std::string_view valueText(value, strnlen(value, corvane::kMaxOptionPath + 1));
        return corvane::setEngineOption(nameText, valueText) ? -1 : 0;
    } catch (...) {
        return 0;
    }
}
