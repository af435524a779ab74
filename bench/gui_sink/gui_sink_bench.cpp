// How long the program takes for a large search result:
//   sink:  the engine's 100,000 song reports stored by the callback, from a worker thread;
//   tick:  the timer tick that parses them and fills the song list (sorted by title);
//   refilter: clearing the list and filling it again for a keyword.
// Runs offscreen; prints milliseconds. Optional argument: the number of song lines.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "corvane_n.h"
#include "gui_common/gui_bench_support.h"
#include "main/frm_main.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "settings/settings.h"

namespace {

using harbeat::bench::InstantPlatform;
using harbeat::bench::milliseconds;
using harbeat::bench::songLine;

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;

    InstantPlatform platform;
    harbeat::installPlatform(&platform);
    harbeat::Settings.PlaySounds = true;
    harbeat::frmMain form;
    form.setupSongColumns({4000, 1000, 950, 0, 0});

    std::vector<std::u16string> lines;
    lines.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) lines.push_back(songLine(i));

    harbeat::NotifySlots &reports = harbeat::notifySlots();
    reports.resetSongChunks(harbeat::kSongChunksForSearch);
    QElapsedTimer timer;
    timer.start();
    std::thread worker([&] {
        for (const std::u16string &line : lines) harbeat::StatusCallback(kNotifySong, line.c_str());
        harbeat::StatusCallback(kNotifySearchDone, u"DONE");
    });
    worker.join();
    const double sink = milliseconds(timer);

    // The parse alone, on a copy of the chunks (the tick below parses them again).
    const harbeat::SongChunks songs = reports.songChunks();
    timer.restart();
    const std::vector<harbeat::SongRecord> parsed = harbeat::ParseSongChunks(songs.chunks, songs.ChunkIndex);
    const double parse = milliseconds(timer);

    timer.restart();
    form.timTimer_Timer();
    const double tick = milliseconds(timer);
    const int rows = form.songRows->rowCount();

    timer.restart();
    form.txtSearch->setText(QStringLiteral("title of some length 4"));
    form.songRows->clear();
    form.FillSongList();
    const double refilter = milliseconds(timer);

    std::printf("song lines:           %d\n", count);
    std::printf("sink (worker thread): %.1f ms (%.2f us a line)\n", sink, sink * 1000.0 / count);
    std::printf("parse alone:          %.1f ms, %zu songs\n", parse, parsed.size());
    std::printf("tick (parse + fill):  %.1f ms, %d rows listed\n", tick, rows);
    std::printf("keyword refilter:     %.1f ms\n", refilter);
    harbeat::installPlatform(nullptr);
    return rows == count ? 0 : 1;
}
