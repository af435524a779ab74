#include "wildmat.h"

namespace harbeat::newsd {

namespace {

// Glob match with "*" and "?", linear backtracking to the last star.
bool matchesPattern(std::string_view pattern, std::string_view text) {
    std::size_t p = 0, t = 0;
    std::size_t starPattern = std::string_view::npos, starText = 0;
    while (t < text.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
            ++p;
            ++t;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starPattern = p++;
            starText = t;
        } else if (starPattern != std::string_view::npos) {
            p = starPattern + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace

bool matchesWildmat(std::string_view wildmat, std::string_view text) {
    bool matched = false;
    std::size_t start = 0;
    while (start <= wildmat.size()) {
        std::size_t end = wildmat.find(',', start);
        if (end == std::string_view::npos) end = wildmat.size();
        std::string_view pattern = wildmat.substr(start, end - start);
        const bool negated = !pattern.empty() && pattern.front() == '!';
        if (negated) pattern.remove_prefix(1);
        if (matchesPattern(pattern, text)) matched = !negated;
        start = end + 1;
    }
    return matched;
}

}  // namespace harbeat::newsd
