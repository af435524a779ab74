// The SongLine: one found song as the GUI receives it with NotifyCode 9009.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace corvane {

// The message-id list of one song (each id followed by a form feed) holds at most this many
// characters.
inline constexpr std::size_t kMessageIdListCapacity = 31999;

// Builds "\t<title>\t<category>\t<date>\t<newsgroup>\t<part count>\t<message-ids>\r\n"; every
// message-id, the last one too, is followed by one form feed (0x0C). Control characters in the
// texts are sent as blanks. Returns 0, leaving `line`
// empty, when the message-id list would not fit its capacity: such a song is not sent.
int formatSongLine(std::string_view title, std::string_view category, std::string_view date, std::string_view newsgroup,
                   int32_t partCount, std::span<const std::string_view> messageIds, std::string &line);

}  // namespace corvane
