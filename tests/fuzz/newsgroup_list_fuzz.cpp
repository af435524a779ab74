// The newsgroup list a server sends, filtered by a name filter (the input's first line), and the
// command built from a date text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "nntp/newsgroup_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t lineEnd = input.find('\n');
    const std::string_view filter = lineEnd == std::string_view::npos ? input : input.substr(0, lineEnd);
    const std::string_view list = lineEnd == std::string_view::npos ? std::string_view() : input.substr(lineEnd + 1);
    corvane::filterGroupNames(list, filter);
    corvane::newsgroupListCommand(filter);
    return 0;
}
