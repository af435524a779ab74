// How long the main window takes from a search's song lines, as the report sink stored them, to
// rows on screen: ParseSongChunks, FillSongList with the list sorted by title, and one repaint of
// the visible rows. Then one keyword refilter as the keyword box runs it once typing paused
// (the settle timer's run, without waiting for it).
// Runs offscreen; prints the median and the fastest of several runs in milliseconds.
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "corvane_n.h"
#include "gui_common/gui_bench_support.h"
#include "main/frm_main.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"

namespace {

using harbeat::bench::InstantPlatform;
using harbeat::bench::milliseconds;
using harbeat::bench::songLine;

void report(const char *what, std::vector<double> times) {
    std::sort(times.begin(), times.end());
    std::printf("%-28s median %7.1f ms, fastest %7.1f ms\n", what, times[times.size() / 2], times.front());
}

// The keyword box's settle time ran out: the filter runs now.
void settle(harbeat::frmMain &form) {
    form.timKeyword->stop();
    form.txtSearch_Settled();
}

}  // namespace

int main(int argc, char **argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100000;
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;

    InstantPlatform platform;
    harbeat::installPlatform(&platform);
    harbeat::frmMain form;
    form.setupSongColumns({4000, 1000, 950, 0, 0});
    form.resize(1024, 768);
    form.show();
    QApplication::processEvents();

    // The sink stores the lines once; every run lists the same stored result.
    harbeat::NotifySlots &reports = harbeat::notifySlots();
    reports.resetSongChunks(harbeat::kSongChunksForSearch);
    for (int i = 0; i < count; ++i) harbeat::StatusCallback(kNotifySong, songLine(i).c_str());
    const harbeat::SongChunks songs = reports.songChunks();

    std::vector<double> parseTimes, listTimes, refilterTimes, refilterAllTimes;
    int rows = 0;
    int filtered = 0;
    for (int run = 0; run < runs; ++run) {
        form.txtSearch->blockSignals(true);
        form.txtSearch->clear();
        form.txtSearch->blockSignals(false);
        form.clearSongList();
        QApplication::processEvents();

        QElapsedTimer timer;
        timer.start();
        form.ParseSongChunks(songs);
        parseTimes.push_back(milliseconds(timer));
        form.FillSongList();
        form.lstSongs->viewport()->repaint();
        listTimes.push_back(milliseconds(timer));
        rows = form.songRows->rowCount();

        timer.restart();
        form.txtSearch->setText(QStringLiteral("title of some length 4"));
        settle(form);  // clears and refills
        form.lstSongs->viewport()->repaint();
        refilterTimes.push_back(milliseconds(timer));
        filtered = form.songRows->rowCount();

        timer.restart();
        form.txtSearch->setText(QStringLiteral("a song"));  // matches every song: all rows sorted again
        settle(form);
        form.lstSongs->viewport()->repaint();
        refilterAllTimes.push_back(milliseconds(timer));
    }

    std::printf("song lines: %d, rows listed: %d, rows after the keyword: %d, runs: %d\n", count, rows, filtered, runs);
    report("parse alone", parseTimes);
    report("lines to rows on screen", listTimes);
    report("keyword refilter", refilterTimes);
    report("keyword matching every row", refilterAllTimes);
    harbeat::installPlatform(nullptr);
    return rows == count ? 0 : 1;
}
