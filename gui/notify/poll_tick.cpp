#include "notify/poll_tick.h"

#include <QHeaderView>
#include <QProgressBar>
#include <QTime>
#include <QTimer>
#include <QTreeView>

#include "main/animation_player.h"
#include "main/frm_main.h"
#include "main/panel_status_bar.h"
#include "main/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "notify/song_count_trace.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/platform.h"
#include "platform/program_folder.h"
#include "settings/settings.h"
#include "settings/value_text.h"

namespace harbeat {
namespace {

const QString kNoSongs = QStringLiteral("No Songs.");
// The reports of an engine error stay readable in the status bar at least this long.
constexpr int kErrorPauseMilliseconds = 3000;

void beepIfSoundsOn(int times) {
    if (!Settings.PlaySounds) return;
    for (int i = 0; i < times; ++i) platform().beep();
}

// What every end of an operation comes down to: the window is idle and ready for the next one.
void returnToIdle(frmMain &form, NotifySlots &reports) {
    form.ani->stop();
    form.Idle = true;
    form.SetCommandsEnabled(true);
    reports.setProgress(0);
}

void showProgress(frmMain &form, double progress) {
    if (progress == 0) {
        form.pbProgress->hide();
    } else if (progress >= 0 && progress <= 100) {
        form.pbProgress->show();
        form.pbProgress->setValue(qRound(static_cast<float>(progress)));
    }
}

void handleEnd(frmMain &form, NotifySlots &reports, const QString &end) {
    form.barStatusbar->setPanelText(1, end);
    beepIfSoundsOn(2);
    if (end == kNoSongs) ShowMessage(QStringLiteral("msg017"));
    platform().pause(kErrorPauseMilliseconds, &form);
    reports.setText(NotifySlot::EndSlot, QString());
    reports.setProgress(0);
    form.SetCommandsEnabled(true);
    form.ani->stop();
    form.Idle = true;
}

void handleFileWritten(frmMain &form, NotifySlots &reports, const QString &file) {
    // Songs saved by a save run are not shown; only the preview file is opened.
    const QString previewPath = previewFolder() + QLatin1Char('/') + trimBlanks(Settings.PreviewFileName);
    if (file == previewPath) {
        ShowMessage(QStringLiteral("msg016"));
        platform().documentOpen(&form, file);
        form.barStatusbar->setPanelText(1, QString());
        returnToIdle(form, reports);
    }
    reports.setText(NotifySlot::FileSlot, QString());
}

void handleSaveDone(frmMain &form, NotifySlots &reports) {
    ShowMessage(QStringLiteral("msg014"));
    form.barStatusbar->setPanelText(1, QString());
    returnToIdle(form, reports);
    reports.setDownloadDone(false);
    beepIfSoundsOn(1);
}

void handleSearchDone(frmMain &form, NotifySlots &reports) {
    form.ParseSongChunks(reports.songChunks());
    // A keyword typed during the search refilled the list from the previous search's songs;
    // the list shows this search's songs only.
    form.songRows->clear();
    form.FillSongList();
    ShowMessage(QStringLiteral("msg018"));
    reports.resetSongChunks(1);
    reports.setText(NotifySlot::SearchDoneSlot, QString());
    form.barStatusbar->setPanelText(1, QString());
    returnToIdle(form, reports);
    form.barStatusbar->setPanelText(2, searchResultsCaption(QTime::currentTime()));
    form.lstSongs->viewport()->update();
    beepIfSoundsOn(1);
}

void rotateTips(const frmMain &form) {
    if (!form.Idle || TipCountdown < 0) return;
    if (TipCountdown > 0) --TipCountdown;
    if (TipCountdown == 0) {
        ShowFaqPage(kRotationMode);
        TipCountdown = kTipTicks;
    }
}

}  // namespace

QString unavailableCategoriesText(const QString &categories) {
    const QString crlf = QStringLiteral("\r\n");
    return QStringLiteral(
               "Your news server is not responding to all of Harbeat's requests.  The following music categories "
               "are currently unavailable.  Harbeat will list songs for your other selected groups:") +
           crlf + crlf + categories + crlf + crlf +
           QStringLiteral(
               "It's possible your news server is busy - if you notice that the same categories are unavailable "
               "after several attempts over several days, contact your Internet Service Provider to determine if "
               "there is a problem.");
}

QString searchResultsCaption(const QTime &time) {
    return QStringLiteral("Results of your search at ") + time.toString(QStringLiteral("HH:mm:ss"));
}

void PollNotifySlots(frmMain &form) {
    NotifySlots &reports = notifySlots();
    // Off while the tick runs, so a message box or the pause cannot start a tick inside this one.
    form.timTimer->stop();

    int32_t chunkIndex = 0;
    int32_t chunkFill = 0;
    reports.songChunkCounters(chunkIndex, chunkFill);
    if (chunkFill > 0 && DebugLevel == kDebugLevelLog) writeSongCountTrace(chunkIndex, chunkFill);

    showProgress(form, reports.progress());

    const QString status = reports.text(NotifySlot::StatusSlot);
    if (!status.isEmpty()) {
        form.barStatusbar->setPanelText(1, status);
        reports.setText(NotifySlot::StatusSlot, QString());
    }

    const QString unavailable = reports.text(NotifySlot::UnavailableSlot);
    if (!unavailable.isEmpty()) {
        platform().messageBox(&form, unavailableCategoriesText(unavailable), BoxIcon::Information);
        reports.setText(NotifySlot::UnavailableSlot, QString());
        beepIfSoundsOn(2);
    }

    const QString end = reports.text(NotifySlot::EndSlot);
    if (!end.isEmpty()) handleEnd(form, reports, end);

    const QString file = reports.text(NotifySlot::FileSlot);
    if (!file.isEmpty()) handleFileWritten(form, reports, file);

    if (reports.downloadDone()) handleSaveDone(form, reports);

    if (!reports.text(NotifySlot::SearchDoneSlot).isEmpty()) handleSearchDone(form, reports);

    if (!reports.text(NotifySlot::SaveDoneSlot).isEmpty()) reports.setText(NotifySlot::SaveDoneSlot, QString());

    rotateTips(form);

    form.timTimer->start();
}

}  // namespace harbeat
