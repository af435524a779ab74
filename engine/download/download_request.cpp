#include "download/download_request.h"

#include <climits>

namespace corvane {
namespace {

bool isSeparator(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// A decimal number as atoi reads it (leading digits only), clamped to 32 bits; a negative or
// missing count is 0.
int32_t readCount(std::string_view token) {
    int64_t value = 0;
    for (std::size_t i = 0; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
        value = value * 10 + (token[i] - '0');
        if (value > INT32_MAX) value = INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

}  // namespace

bool nextRequestToken(std::string_view request, std::size_t &position, std::string_view &token) {
    while (position < request.size() && isSeparator(request[position])) ++position;
    if (position >= request.size()) return false;
    const std::size_t start = position;
    while (position < request.size() && !isSeparator(request[position])) ++position;
    token = request.substr(start, position - start);
    return true;
}

int readRequestedSong(std::string_view request, std::size_t &position, bool preview, RequestedSong &song) {
    std::string_view token;
    if (!nextRequestToken(request, position, token)) return kRequestEnd;
    if (preview && !nextRequestToken(request, position, token)) return kSongIncomplete;
    song.newsgroup.assign(token);
    if (!nextRequestToken(request, position, token)) return kSongIncomplete;
    song.partCount = readCount(token);
    if (!nextRequestToken(request, position, token)) return kSongIncomplete;
    song.messageIdList.assign(token);
    return kSongRead;
}

std::vector<std::string> splitMessageIds(std::string_view list) {
    std::vector<std::string> ids;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find('\f', start);
        if (end == std::string_view::npos) end = list.size();
        if (end > start) ids.emplace_back(list.substr(start, end - start));
        start = end + 1;
    }
    return ids;
}

}  // namespace corvane
