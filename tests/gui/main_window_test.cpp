// The main window without a server: the category list and the request built from it, the layout,
// the keys and the toolbar, command enabling, and what Save and Preview take from the song list.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFocusEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSet>
#include <QSettings>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>
#include <memory>

#include "catalogue/catalogue.h"
#include "corvane_n.h"
#include "gui_test_main.h"
#include "main/animation_player.h"
#include "main/catalogue_choices.h"
#include "main/frm_main.h"
#include "main/main_layout.h"
#include "main/panel_status_bar.h"
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "ole_text.h"
#include "options/frm_options.h"
#include "pages/message_pages.h"
#include "pages/tip_pages.h"
#include "platform/product.h"
#include "platform/program_folder.h"
#include "platform/qt_platform.h"
#include "platform/twips.h"
#include "recording_engine.h"
#include "recording_platform.h"
#include "request/frm_post.h"
#include "settings/registry.h"
#include "settings/settings.h"

using namespace harbeat;
using harbeat::guitest::RecordingPlatform;

Q_DECLARE_METATYPE(harbeat::MainCommand)

namespace {

struct Entry {
    QString name;
    QString category;  // "" lets the name decide
    bool selected;
};
using Entries = QList<Entry>;

void setCatalogue(const Entries &entries) {
    ResetCatalogue();
    Groups.entries.clear();
    for (const Entry &entry : entries) Groups.entries.push_back({entry.name, entry.category, entry.selected});
    if (Groups.entries.empty()) Groups.entries.emplace_back();
    Groups.NumberOf = static_cast<int32_t>(entries.size());
}

QList<bool> selectedFlags() {
    QList<bool> flags;
    for (int32_t i = 1; i <= Groups.usedCount(); ++i) flags.append(Groups.entry(i).Selected);
    return flags;
}

QString shownPage() { return pagePath(*messagePane()).section(u'/', -1).section(u'.', 0, 0); }

}  // namespace

Q_DECLARE_METATYPE(Entries)

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { guitest::useRecordingEngine(); }
    void init() {
        notifySlots().clear();
        Settings = SettingsRecord{};
        Settings.PreviewFileName = kPreviewFileName;
        TipCountdown = -1;
        SearchReady = -1;
        fake = std::make_unique<RecordingPlatform>();
        form = std::make_unique<frmMain>();
        form->setupSongColumns({4000, 1000, 950, 0, 0});
        form->SetCommandsEnabled(true);
        form->Idle = true;
    }
    void cleanup() {
        unloadOptionsForm();
        form.reset();
        fake.reset();
    }

    void searchRequestFromTheCatalogue_data() {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QString>("request");
        QTest::newRow("nothing ticked") << Entries{{"alt.binaries.sounds.mp3.jazz", "jazz", false}} << "";
        QTest::newRow("catalogue order, trimmed")
            << Entries{{" alt.binaries.sounds.mp3.jazz ", " jazz ", true},
                       {"alt.binaries.sounds.mp3.1990s", "1990s", false},
                       {"alt.binaries.sounds.mp3.1980s  ", "1980s", true}}
            << "alt.binaries.sounds.mp3.jazz\tjazz\r\nalt.binaries.sounds.mp3.1980s\t1980s\r\n";
        QTest::newRow("empty category from the name") << Entries{{"alt.binaries.music.heavy-metal", "  ", true}}
                                                      << "alt.binaries.music.heavy-metal\theavy metal\r\n";
        QTest::newRow("no de-duplication")
            << Entries{{"alt.binaries.sounds.mp3.jazz", "jazz", true}, {"alt.binaries.sounds.mp3.jazz", "jazz", true}}
            << "alt.binaries.sounds.mp3.jazz\tjazz\r\nalt.binaries.sounds.mp3.jazz\tjazz\r\n";
    }
    void searchRequestFromTheCatalogue() {
        QFETCH(Entries, entries);
        QFETCH(QString, request);
        setCatalogue(entries);
        QCOMPARE(searchRequestText(Groups), request);
    }

    void defaultDecade_data() {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QList<bool>>("selected");
        const Entries decades{
            {"a", "1990s", false}, {"b", "jazz", false}, {"c", "2000s", false}, {"d", "2000s", false}};
        QTest::newRow("latest decade first") << decades << QList<bool>{false, false, true, false};
        QTest::newRow("1990s") << Entries{{"a", "jazz", false}, {"b", " 1990s", false}} << QList<bool>{false, true};
        QTest::newRow("no decade") << Entries{{"a", "jazz", false}} << QList<bool>{false};
    }
    void defaultDecade() {
        QFETCH(Entries, entries);
        QFETCH(QList<bool>, selected);
        setCatalogue(entries);
        LoadDefaultGroup199x(Groups);
        QCOMPARE(selectedFlags(), selected);
    }

    void categoryRowsTickTheirEntries() {
        setCatalogue({{"alt.binaries.sounds.mp3.jazz", "jazz", false},
                      {"alt.binaries.sounds.mp3.1990s", "1990s", true},
                      {"alt.binaries.pictures", "", true},  // no music category: never listed
                      {"alt.binaries.sounds.mp3.jazz.big", "jazz", true}});
        form->ShowGroupList();
        QCOMPARE(form->lstGroups->count(), 2);
        QCOMPARE(form->lstGroups->item(0)->text(), QStringLiteral("jazz"));
        QVERIFY(!form->lstGroups->item(0)->isSelected());  // the first entry decides
        QVERIFY(form->lstGroups->item(1)->isSelected());
        QCOMPARE(selectedFlags(), (QList<bool>{false, true, true, true}));  // listing changes nothing

        QTest::mouseClick(form->lstGroups->viewport(), Qt::LeftButton, {},
                          form->lstGroups->visualItemRect(form->lstGroups->item(0)).center());
        QCOMPARE(selectedFlags(), (QList<bool>{true, true, true, true}));
        QTest::mouseClick(form->lstGroups->viewport(), Qt::LeftButton, {},
                          form->lstGroups->visualItemRect(form->lstGroups->item(1)).center());
        QCOMPARE(selectedFlags(), (QList<bool>{true, false, true, true}));

        form->lstGroups_AddItem("jazz", false);
        form->lstGroups_AddItem("Jazz", true);
        QCOMPARE(form->lstGroups->count(), 3);
        form->lstGroups_RemoveItem("jazz");
        QCOMPARE(form->lstGroups->findItems("*", Qt::MatchWildcard).size(), 2);
        QCOMPARE(form->lstGroups->item(0)->text(), QStringLiteral("1990s"));
    }

    void layoutNumbers_data() {
        QTest::addColumn<double>("innerWidth");
        QTest::addColumn<double>("statusBarTop");
        QTest::addColumn<QList<double>>("expected");  // L, list width, columns, title, ani, toolbar, bar, panel, height
        QTest::newRow("4050") << 4050.0 << 9000.0 << QList<double>{100, 70, 1, 0, 3060, 3000, 1990, 2025, 6000};
        QTest::newRow("10000") << 10000.0 << 9000.0 << QList<double>{6000, 5970, 5, 3720, 9010, 8950, 7940, 5000, 6000};
        QTest::newRow("list height at least 100")
            << 10000.0 << 3050.0 << QList<double>{6000, 5970, 5, 3720, 9010, 8950, 7940, 5000, 100};
    }
    void layoutNumbers() {
        QFETCH(double, innerWidth);
        QFETCH(double, statusBarTop);
        QFETCH(QList<double>, expected);
        MainLayoutInput input;
        input.innerWidth = innerWidth;
        input.songsTop = 3000;
        input.statusBarTop = statusBarTop;
        input.aniWidth = 960;
        input.groupColumnWidth = 1000;
        input.saveTimeColumnWidth = 950;
        const MainLayout layout = computeMainLayout(input);
        QCOMPARE((QList<double>{layout.leftWidth, layout.listWidth, double(layout.groupColumns),
                                layout.titleColumnWidth, layout.aniLeft, layout.toolbarWidth, layout.progressLeft,
                                layout.panelWidth, layout.listHeight}),
                 expected);
        QCOMPARE(layout.paneLeft, layout.leftWidth);
        QCOMPARE(layout.headLeft, layout.leftWidth + 60);
        QCOMPARE((QList<double>{layout.paneWidth, layout.headWidth, layout.progressWidth}),
                 (QList<double>{4000, 3880, 2060}));
    }

    void categoryListShowsItsColumns() {
        for (int i = 0; i < 40; ++i) form->lstGroups_AddItem(QString("style %1").arg(i), false);
        form->show();
        form->resize(twipsToPixels(10000), twipsToPixels(8000));
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->lstGroups->width(), twipsToPixels(5970));
        QSet<int> columns;
        for (int i = 0; i < form->lstGroups->count(); ++i) {
            const QRect cell = form->lstGroups->visualItemRect(form->lstGroups->item(i));
            if (form->lstGroups->viewport()->rect().contains(cell)) columns.insert(cell.left());
        }
        QCOMPARE(columns.size(), 5);
    }

    void keys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<MainCommand>("command");
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("Esc") << int(Qt::Key_Escape) << 0 << MainCommand::Stop;
        QTest::newRow("Shift+Esc") << int(Qt::Key_Escape) << int(Qt::ShiftModifier) << MainCommand::Stop;
        QTest::newRow("F5") << int(Qt::Key_F5) << 0 << MainCommand::StartSearch;
        QTest::newRow("Ctrl+F1") << int(Qt::Key_F1) << ctrl << MainCommand::Help;
        QTest::newRow("Ctrl+S") << int(Qt::Key_S) << ctrl << MainCommand::SaveSong;
        QTest::newRow("Ctrl+Shift+P") << int(Qt::Key_P) << int(ctrl | Qt::ShiftModifier) << MainCommand::PreviewSong;
        QTest::newRow("Ctrl+R") << int(Qt::Key_R) << ctrl << MainCommand::RequestSong;
        QTest::newRow("Ctrl+X") << int(Qt::Key_X) << ctrl << MainCommand::Exit;
        QTest::newRow("Ctrl+O") << int(Qt::Key_O) << ctrl << MainCommand::Options;
        QTest::newRow("S alone") << int(Qt::Key_S) << 0 << MainCommand::None;
        QTest::newRow("Alt+X") << int(Qt::Key_X) << int(Qt::AltModifier) << MainCommand::None;
        QTest::newRow("Ctrl+Q") << int(Qt::Key_Q) << ctrl << MainCommand::None;
    }
    void keys() {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(MainCommand, command);
        QCOMPARE(commandForKey(key, Qt::KeyboardModifiers(modifiers)), command);
    }

    void keysReachTheWindowFromEveryControl_data() {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QStringList>("calls");  // Ctrl+X is the keyword box's own key
        for (const char *name : {"lstGroups", "lstSongs", "wbr", "wbrHead", "window"})
            QTest::newRow(name) << QString(name) << QStringList{"open", "endProgram", "endProgram"};
        QTest::newRow("txtSearch") << QString("txtSearch") << QStringList{"open"};
    }
    void keysReachTheWindowFromEveryControl() {
        QFETCH(QString, control);
        QFETCH(QStringList, calls);
        const std::map<QString, QWidget *> controls = {{"lstGroups", form->lstGroups}, {"lstSongs", form->lstSongs},
                                                       {"txtSearch", form->txtSearch}, {"wbr", form->wbr},
                                                       {"wbrHead", form->wbrHead},     {"window", form.get()}};
        QWidget *target = controls.at(control);
        showActive();
        target->setFocus();
        QTest::keyClick(target, Qt::Key_F1);
        QTest::keyPress(target, Qt::Key_X, Qt::ControlModifier);
        QTest::keyRelease(target, Qt::Key_X, Qt::ControlModifier);
        // Ctrl let go before the letter: the press had it, and that is what counts.
        QTest::keyPress(target, Qt::Key_X, Qt::ControlModifier);
        QTest::keyRelease(target, Qt::Key_X);
        QTest::keyClick(target, Qt::Key_A);
        QCOMPARE(fake->kinds(), calls);
        QCOMPARE(fake->calls[0].text, kHelpAddress);
    }

    void toolbarButtonsInOrder() {
        const QStringList captions{
            "Start Search F5",       "Stop ESC",       "Refresh F5", "Save Song Ctrl-S", "Preview Song Ctrl-P",
            "Post A Request Ctrl-R", "Options Ctrl-O", "Help F1",    "Exit Ctrl-X"};
        const QStringList tips{"Start Search  - F5",    "Stop - ESC",
                               "Refresh - F5",          "Save Song - Ctrl-S",
                               "Preview Song - Ctrl-P", "Post A Request - Ctrl-R",
                               "Options - Ctrl-O",      "Help - F1",
                               "Exit - Ctrl-X"};
        QStringList shownCaptions;
        QStringList shownTips;
        for (QAction *button : form->barToolbar->actions()) {
            shownCaptions.append(button->text());
            shownTips.append(button->toolTip());
        }
        QCOMPARE(shownCaptions, captions);
        QCOMPARE(shownTips, tips);
        for (const auto *images : {&form->imgMouseOff, &form->imgMouseOn}) {
            QCOMPARE(images->size(), std::size_t(9));
            for (const QImage &image : *images) QCOMPARE(image.size(), QSize(40, 50));
        }
        QCOMPARE(form->mnuMain->title(), QStringLiteral("Main"));
        QStringList items;
        for (QAction *item : form->mnuMain->actions()) items.append(item->text());
        QCOMPARE(items,
                 (QStringList{"Start Search", "Stop", "Save Song", "Preview Song", "Request Song", "Options", "Help"}));

        QMenu *refresh = form->command("Refresh")->menu();
        QVERIFY(refresh);
        QCOMPARE(refresh->actions().size(), 4);
        for (QAction *entry : refresh->actions()) QCOMPARE(entry->text(), QStringLiteral("Play This Song"));
        form->command("Help")->trigger();
        form->command("Exit")->trigger();
        QCOMPARE(fake->kinds(), (QStringList{"open", "endProgram"}));
    }

    void commandsEnabledAsAGroup() {
        form->SetCommandsEnabled(false);
        for (const char *key : {"Options", "Start Search", "Refresh", "Preview Song", "Save Song", "Request Song"})
            QVERIFY2(!form->command(key)->isEnabled(), key);
        for (const char *key : {"Stop", "Help", "Exit"}) QVERIFY2(form->command(key)->isEnabled(), key);
        // The menu stays usable; only Save and Preview wait for a song in the list.
        for (QAction *item : form->mnuMain->actions())
            QCOMPARE(item->isEnabled(), item != form->mnuSaveSong && item != form->mnuPreviewSong);
        form->SetCommandsEnabled(true);
        QVERIFY(form->command("Start Search")->isEnabled());
        QVERIFY(!form->command("Stop")->isEnabled());
        QVERIFY(form->command("Exit")->isEnabled());
    }

    void busyWindowIgnoresSecondOperations() {
        ShowMessage("msg002");
        form->SetCommandsEnabled(false);
        form->Idle = false;
        form->Running = frmMain::Operation::Search;
        form->ani->start();
        notifySlots().resetSongChunks(kSongChunksForSearch);
        harbeat::StatusCallback(kNotifySong, guitest::OleText("\tA.mp3\tjazz\tdate\tg\t1\t<a@b>\f\r\n").get());
        fillSongs();
        form->lstSongs->selectAll();
        showActive();
        for (const int key : {int(Qt::Key_F5), int(Qt::Key_S), int(Qt::Key_P)})
            QTest::keyClick(form->lstSongs, Qt::Key(key), Qt::ControlModifier);
        form->mnuStartSearch->trigger();
        QCOMPARE(notifySlots().songChunks().ChunkFill, 1);  // the running search's lines stay
        QCOMPARE(shownPage(), QStringLiteral("msg002"));
        QVERIFY(form->ani->isPlaying());

        QTest::keyClick(form->lstSongs, Qt::Key_Escape);
        QCOMPARE(shownPage(), QStringLiteral("msg018"));  // no longer "Searching your news server"
        QVERIFY(form->Idle);
        QVERIFY(!form->ani->isPlaying());
        QVERIFY(form->command("Start Search")->isEnabled());
        QVERIFY(!form->command("Stop")->isEnabled());
    }

    void saveAndPreviewNeedARow_data() {
        QTest::addColumn<bool>("preview");
        QTest::newRow("save") << false;
        QTest::newRow("preview") << true;
    }
    void saveAndPreviewNeedARow() {
        QFETCH(bool, preview);
        fillSongs();
        preview ? form->mnuPreviewSong_Click() : form->mnuSaveSong_Click();
        QCOMPARE(shownPage(), QStringLiteral("msg003"));
        QVERIFY(form->Idle);
        QVERIFY(!form->ani->isPlaying());
        QVERIFY(!form->command("Save Song")->isEnabled());  // no row selected
    }

    void saveListFollowsTheShownOrder() {
        fillSongs();  // A, B, C, D by title
        QItemSelectionModel *selection = form->lstSongs->selectionModel();
        for (const int row : {0, 2, 3})
            selection->select(form->songRows->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        selection->setCurrentIndex(form->songRows->index(1, 0), QItemSelectionModel::NoUpdate);

        // The selection and the current row move with their songs.
        form->lstSongs_ColumnClick(SongListModel::Group);
        form->lstSongs_ColumnClick(SongListModel::Group);  // a second click does not reverse
        QCOMPARE(form->lstSongs->header()->sortIndicatorOrder(), Qt::AscendingOrder);
        QStringList shown;
        for (int row = 0; row < form->songRows->rowCount(); ++row)
            shown.append(form->songRows->cellText(row, SongListModel::SongTitle));
        QCOMPARE(shown, (QStringList{"D.mp3", "B.mp3", "A.mp3", "C.mp3"}));
        QCOMPARE(form->BuildSaveList(),
                 QStringLiteral("g4\t1\t<d@x>\f\r\ng1\t1\t<a@x>\f\r\ng3\t2\t<c1@x>\f<c2@x>\f\r\n"));
        QCOMPARE(form->BuildPreviewLine(), QStringLiteral("0\tg2\t1\t<b@x>\f\r\n"));
    }

    void keywordBoxRefiltersAndTrims() {
        fillSongs();
        form->txtSearch->setText("c.MP");
        settleKeyword();
        QCOMPARE(fake->calls, std::vector<guitest::PlatformCall>{});  // nothing blocks
        QCOMPARE(form->songRows->rowCount(), 1);
        QCOMPARE(form->barStatusbar->panelText(2), QStringLiteral("1 song"));
        form->txtSearch->setText("  .mp3 ");
        settleKeyword();
        QCOMPARE(form->songRows->rowCount(), 0);
        QFocusEvent focusOut(QEvent::FocusOut);
        QApplication::sendEvent(form->txtSearch, &focusOut);
        QCOMPARE(form->txtSearch->text(), QStringLiteral(".mp3"));
        settleKeyword();
        QCOMPARE(form->songRows->rowCount(), 4);
        QCOMPARE(fake->count("pause"), 0);
    }

    void keywordFiltersOnceTypingPauses() {
        fillSongs();
        int fills = 0;
        connect(form->songRows, &QAbstractItemModel::modelReset, form.get(), [&] { ++fills; });
        QElapsedTimer typing;
        typing.start();
        for (const char *typed : {"b", "b.", "b.m", "b.mp", "b.mp3", "b.mp", "b.m", "b.", "b", "B"}) {
            form->txtSearch->setText(typed);
            QVERIFY(form->timKeyword->isActive());
            QCOMPARE(form->songRows->rowCount(), 4);  // the list waits for the pause
        }
        QVERIFY2(typing.elapsed() < 400, "typing must not wait");
        QCOMPARE(form->timKeyword->interval(), 500);
        QVERIFY(form->timKeyword->isSingleShot());
        QTRY_COMPARE_WITH_TIMEOUT(form->songRows->rowCount(), 1, 2000);
        QCOMPARE(form->songRows->record(0).title, QStringLiteral("B.mp3"));
        QCOMPARE(fills, 2);  // cleared and refilled once, not per key
        QCOMPARE(fake->count("pause"), 0);
    }

    void ctrlXBelongsToTheKeywordBoxAndExitsElsewhere() {
        showActive();
        form->txtSearch->setText("blue moon");
        form->txtSearch->setFocus();
        form->txtSearch->setSelection(0, 5);
        QTest::keyClick(form->txtSearch, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(form->txtSearch->text(), QStringLiteral("moon"));
        QCOMPARE(fake->count("endProgram"), 0);
        // Without a selection the box has nothing to cut, and the key still belongs to the box.
        form->txtSearch->deselect();
        QTest::keyClick(form->txtSearch, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(form->txtSearch->text(), QStringLiteral("moon"));
        QCOMPARE(fake->count("endProgram"), 0);
        QTest::keyClick(form->lstSongs, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(fake->count("endProgram"), 1);
    }

    void saveTimeSortsByDate() {
        form->SongResults = {{"A.mp3", "jazz", "11/15/01", "a"},   {"B.mp3", "jazz", "1/1/99", "b"},
                             {"C.mp3", "jazz", "not a date", "c"}, {"D.mp3", "jazz", "12/22/00", "d"},
                             {"E.mp3", "jazz", "10/8/99", "e"},    {"F.mp3", "jazz", "2/30/99", "f"},
                             {"G.mp3", "jazz", "1/1/29", "g"},     {"H.mp3", "jazz", "1/1/30", "h"}};
        form->clearSongList();
        form->FillSongList();
        form->lstSongs_ColumnClick(SongListModel::SaveTime);
        QStringList shown;
        for (int row = 0; row < form->songRows->rowCount(); ++row)
            shown.append(form->songRows->cellText(row, SongListModel::SaveTime));
        // Two-digit years are 1930 to 2029; what is no date sorts last, by its text.
        QCOMPARE(shown, (QStringList{"1/1/30", "1/1/99", "10/8/99", "12/22/00", "11/15/01", "1/1/29", "2/30/99",
                                     "not a date"}));
        QCOMPARE(form->lstSongs->header()->sortIndicatorOrder(), Qt::AscendingOrder);
    }

    void playThisSongPlaysTheLastPreview() {
        const QString preview = programFolder() + "/" + kPreviewFileName;
        QFile::remove(preview);
        QMenu *refresh = form->command("Refresh")->menu();
        emit refresh->aboutToShow();
        for (QAction *entry : refresh->actions()) QVERIFY(!entry->isEnabled());
        refresh->actions().at(0)->trigger();
        QCOMPARE(fake->count("open"), 0);

        QFile file(preview);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        emit refresh->aboutToShow();
        for (QAction *entry : refresh->actions()) QVERIFY(entry->isEnabled());
        refresh->actions().at(3)->trigger();
        QCOMPARE(fake->calls, (std::vector<guitest::PlatformCall>{{"open", preview, 0}}));
        QFile::remove(preview);
    }

    void songCommandsFollowTheList() {
        QAction *save = form->command("Save Song");
        QAction *preview = form->command("Preview Song");
        QVERIFY(!save->isEnabled() && !preview->isEnabled());
        QVERIFY(!form->mnuSaveSong->isEnabled() && !form->mnuPreviewSong->isEnabled());
        for (QAction *entry : form->mnuSongs->actions()) QVERIFY(!entry->isEnabled());
        fillSongs();
        QVERIFY(!save->isEnabled() && !preview->isEnabled());  // listed, but none selected
        QVERIFY(!form->mnuSaveSong->isEnabled() && !form->mnuPreviewSong->isEnabled());
        form->lstSongs->setCurrentIndex(form->songRows->index(1, 0));
        QVERIFY(save->isEnabled() && preview->isEnabled());
        QVERIFY(form->mnuSaveSong->isEnabled() && form->mnuPreviewSong->isEnabled());
        QCOMPARE(form->mnuSongs->actions().size(), 2);
        for (QAction *entry : form->mnuSongs->actions()) QVERIFY(entry->isEnabled());
        form->SetCommandsEnabled(false);
        QVERIFY(!save->isEnabled() && !preview->isEnabled());
        form->SetCommandsEnabled(true);
        form->clearSongList();
        QVERIFY(!save->isEnabled() && !preview->isEnabled());
    }

    void keyboardTabsPastThePanesAndEnterSaves() {
        fillSongs();
        showActive();
        form->lstGroups->setFocus();
        QSet<QWidget *> reached;
        for (int i = 0; i < 12; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            reached.insert(QApplication::focusWidget());
        }
        QVERIFY(reached.contains(form->lstSongs));
        QVERIFY(!reached.contains(form->wbr) && !reached.contains(form->wbrHead));

        form->lstSongs->setFocus();
        form->lstSongs->setCurrentIndex(form->songRows->index(0, 0));
        QTest::keyClick(form->lstSongs, Qt::Key_Return);
        QCOMPARE(form->Running, frmMain::Operation::Save);
        QCOMPARE(form->Save.titles, QStringList{form->songRows->index(0, 0).data().toString()});
    }

    void doubleClickAndContextMenuStartTheSongCommands() {
        fillSongs();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QRect second = form->lstSongs->visualRect(form->songRows->index(1, 0));
        QTest::mouseClick(form->lstSongs->viewport(), Qt::LeftButton, {}, second.center());
        QTest::mouseDClick(form->lstSongs->viewport(), Qt::LeftButton, {}, second.center());
        // The preview of that song started (the engine is absent here, so it stays busy).
        QCOMPARE(form->lstSongs->currentIndex().row(), 1);
        QCOMPARE(form->Running, frmMain::Operation::Preview);
        QCOMPARE(shownPage(), QStringLiteral("msg003"));

        form->mnuStop_Click();
        form->lstSongs->selectionModel()->select(form->songRows->index(2, 0),
                                                 QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        QCOMPARE(form->mnuSongs->actions().at(0)->text(), QStringLiteral("Save Song"));
        QCOMPARE(form->mnuSongs->actions().at(1)->text(), QStringLiteral("Preview Song"));
        form->mnuSongs->actions().at(0)->trigger();
        QCOMPARE(form->Running, frmMain::Operation::Save);
        QCOMPARE(form->Save.titles, QStringList{"C.mp3"});
        form->mnuStop_Click();
    }

    void windowKeepsAUsableMinimumSize() {
        form->show();
        form->resize(400, 300);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(form->width() >= form->minimumWidth() && form->height() >= form->minimumHeight());
        QVERIFY(form->minimumWidth() > 400 && form->minimumHeight() > 300);
        // At the minimum the song list shows several rows beside the message pane, and nothing
        // lies outside the window.
        form->resize(form->minimumSize());
        QApplication::processEvents();
        const int rowHeight = form->lstSongs->fontMetrics().height();
        QVERIFY2(form->lstSongs->height() >= 5 * rowHeight, qPrintable(QString::number(form->lstSongs->height())));
        QVERIFY2(form->lstSongs->width() >= 200, qPrintable(QString::number(form->lstSongs->width())));
        for (QWidget *control : std::initializer_list<QWidget *>{form->lstGroups, form->txtSearch, form->lstSongs,
                                                                 form->wbr, form->wbrHead})
            QVERIFY2(form->centralWidget()->rect().contains(control->geometry()), qPrintable(control->objectName()));
    }

    void restoredGeometryDoesNotGrow() {
        QSettings(kRegistryOrganisation, kRegistryApplication).clear();
        QRect saved;
        for (int start = 0; start < 3; ++start) {
            auto window = std::make_unique<frmMain>();
            LoadSettings();
            if (start == 0) window->resize(900, 700);
            window->show();
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
            QApplication::processEvents();
            if (start > 0) QCOMPARE(window->frameGeometry().size(), saved.size());
            saved = window->frameGeometry();
            SaveSettings();
            window.reset();
        }
        attachMainForm(form.get());
    }

    void helpStartsTheTips_data() {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("after");
        QTest::newRow("rotation off") << -1 << 300;
        QTest::newRow("rotation running") << 45 << 45;
    }
    void helpStartsTheTips() {
        QFETCH(int, before);
        QFETCH(int, after);
        TipCountdown = static_cast<int16_t>(before);
        form->mnuHelp->trigger();
        QCOMPARE(int(TipCountdown), after);
        QCOMPARE(shownPage(), QStringLiteral("faq23"));
        QCOMPARE(fake->calls, (std::vector<guitest::PlatformCall>{{"open", kHelpAddress, 0}}));
    }

    void requestNeedsServerAndPort_data() {
        QTest::addColumn<QString>("server");
        QTest::addColumn<int>("port");
        QTest::newRow("no server") << "   " << 119;
        QTest::newRow("no port") << "news.example.com" << 0;
    }
    void requestNeedsServerAndPort() {
        QFETCH(QString, server);
        QFETCH(int, port);
        Settings.Server = server;
        Settings.Port = port;
        form->timTimer->start();
        form->mnuRequestSong->trigger();
        QCOMPARE(fake->calls,
                 (std::vector<guitest::PlatformCall>{
                     {"information", "Please use OPTIONS to setup your News Server and Port number first.", 0}}));
        QVERIFY(form->timTimer->isActive());
    }

    void modalFormsRunWithTheTimerOff_data() {
        QTest::addColumn<bool>("options");
        QTest::addColumn<bool>("idleBefore");
        QTest::newRow("options while idle") << true << true;
        QTest::newRow("options while a search runs") << true << false;
        QTest::newRow("request") << false << true;
    }
    void modalFormsRunWithTheTimerOff() {
        QFETCH(bool, options);
        QFETCH(bool, idleBefore);
        QSettings(kRegistryOrganisation, kRegistryApplication).clear();
        Settings.Server = "news.example.com";
        Settings.Port = 119;
        form->Idle = idleBefore;
        form->timTimer->start();
        bool timerWhileOpen = true;
        bool idleWhileOpen = true;
        QTimer::singleShot(0, form.get(), [&] {
            timerWhileOpen = form->timTimer->isActive();
            idleWhileOpen = form->Idle;
            QApplication::activeModalWidget()->close();
        });
        (options ? form->mnuOptions : form->mnuRequestSong)->trigger();
        QVERIFY(!timerWhileOpen);
        QCOMPARE(idleWhileOpen, !options && idleBefore);
        QVERIFY(form->timTimer->isActive());
        QCOMPARE(form->Idle, idleBefore);
        // Closing the options form saves the settings.
        QCOMPARE(ReadRegValue("", "Server", "<missing>"), options ? Settings.Server.text() : "<missing>");
    }

    // The request form says what the window shows after a failed post; the window shows it.
    void failedRequestIsShownInTheStatusBar() {
        Settings.Server = "news.example.com";
        Settings.Port = 119;
        notifySlots().setText(NotifySlot::EndSlot, "last engine report");
        QTimer::singleShot(0, form.get(), [] {
            auto *request = qobject_cast<frmPost *>(QApplication::activeModalWidget());
            QVERIFY(request);
            request->txtSubject->setText("Blue Moon");
            request->txtEmail->setText("fan@example.com");
            request->cmdOK_Click();  // the recording engine cannot post
        });
        form->mnuRequestSong->trigger();
        QCOMPARE(form->barStatusbar->panelText(1), QStringLiteral("last engine report"));
        QCOMPARE(fake->kinds(), (QStringList{"beep", "information"}));
    }

    void exitWritesNothingAndActivationShowsTheVersion() {
        QSettings(kRegistryOrganisation, kRegistryApplication).clear();
        Settings.Server = "news.example.com";
        form->ExitProgram();
        QCOMPARE(fake->kinds(), QStringList{"endProgram"});
        QCOMPARE(ReadRegValue("", "Server", "<missing>"), QStringLiteral("<missing>"));

        QCOMPARE(form->windowTitle(), QStringLiteral("HARBEAT"));
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QCOMPARE(form->windowTitle(), QStringLiteral("Harbeat v2.0.260"));
    }

    void captionsAreShownAsSet() {
        // A display name would be appended to every caption by the window system.
        prepareApplication();
        QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
        QCOMPARE(form->windowTitle(), QStringLiteral("HARBEAT"));
    }

private:
    void showActive() {
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
    }
    void settleKeyword() {
        QVERIFY(form->timKeyword->isActive());
        form->timKeyword->stop();
        form->txtSearch_Settled();
    }

    // Four songs in the list, sorted by title; their song ids carry blanks to be trimmed.
    void fillSongs() {
        form->SongResults = {{"A.mp3", "jazz", "1/2/99", " g1\t1\t<a@x>\f "},
                             {"B.mp3", "1990s", "1/2/99", "g2\t1\t<b@x>\f"},
                             {"C.mp3", "rare", "1/2/99", "g3\t2\t<c1@x>\f<c2@x>\f"},
                             {"D.mp3", "1980s", "1/2/99", "g4\t1\t<d@x>\f"}};
        form->clearSongList();
        form->FillSongList();
    }

    std::unique_ptr<RecordingPlatform> fake;
    std::unique_ptr<frmMain> form;
};

HARBEAT_GUI_TEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
