// The engine's report callback and the slots it stores into.
#include "notify/notify_slots.h"

#include <QTest>
#include <thread>
#include <vector>

#include "corvane_n.h"
#include "gui_test_main.h"
#include "ole_text.h"

using namespace harbeat;

namespace {

void report(int32_t code, const QString &text) { harbeat::StatusCallback(code, guitest::OleText(text).get()); }

QString songLine(int number) { return QStringLiteral("\tSong %1.mp3\tjazz\tdate\tgroup\t1\tid\f\r\n").arg(number); }

int linesIn(const QString &chunk) { return static_cast<int>(chunk.count(QStringLiteral("\r\n"))); }

}  // namespace

Q_DECLARE_METATYPE(harbeat::NotifySlot)

class NotifySlotsTest : public QObject {
    Q_OBJECT
private slots:
    void init() { notifySlots().clear(); }

    void textReportsReplaceTheirSlot_data() {
        QTest::addColumn<int>("code");
        QTest::addColumn<NotifySlot>("slot");
        QTest::newRow("9000 status") << int(kNotifyStatus) << NotifySlot::StatusSlot;
        QTest::newRow("9001 end") << int(kNotifyError) << NotifySlot::EndSlot;
        QTest::newRow("9002 group list") << int(kNotifyGroupList) << NotifySlot::GroupListSlot;
        QTest::newRow("9003 search done") << int(kNotifySearchDone) << NotifySlot::SearchDoneSlot;
        QTest::newRow("9005 save done") << int(kNotifySaveDone) << NotifySlot::SaveDoneSlot;
        QTest::newRow("9006 file") << int(kNotifyFileWritten) << NotifySlot::FileSlot;
        QTest::newRow("9008 unavailable") << int(kNotifyUnavailable) << NotifySlot::UnavailableSlot;
    }
    void textReportsReplaceTheirSlot() {
        QFETCH(int, code);
        QFETCH(NotifySlot, slot);
        report(code, QStringLiteral("first"));
        report(code, QStringLiteral("Zürich – second"));
        QCOMPARE(notifySlots().text(slot), QStringLiteral("Zürich – second"));
        report(code, QString());
        QCOMPARE(notifySlots().text(slot), QString());
        // No other slot was touched.
        for (int other = 0; other <= int(NotifySlot::UnavailableSlot); ++other)
            QCOMPARE(notifySlots().text(NotifySlot(other)), QString());
    }

    void progressStoresTheLeadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("expected");
        QTest::newRow("percentage") << " 45.50" << 45.5;
        QTest::newRow("line count") << "1538.00" << 1538.0;
        QTest::newRow("no number") << "n/a" << 0.0;
    }
    void progressStoresTheLeadingNumber() {
        QFETCH(QString, text);
        QFETCH(double, expected);
        notifySlots().setProgress(99);
        report(kNotifyProgress, text);
        QCOMPARE(notifySlots().progress(), expected);
    }

    void downloadDoneSetsTheFlagWhateverTheText() {
        report(kNotifyDownloadDone, QStringLiteral(" "));
        QVERIFY(notifySlots().downloadDone());
        notifySlots().setDownloadDone(false);
        report(kNotifyDownloadDone, QString());
        QVERIFY(notifySlots().downloadDone());
    }

    void otherCodesAreIgnored() {
        for (int code : {0, 8999, 9010, -1}) report(code, QStringLiteral("x"));
        for (int slot = 0; slot <= int(NotifySlot::UnavailableSlot); ++slot)
            QCOMPARE(notifySlots().text(NotifySlot(slot)), QString());
        QCOMPARE(notifySlots().progress(), 0.0);
        QVERIFY(!notifySlots().downloadDone());
        QCOMPARE(notifySlots().songChunks().chunks.front(), QString());
    }

    void songLinesFillChunksOfAThousand() {
        notifySlots().resetSongChunks(kSongChunksForSearch);
        for (int i = 0; i < 2345; ++i) report(kNotifySong, songLine(i));
        const SongChunks songs = notifySlots().songChunks();
        QCOMPARE(songs.ChunkIndex, 2);
        QCOMPARE(songs.ChunkFill, 345);
        QCOMPARE(linesIn(songs.chunks[0]), 1000);
        QCOMPARE(linesIn(songs.chunks[1]), 1000);
        QCOMPARE(linesIn(songs.chunks[2]), 345);
        QVERIFY(songs.chunks[0].startsWith(songLine(0)));
        QVERIFY(songs.chunks[1].startsWith(songLine(1000)));
        QVERIFY(songs.chunks[2].endsWith(songLine(2344)));
    }

    // A NUL inside a report does not end it: two song lines stay two.
    void reportIsReadToItsLengthNotToAZero() {
        notifySlots().resetSongChunks(kSongChunksForSearch);
        const QString withNul =
            QStringLiteral("\tA") + QChar(0) + QStringLiteral("B.mp3\tjazz\tdate\tg\t1\t<a@b>\f\r\n");
        report(kNotifySong, withNul);
        report(kNotifySong, songLine(2));
        const SongChunks songs = notifySlots().songChunks();
        QCOMPARE(songs.ChunkFill, 2);
        QCOMPARE(songs.chunks[0], withNul + songLine(2));
        report(kNotifyError, QStringLiteral("cut") + QChar(0) + QStringLiteral("here"));
        QCOMPARE(notifySlots().text(NotifySlot::EndSlot).size(), 8);
    }

    // Reports a stopped operation left unread do not reach the next one; the status line stays.
    void startingAnOperationDropsTheLastOnesReports() {
        notifySlots().resetSongChunks(kSongChunksForSearch);
        report(kNotifySong, songLine(1));
        report(kNotifyStatus, QStringLiteral("Searching..."));
        for (int code : {kNotifyError, kNotifyGroupList, kNotifySearchDone, kNotifySaveDone, kNotifyFileWritten,
                         kNotifyUnavailable})
            report(code, QStringLiteral("old"));
        report(kNotifyProgress, QStringLiteral("50"));
        report(kNotifyDownloadDone, QStringLiteral(" "));
        notifySlots().startOperation();
        QCOMPARE(notifySlots().songChunks().ChunkFill, 1);  // kept for a download
        notifySlots().startOperation(kSongChunksForSearch);
        QCOMPARE(notifySlots().songChunks().ChunkFill, 0);
        for (NotifySlot slot : {NotifySlot::EndSlot, NotifySlot::GroupListSlot, NotifySlot::SearchDoneSlot,
                                NotifySlot::SaveDoneSlot, NotifySlot::FileSlot, NotifySlot::UnavailableSlot})
            QCOMPARE(notifySlots().text(slot), QString());
        QCOMPARE(notifySlots().text(NotifySlot::StatusSlot), QStringLiteral("Searching..."));
        QCOMPARE(notifySlots().progress(), 0.0);
        QVERIFY(!notifySlots().downloadDone());
    }

    void songChunksGrowBeyondThePreparedOnes() {
        notifySlots().resetSongChunks(kSongChunksForSearch);
        const int total = kSongChunksForSearch * kSongLinesPerChunk + 1500;
        for (int i = 0; i < total; ++i) report(kNotifySong, songLine(i));
        const SongChunks songs = notifySlots().songChunks();
        QCOMPARE(songs.ChunkIndex, kSongChunksForSearch + 1);
        QCOMPARE(songs.ChunkFill, 500);
        QCOMPARE(songs.chunks.size(), std::size_t(kSongChunksForSearch + 2));
        QVERIFY(songs.chunks.back().endsWith(songLine(total - 1)));
    }

    void reportsFromSeveralThreadsAreAllStored() {
        notifySlots().resetSongChunks(kSongChunksForSearch);
        constexpr int kThreads = 4;
        constexpr int kLinesEach = 5000;
        std::vector<std::thread> workers;
        for (int t = 0; t < kThreads; ++t) {
            workers.emplace_back([t] {
                for (int i = 0; i < kLinesEach; ++i) {
                    report(kNotifySong, songLine(t * kLinesEach + i));
                    report(kNotifyStatus, QStringLiteral("status %1").arg(i));
                    report(kNotifyProgress, QString::number(i % 100));
                }
            });
        }
        // The GUI thread reads and clears meanwhile, as the timer does.
        for (int i = 0; i < 2000; ++i) {
            (void)notifySlots().text(NotifySlot::StatusSlot);
            notifySlots().setText(NotifySlot::StatusSlot, QString());
            int32_t index = 0;
            int32_t fill = 0;
            notifySlots().songChunkCounters(index, fill);
        }
        for (std::thread &worker : workers) worker.join();
        const SongChunks songs = notifySlots().songChunks();
        QCOMPARE(songs.ChunkIndex * kSongLinesPerChunk + songs.ChunkFill, kThreads * kLinesEach);
        int lines = 0;
        for (const QString &chunk : songs.chunks) lines += linesIn(chunk);
        QCOMPARE(lines, kThreads * kLinesEach);
    }
};

HARBEAT_GUI_TEST_MAIN(NotifySlotsTest)
#include "notify_slots_test.moc"
