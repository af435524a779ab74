#include "main/poll_tick.h"

#include <QHeaderView>
#include <QLocale>
#include <QProgressBar>
#include <QRegularExpression>
#include <map>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTime>
#include <QTimer>
#include <QTreeView>

#include "corvane_n.h"
#include "main/animation_player.h"
#include "main/frm_main.h"
#include "main/panel_status_bar.h"
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "notify/song_count_trace.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/platform.h"
#include "platform/program_folder.h"
#include "settings/settings.h"
#include "text/value_text.h"

namespace harbeat {
namespace {

const QString kNoSongs = QStringLiteral("No Songs.");
const QString kSearchFailedPage = QStringLiteral("msg020");
// The reports of an engine error stay readable in the status bar at least this long.
constexpr int kErrorPauseMilliseconds = 3000;

void beepIfSoundsOn(int times) {
    if (!Settings.PlaySounds) return;
    for (int i = 0; i < times; ++i) platform().beep();
}

// What every end of an operation comes down to: the window is idle and ready for the next one.
void returnToIdle(frmMain &form, NotifySlots &reports) {
    form.ani->stop();
    form.Running = frmMain::Operation::None;
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
    if (end == kNoSongs) {
        ShowMessage(QStringLiteral("msg017"));
    } else if (form.Running == frmMain::Operation::Search) {
        // A search ended by an error keeps what it found, as Stop does, and the pane says that
        // it ended early. Songs the engine still sends after the error come with its "DONE".
        form.SearchFailure = end;
        form.listSongsFoundSoFar();
        ShowMessage(kSearchFailedPage);
    }
    platform().pause(kErrorPauseMilliseconds, &form);
    reports.setText(NotifySlot::EndSlot, QString());
    reports.setProgress(0);
    form.SetCommandsEnabled(true);
    form.ani->stop();
    form.Running = frmMain::Operation::None;
    form.Idle = true;
}

void handleFileWritten(frmMain &form, NotifySlots &reports, const QString &file) {
    // Songs saved by a save run are not shown; only the preview file is opened.
    const QString previewPath = previewFolder() + QLatin1Char('/') + trimBlanks(Settings.PreviewFileName);
    if (file == previewPath) {
        // The page says the preview plays only when a player was opened for it.
        const bool playing = platform().documentOpen(&form, file);
        ShowMessage(playing ? QStringLiteral("msg016") : QStringLiteral("msg019"));
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
    // After an error of the same search the list is still not the whole result: the error stays.
    ShowMessage(form.SearchFailure.isEmpty() ? QStringLiteral("msg018") : kSearchFailedPage);
    reports.resetSongChunks(1);
    reports.setText(NotifySlot::SearchDoneSlot, QString());
    form.barStatusbar->setPanelText(1, form.SearchFailure);
    returnToIdle(form, reports);
    form.SearchCaption = searchResultsCaption(QTime::currentTime());
    form.showSongCount();
    form.lstSongs->viewport()->update();
    beepIfSoundsOn(1);
}

// The song number k of a save's "Downloading requested songs (k/N)..."; 0 for other texts.
int savedSongNumber(const QString &status) {
    static const QRegularExpression kSongNumber(QStringLiteral("^Downloading requested songs \\((\\d+)/\\d+\\)"));
    const QRegularExpressionMatch match = kSongNumber.match(status);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

QString songCountText(qsizetype songs) {
    return QLocale(QLocale::English).toString(songs) +
           (songs == 1 ? QStringLiteral(" song") : QStringLiteral(" songs"));
}

// The end of a save: how many songs were saved where, and each song that was not, with why.
void finishSave(frmMain &form, NotifySlots &reports, const QString &saveError) {
    reports.stopReportLog();
    reports.setDownloadDone(false);
    for (const NotifySlot slot : {NotifySlot::EndSlot, NotifySlot::FileSlot, NotifySlot::SaveDoneSlot})
        reports.setText(slot, QString());
    const frmMain::SaveRun &save = form.Save;
    const QString crlf = QStringLiteral("\r\n");
    constexpr int kListedFailures = 20;
    qsizetype saved = 0;
    // Per reason, in the order first met: the songs it stopped. A reason shared by several songs
    // (a limit, a lost server) is said once, with their number.
    QStringList reasons;
    std::map<QString, QStringList> titlesOf;
    for (qsizetype i = 0; i < save.titles.size(); ++i) {
        QString reason = save.failures[i];
        if (reason.isEmpty() && save.files[i].isEmpty())
            reason = saveError.isEmpty() ? QStringLiteral("The download ended before this song.") : saveError;
        if (reason.isEmpty()) {
            ++saved;
            continue;
        }
        QStringList &titles = titlesOf[reason];
        if (titles.isEmpty()) reasons.append(reason);
        titles.append(trimBlanks(save.titles[i]));
    }
    QStringList failed;
    for (const QString &reason : reasons) {
        const QStringList &titles = titlesOf[reason];
        failed.append((titles.size() == 1 ? titles.constFirst() : songCountText(titles.size())) +
                      QStringLiteral(" - ") + reason);
    }
    returnToIdle(form, reports);
    if (failed.isEmpty()) {
        ShowMessage(QStringLiteral("msg014"));
        form.barStatusbar->setPanelText(1, songCountText(saved) + QStringLiteral(" saved in ") + save.folder);
        beepIfSoundsOn(1);
        return;
    }
    const QString outcome = saved == 0
                                ? QStringLiteral("No song was saved in ") + save.folder
                                : QString::number(saved) + QStringLiteral(" of ") + songCountText(save.titles.size()) +
                                      QStringLiteral(" saved in ") + save.folder;
    form.barStatusbar->setPanelText(1, outcome);
    QStringList listed = failed.mid(0, kListedFailures);
    if (failed.size() > kListedFailures)
        listed.append(QStringLiteral("... and %1 more").arg(failed.size() - kListedFailures));
    const QString summary =
        outcome + QLatin1Char('.') + crlf + crlf + QStringLiteral("Not saved:") + crlf + listed.join(crlf);
    // The pane shows the outcome as a page of its own, in the pane's plain text style.
    QString page = QStringLiteral("<p><b>") + (outcome + QLatin1Char('.')).toHtmlEscaped() +
                   QStringLiteral("</b></p><p>Not saved:</p>");
    for (const QString &line : listed) page += QStringLiteral("<p>") + line.toHtmlEscaped() + QStringLiteral("</p>");
    form.wbr->setHtml(page);
    form.wbr->document()->setMetaInformation(QTextDocument::DocumentUrl, QString());
    beepIfSoundsOn(2);
    platform().messageBox(&form, summary, BoxIcon::Warning);
}

// A save in progress: its reports come from the log, in order, so that no song's report is lost
// to a later one. A failed song is noted and shown, and the save goes on; it ends with the
// engine's last report. An error that ends the download in the middle has the code of a song's
// failure: it is taken for one, and the save ends when the download's worker has ended.
void followSave(frmMain &form, NotifySlots &reports) {
    frmMain::SaveRun &save = form.Save;
    const std::vector<LoggedReport> log = reports.takeReportLog();
    // Their slot copies are the log's: nothing else handles them during a save.
    reports.setText(NotifySlot::EndSlot, QString());
    reports.setText(NotifySlot::FileSlot, QString());
    for (const LoggedReport &report : log) {
        const auto song = static_cast<qsizetype>(save.current) - 1;
        const bool onSong = song >= 0 && song < save.titles.size();
        switch (report.code) {
            case kNotifyStatus:
                if (const int number = savedSongNumber(report.text); number > 0) save.current = number;
                break;
            case kNotifyError:
                // Before its first song the download fails as a whole (no session, too many
                // songs): that is its last report.
                if (!onSong) return finishSave(form, reports, report.text);
                save.failures[song] = report.text;
                form.barStatusbar->setPanelText(1, trimBlanks(save.titles[song]) + QStringLiteral(" - ") + report.text);
                break;
            case kNotifyFileWritten:
                if (onSong) save.files[song] = report.text;
                break;
            case kNotifyDownloadDone:
            case kWorkerEnded: return finishSave(form, reports, QString());
            default: break;
        }
    }
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

    if (form.Running == frmMain::Operation::Save) {
        followSave(form, reports);
    } else {
        const QString end = reports.text(NotifySlot::EndSlot);
        if (!end.isEmpty()) handleEnd(form, reports, end);

        const QString file = reports.text(NotifySlot::FileSlot);
        if (!file.isEmpty()) handleFileWritten(form, reports, file);

        if (reports.downloadDone()) handleSaveDone(form, reports);
    }

    if (!reports.text(NotifySlot::SearchDoneSlot).isEmpty()) handleSearchDone(form, reports);

    if (!reports.text(NotifySlot::SaveDoneSlot).isEmpty()) reports.setText(NotifySlot::SaveDoneSlot, QString());

    rotateTips(form);

    form.timTimer->start();
}

}  // namespace harbeat
