// The main window against the bundled news server, through the real engine library: the load
// sequence with the start-up form, and a whole search, save and preview of the demo spool's jazz
// group, ending with the files on disk compared byte for byte with the posted songs.
#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QListWidget>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>
#include <map>
#include <memory>

#include "catalogue/catalogue.h"
#include "engine/engine_binding.h"
#include "gui_test_main.h"
#include "main/animation_player.h"
#include "main/frm_main.h"
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "newsd/news_server.h"
#include "notify/notify_slots.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/program_folder.h"
#include "recording_platform.h"
#include "spool_songs.h"
#include "settings/registry.h"
#include "startup/frm_splash.h"

using namespace harbeat;
using harbeat::guitest::postedSongFiles;
using harbeat::guitest::RecordingPlatform;

namespace {

const QString kSpool = QStringLiteral(HARBEAT_DEMO_SPOOL);
const QString kJazz = QStringLiteral("alt.binaries.sounds.mp3.jazz");

QString shownPage(const QTextBrowser &pane) { return pagePath(pane).section(u'/', -1).section(u'.', 0, 0); }

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

}  // namespace

class MainFlowTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        QSettings(kRegistryOrganisation, kRegistryApplication).clear();
        notifySlots().clear();
        Settings = SettingsRecord{};
        ResetCatalogue();
        SearchReady = 0;
        fake = std::make_unique<RecordingPlatform>();
    }
    void cleanup() { fake.reset(); }

    void loadSequence_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("storedGroup");  // "" for an empty catalogue
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<int>("debugLevel");
        QTest::newRow("empty catalogue") << QStringList{} << "" << QStringList{"pause", "information"} << 0;
        QTest::newRow("a jazz group, debug log") << QStringList{"debug", "log"} << kJazz << QStringList{"pause"} << 60;
    }
    void loadSequence() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, storedGroup);
        QFETCH(QStringList, calls);
        QFETCH(int, debugLevel);
        newsd::NewsStore store;
        store.addGroup("alt.binaries.sounds.mp3", 0, true);  // the server check selects it
        newsd::NewsServer server(store);
        server.start(0);
        WriteRegValue("", "Server", "127.0.0.1");
        WriteRegValue("", "Port", QString::number(server.port()));
        // Updated today already: the start-up form does not fetch the newsgroup list.
        WriteRegValue("Groups", "LastChecked", TodayText());
        WriteRegValue("Groups", "NumberOf", storedGroup.isEmpty() ? "0" : "1");
        WriteRegValue("Groups/Group1", "Name", storedGroup);
        WriteRegValue("Groups/Group1", "Selected", "True");

        frmMain form;
        form.Form_Load(arguments);
        QCOMPARE(fake->kinds(), calls);
        if (storedGroup.isEmpty()) {
            QCOMPARE(fake->calls.back().text,
                     QStringLiteral("Harbeat cannot find any valid MP3 newsgroups to search.  Please consult your ISP "
                                    "for more information on newsgroups.\r\nUnfortunately, Harbeat will not be able "
                                    "to find or retrieve any MP3's for you."));
            QCOMPARE(form.lstGroups->count(), 0);
        } else {
            QCOMPARE(form.lstGroups->count(), 1);
            QVERIFY(form.lstGroups->item(0)->isSelected());
        }
        QCOMPARE(DebugLevel, debugLevel);
        QVERIFY(form.Idle);
        QVERIFY(SearchReady);
        QVERIFY(form.timTimer->isActive());
        QCOMPARE(notifySlots().progress(), 0.0);
        QCOMPARE((QList<int>{TipCountdown, FaqIndex, FaqCount}), (QList<int>{-1, 1, 23}));
        QCOMPARE(shownPage(*form.wbr), QStringLiteral("msg009"));
        QCOMPARE(shownPage(*form.wbrHead), QStringLiteral("msg013"));
        QVERIFY(form.ani->hasFrames());
        QVERIFY(!form.ani->isPlaying());
        QVERIFY(form.command("Start Search")->isEnabled());
        QVERIFY(!form.command("Stop")->isEnabled());
        for (const QWidget *window : QApplication::topLevelWidgets()) QVERIFY(!qobject_cast<const frmSplash *>(window));
        QCOMPARE(QDir::currentPath(), programFolder());
        // The design size is wider than the test screen: the window is cut to the screen's free
        // area and placed on it, title bar included.
        const QRect area = form.screen()->availableGeometry();
        QVERIFY2(area.contains(form.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(form.frameGeometry().x())
                                .arg(form.frameGeometry().y())
                                .arg(form.frameGeometry().width())
                                .arg(form.frameGeometry().height())));
        server.stop();
    }

    void searchSaveAndPreview() {
        newsd::NewsStore store;
        const newsd::SpoolLoadResult loaded = store.loadSpool(kSpool.toStdString());
        QVERIFY(loaded.articlesLoaded > 0);
        newsd::NewsServer server(store);
        server.start(0);
        QTemporaryDir saveFolder;
        Settings.Server = "127.0.0.1";
        Settings.Port = server.port();
        Settings.SaveDir = "  " + saveFolder.path() + "  ";
        Settings.PreviewFileName = kPreviewFileName;
        char error[engine::kErrorTextSize] = {};
        int32_t posting = 0;
        QCOMPARE(engine::mp3Settings(error, &harbeat::StatusCallback, "127.0.0.1", server.port(), "", "", 0,
                                     &SearchReady, &posting, 500000),
                 -1);

        Groups.entries = {{kJazz, "jazz", false}, {"alt.binaries.sounds.mp3.1990s", "1990s", false}};
        Groups.NumberOf = 2;
        frmMain form;
        form.setupSongColumns({4000, 1000, 950, 0, 0});
        form.ShowGroupList();
        form.SetCommandsEnabled(true);
        form.Idle = true;
        form.timTimer->start();
        form.show();
        QTest::mouseClick(form.lstGroups->viewport(), Qt::LeftButton, {},
                          form.lstGroups->visualItemRect(form.lstGroups->item(0)).center());
        QVERIFY(Groups.entry(1).Selected);

        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTest::keyClick(form.lstGroups, Qt::Key_F5);
        QVERIFY(!form.Idle);
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 60000));
        const int rows = form.songRows->rowCount();
        QVERIFY(rows > 5);
        for (int row = 0; row < rows; ++row) QCOMPARE(form.songRows->record(row).category, QStringLiteral("jazz"));
        QCOMPARE(shownPage(*form.wbr), QStringLiteral("msg018"));

        form.lstSongs->setFocus();
        form.lstSongs->selectAll();
        QTest::keyClick(form.lstSongs, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(!form.Idle);
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 60000));
        QCOMPARE(shownPage(*form.wbr), QStringLiteral("msg014"));
        const std::map<QString, QByteArray> posted = postedSongFiles(kSpool + "/" + kJazz);
        const QStringList saved = QDir(saveFolder.path()).entryList(QDir::Files);
        QCOMPARE(saved.size(), rows);
        for (const QString &name : saved) {
            QVERIFY2(posted.count(name), qPrintable(name));
            QVERIFY2(fileBytes(saveFolder.filePath(name)) == posted.at(name), qPrintable(name));
        }

        // A song of one article: its preview is the whole song.
        int single = -1;
        for (int row = 0; row < rows && single < 0; ++row)
            if (form.songRows->index(row, SongListModel::SongId).data().toString().section('\t', 1, 1) == "1")
                single = row;
        QVERIFY(single >= 0);
        form.lstSongs->setCurrentIndex(form.songRows->index(single, 0));
        const QString title = form.songRows->index(single, 0).data().toString();
        QTest::keyClick(form.lstSongs, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 60000));
        const QString preview = previewFolder() + "/Harbeat_Preview.mp3";
        QCOMPARE(fake->calls.back(), (guitest::PlatformCall{"open", preview, 0}));
        QCOMPARE(shownPage(*form.wbr), QStringLiteral("msg016"));
        bool matched = false;
        for (const auto &[name, bytes] : posted)
            if (title.contains(name)) matched = fileBytes(preview) == bytes;
        QVERIFY2(matched, qPrintable(title));
        QFile::remove(preview);
        server.stop();
    }

private:
    std::unique_ptr<RecordingPlatform> fake;
};

HARBEAT_GUI_TEST_MAIN(MainFlowTest)
#include "main_flow_test.moc"
