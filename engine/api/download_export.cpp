// mp3BuildSongs: starts the download of the songs the GUI chose.
#include <cstdint>

#include "core/engine_settings.h"
#include "core/worker.h"
#include "corvane_n.h"
#include "download/song_download.h"

using namespace corvane;

extern "C" intptr_t CORVANE_CALL mp3BuildSongs(const char *folder, const char *fixedName, const char *songList,
                                               int32_t flags) {
    try {
        // The texts are taken whole: a folder or name beyond its limit is refused by the worker
        // with a message, and a long request is never cut in the middle of a message-id.
        DownloadParameters parameters;
        parameters.folder = copyArgument(folder, SIZE_MAX);
        parameters.fixedName = copyArgument(fixedName, SIZE_MAX);
        parameters.request = copyArgument(songList, SIZE_MAX);
        parameters.preview = (flags & 1) != 0;
        return startOperationWorker([parameters = std::move(parameters)] { songDownloadWorker(parameters); });
    } catch (...) {
        return -1;
    }
}
