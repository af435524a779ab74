#include "net/text_helpers.h"

#include <algorithm>
#include <new>
#include <stdexcept>

namespace corvane {

int growBuffer(std::string &text, std::size_t keep, std::size_t newLength) {
    // One retry, as an allocation may fail for a moment while another thread frees memory.
    for (int attempt = 0; attempt < 2; ++attempt) {
        try {
            text.resize(std::min(keep, text.size()));
            text.resize(newLength, '\0');
            return 1;
        } catch (const std::bad_alloc &) {
        } catch (const std::length_error &) {
            return 0;
        }
    }
    return 0;
}

std::size_t countLineBreaks(std::string_view text) {
    std::size_t count = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '\r' && text[i + 1] == '\n') {
            ++count;
            ++i;
        }
    }
    return count;
}

void dropChar(std::string &text, char c) {
    std::size_t out = 0;
    for (std::size_t in = 0; in < text.size(); ++in) {
        if (text[in] == c) {
            ++in;
            if (in >= text.size()) break;
        }
        text[out++] = text[in];
    }
    text.resize(out);
}

int replyCode(std::string_view reply) {
    int code = 0;
    std::size_t i = 0;
    for (; i < 3 && i < reply.size() && reply[i] >= '0' && reply[i] <= '9'; ++i) code = code * 10 + (reply[i] - '0');
    return i == 0 ? -1 : code;
}

std::string withoutLineEnd(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace corvane
