#include "songs/nzb_worker.h"

#include "core/engine_settings.h"
#include "core/error_text.h"
#include "core/notify.h"
#include "corvane_n.h"
#include "songs/nzb_file.h"
#include "songs/nzb_songs.h"

namespace corvane {
namespace {

std::string fileNameOf(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

void listNzb(const std::string &path) {
    const std::string name = fileNameOf(path);
    notifyGui(kNotifyStatus, "Reading " + name + "...");
    NzbList list;
    std::string error;
    if (!readNzbFile(path, list, error, [](double percent) { notifyProgress(percent); })) {
        notifyGui(kNotifyError, error == kCancelled ? error : "Cannot list " + name + ": " + error + ".");
        return;
    }
    if (cancelRequested()) {
        notifyGui(kNotifyError, kCancelled);
        return;
    }
    const int64_t songs = sendNzbSongLines(list, [](std::string_view line) { notifyGui(kNotifySong, line); });
    if (songs > 0)
        notifyGui(kNotifySearchDone, "DONE");
    else
        notifyGui(kNotifyError, "No Songs.");
}

}  // namespace

void nzbListWorker(const std::string &path) {
    try {
        listNzb(path);
    } catch (...) {
        // Only memory can run out here; the GUI still needs a last report to return to idle.
        try {
            notifyGui(kNotifyError, kOutOfMemory);
        } catch (...) {
        }
    }
}

}  // namespace corvane
