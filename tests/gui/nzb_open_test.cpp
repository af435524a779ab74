// Opening an NZB file from the window: the File menu and its key, a dropped file, the command
// line; the songs it lists replace the list as a search's do and are saved the same way.
#include "main/nzb_open.h"

#include <QAction>
#include <QDir>
#include <QMenuBar>
#include <QMimeData>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <QUrl>
#include <memory>

#include "corvane_n.h"
#include "gui_test_main.h"
#include "main/frm_main.h"
#include "main/main_keys.h"
#include "main/song_list_model.h"
#include "notify/notify_slots.h"
#include "ole_text.h"
#include "pages/tip_pages.h"
#include "recording_engine.h"
#include "recording_platform.h"
#include "settings/settings.h"

using namespace harbeat;
using harbeat::guitest::EngineCall;
using harbeat::guitest::RecordingPlatform;

class NzbOpenTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { guitest::useRecordingEngine(); }
    void init() {
        notifySlots().clear();
        Settings = SettingsRecord{};
        TipCountdown = -1;
        guitest::engineCalls().clear();
        fake = std::make_unique<RecordingPlatform>();
        form = std::make_unique<frmMain>();
        form->setupSongColumns({4000, 1000, 950, 0, 0});
        form->SetCommandsEnabled(true);
        form->Idle = true;
        form->timTimer->start();
    }
    void cleanup() {
        form.reset();
        fake.reset();
    }

    // The chosen file's songs replace the list; Save takes them as it takes a search's.
    void fileMenuOpensTheChosenFile() {
        form->SongResults = {{"Old.mp3", "jazz", "1/2/99", "g\t1\t<old@x>\f"}};
        form->FillSongList();
        QAction *fileMenu = form->menuBar()->actions().value(0);
        QVERIFY(fileMenu && fileMenu->menu());
        QCOMPARE(fileMenu->text(), QStringLiteral("File"));
        QAction *open = fileMenu->menu()->actions().value(0);
        QCOMPARE(open->text(), QStringLiteral("Open NZB…\tCtrl+Shift+O"));

        fake->fileAnswers = {QStringLiteral("/music/Some Album.nzb")};
        open->trigger();
        QCOMPARE(fake->kinds(), QStringList{"pickFile"});
        QCOMPARE(guitest::engineCalls(),
                 (std::vector<EngineCall>{{"mp3OpenNzb", {QStringLiteral("/music/Some Album.nzb")}}}));
        QCOMPARE(form->songRows->rowCount(), 0);
        QVERIFY(!form->Idle);
        QVERIFY(form->command("Stop")->isEnabled());
        QVERIFY(form->timTimer->isActive());

        for (const char *line : {"\tA.mp3\tnzb\tFri, 01 Mar 2024 00:00:00 +0000\ta.b.mp3\t2\t<a1@x>\f<a2@x>\f\r\n",
                                 "\tB.mp3\tnzb\tFri, 01 Mar 2024 00:00:00 +0000\ta.b.mp3\t1\t<b@x>\f\r\n"})
            harbeat::StatusCallback(kNotifySong, guitest::OleText(QString::fromUtf8(line)).get());
        harbeat::StatusCallback(kNotifySearchDone, guitest::OleText("DONE").get());
        form->timTimer_Timer();
        QVERIFY(form->Idle);
        QCOMPARE(form->songRows->rowCount(), 2);
        QCOMPARE(form->songRows->cellText(0, SongListModel::Group), QStringLiteral("nzb"));
        QCOMPARE(form->songRows->cellText(0, SongListModel::SaveTime), QStringLiteral("3/1/24"));
        form->lstSongs->selectAll();
        QCOMPARE(form->BuildSaveList(), QStringLiteral("a.b.mp3\t2\t<a1@x>\f<a2@x>\f\r\na.b.mp3\t1\t<b@x>\f\r\n"));
    }

    void cancelledChoiceOpensNothing() {
        chooseNzbFile(*form);
        QCOMPARE(fake->kinds(), QStringList{"pickFile"});
        QVERIFY(guitest::engineCalls().empty());
        QVERIFY(form->Idle);
    }

    // Ctrl+Shift+O is one of the window's keys; Ctrl+O stays Options.
    void ctrlShiftOChoosesAFile() {
        QCOMPARE(commandForKey(Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier), MainCommand::OpenNzb);
        QCOMPARE(commandForKey(Qt::Key_O, Qt::ControlModifier), MainCommand::Options);
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form->lstSongs, Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(fake->kinds(), QStringList{"pickFile"});
    }

    void busyWindowOpensNothing() {
        form->Idle = false;
        fake->fileAnswers = {QStringLiteral("/music/a.nzb")};
        chooseNzbFile(*form);
        openNzbFile(*form, QStringLiteral("/music/a.nzb"));
        QVERIFY(fake->calls.empty());
        QVERIFY(guitest::engineCalls().empty());
    }

    void droppedFiles_data() {
        QTest::addColumn<QList<QUrl>>("urls");
        QTest::addColumn<QString>("opened");
        QTest::newRow("nzb") << QList<QUrl>{QUrl::fromLocalFile("/music/a.nzb")} << "/music/a.nzb";
        QTest::newRow("compressed, after a text file")
            << QList<QUrl>{QUrl::fromLocalFile("/music/notes.txt"), QUrl::fromLocalFile("/music/B.NZB.GZ")}
            << "/music/B.NZB.GZ";
        QTest::newRow("text file") << QList<QUrl>{QUrl::fromLocalFile("/music/notes.txt")} << "";
        QTest::newRow("web address") << QList<QUrl>{QUrl("http://example.com/a.nzb")} << "";
    }
    void droppedFiles() {
        QFETCH(QList<QUrl>, urls);
        QFETCH(QString, opened);
        QMimeData data;
        data.setUrls(urls);
        QVERIFY(form->acceptDrops());
        QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &enter);
        QCOMPARE(enter.isAccepted(), !opened.isEmpty());
        QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(form.get(), &drop);
        QCoreApplication::processEvents();
        const std::vector<EngineCall> expected =
            opened.isEmpty() ? std::vector<EngineCall>{} : std::vector<EngineCall>{{"mp3OpenNzb", {opened}}};
        QCOMPARE(guitest::engineCalls(), expected);
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("nzb");
        QTest::newRow("none") << QStringList{} << "";
        QTest::newRow("debug log") << QStringList{"debug", "log"} << "";
        QTest::newRow("absolute") << QStringList{"/music/a.nzb"} << "/music/a.nzb";
        QTest::newRow("relative, compressed")
            << QStringList{"b.Nzb.Gz"} << QDir::current().absoluteFilePath("b.Nzb.Gz");
        QTest::newRow("other file") << QStringList{"a.nzb.txt"} << "";
    }
    void commandLine() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, nzb);
        QCOMPARE(nzbPathFromArguments(arguments), nzb);
    }

private:
    std::unique_ptr<RecordingPlatform> fake;
    std::unique_ptr<frmMain> form;
};

HARBEAT_GUI_TEST_MAIN(NzbOpenTest)
#include "nzb_open_test.moc"
