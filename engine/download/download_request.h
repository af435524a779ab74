// The DownloadRequest: tokens separated by runs of TAB, CR and LF. Per song: in preview mode a
// token that is skipped, then the newsgroup, the part count and the message-id list (each
// message-id followed by a form feed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

inline constexpr std::size_t kMaxSongsPerDownload = 10000;
inline constexpr std::size_t kMaxMessageIdsPerSong = 1024;

struct RequestedSong {
    std::string newsgroup;
    int32_t partCount = 0;
    std::string messageIdList;  // as in the request: message-ids each followed by a form feed
};

// The next token from `position`, or false at the end of the request.
bool nextRequestToken(std::string_view request, std::size_t &position, std::string_view &token);

enum ReadSongResult {
    kRequestEnd = 0,  // no token left
    kSongRead = 1,
    kSongIncomplete = 2,  // the request ends in the middle of a song
};

// Reads one song's tokens.
int readRequestedSong(std::string_view request, std::size_t &position, bool preview, RequestedSong &song);

// The message-ids of a message-id list, in order: split at form feeds; empty pieces (which would
// make "article" fetch the group's current article instead) are left out.
std::vector<std::string> splitMessageIds(std::string_view list);

}  // namespace corvane
