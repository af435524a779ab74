// The download request the GUI hands over, read song by song as the download worker does, as a
// save and as a preview, with every song's message-id list split.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "download/download_request.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, std::size_t size) {
    const std::string_view request(reinterpret_cast<const char *>(data), size);
    for (bool preview : {false, true}) {
        std::size_t position = 0;
        for (int songs = 0; songs < 100000; ++songs) {
            corvane::RequestedSong song;
            const std::size_t before = position;
            const int result = corvane::readRequestedSong(request, position, preview, song);
            if (position > request.size()) __builtin_trap();
            if (result == corvane::kSongRead) corvane::splitMessageIds(song.messageIdList);
            if (result != corvane::kSongRead || position == before) break;
        }
    }
    return 0;
}
