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

bool isWordCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// Where the word "yEnc" (any letter case) stands on its own in the title, or npos.
std::size_t yencWordAt(std::string_view title) {
    for (std::size_t at = 0; at + 4 <= title.size(); ++at) {
        if (!startsWithNoCase(title.substr(at), "yenc")) continue;
        const bool startsWord = at == 0 || !isWordCharacter(title[at - 1]);
        const bool endsWord = at + 4 == title.size() || !isWordCharacter(title[at + 4]);
        if (startsWord && endsWord) return at;
    }
    return std::string_view::npos;
}

}  // namespace

void cleanSongTitle(std::string &title) {
    stripTitlePrefixes(title);
    const std::size_t yenc = yencWordAt(title);
    if (yenc == std::string::npos) return;
    // yEnc posters quote the file name: "Artist - Title.mp3" yEnc (1/15) 4711. What lies around
    // the quotes is a set counter, the word yEnc and a size; the name alone is the title.
    const std::size_t open = title.find('"');
    const std::size_t close = open == std::string::npos ? std::string::npos : title.find('"', open + 1);
    if (close != std::string::npos && close > open + 1) {
        title = title.substr(open + 1, close - open - 1);
        return;
    }
    std::size_t end = yenc;
    while (end > 0 && (title[end - 1] == ' ' || title[end - 1] == '\t')) --end;
    // Only the word yEnc: keep the title as it was rather than list an empty one.
    if (end > 0) title.erase(end);
}

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
