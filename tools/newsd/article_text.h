// Pure helpers for article texts: header block, header values, message-ids, group names and
// overview fields. Texts use CR LF line ends.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace harbeat::newsd {

// Where the header ends: headerLength counts the header lines with their CR LF (without the
// empty line); bodyOffset is the first byte of the body.
struct ArticleLayout {
    std::size_t headerLength = 0;
    std::size_t bodyOffset = 0;
};

// Turns every bare LF into CR LF and makes a non-empty text end with CR LF.
std::string normalizeLineEnds(std::string text);
// The layout of an article, or nothing when it has no empty line after its header.
std::optional<ArticleLayout> findArticleLayout(std::string_view article);
// Empty when every header line is "Name: value" or a continuation line; else what is wrong.
std::string headerProblem(std::string_view header);
// The first header of that name (any case), unfolded and trimmed.
std::optional<std::string> headerValue(std::string_view header, std::string_view name);
// The group names of a Newsgroups value (separated by commas and blanks), in order, without
// repeats.
std::vector<std::string> splitNewsgroups(std::string_view value);
// "<...@...>" with printable characters only, no blanks, at most 250 characters.
bool isValidMessageId(std::string_view messageId);
bool isValidGroupName(std::string_view name);
// The number of lines of a CR LF text (a last line without CR LF counts too).
std::size_t countLines(std::string_view text);
// Appends a header value as an overview field: TAB, CR and LF become blanks.
void appendOverviewField(std::string &out, std::string_view value);
void appendNumber(std::string &out, unsigned long long value);
// Case-insensitive ASCII comparison.
bool equalsIgnoringCase(std::string_view a, std::string_view b);
std::string toUpperAscii(std::string_view text);

}  // namespace harbeat::newsd
