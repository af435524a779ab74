// The search request the GUI hands over: newsgroup TAB category lines.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "songs/search_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    std::vector<corvane::SearchRequestLine> lines;
    corvane::parseSearchRequest(std::string_view(reinterpret_cast<const char *>(data), size), lines);
    return 0;
}
