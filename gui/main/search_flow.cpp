// The search: starting it, stopping whatever runs, turning its result into rows, the keyword box
// that narrows the rows, and the column sort of lstSongs.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeView>

#include "catalogue/catalogue.h"
#include "engine/engine_binding.h"
#include "main/animation_player.h"
#include "main/catalogue_choices.h"
#include "main/frm_main.h"
#include "main/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/platform.h"
#include "settings/value_text.h"

namespace harbeat {
namespace {

// The pause after each change of the keyword, so that the list is not refilled between two
// quick keystrokes' repaints.
constexpr int kKeywordPauseMilliseconds = 500;

class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

}  // namespace

void frmMain::mnuStartSearch_Click() {
    // The engine holds one request at a time: while an operation runs, a search from a key or
    // the menu is ignored (its song lines would mix with the running one's).
    if (!Idle) return;
    notifySlots().resetSongChunks(kSongChunksForSearch);
    if (!SearchReady) return;
    SetCommandsEnabled(false);
    if (TipCountdown < 0) TipCountdown = kTipTicks;
    ShowMessage(QStringLiteral("msg002"));
    Idle = false;
    const QString request = searchRequestText(Groups);
    clearSongList();
    setStatusPanelText(2, QString());
    ani->start();
    // Last before the engine call: a stopped search's late end report or songs must not end or
    // fill this one (the engine sends nothing more of it once this search has started).
    notifySlots().startOperation(kSongChunksForSearch);
    engine::mp3GetSongs(engine::toEngineText(request).constData());
}

void frmMain::mnuStop_Click() {
    engine::mp3CancelFunc();
    SetCommandsEnabled(true);
    Idle = true;
    ani->stop();
    notifySlots().setProgress(0);
}

void frmMain::clearSongList() { songRows->clear(); }

void frmMain::ParseSongChunks(const SongChunks &songs) {
    BusyCursor busy;
    txtSearch->setEnabled(false);
    SongResults = harbeat::ParseSongChunks(songs.chunks, songs.ChunkIndex);
    txtSearch->setEnabled(true);
}

void frmMain::FillSongList() {
    BusyCursor busy;
    harbeat::FillSongList(*songRows, SongResults, txtSearch->text());
}

void frmMain::txtSearch_Change() {
    platform().pause(kKeywordPauseMilliseconds, this);
    clearSongList();
    FillSongList();
}

void frmMain::txtSearch_LostFocus() {
    const QString trimmed = trimBlanks(txtSearch->text());
    if (trimmed != txtSearch->text()) txtSearch->setText(trimmed);
}

void frmMain::lstSongs_ColumnClick(int column) {
    // Always ascending: a second click on the same header does not reverse the order.
    lstSongs->sortByColumn(column, Qt::AscendingOrder);
}

}  // namespace harbeat
