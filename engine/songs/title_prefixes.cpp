#include "songs/title_prefixes.h"

#include <array>
#include <string_view>

namespace corvane {
namespace {

// The order matters: longer phrases come before the words they start with ("requested" before
// "request" before "req" before "re").
constexpr std::array<std::string_view, 38> kTitlePrefixes = {
    "[repost]",
    "in request group",
    "full cd",
    "(full cd)",
    "(fullcd)",
    "sound track",
    "soundtrack",
    "please repost",
    "filling requests",
    "filling request",
    "filled",
    "retry",
    "try",
    "requested",
    "by request",
    "request",
    "reqed",
    "by req",
    "attn",
    "repost",
    "post",
    "per request",
    "per req",
    "as requested",
    "as req",
    "new rip",
    "new:",
    "fill",
    "req",
    "re",
    "-->",
    ":",
    "-",
    " ",
    "...",
    "!",
    ",",
    ">",
};

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (asciiLower(text[i]) != prefix[i]) return false;
    return true;
}

}  // namespace

void stripTitlePrefixes(std::string &title) {
    std::size_t start = 0;
    for (bool removed = true; removed;) {
        removed = false;
        for (std::string_view prefix : kTitlePrefixes) {
            if (startsWithNoCase(std::string_view(title).substr(start), prefix)) {
                start += prefix.size();
                removed = true;
            }
        }
    }
    title.erase(0, start);
}

}  // namespace corvane
