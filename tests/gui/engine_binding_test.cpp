// The program's binding to the real engine library built beside it, and a search through it
// against the bundled news server, with the reports landing in the program's own callback.
#include "engine/engine_binding.h"

#include <QCoreApplication>
#include <QSettings>
#include <QTest>
#include <memory>
#include <mutex>
#include <vector>

#include "corvane_n.h"
#include "gui_test_main.h"
#include "main/frm_main.h"
#include "newsd/news_server.h"
#include "notify/notify_slots.h"
#include "platform/program_folder.h"
#include "settings/registry.h"
#include "settings/settings.h"

using namespace harbeat;

namespace {

constexpr const char *kCheckGroup = "alt.binaries.sounds.mp3";
constexpr const char *kJazzGroup = "alt.binaries.sounds.mp3.jazz";
constexpr const char *kComedyGroup = "alt.binaries.sounds.mp3.comedy";

// Every song line in the order the engine sent it, kept beside what the program's callback stores.
std::mutex sentMutex;
QString songLinesSent;

void CORVANE_CALL recordingCallback(int32_t code, const char16_t *text) {
    if (code == kNotifySong) {
        std::lock_guard lock(sentMutex);
        songLinesSent += QStringView(text);
    }
    harbeat::StatusCallback(code, text);
}

}  // namespace

class EngineBindingTest : public QObject {
    Q_OBJECT
private slots:
    void loadsTheEngineBesideTheProgram() {
        engine::mp3CancelFunc();
        QCOMPARE(engine::loadError(), QString());
        QCOMPARE(engine::loadedFrom(), programFolder() + "/libcorvane_n.so");
    }

    void settingsCheckFailsWithTheEnginesMessage() {
        // Port 1 on the loopback address refuses connections.
        char error[engine::kErrorTextSize] = {};
        int32_t reachable = 7;
        int32_t posting = 7;
        const int32_t result =
            engine::mp3Settings(error, &recordingCallback, "127.0.0.1", 1, "", "", 0, &reachable, &posting, 500000);
        QCOMPARE(result, 0);
        QVERIFY(!engine::fromEngineText(error).isEmpty());
        QCOMPARE(reachable, 0);
    }

    void searchFillsSongChunksInFullAndInOrder() {
        harbeat::newsd::NewsStore store;
        store.addGroup(kCheckGroup, 0, true);
        harbeat::newsd::SyntheticGroupOptions options;
        options.partsPerSong = 2;
        options.incompleteEvery = 7;  // some songs lack a part and are not listed
        store.addSyntheticGroup(kJazzGroup, 2400, 1, options);
        options.seed = 2;
        store.addSyntheticGroup(kComedyGroup, 400, 1, options);
        harbeat::newsd::NewsServer server(store);
        server.start(0);

        char error[engine::kErrorTextSize] = {};
        int32_t reachable = 0;
        int32_t posting = 0;
        QCOMPARE(engine::mp3Settings(error, &recordingCallback, "127.0.0.1", server.port(), "", "", 0, &reachable,
                                     &posting, 500000),
                 -1);
        QCOMPARE(reachable, -1);

        notifySlots().clear();
        notifySlots().resetSongChunks(kSongChunksForSearch);
        songLinesSent.clear();
        const QByteArray request = QByteArray(kJazzGroup) + "\tjazz\r\n" + kComedyGroup + "\tcomedy\r\n";
        QVERIFY(engine::mp3GetSongs(request.constData()) != -1);
        QVERIFY(QTest::qWaitFor([] { return !notifySlots().text(NotifySlot::SearchDoneSlot).isEmpty(); }, 60000));
        QCOMPARE(notifySlots().text(NotifySlot::SearchDoneSlot), QStringLiteral("DONE"));
        QCOMPARE(notifySlots().text(NotifySlot::EndSlot), QString());

        const SongChunks songs = notifySlots().songChunks();
        QString stored;
        for (const QString &chunk : songs.chunks) stored += chunk;
        std::lock_guard lock(sentMutex);
        const int lines = static_cast<int>(songLinesSent.count(QStringLiteral("\r\n")));
        // 1200 jazz and 200 comedy songs, less every seventh of each.
        QCOMPARE(lines, 1200 - 1200 / 7 + 200 - 200 / 7);
        QCOMPARE(songs.ChunkIndex * kSongLinesPerChunk + songs.ChunkFill, lines);
        QCOMPARE(stored, songLinesSent);
        for (int k = 0; k < songs.ChunkIndex; ++k) QCOMPARE(songs.chunks[k].count(QStringLiteral("\r\n")), 1000);
        QVERIFY(stored.startsWith('\t'));
        QVERIFY(stored.contains(QStringLiteral("\tcomedy\t")));
        server.stop();
    }

    void closingTheWindowStopsTheEngineAndSavesTheSettings() {
        QSettings(kRegistryOrganisation, kRegistryApplication).clear();
        frmMain form;
        Settings = SettingsRecord{};
        Settings.Server = "news.example.com";
        form.show();
        QVERIFY(form.close());
        QCOMPARE(ReadRegValue("", "Server", "<missing>"), QStringLiteral("news.example.com"));
        QCOMPARE(ReadRegValue("MainForm", "WindowState", "<missing>"), QStringLiteral("0"));
    }
};

HARBEAT_GUI_TEST_MAIN(EngineBindingTest)
#include "engine_binding_test.moc"
