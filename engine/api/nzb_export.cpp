// mp3OpenNzb: lists the songs of an NZB file on a worker thread and returns at once.
#include <cstdint>

#include "core/engine_settings.h"
#include "core/worker.h"
#include "corvane_n.h"
#include "songs/nzb_worker.h"

extern "C" intptr_t CORVANE_CALL mp3OpenNzb(const char *path) {
    try {
        // Taken whole: a cut path could name another file; one too long is refused when opened.
        std::string file = corvane::copyArgument(path, SIZE_MAX);
        return corvane::startOperationWorker([file = std::move(file)] { corvane::nzbListWorker(file); });
    } catch (...) {
        return -1;
    }
}
