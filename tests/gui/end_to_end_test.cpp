// The whole program against the bundled news server with the demo spool, offscreen, as a first
// user meets it: an empty settings store, so the server check fails and the options form is
// forced; the server entered there; the complete newsgroup list loaded into the catalogue; a
// category ticked; a search; a keyword; two songs saved (a yEnc song among them); one previewed; a request posted; the
// window closed with its settings written.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QSpinBox>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTreeView>
#include <functional>

#include "catalogue/catalogue.h"
#include "forms_fixture.h"
#include "gui_test_main.h"
#include "main/frm_main.h"
#include "main/panel_status_bar.h"
#include "settings/shared_flags.h"
#include "main/song_list_model.h"
#include "newsd/news_server.h"
#include "notify/notify_slots.h"
#include "options/frm_options.h"
#include "pages/message_pages.h"
#include "platform/program_folder.h"
#include "recording_platform.h"
#include "request/frm_post.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "spool_songs.h"
#include "startup/frm_splash.h"

using namespace harbeat;
using harbeat::guitest::RecordingPlatform;

namespace {

// The window's keys are shortcuts: they reach only the active window.
bool activate(QWidget &window) {
    window.activateWindow();
    return QTest::qWaitFor([&] { return QApplication::activeWindow() == &window; });
}

const QString kSpool = QStringLiteral(HARBEAT_DEMO_SPOOL);
const QString kJazzGroup = QStringLiteral("alt.binaries.sounds.mp3.jazz");

QString shownPage(const QTextBrowser &pane) { return pagePath(pane).section(u'/', -1).section(u'.', 0, 0); }

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

int rowOfCategory(const QListWidget &list, const QString &category) {
    for (int row = 0; row < list.count(); ++row)
        if (list.item(row)->text() == category) return row;
    return -1;
}

}  // namespace

class EndToEndTest : public QObject {
    Q_OBJECT
private slots:
    void firstUserFindsSavesPreviewsAndRequests() {
        formtest::freshStart();
        newsd::NewsStore store;
        QVERIFY(store.loadSpool(kSpool.toStdString()).articlesLoaded > 400);
        newsd::NewsServer server(store);
        server.start(0);
        QTemporaryDir downloads;

        // The empty store names no server: the options form comes up at once, without a check.
        formtest::OptionsDriver driver({[&](frmOptions &options) {
            options.txtServerName->setText("127.0.0.1");
            options.txtPortNumber->setValue(server.port());
            options.txtSongRepository->setText(downloads.path());
            options.cmdOK->click();
        }});
        RecordingPlatform fake;
        frmMain form;
        form.show();
        form.Form_Load({});
        QCOMPARE(driver.shown, 1);
        QVERIFY(SearchReady);
        QVERIFY(form.Idle);
        QCOMPARE(fake.count("warning"), 0);

        // The complete list was merged: every music group of the spool, today's date stored.
        QCOMPARE(ReadRegValue("Groups", "LastChecked", "~"), TodayText());
        QCOMPARE(Groups.NumberOf, 8);
        for (const char *category :
             {"assorted", "1990s", "1980s", "jazz", "heavy metal", "rare", "classical", "oldtime radio"})
            QVERIFY2(rowOfCategory(*form.lstGroups, category) >= 0, category);

        // Tick "jazz" alone and search.
        form.lstGroups->clearSelection();
        form.lstGroups->item(rowOfCategory(*form.lstGroups, "jazz"))->setSelected(true);
        for (int n = 1; n <= Groups.NumberOf; ++n)
            QCOMPARE(Groups.entry(n).Selected, Groups.entry(n).Name == kJazzGroup);
        QVERIFY(activate(form));
        QTest::keyClick(form.lstGroups, Qt::Key_F5);
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 30000));
        QCOMPARE(shownPage(*form.wbr), QStringLiteral("msg018"));
        const int allRows = form.songRows->rowCount();
        // 20 songs were posted, two of them miss a part.
        QCOMPARE(allRows, 18);

        // yEnc songs are listed under their file names, without quotes, "yEnc" or the size.
        const QStringList yencSongs = guitest::postedYencSongs(kSpool + "/" + kJazzGroup);
        QVERIFY(yencSongs.size() >= 2);
        int yencRow = -1;
        for (const QString &name : yencSongs) {
            int listedAt = -1;
            for (int row = 0; row < allRows; ++row)
                if (form.songRows->record(row).title.trimmed() == name) listedAt = row;
            QVERIFY2(listedAt >= 0, qPrintable(name));
            if (yencRow < 0) yencRow = listedAt;
        }

        // A keyword narrows the list, in any letter case.
        const QString keyword = form.songRows->record(0).title.section(' ', 0, 0).toUpper();
        form.txtSearch->setText(keyword);
        QTRY_VERIFY(!form.timKeyword->isActive());
        const int shown = form.songRows->rowCount();
        QVERIFY(shown >= 1 && shown < allRows);
        for (int row = 0; row < shown; ++row) QVERIFY(form.songRows->record(row).title.toUpper().contains(keyword));
        form.txtSearch->setText(QString());
        QTRY_COMPARE(form.songRows->rowCount(), allRows);

        // Save two songs, a yEnc song and another: byte-identical files in the download folder.
        const int otherRow = yencRow == 0 ? 1 : 0;
        form.lstSongs->setFocus();
        form.lstSongs->selectionModel()->select(form.songRows->index(otherRow, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        form.lstSongs->selectionModel()->select(form.songRows->index(yencRow, 0),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
        form.lstSongs->selectionModel()->setCurrentIndex(form.songRows->index(yencRow, 0),
                                                         QItemSelectionModel::NoUpdate);
        QTest::keyClick(form.lstSongs, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 30000));
        QCOMPARE(shownPage(*form.wbr), QStringLiteral("msg014"));
        const std::map<QString, QByteArray> posted = guitest::postedSongFiles(kSpool + "/" + kJazzGroup);
        const QStringList saved = QDir(downloads.path()).entryList(QDir::Files);
        QCOMPARE(saved.size(), 2);
        int savedYenc = 0;
        for (const QString &name : saved) {
            QVERIFY2(posted.count(name), qPrintable(name));
            QVERIFY2(fileBytes(downloads.filePath(name)) == posted.at(name), qPrintable(name));
            savedYenc += yencSongs.contains(name) ? 1 : 0;
        }
        QCOMPARE(savedYenc, 1);

        // Preview one: the player is asked to open the preview file.
        form.lstSongs->clearSelection();
        form.lstSongs->setCurrentIndex(form.songRows->index(2, 0));
        QTest::keyClick(form.lstSongs, Qt::Key_P, Qt::ControlModifier);
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 30000));
        const QString preview = previewFolder() + "/Harbeat_Preview.mp3";
        QCOMPARE(fake.calls.back(), (guitest::PlatformCall{"open", preview, 0}));
        QVERIFY(QFile::exists(preview));
        QFile::remove(preview);

        // Post a request; the server stores it in the request group.
        {
            frmPost request(&form);
            request.txtSubject->setText("Any song from 1994");
            request.txtBody->setPlainText("Thanks!");
            request.txtEmail->setText("  reader@example.net ");
            request.cmdOK_Click();
        }
        const std::vector<std::string> articles = store.postedArticles();
        QCOMPARE(articles.size(), std::size_t(1));
        const QString article = QString::fromStdString(articles[0]);
        QVERIFY(article.contains("Newsgroups: alt.binaries.sounds.mp3.requests\r\n"));
        QVERIFY(article.contains("Subject: Any song from 1994\r\n"));
        QVERIFY(article.contains("From: reader@example.net\r\n"));
        QVERIFY(article.contains("Thanks!\r\n\r\nThis song request was posted by Harbeat\r\n"));

        // Closing writes the settings.
        QVERIFY(form.close());
        QSettings stored(kRegistryOrganisation, kRegistryApplication);
        QCOMPARE(stored.value("Server").toString(), QStringLiteral("127.0.0.1"));
        QCOMPARE(stored.value("Port").toString(), QString::number(server.port()));
        QCOMPARE(stored.value("SaveDir").toString(), downloads.path());
        QCOMPARE(stored.value("PostEmail").toString(), QStringLiteral("reader@example.net"));
        QCOMPARE(stored.value("Groups/NumberOf").toString(), QStringLiteral("8"));
        bool jazzStoredSelected = false;
        for (int n = 1; n <= 8; ++n)
            if (stored.value(QString("Groups/Group%1/Name").arg(n)).toString() == kJazzGroup)
                jazzStoredSelected = stored.value(QString("Groups/Group%1/Selected").arg(n)).toString() == "True";
        QVERIFY(jazzStoredSelected);
        server.stop();
    }

    // The keyword box while typing, a save that cannot be written, a search that cannot start,
    // and a stopped search, against the real engine.
    void typingSavingAndStoppingAsAUserDoes() {
        formtest::freshStart();
        newsd::NewsStore store;
        QVERIFY(store.loadSpool(kSpool.toStdString()).articlesLoaded > 400);
        newsd::NewsServer server(store);
        server.start(0);
        formtest::storeServer("127.0.0.1", server.port());
        // The download folder is a file: nothing can be written into it, whoever runs the test.
        QTemporaryDir scratch;
        const QString notAFolder = scratch.filePath("songs");
        QFile blocker(notAFolder);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        WriteRegValue("", "SaveDir", notAFolder);
        formtest::OptionsDriver driver({});
        RecordingPlatform fake;
        frmMain form;
        form.show();
        form.Form_Load({});
        QCOMPARE(driver.shown, 0);
        QVERIFY(form.Idle);
        QVERIFY(activate(form));
        search(form, "jazz");
        const int jazzRows = form.songRows->rowCount();
        QCOMPARE(jazzRows, 18);
        QCOMPARE(form.barStatusbar->panelText(2).section(", ", -1), QStringLiteral("18 songs"));

        // Typing stays instant, a pasted long keyword too; the list follows once typing pauses.
        QElapsedTimer typing;
        typing.start();
        form.txtSearch->setText(QString(1000, u'x'));
        form.txtSearch->clear();
        const QString keyword = form.songRows->record(0).title.left(10);
        form.txtSearch->setFocus();
        QTest::keyClicks(form.txtSearch, keyword);
        QVERIFY2(typing.elapsed() < 400, qPrintable(QString::number(typing.elapsed())));
        QCOMPARE(form.songRows->rowCount(), jazzRows);
        QTRY_VERIFY(form.songRows->rowCount() < jazzRows);
        for (int row = 0; row < form.songRows->rowCount(); ++row)
            QVERIFY(form.songRows->record(row).title.contains(keyword, Qt::CaseInsensitive));
        QCOMPARE(fake.count("pause"), 0);
        form.txtSearch->clear();
        QTRY_COMPARE(form.songRows->rowCount(), jazzRows);

        // A save into a folder that cannot be written is not shown as saved.
        form.lstSongs->setFocus();
        for (const int row : {0, 1})
            form.lstSongs->selectionModel()->select(form.songRows->index(row, 0),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        const QStringList titles{form.songRows->record(0).title, form.songRows->record(1).title};
        fake.calls.clear();
        QVERIFY(activate(form));
        QTest::keyClick(form.lstSongs, Qt::Key_S, Qt::ControlModifier);
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 30000));
        QVERIFY(shownPage(*form.wbr) != QStringLiteral("msg014"));
        QCOMPARE(form.barStatusbar->panelText(1), "No song was saved in " + notAFolder);
        QCOMPARE(fake.count("warning"), 1);
        const QString box = fake.calls.back().text;
        for (const QString &title : titles)
            QVERIFY2(box.contains(title.trimmed() + " - Cannot create the file"), qPrintable(box));
        QVERIFY(!form.isHidden() && form.command("Start Search")->isEnabled());

        // A stopped search and the keyword box show only that search's songs, never the jazz ones.
        fake.calls.clear();
        search(form, "1990s", [&] {
            form.txtSearch->setText("a");
            form.timKeyword->stop();
            form.txtSearch_Settled();
            QCOMPARE(jazzRowsIn(form), 0);
            QTest::keyClick(form.lstSongs, Qt::Key_Escape);
        });
        QVERIFY(form.Idle);
        form.txtSearch->clear();
        form.timKeyword->stop();
        form.txtSearch_Settled();
        QCOMPARE(jazzRowsIn(form), 0);

        // A search whose server went away says why, and lists nothing.
        server.stop();
        SearchReady = 0;
        fake.calls.clear();
        QTest::keyClick(form.lstGroups, Qt::Key_F5);
        QCOMPARE(fake.count("warning"), 1);
        QVERIFY2(fake.calls.back().text.startsWith("Error - ") && fake.calls.back().text.size() > 8 + 4,
                 qPrintable(fake.calls.back().text));
        QVERIFY(fake.calls.back().text.contains("Harbeat is unable to connect to your news server."));
        QCOMPARE(form.songRows->rowCount(), 0);
        QVERIFY(form.Idle);
    }

private:
    // Ticks the one category, starts a search with F5 and waits for its end; `whileRunning`
    // runs once the search has started.
    static void search(frmMain &form, const QString &category, const std::function<void()> &whileRunning = {}) {
        form.lstGroups->clearSelection();
        form.lstGroups->item(rowOfCategory(*form.lstGroups, category))->setSelected(true);
        QTest::keyClick(form.lstGroups, Qt::Key_F5);
        QVERIFY(!form.Idle);
        if (whileRunning) whileRunning();
        QVERIFY(QTest::qWaitFor([&] { return form.Idle; }, 30000));
    }

    static int jazzRowsIn(const frmMain &form) {
        int jazz = 0;
        for (int row = 0; row < form.songRows->rowCount(); ++row)
            if (form.songRows->record(row).category == u"jazz") ++jazz;
        return jazz;
    }
};

HARBEAT_GUI_TEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
