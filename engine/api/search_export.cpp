// mp3GetSongs: starts a song search on a worker thread and returns at once.
#include "core/engine_settings.h"
#include "core/worker.h"
#include "corvane_n.h"
#include "songs/song_search.h"

namespace {

// The request text is kept up to this many characters.
constexpr std::size_t kSearchRequestCapacity = 63999;

}  // namespace

extern "C" intptr_t CORVANE_CALL mp3GetSongs(const char *searchRequest) {
    try {
        std::string request = corvane::copyArgument(searchRequest, kSearchRequestCapacity);
        return corvane::startOperationWorker([request = std::move(request)] { corvane::songSearchWorker(request); });
    } catch (...) {
        return -1;
    }
}
