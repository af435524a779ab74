// The SearchRequest: the newsgroups of one song search, one "newsgroup TAB category CR LF" line
// each, as the GUI builds them from its catalogue.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

struct SearchRequestLine {
    std::string newsgroup;
    std::string category;
};

// One search reads at most this many newsgroups.
inline constexpr std::size_t kMaxSearchNewsgroups = 256;
inline constexpr std::string_view kTooManyNewsgroups = "Too many newsgroups in one search (at most 256).";
// Longer names and categories are cut to these lengths.
inline constexpr std::size_t kNewsgroupNameCapacity = 255;
inline constexpr std::size_t kCategoryCapacity = 63;

// Splits the request into its lines. The newsgroup is the text up to the line's first TAB, the
// category the rest of the line; a line without a TAB names no newsgroup and is skipped; a last
// line without CR LF runs to the end of the text. Returns 0 when more than 256 lines name a
// newsgroup (`lines` is then empty), 1 otherwise.
int parseSearchRequest(std::string_view text, std::vector<SearchRequestLine> &lines);

}  // namespace corvane
