// Small text helpers of the transport.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvane {

// Resizes `text` to `newLength`, keeping its first `keep` bytes and zero-filling the rest.
// Returns 0 when the memory cannot be had (the text is then unchanged), 1 otherwise.
int growBuffer(std::string &text, std::size_t keep, std::size_t newLength);

// Number of CR LF pairs in the text.
std::size_t countLineBreaks(std::string_view text);

// Removes every single occurrence of `c`; of a doubled one, one stays (the character after a
// removed one is always kept).
void dropChar(std::string &text, char c);

// The decimal status code at the start of a reply, or -1 when it does not start with a digit.
int replyCode(std::string_view reply);

// A reply without the CR and LF characters at its end, for a message that goes on after it.
std::string withoutLineEnd(std::string text);

}  // namespace corvane
