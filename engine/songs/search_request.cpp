#include "songs/search_request.h"

#include <algorithm>

namespace corvane {

int parseSearchRequest(std::string_view text, std::vector<SearchRequestLine> &lines) {
    lines.clear();
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lineEnd = std::min(text.find("\r\n", pos), text.size());
        const std::string_view line = text.substr(pos, lineEnd - pos);
        pos = lineEnd + 2;

        const std::size_t tab = line.find('\t');
        if (tab == std::string_view::npos) continue;
        if (lines.size() == kMaxSearchNewsgroups) {
            lines.clear();
            return 0;
        }
        lines.push_back({std::string(line.substr(0, std::min(tab, kNewsgroupNameCapacity))),
                         std::string(line.substr(tab + 1).substr(0, kCategoryCapacity))});
    }
    return 1;
}

}  // namespace corvane
