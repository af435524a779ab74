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
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/platform.h"
#include "server/server_check.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

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
    // The list only ever shows rows of the current search: neither the keyword box nor a Stop
    // may bring back the previous search's songs.
    timKeyword->stop();
    SongResults.clear();
    SearchCaption.clear();
    SearchFailure.clear();
    clearSongList();
    setStatusPanelText(2, QString());
    if (!SearchReady) {
        // The last server check failed. Check again: the server may be back; if not, the user
        // learns why nothing is searched.
        // The window stays drawn and Stop stays usable while the engine waits for the server.
        // Reports of an earlier operation wait for the timer until the check is over.
        QString errorText;
        const bool polling = timTimer->isActive();
        timTimer->stop();
        SetCommandsEnabled(false);
        Idle = false;
        stopRequested_ = false;
        const bool ready =
            CheckServerSettings(
                errorText,
                [] { QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 20); }) &&
            SearchReady;
        Idle = true;
        SetCommandsEnabled(true);
        if (polling) timTimer->start();
        if (stopRequested_) return;
        if (!ready) {
            showSearchCannotStart(errorText);
            return;
        }
    }
    SetCommandsEnabled(false);
    if (TipCountdown < 0) TipCountdown = kTipTicks;
    ShowMessage(QStringLiteral("msg002"));
    Idle = false;
    Running = Operation::Search;
    const QString request = searchRequestText(Groups);
    ani->start();
    // Last before the engine call: a stopped search's late end report or songs must not end or
    // fill this one (the engine sends nothing more of it once this search has started).
    notifySlots().startOperation(kSongChunksForSearch);
    engine::mp3GetSongs(engine::toEngineText(request).constData());
}

void frmMain::showSearchCannotStart(const QString &errorText) {
    const QString reason =
        errorText.isEmpty() ? QStringLiteral("The news server could not be used.") : ServerErrorText(errorText);
    setStatusPanelText(1, reason);
    platform().messageBox(this,
                          QStringLiteral("Error - ") + reason + QStringLiteral("\r\n\r\n") + ServerProblemText(reason),
                          BoxIcon::Warning);
}

void frmMain::mnuStop_Click() {
    stopRequested_ = true;
    engine::mp3CancelFunc();
    const Operation stopped = Running;
    Running = Operation::None;
    notifySlots().stopReportLog();
    SetCommandsEnabled(true);
    Idle = true;
    ani->stop();
    notifySlots().setProgress(0);
    if (stopped == Operation::Search) {
        // The songs found before the Stop are this search's: they are listed.
        listSongsFoundSoFar();
        // The pane no longer says a search runs: it shows the songs found, or the start page.
        ShowMessage(songRows->rowCount() > 0 ? QStringLiteral("msg018") : QStringLiteral("msg009"));
    }
}

void frmMain::clearSongList() { songRows->clear(); }

void frmMain::listSongsFoundSoFar() {
    ParseSongChunks(notifySlots().songChunks());
    clearSongList();
    FillSongList();
    showSongCount();
}

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
    // Each change starts the settle time again: typing stays instant, and the list is refilled
    // once, when typing pauses.
    timKeyword->start();
}

void frmMain::txtSearch_Settled() {
    clearSongList();
    FillSongList();
    showSongCount();
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
