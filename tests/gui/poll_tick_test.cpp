// One tick of timTimer: every slot's handling, their order within one tick, and the tip pages.
#include "main/poll_tick.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>
#include <future>
#include <memory>
#include <thread>

#include "catalogue/catalogue.h"
#include "corvane_n.h"
#include "gui_test_main.h"
#include "main/animation_player.h"
#include "main/frm_main.h"
#include "main/panel_status_bar.h"
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "notify/song_count_trace.h"
#include "ole_text.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/program_folder.h"
#include "recording_engine.h"
#include "recording_platform.h"
#include "settings/settings.h"

using namespace harbeat;
using harbeat::guitest::PlatformCall;
using harbeat::guitest::RecordingPlatform;

namespace {

void report(int32_t code, const QString &text) { harbeat::StatusCallback(code, guitest::OleText(text).get()); }

QString songLine(const QString &title, const QString &category = QStringLiteral("jazz")) {
    return "\t" + title + "\t" + category +
           "\tSat, 12 Jun 1999 14:22:33 GMT\talt.binaries.sounds.mp3.jazz\t1\t<a@b>\f\r\n";
}

// The page the message pane shows: "msg017", "faq23", ...
QString shownPage() {
    const QString path = pagePath(*messagePane());
    return path.section(u'/', -1).section(u'.', 0, 0);
}

}  // namespace

class PollTickTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { guitest::useRecordingEngine(); }
    void init() {
        notifySlots().clear();
        Settings = SettingsRecord{};
        Settings.PlaySounds = true;
        Settings.PreviewFileName = kPreviewFileName;
        DebugLevel = 0;
        TipCountdown = -1;
        FaqIndex = 1;
        FaqCount = 23;
        QFile::remove(songCountTracePath());
        fake = std::make_unique<RecordingPlatform>();
        form = std::make_unique<frmMain>();
        busy();
    }
    void cleanup() {
        form.reset();
        fake.reset();
    }

    void progressBarFollowsTheSlot_data() {
        QTest::addColumn<double>("progress");
        QTest::addColumn<bool>("visible");
        QTest::addColumn<int>("value");
        QTest::newRow("0 hides the bar") << 0.0 << false << 30;
        QTest::newRow("100 is a full bar") << 100.0 << true << 100;
        QTest::newRow("fraction") << 45.5 << true << 46;
        QTest::newRow("150 leaves the bar") << 150.0 << true << 30;
        QTest::newRow("-5 leaves the bar") << -5.0 << true << 30;
    }
    void progressBarFollowsTheSlot() {
        QFETCH(double, progress);
        QFETCH(bool, visible);
        QFETCH(int, value);
        report(kNotifyProgress, "30.00");
        form->timTimer_Timer();
        QVERIFY(!form->pbProgress->isHidden());
        notifySlots().setProgress(progress);
        form->timTimer_Timer();
        QCOMPARE(!form->pbProgress->isHidden(), visible);
        QCOMPARE(form->pbProgress->value(), value);
    }

    void statusGoesToPanelOne() {
        report(kNotifyStatus, "Retrieving jazz songs...");
        form->timTimer_Timer();
        QCOMPARE(form->barStatusbar->panelText(1), QStringLiteral("Retrieving jazz songs..."));
        QCOMPARE(notifySlots().text(NotifySlot::StatusSlot), QString());
        form->timTimer_Timer();  // an empty slot leaves the panel as it is
        QCOMPARE(form->barStatusbar->panelText(1), QStringLiteral("Retrieving jazz songs..."));
        QVERIFY(fake->calls.empty());
    }

    void unavailableCategoriesAreShownInABox() {
        report(kNotifyUnavailable, "jazz\r\n1990s\r\n");
        form->timTimer_Timer();
        QCOMPARE(fake->kinds(), (QStringList{"information", "beep", "beep"}));
        QCOMPARE(
            fake->calls[0].text,
            QStringLiteral("Your news server is not responding to all of Harbeat's requests.  The following music "
                           "categories are currently unavailable.  Harbeat will list songs for your other selected "
                           "groups:\r\n\r\njazz\r\n1990s\r\n\r\n\r\nIt's possible your news server is busy - if you "
                           "notice that the same categories are unavailable after several attempts over several "
                           "days, contact your Internet Service Provider to determine if there is a problem."));
        QCOMPARE(notifySlots().text(NotifySlot::UnavailableSlot), QString());
    }

    void noSongsShowsItsPageAndPauses() {
        ShowMessage("msg002");
        QString panelDuringPause;
        QString pageDuringPause;
        bool timerDuringPause = true;
        fake->onCall = [&](const PlatformCall &call) {
            if (call.kind != "pause") return;
            panelDuringPause = form->barStatusbar->panelText(1);
            pageDuringPause = shownPage();
            timerDuringPause = form->timTimer->isActive();
        };
        report(kNotifyError, "No Songs.");
        form->timTimer_Timer();
        QCOMPARE(fake->kinds(), (QStringList{"beep", "beep", "pause"}));
        QCOMPARE(fake->calls[2].milliseconds, 3000);
        QCOMPARE(panelDuringPause, QStringLiteral("No Songs."));
        QCOMPARE(pageDuringPause, QStringLiteral("msg017"));
        QVERIFY(!timerDuringPause);
        QCOMPARE(form->barStatusbar->panelText(1), QStringLiteral("No Songs."));
        QCOMPARE(notifySlots().text(NotifySlot::EndSlot), QString());
        verifyIdle();
        QVERIFY(form->timTimer->isActive());
    }

    void otherErrorsKeepTheMessagePage() {
        ShowMessage("msg002");
        report(kNotifyError, "Timed Out, server has not responded.");
        form->timTimer_Timer();
        QCOMPARE(shownPage(), QStringLiteral("msg002"));
        QCOMPARE(form->barStatusbar->panelText(1), QStringLiteral("Timed Out, server has not responded."));
        QCOMPARE(fake->count("pause"), 1);
        verifyIdle();
    }

    void previewPathIsRecognised_data() {
        QTest::addColumn<QString>("previewName");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("opened");
        const QString folder = programFolder();
        QTest::newRow("preview file") << kPreviewFileName << folder + "/Harbeat_Preview.mp3" << true;
        QTest::newRow("name setting with blanks") << " Harbeat_Preview.mp3 " << folder + "/Harbeat_Preview.mp3" << true;
        QTest::newRow("saved song") << kPreviewFileName << folder + "/Some Song.mp3" << false;
        QTest::newRow("other folder") << kPreviewFileName << "/tmp/Harbeat_Preview.mp3" << false;
        QTest::newRow("letter case differs") << kPreviewFileName << folder + "/harbeat_preview.mp3" << false;
    }
    void previewPathIsRecognised() {
        QFETCH(QString, previewName);
        QFETCH(QString, file);
        QFETCH(bool, opened);
        Settings.PreviewFileName = previewName;
        ShowMessage("msg003");
        form->barStatusbar->setPanelText(1, "Downloading song preview...DONE!");
        report(kNotifyFileWritten, file);
        form->timTimer_Timer();
        QCOMPARE(notifySlots().text(NotifySlot::FileSlot), QString());
        if (!opened) {
            QVERIFY(fake->calls.empty());
            QCOMPARE(shownPage(), QStringLiteral("msg003"));
            QVERIFY(!form->Idle);
            return;
        }
        QCOMPARE(fake->calls, (std::vector<PlatformCall>{{"open", file, 0}}));
        QCOMPARE(shownPage(), QStringLiteral("msg016"));
        QCOMPARE(form->barStatusbar->panelText(1), QString());
        verifyIdle();
    }

    void previewWithoutAPlayerSaysSo() {
        Settings.PreviewFileName = "Harbeat_Preview.mp3";
        fake->documentOpenResult = false;
        report(kNotifyFileWritten, previewFolder() + "/Harbeat_Preview.mp3");
        form->timTimer_Timer();
        QCOMPARE(fake->kinds(), QStringList{"open"});
        QCOMPARE(shownPage(), QStringLiteral("msg019"));
        verifyIdle();
    }

    void saveEndsWithItsPage() {
        report(kNotifySaveDone, "Downloading requested songs...DONE!");
        report(kNotifyDownloadDone, " ");
        form->timTimer_Timer();
        QCOMPARE(shownPage(), QStringLiteral("msg014"));
        QCOMPARE(fake->kinds(), QStringList{"beep"});
        QVERIFY(!notifySlots().downloadDone());
        QCOMPARE(notifySlots().text(NotifySlot::SaveDoneSlot), QString());
        verifyIdle();
    }

    void aReasonSharedBySongsIsSaidOnce() {
        const int songs = 3;
        const QString limit = "Only the first 10,000 songs of a save are downloaded.";
        startSave(songs);
        for (int k = 1; k <= songs; ++k) {
            report(kNotifyStatus, QString("Downloading requested songs (%1/%2)...").arg(k).arg(songs));
            if (k == 1)
                report(kNotifyFileWritten, "/songs/1.mp3");
            else
                report(kNotifyError, limit);
        }
        report(kNotifySaveDone, "Downloading requested songs...DONE!");
        report(kNotifyDownloadDone, " ");
        form->timTimer_Timer();
        const QString box = fake->calls.back().text;
        QCOMPARE(box.count(limit), 1);
        QVERIFY2(box.endsWith("Not saved:\r\n2 songs - " + limit), qPrintable(box));
    }

    void saveCollectsEachSongsFailureAndEndsAtItsLastReport_data() {
        QTest::addColumn<QStringList>("failing");  // per song: "" saved, else the engine's reason
        QTest::addColumn<QString>("status");
        QTest::newRow("all saved") << QStringList{"", ""} << "2 songs saved in /songs";
        QTest::newRow("one of three not written")
            << QStringList{"", "Cannot write the file /songs/b.mp3: Permission denied", ""}
            << "2 of 3 songs saved in /songs";
        QTest::newRow("none written") << QStringList{"Cannot write the file: Not a directory", "No article"}
                                      << "No song was saved in /songs";
    }
    void saveCollectsEachSongsFailureAndEndsAtItsLastReport() {
        QFETCH(QStringList, failing);
        QFETCH(QString, status);
        const int songs = int(failing.size());
        startSave(songs);
        // The whole save arrives between two ticks; no song's report may be lost.
        for (int k = 1; k <= songs; ++k) {
            report(kNotifyStatus, QString("Downloading requested songs (%1/%2)...").arg(k).arg(songs));
            const QString reason = failing[k - 1];
            if (!reason.isEmpty()) report(kNotifyError, reason);
            if (!reason.startsWith("No article")) report(kNotifyFileWritten, QString("/songs/%1.mp3").arg(k));
        }
        form->timTimer_Timer();
        QVERIFY(!form->Idle);  // the failures are noted; the save goes on
        QVERIFY(form->ani->isPlaying());
        report(kNotifySaveDone, "Downloading requested songs...DONE!");
        report(kNotifyDownloadDone, " ");
        form->timTimer_Timer();

        verifyIdle();
        QCOMPARE(form->barStatusbar->panelText(1), status);
        QStringList failed;
        for (int k = 0; k < songs; ++k)
            if (!failing[k].isEmpty()) failed.append(form->Save.titles[k] + " - " + failing[k]);
        if (failed.isEmpty()) {
            QCOMPARE(shownPage(), QStringLiteral("msg014"));
            QCOMPARE(fake->kinds(), QStringList{"beep"});
        } else {
            QVERIFY(shownPage().isEmpty());  // never the "saved" page
            QCOMPARE(fake->kinds(), (QStringList{"beep", "beep", "warning"}));
            const QString box = fake->calls.back().text;
            QVERIFY2(box.startsWith(status + ".\r\n\r\nNot saved:\r\n" + failed.join("\r\n")), qPrintable(box));
            QVERIFY(form->wbr->toPlainText().contains(failed.constFirst()));
        }
        QCOMPARE(notifySlots().takeReportLog(), std::vector<LoggedReport>{});
        QCOMPARE(notifySlots().text(NotifySlot::EndSlot), QString());
    }

    void saveThatCannotStartNamesItsReason() {
        startSave(2);
        report(kNotifyError, "Address 127.0.0.1, Port 1 is not an NNTP Server.");
        form->timTimer_Timer();
        verifyIdle();
        QCOMPARE(fake->kinds(), (QStringList{"beep", "beep", "warning"}));
        QVERIFY(fake->calls.back().text.endsWith("2 songs - Address 127.0.0.1, Port 1 is not an NNTP Server."));
        QCOMPARE(fake->count("pause"), 0);
    }

    // The engine's error that ends a download in the middle comes with a song failure's code and
    // no end report after it: the save ends once the download's worker has ended. A thread of an
    // earlier operation that ends during the save is not its worker.
    void saveEndsWhenItsWorkerEnds() {
        std::promise<void> reportedBefore;
        std::promise<void> endEarlier;
        std::thread earlier([&] {
            report(kNotifyError, "Operation cancelled by user.");  // a stopped search's last report
            reportedBefore.set_value();
            endEarlier.get_future().wait();
        });
        reportedBefore.get_future().wait();
        notifySlots().setText(NotifySlot::EndSlot, QString());
        startSave(3);
        std::promise<void> firstSongReported;
        std::promise<void> goOn;
        std::thread worker([&] {
            report(kNotifyStatus, "Downloading requested songs (1/3)...");
            report(kNotifyFileWritten, "/songs/1.mp3");
            firstSongReported.set_value();
            goOn.get_future().wait();
            report(kNotifyStatus, "Downloading requested songs (2/3)...");
            report(kNotifyError, "Out of memory.");
        });
        firstSongReported.get_future().wait();
        endEarlier.set_value();
        earlier.join();
        form->timTimer_Timer();
        QVERIFY(!form->Idle);  // the earlier thread's end is not this save's
        goOn.set_value();
        worker.join();  // its end is in the log before join returns

        form->timTimer_Timer();

        verifyIdle();
        QCOMPARE(form->barStatusbar->panelText(1), QStringLiteral("1 of 3 songs saved in /songs"));
        QCOMPARE(fake->kinds(), (QStringList{"beep", "beep", "warning"}));
        QVERIFY2(fake->calls.back().text.endsWith("Not saved:\r\nSecond.mp3 - Out of memory.\r\n"
                                                  "Third.mp3 - The download ended before this song."),
                 qPrintable(fake->calls.back().text));
        QCOMPARE(notifySlots().takeReportLog(), std::vector<LoggedReport>{});
    }

    void stopKeepsOnlyThisSearchsSongs() {
        // The previous search's songs.
        form->SongResults = {SongRecord{"Old Song.mp3", "jazz", "1/1/99", "x"}};
        form->Idle = true;
        form->SetCommandsEnabled(true);
        SearchReady = -1;
        form->mnuStartSearch_Click();
        QVERIFY(form->SongResults.empty());
        // A keyword typed during the search shows none of the old songs.
        form->txtSearch->setText("song");
        form->timKeyword->stop();
        form->txtSearch_Settled();
        QCOMPARE(form->songRows->rowCount(), 0);
        report(kNotifySong, songLine("New Song.mp3"));
        form->mnuStop_Click();
        // What the search found before the Stop is listed; the keyword box never brings back
        // the old search.
        QCOMPARE(form->songRows->rowCount(), 1);
        QCOMPARE(form->songRows->record(0).title, QStringLiteral("New Song.mp3"));
        form->txtSearch->setText("");
        form->timKeyword->stop();
        form->txtSearch_Settled();
        QCOMPARE(form->songRows->rowCount(), 1);
        QCOMPARE(form->songRows->record(0).title, QStringLiteral("New Song.mp3"));
    }

    // A search ended by an engine error lists what it found, keeps the error in panel 1 and no
    // longer says it is searching; songs the engine sends after the error come with its "DONE".
    void searchEndedByAnErrorKeepsItsSongs_data() {
        QTest::addColumn<QStringList>("afterError");
        QTest::addColumn<int>("rows");
        QTest::newRow("error last") << QStringList{} << 1;
        QTest::newRow("more songs, then DONE") << QStringList{"Later Song.mp3"} << 2;
    }
    void searchEndedByAnErrorKeepsItsSongs() {
        QFETCH(QStringList, afterError);
        QFETCH(int, rows);
        const QString lost = QStringLiteral("Connection closed by server.");
        form->Idle = true;
        form->SetCommandsEnabled(true);
        SearchReady = -1;
        form->mnuStartSearch_Click();
        QCOMPARE(shownPage(), QStringLiteral("msg002"));
        report(kNotifySong, songLine("Found Song.mp3"));
        report(kNotifyError, lost);
        form->timTimer_Timer();
        QCOMPARE(form->songRows->rowCount(), 1);
        QCOMPARE(shownPage(), QStringLiteral("msg020"));
        QCOMPARE(form->barStatusbar->panelText(1), lost);
        verifyIdle();
        if (!afterError.isEmpty()) {
            for (const QString &title : afterError) report(kNotifySong, songLine(title));
            report(kNotifySearchDone, "DONE");
            form->timTimer_Timer();
        }
        QCOMPARE(form->songRows->rowCount(), rows);
        QCOMPARE(shownPage(), QStringLiteral("msg020"));
        QCOMPARE(form->barStatusbar->panelText(1), lost);
        verifyIdle();
    }

    void searchResultsAreListed() {
        // Rows from before (a keyword typed during the search) must not stay.
        form->songRows->appendRecords({SongRecord{"Old Song.mp3", "jazz", "1/1/99", "x"}});
        notifySlots().resetSongChunks(kSongChunksForSearch);
        report(kNotifySong, songLine("A Song.mp3"));
        report(kNotifySong, songLine("A Song.mp3", "1990s"));
        report(kNotifySong, songLine("Not a song.zip"));
        report(kNotifySong, songLine("B Song.MP3"));
        report(kNotifySearchDone, "DONE");
        form->timTimer_Timer();

        QCOMPARE(form->SongResults.size(), std::size_t(2));
        QCOMPARE(form->songRows->rowCount(), 2);
        QCOMPARE(form->songRows->record(0),
                 (SongRecord{"A Song.mp3", "jazz", "6/12/99", "alt.binaries.sounds.mp3.jazz\t1\t<a@b>\f"}));
        QCOMPARE(shownPage(), QStringLiteral("msg018"));
        const SongChunks songs = notifySlots().songChunks();
        QCOMPARE(songs.chunks, std::vector<QString>{QString()});
        QCOMPARE(songs.ChunkIndex, 0);
        QCOMPARE(songs.ChunkFill, 0);
        QCOMPARE(notifySlots().text(NotifySlot::SearchDoneSlot), QString());
        QCOMPARE(form->barStatusbar->panelText(1), QString());
        QVERIFY(QRegularExpression("^Results of your search at \\d\\d:\\d\\d:\\d\\d, 2 songs$")
                    .match(form->barStatusbar->panelText(2))
                    .hasMatch());
        QCOMPARE(fake->kinds(), QStringList{"beep"});
        verifyIdle();
    }

    void searchResultsCaptionUsesTheTwentyFourHourClock() {
        QCOMPARE(searchResultsCaption(QTime(21, 5, 9)), QStringLiteral("Results of your search at 21:05:09"));
        QCOMPARE(searchResultsCaption(QTime(9, 30, 0)), QStringLiteral("Results of your search at 09:30:00"));
    }

    void slotsAreHandledInOrderWithinOneTick() {
        int rowsWhenBoxShown = -1;
        fake->onCall = [&](const PlatformCall &call) {
            if (call.kind == "information") rowsWhenBoxShown = form->songRows->rowCount();
        };
        notifySlots().resetSongChunks(kSongChunksForSearch);
        report(kNotifySong, songLine("A Song.mp3"));
        report(kNotifyStatus, "Searching... DONE!");
        report(kNotifyUnavailable, "jazz\r\n");
        report(kNotifyError, "Timed Out, server has not responded.");
        report(kNotifyFileWritten, programFolder() + "/Harbeat_Preview.mp3");
        report(kNotifyDownloadDone, " ");
        report(kNotifySearchDone, "DONE");
        report(kNotifySaveDone, "Downloading requested songs...DONE!");
        form->timTimer_Timer();
        QCOMPARE(fake->kinds(), (QStringList{"information", "beep", "beep",  // unavailable categories
                                             "beep", "beep", "pause",        // the error
                                             "open",                         // the preview
                                             "beep",                         // the save
                                             "beep"}));                      // the search
        QCOMPARE(rowsWhenBoxShown, 0);
        QCOMPARE(form->songRows->rowCount(), 1);
        QCOMPARE(shownPage(), QStringLiteral("msg018"));
        QCOMPARE(form->barStatusbar->panelText(1), QString());
        for (int slot = 0; slot <= int(NotifySlot::UnavailableSlot); ++slot)
            if (NotifySlot(slot) != NotifySlot::GroupListSlot)
                QCOMPARE(notifySlots().text(NotifySlot(slot)), QString());
        verifyIdle();
    }

    void noBeepWithSoundsOff() {
        Settings.PlaySounds = false;
        report(kNotifyUnavailable, "jazz\r\n");
        report(kNotifyError, "No Songs.");
        report(kNotifyDownloadDone, " ");
        report(kNotifySearchDone, "DONE");
        form->timTimer_Timer();
        QCOMPARE(fake->count("beep"), 0);
        QCOMPARE(fake->kinds(), (QStringList{"information", "pause"}));
    }

    void songCountTraceInDebugRuns_data() {
        QTest::addColumn<int>("debugLevel");
        QTest::addColumn<int>("lines");
        QTest::addColumn<QString>("trace");  // "" when no file is written
        QTest::newRow("2345 lines") << 60 << 2345 << "2 x 1000 + 345\r\n";
        QTest::newRow("full chunks only") << 60 << 2000 << "";
        QTest::newRow("not a debug run") << 0 << 2345 << "";
    }
    void songCountTraceInDebugRuns() {
        QFETCH(int, debugLevel);
        QFETCH(int, lines);
        QFETCH(QString, trace);
        DebugLevel = debugLevel;
        notifySlots().resetSongChunks(kSongChunksForSearch);
        for (int i = 0; i < lines; ++i) report(kNotifySong, songLine(QString("Song %1.mp3").arg(i)));
        form->timTimer_Timer();
        QFile file(songCountTracePath());
        QCOMPARE(file.exists(), !trace.isEmpty());
        if (trace.isEmpty()) return;
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromLatin1(file.readAll()), trace);
    }

    void tipsRotateBackwardsWhileIdle() {
        form->Idle = true;
        TipCountdown = 0;
        QStringList shown;
        for (int i = 0; i < 24; ++i) {
            form->timTimer_Timer();
            QCOMPARE(TipCountdown, kTipTicks);
            shown.append(shownPage());
            TipCountdown = 1;  // the next tick counts down to 0 and shows the next tip
        }
        QStringList expected;
        for (int n = 23; n >= 1; --n) expected.append(QString("faq%1").arg(n));
        expected.append("faq23");
        QCOMPARE(shown, expected);
    }

    void tipCountdown_data() {
        QTest::addColumn<bool>("idle");
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::addColumn<QString>("page");
        QTest::newRow("counts down") << true << 300 << 299 << "msg002";
        QTest::newRow("busy") << false << 1 << 1 << "msg002";
        QTest::newRow("last tick shows a tip") << true << 1 << 300 << "faq23";
    }
    void tipCountdown() {
        QFETCH(bool, idle);
        QFETCH(int, before);
        QFETCH(int, after);
        QFETCH(QString, page);
        ShowMessage("msg002");
        form->Idle = idle;
        TipCountdown = static_cast<int16_t>(before);
        form->timTimer_Timer();
        QCOMPARE(int(TipCountdown), after);
        QCOMPARE(shownPage(), page);
    }

    void showFaqPageModes_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("page");
        QTest::addColumn<int>("countdown");
        QTest::newRow("first") << 12 << 0 << "faq1" << 1200;
        QTest::newRow("next after the last") << 23 << 2 << "faq1" << 1200;
        QTest::newRow("previous before the first") << 1 << 1 << "faq23" << 1200;
        QTest::newRow("rotation") << 1 << 99 << "faq23" << 300;
    }
    void showFaqPageModes() {
        QFETCH(int, index);
        QFETCH(int, mode);
        QFETCH(QString, page);
        QFETCH(int, countdown);
        FaqIndex = static_cast<int16_t>(index);
        ShowFaqPage(static_cast<int16_t>(mode));
        QCOMPARE(shownPage(), page);
        QCOMPARE(int(TipCountdown), countdown);
    }

private:
    // A save of `songs` listed songs, as the Save command starts it (the engine is absent).
    void startSave(int songs) {
        form->Idle = true;
        form->SetCommandsEnabled(true);
        SearchReady = -1;
        Settings.SaveDir = "/songs";
        const QStringList titles{"First.mp3", "Second.mp3", "Third.mp3"};
        for (int k = 0; k < songs; ++k)
            form->SongResults.push_back({titles[k], "jazz", "1/1/99", QString("g\t1\t<%1@x>").arg(k)});
        form->FillSongList();
        form->lstSongs->selectAll();
        form->mnuSaveSong_Click();
        QCOMPARE(form->Running, frmMain::Operation::Save);
        QCOMPARE(form->Save.titles, titles.mid(0, songs));
        QCOMPARE(guitest::engineCalls().back().name, QStringLiteral("mp3BuildSongs"));
    }

    // The window as an operation leaves it while it runs.
    void busy() {
        form->SetCommandsEnabled(false);
        form->ani->start();
        form->Idle = false;
    }

    void verifyIdle() {
        QVERIFY(form->Idle);
        QVERIFY(!form->ani->isPlaying());
        QVERIFY(form->command("Start Search")->isEnabled());
        QVERIFY(!form->command("Stop")->isEnabled());
        QCOMPARE(notifySlots().progress(), 0.0);
    }

    std::unique_ptr<RecordingPlatform> fake;
    std::unique_ptr<frmMain> form;
};

HARBEAT_GUI_TEST_MAIN(PollTickTest)
#include "poll_tick_test.moc"
