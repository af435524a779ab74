// The options form: OK from the main window and during the start-up check (the server-change
// question, the engine check, the reset), the fields it loads and stores, Browse and Help.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSpinBox>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "catalogue/catalogue.h"
#include "core/engine_options.h"
#include "forms_fixture.h"
#include "gui_test_main.h"
#include "main/frm_main.h"
#include "main/nzb_open.h"
#include "settings/shared_flags.h"
#include "options/frm_options.h"
#include "platform/program_folder.h"
#include "recording_platform.h"
#include "server/engine_options.h"
#include "server/server_check.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "startup/frm_splash.h"

using namespace harbeat;
using namespace harbeat::formtest;
using guitest::RecordingPlatform;

namespace {

const QString kQuestion = QStringLiteral(
    "You have selected a different Newsgroup Server.\r\nYour newsgroup list will now be reset.\r\n\r\nPress OK to "
    "continue.");

constexpr int kMusicGroups = 4;

// How many connections one server check opens, against a server that answers.
std::size_t connectionsOfOneCheck() {
    newsd::NewsStore store;
    addStandardGroups(store);
    auto server = startServer(store);
    const QString storedServer = Settings.Server.text();
    const int32_t storedPort = Settings.Port;
    Settings.Server = "127.0.0.1";
    Settings.Port = server->port();
    QString errorText;
    if (!CheckServerSettings(errorText)) qWarning("server check failed: %s", qPrintable(errorText));
    Settings.Server = storedServer;
    Settings.Port = storedPort;
    return server->connectionsAccepted();
}

// A server that stops answering at the first `command` of each connection.
newsd::ServerOptions silentFrom(const std::string &command) {
    newsd::CommandRule rule;
    rule.command = command;
    rule.action = newsd::CommandRule::Action::Silence;
    newsd::ServerOptions options;
    options.rules.push_back(rule);
    return options;
}

// A form that stays shown, without a modal loop, so the test drives it directly.
frmOptions &openOptions(frmMain &main) {
    frmOptions &form = main.optionsForm();
    form.show();
    return form;
}

}  // namespace

class OptionsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useLinkedEngine(); }
    void init() { freshStart(); }

    void ok_comparesTheServerAndChecksIt_data() {
        QTest::addColumn<QString>("typedServer");
        QTest::addColumn<bool>("startupCheck");
        QTest::addColumn<bool>("answer");  // to the server-change question
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("checked");  // the engine check ran
        QTest::addColumn<bool>("reset");
        QTest::newRow("unchanged server: one check") << "localhost" << false << true << false << true << true << false;
        QTest::newRow("new server, question cancelled: nothing stored")
            << "127.0.0.1" << false << false << true << false << false << false;
        QTest::newRow("letter case only: a different server")
            << "LOCALHOST" << false << false << true << false << false << false;
        QTest::newRow("new server, question OK: the catalogue is rebuilt")
            << "127.0.0.1" << false << true << true << true << true << true;
        QTest::newRow("new server during the start-up check: no question, no check")
            << "127.0.0.1" << true << true << false << true << false << false;
    }
    void ok_comparesTheServerAndChecksIt() {
        QFETCH(QString, typedServer);
        QFETCH(bool, startupCheck);
        QFETCH(bool, answer);
        QFETCH(bool, asked);
        QFETCH(bool, stored);
        QFETCH(bool, checked);
        QFETCH(bool, reset);
        newsd::NewsStore store;
        addStandardGroups(store);
        auto server = startServer(store);
        Settings.Server = "localhost";
        Settings.Port = server->port();
        Groups.entries.assign(1, GroupEntry{"alt.binaries.sounds.mp3.jazz", "jazz", true});
        Groups.NumberOf = 1;
        Groups.LastChecked = TodayText();
        RecordingPlatform fake;
        fake.okCancelAnswers = {answer};
        frmMain main;
        main.show();
        frmOptions &form = openOptions(main);
        form.bStartupCheck = startupCheck;
        form.txtServerName->setText(typedServer);
        form.txtEmail->setText("me@example.com");
        form.txtSearchDepth->setText("1000");
        form.txtConnections->setValue(12);
        QVERIFY(QDir().mkpath(OverviewCacheFolder()));
        const QString cacheFile = OverviewCacheFolder() + "/group-0123456789abcdef.ovc";
        QFile(cacheFile).open(QIODevice::WriteOnly);
        corvane::resetEngineOptionsForTests();

        form.cmdOK_Click();

        // Every check hands the engine the options first; the catalogue reset empties the cache.
        if (checked) {
            QCOMPARE(corvane::engineOptions().searchDepth, 1000);
            QVERIFY(corvane::engineOptions().compress);  // the box is ticked unless the user unticks it
            QCOMPARE(corvane::engineOptions().connections, 12);
            QCOMPARE(QString::fromStdString(corvane::engineOptions().overviewCache), OverviewCacheFolder());
        }
        QCOMPARE(QFile::exists(cacheFile), !reset);

        QCOMPARE(fake.count("question"), asked ? 1 : 0);
        if (asked) QCOMPARE(fake.calls.front().text, kQuestion);
        QCOMPARE(fake.count("information") + fake.count("warning"), 0);
        QCOMPARE(form.bServerChanged, typedServer != "localhost");
        QCOMPARE(Settings.Server.text(), stored ? typedServer : QStringLiteral("localhost"));
        QCOMPARE(ReadRegValue("", "PostEmail", ""), stored ? QStringLiteral("me@example.com") : QString());
        QCOMPARE(server->connectionsAccepted() > 0, checked);
        QCOMPARE(form.isVisible(), !stored);  // cancelling the question keeps the dialog
        if (reset) {
            QCOMPARE(Groups.NumberOf, kMusicGroups);
            QCOMPARE(Groups.LastChecked.text(), TodayText());
            QVERIFY(main.isVisible());
            QCOMPARE(loadedOptionsForm(), nullptr);
        } else {
            QCOMPARE(Groups.NumberOf, 1);
            QCOMPARE(loadedOptionsForm(), &form);
        }
    }

    void loadAndOk_moveTheFields_data() {
        QTest::addColumn<QString>("storedSpeed");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("typedEmail");
        QTest::addColumn<QString>("speedAfter");
        QTest::addColumn<QString>("emailAfter");
        QTest::newRow("unknown speed keeps Cable Modem") << "33600" << 4 << "a@b.c"
                                                         << "500000"
                                                         << "a@b.c";
        QTest::newRow("stored speed selected, e-mail trimmed") << " 56000 " << 1 << "  me@example.com  "
                                                               << "56000"
                                                               << "me@example.com";
    }
    void loadAndOk_moveTheFields() {
        QFETCH(QString, storedSpeed);
        QFETCH(int, selected);
        QFETCH(QString, typedEmail);
        QFETCH(QString, speedAfter);
        QFETCH(QString, emailAfter);
        Settings.Server = " news.example ";
        Settings.ConnectSpeed = storedSpeed;
        Settings.PostEmail = " old@example.com ";
        frmMain main;
        frmOptions &form = openOptions(main);
        QCOMPARE(form.txtServerName->text(), QStringLiteral("news.example"));
        QCOMPARE(form.txtEmail->text(), QStringLiteral("old@example.com"));
        for (int index = 0; index < 6; ++index) QCOMPARE(form.optConnectSpeeds[index]->isChecked(), index == selected);
        form.bStartupCheck = true;  // stores the fields without an engine check
        form.txtEmail->setText(typedEmail);

        form.cmdOK_Click();

        QCOMPARE(Settings.ConnectSpeed.text(), speedAfter);
        QCOMPARE(ReadRegValue("", "PostEmail", ""), emailAfter);
    }

    void tlsBox_movesOnlyTheUsualPorts_data() {
        QTest::addColumn<bool>("storedTls");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("portAfter");
        QTest::newRow("ticked on 119: 563") << false << "119"
                                            << "563";
        QTest::newRow("unticked on 563: 119") << true << "563"
                                              << "119";
        QTest::newRow("ticked on a provider's own port: kept") << false << "8119"
                                                               << "8119";
        QTest::newRow("unticked on a provider's own port: kept") << true << "8563"
                                                                 << "8563";
        QTest::newRow("ticked on 563 already: kept") << false << "563"
                                                     << "563";
    }
    void tlsBox_movesOnlyTheUsualPorts() {
        QFETCH(bool, storedTls);
        QFETCH(QString, port);
        QFETCH(QString, portAfter);
        Settings.Server = "news.example";
        Settings.Port = 119;
        Settings.UseTLS = storedTls;
        frmMain main;
        frmOptions &form = openOptions(main);
        // Loading the stored setting moves no port.
        QCOMPARE(form.chkUseTLS->isChecked(), storedTls);
        QCOMPARE(form.txtPortNumber->value(), 119);
        form.txtPortNumber->setValue(port.toInt());

        QTest::mouseClick(form.chkUseTLS, Qt::LeftButton);

        QCOMPARE(form.chkUseTLS->isChecked(), !storedTls);
        QCOMPARE(form.txtPortNumber->value(), portAfter.toInt());
        form.bStartupCheck = true;
        form.cmdOK_Click();
        QCOMPARE(Settings.UseTLS, !storedTls);
        QCOMPARE(Settings.Port, portAfter.toInt());
        QVERIFY(form.bServerChanged);
    }

    void tlsChange_isAServerChange() {
        Settings.Server = "news.example";
        Settings.Port = 119;
        RecordingPlatform fake;
        fake.okCancelAnswers = {false};
        frmMain main;
        frmOptions &form = openOptions(main);
        form.chkUseTLS->click();

        form.cmdOK_Click();

        QCOMPARE(fake.count("question"), 1);
        QCOMPARE(fake.calls.front().text, kQuestion);
        QVERIFY(form.bServerChanged);
        QVERIFY(!Settings.UseTLS);  // cancelled: nothing stored
        QCOMPARE(Settings.Port, 119);
    }

    // The server check hands the setting to the engine first: against a plain server, an
    // encrypted connection fails with the engine's text, a plain one passes.
    void serverCheck_appliesTheTlsSetting_data() {
        QTest::addColumn<bool>("useTls");
        QTest::newRow("plain") << false;
        QTest::newRow("encrypted") << true;
    }
    void serverCheck_appliesTheTlsSetting() {
        QFETCH(bool, useTls);
        corvane::resetEngineOptionsForTests();
        newsd::NewsStore store;
        addStandardGroups(store);
        auto server = startServer(store);
        Settings.Server = "127.0.0.1";
        Settings.Port = server->port();
        Settings.UseTLS = useTls;
        QString errorText;

        const bool accepted = CheckServerSettings(errorText);

        QCOMPARE(corvane::engineOptions().tls, useTls);
        QCOMPARE(accepted, !useTls);
        if (useTls) QVERIFY2(errorText.startsWith("The server on port "), qPrintable(errorText));
        corvane::resetEngineOptionsForTests();
    }

    // While the search's own server check waits for a silent server, the window handles its
    // events; the commands that would reach the server beside that check are refused, whether
    // they come from a key or the menu, also after a Stop: no form opens, no second check runs.
    void searchRecheck_refusesCommandsThatReachTheServer_data() {
        QTest::addColumn<QStringList>("commands");
        QTest::addColumn<int>("warnings");  // the search's own "cannot start" box, unless stopped
        QTest::newRow("Ctrl+O") << QStringList{"Ctrl+O"} << 1;
        QTest::newRow("menu Options") << QStringList{"menu Options"} << 1;
        QTest::newRow("Ctrl+R") << QStringList{"Ctrl+R"} << 1;
        QTest::newRow("Esc, then F5") << QStringList{"Esc", "F5"} << 0;
        QTest::newRow("NZB file dropped") << QStringList{"drop NZB"} << 1;
    }
    void searchRecheck_refusesCommandsThatReachTheServer() {
        QFETCH(QStringList, commands);
        QFETCH(int, warnings);
        newsd::NewsStore store;
        addStandardGroups(store);
        auto silent = startServer(store, silentFrom("GROUP"));
        Settings.Server = "127.0.0.1";
        Settings.Port = silent->port();
        Groups.entries.assign(1, GroupEntry{"alt.binaries.sounds.mp3.jazz", "jazz", true});
        Groups.NumberOf = 1;
        // Options' OK would check the server again; any other form is closed at once.
        OptionsDriver driver({[](frmOptions &form) { form.cmdOK->click(); }});
        QStringList otherForms;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && !qobject_cast<frmOptions *>(modal)) {
                otherForms.append(modal->objectName());
                modal->close();
            }
        });
        closer.start(5);
        RecordingPlatform fake;
        frmMain main;
        main.ShowGroupList();
        main.SetCommandsEnabled(true);
        main.Idle = true;
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        SearchReady = 0;
        bool checkWaiting = false;
        bool nzbStarted = false;
        QTimer::singleShot(0, &main, [&] {
            checkWaiting = ServerCheckRunning();
            for (const QString &command : commands) {
                if (command == "Ctrl+O") QTest::keyClick(main.lstGroups, Qt::Key_O, Qt::ControlModifier);
                if (command == "menu Options") main.mnuOptions->trigger();
                if (command == "Ctrl+R") QTest::keyClick(main.lstGroups, Qt::Key_R, Qt::ControlModifier);
                if (command == "Esc") QTest::keyClick(main.lstGroups, Qt::Key_Escape);
                if (command == "F5") QTest::keyClick(main.lstGroups, Qt::Key_F5);
                if (command == "drop NZB") {
                    // Refused by the check itself, not only by the busy window.
                    const bool idle = std::exchange(main.Idle, true);
                    openNzbFile(main, QDir::temp().filePath("dropped.nzb"));
                    nzbStarted = main.Running != frmMain::Operation::None;
                    main.Idle = idle;
                }
            }
        });

        QTest::keyClick(main.lstGroups, Qt::Key_F5);

        QVERIFY(checkWaiting);
        QVERIFY(!nzbStarted);
        QVERIFY(!ServerCheckRunning());
        QCOMPARE(driver.shown, 0);
        QCOMPARE(otherForms, QStringList{});
        QCOMPARE(silent->connectionsAccepted(), connectionsOfOneCheck());
        QCOMPARE(fake.count("warning"), warnings);
        if (warnings > 0)
            QVERIFY2(fake.calls.back().text.startsWith("Error - Timed Out"), qPrintable(fake.calls.back().text));
        QVERIFY(main.Idle);
    }

    // A check asked for while one runs is refused at once and leaves the settings to the first.
    void check_refusedWhileAnotherRuns() {
        newsd::NewsStore store;
        addStandardGroups(store);
        auto silent = startServer(store, silentFrom("GROUP"));
        Settings.Server = "127.0.0.1";
        Settings.Port = silent->port();
        QString inner;
        bool innerAccepted = true;
        QString outer;

        const bool accepted = CheckServerSettings(outer, [&] {
            if (inner.isEmpty()) {
                Settings.Server = " other.example ";
                innerAccepted = CheckServerSettings(inner);
            }
        });

        QVERIFY(!accepted);
        QVERIFY2(outer.startsWith("Timed Out"), qPrintable(outer));
        QVERIFY(!innerAccepted);
        QCOMPARE(inner, kCheckRunningText);
        QCOMPARE(Settings.Server.text(), QStringLiteral(" other.example "));  // not even trimmed
        QCOMPARE(silent->connectionsAccepted(), connectionsOfOneCheck());
    }

    void browse_opensAtTheCurrentDownloadFolder_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("opensAt");
        QTest::newRow("the folder in the box") << " /srv/songs "
                                               << "/srv/songs";
        QTest::newRow("no folder: the default one") << "" << defaultSaveFolder();
    }
    void browse_opensAtTheCurrentDownloadFolder() {
        QFETCH(QString, typed);
        QFETCH(QString, opensAt);
        RecordingPlatform fake;
        fake.folderAnswers = {"/srv/chosen"};
        frmMain main;
        frmOptions &form = openOptions(main);
        form.txtSongRepository->setText(typed);

        form.cmdBrowseFolder->click();

        QCOMPARE(fake.folderStarts, std::vector<QString>{opensAt});
        QCOMPARE(form.txtSongRepository->text(), QStringLiteral("/srv/chosen"));
    }

    void searchDepth_loadsAndStores_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qlonglong>("stored");
        QTest::newRow("a number") << "250000" << 250000LL;
        QTest::newRow("0 reads all, blanks around") << " 0 " << 0LL;
        QTest::newRow("not a number keeps the depth") << "lots" << 1234LL;
        QTest::newRow("negative keeps the depth") << "-1" << 1234LL;
    }
    void searchDepth_loadsAndStores() {
        QFETCH(QString, typed);
        QFETCH(qlonglong, stored);
        Settings.SearchDepth = 1234;
        frmMain main;
        frmOptions &form = openOptions(main);
        QCOMPARE(form.txtSearchDepth->text(), QStringLiteral("1234"));
        form.bStartupCheck = true;
        form.txtSearchDepth->setText(typed);

        form.cmdOK_Click();

        QCOMPARE(static_cast<qlonglong>(Settings.SearchDepth), stored);
        QVERIFY(OverviewCacheFolder().endsWith("/harbeat/overview"));
    }

    void compressOverviews_storedAndHandedToTheEngine_data() {
        QTest::addColumn<bool>("ticked");
        QTest::newRow("ticked") << true;
        QTest::newRow("unticked") << false;
    }
    void compressOverviews_storedAndHandedToTheEngine() {
        QFETCH(bool, ticked);
        Settings.CompressOverviews = !ticked;
        frmMain main;
        frmOptions &form = openOptions(main);
        QCOMPARE(form.chkCompressOverviews->isChecked(), !ticked);
        form.bStartupCheck = true;
        form.chkCompressOverviews->setChecked(ticked);

        form.cmdOK_Click();

        QCOMPARE(Settings.CompressOverviews, ticked);
        corvane::resetEngineOptionsForTests();
        ApplyEngineOptions();
        QCOMPARE(corvane::engineOptions().compress, ticked);
        corvane::resetEngineOptionsForTests();
    }

    // "Trusted certificates file..." under the TLS box: chosen through the file chooser (a
    // cancelled choice keeps the field), stored as TLSCAFile and handed to the engine.
    void trustedCertificatesFile_chosenStoredAndApplied_data() {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("stored");
        QTest::newRow("a file chosen") << "/home/me/own-server.pem" << "/home/me/own-server.pem";
        QTest::newRow("chooser cancelled") << "" << "/etc/old.pem";
    }
    void trustedCertificatesFile_chosenStoredAndApplied() {
        QFETCH(QString, chosen);
        QFETCH(QString, stored);
        Settings.TLSCAFile = "/etc/old.pem";
        RecordingPlatform fake;
        fake.fileAnswers = {chosen};
        frmMain main;
        frmOptions &form = openOptions(main);
        QCOMPARE(form.txtTLSCAFile->text(), QStringLiteral("/etc/old.pem"));
        form.bStartupCheck = true;

        form.cmdTLSCAFile->click();
        form.cmdOK_Click();

        QCOMPARE(fake.kinds(), QStringList{"pickFile"});
        QCOMPARE(Settings.TLSCAFile, stored);
        SaveSettings();
        QCOMPARE(ReadRegValue("", "TLSCAFile", ""), stored);
        corvane::resetEngineOptionsForTests();
        ApplyEngineOptions();
        QCOMPARE(QString::fromStdString(corvane::engineOptions().tlsCaFile), stored);
        corvane::resetEngineOptionsForTests();
    }

    // The box after a failed check says what to change: certificates after a certificate or
    // encryption error, the encrypted port after a plain connection to 563 that got no answer,
    // the newsgroup after a 411; the connection text otherwise.
    void problemText_fitsTheFailure_data() {
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("says");
        const QString certificates = "Trusted certificates file...";
        const QString port563 = "port 563 is usually the encrypted port: tick Use an encrypted connection";
        const QString connect = "unable to connect";
        QTest::newRow("self-signed") << "Certificate not trusted (self-signed certificate)." << true << 563
                                     << certificates;
        QTest::newRow("handshake") << "The encrypted handshake failed (wrong version number)." << true << 563
                                   << certificates;
        QTest::newRow("unreadable file") << "The file of trusted certificates cannot be read (/x)." << true << 563
                                         << certificates;
        QTest::newRow("563 plain, time-out") << "Timed Out, server has not responded." << false << 563 << port563;
        QTest::newRow("563 plain, no text") << "Address h, Port 563 is not an NNTP Server." << false << 563
                                            << port563;
        QTest::newRow("119 plain, time-out") << "Timed Out, server has not responded." << false << 119 << connect;
        QTest::newRow("no such group") << "411 No such newsgroup\r\n" << false << 119 << "does not carry";
        QTest::newRow("refused") << "Connection refused." << false << 119 << connect;
    }
    void problemText_fitsTheFailure() {
        QFETCH(QString, error);
        QFETCH(bool, tls);
        QFETCH(int, port);
        QFETCH(QString, says);
        Settings.UseTLS = tls;
        Settings.Port = port;
        const QString text = ServerProblemText(error);
        QVERIFY2(text.contains(says), qPrintable(text));
        if (says != u"unable to connect") QVERIFY2(!text.contains("modem"), qPrintable(text));
    }

    // The backup fields load from the settings, the box moves the usual ports as the main
    // server's does, OK stores them and the next check hands them to the engine.
    void backupFields_loadStoreAndReachTheEngine() {
        Settings.BackupServer = "backup.example";
        Settings.BackupPort = 119;
        Settings.BackupUser = "block";
        Settings.BackupPassword = "secret";
        frmMain main;
        frmOptions &form = openOptions(main);
        QCOMPARE(form.txtBackupServer->text(), QStringLiteral("backup.example"));
        QCOMPARE(form.txtBackupPort->value(), 119);
        QVERIFY(!form.chkBackupTLS->isChecked());
        QCOMPARE(form.txtBackupUser->text(), QStringLiteral("block"));
        QCOMPARE(form.txtBackupPassword->echoMode(), QLineEdit::Password);
        QTest::mouseClick(form.chkBackupTLS, Qt::LeftButton);
        QCOMPARE(form.txtBackupPort->value(), 563);
        QTest::mouseClick(form.chkBackupTLS, Qt::LeftButton);
        QCOMPARE(form.txtBackupPort->value(), 119);
        QTest::mouseClick(form.chkBackupTLS, Qt::LeftButton);
        form.txtBackupServer->setText(" other.example ");
        form.bStartupCheck = true;

        form.cmdOK_Click();

        QCOMPARE(Settings.BackupServer.text(), QStringLiteral("other.example"));
        QCOMPARE(Settings.BackupPort, 563);
        QVERIFY(Settings.BackupTLS);
        QVERIFY(!form.bServerChanged);  // the backup is no change of the main server
        corvane::resetEngineOptionsForTests();
        ApplyEngineOptions();
        const corvane::EngineOptions options = corvane::engineOptions();
        QCOMPARE(options.backupHost, std::string("other.example"));
        QCOMPARE(options.backupPort, 563);
        QVERIFY(options.backupTls);
        QCOMPARE(options.backupUser, std::string("block"));
        QCOMPARE(options.backupPassword, std::string("secret"));
        // A host the engine refuses switches the backup off instead of keeping an older one.
        Settings.BackupServer = "two words";
        ApplyEngineOptions();
        QCOMPARE(corvane::engineOptions().backupHost, std::string());
        corvane::resetEngineOptionsForTests();
    }

    // A backup server that fails its check is a warning after OK; the main server stays usable.
    void failingBackup_isAWarningThatBlocksNothing() {
        newsd::NewsStore store;
        addStandardGroups(store);
        auto server = startServer(store);
        Settings.Server = "localhost";
        Settings.Port = server->port();
        RecordingPlatform fake;
        frmMain main;
        frmOptions &form = openOptions(main);
        form.txtBackupServer->setText("127.0.0.1");
        form.txtBackupPort->setValue(1);  // nothing listens there

        form.cmdOK_Click();

        QCOMPARE(fake.count("warning"), 1);
        QCOMPARE(fake.calls.back().text,
                 QStringLiteral("Warning - The backup server failed the check: Connection refused."));
        QVERIFY(SearchReady);
        QVERIFY(!form.isVisible());
        corvane::resetEngineOptionsForTests();
    }

    // A server without the group the check selects is named with it after OK, as at start-up.
    void serverWithoutTheCheckedGroup_isNamedAfterOk() {
        newsd::NewsStore store;
        store.addGroup("alt.binaries.sounds.mp3.jazz", 0, true);
        auto server = startServer(store);
        Settings.Server = "localhost";
        Settings.Port = server->port();
        RecordingPlatform fake;
        frmMain main;
        frmOptions &form = openOptions(main);

        form.cmdOK_Click();

        QCOMPARE(fake.count("information"), 1);
        QCOMPARE(fake.calls.back().text.trimmed(), QStringLiteral("411 No such newsgroup (alt.binaries.sounds.mp3)"));
    }

    // In large type (as at a high scale factor) the form is taller than the screen: it is cut to
    // the screen, its fields scroll, and OK stays on the screen; in the usual type nothing scrolls.
    void largeType_keepsTheFormAndOkOnTheScreen_data() {
        QTest::addColumn<double>("scale");
        QTest::addColumn<bool>("scrolls");
        QTest::newRow("usual type") << 1.0 << false;
        QTest::newRow("large type") << 2.5 << true;
    }
    void largeType_keepsTheFormAndOkOnTheScreen() {
        QFETCH(double, scale);
        QFETCH(bool, scrolls);
        const QFont usual = QApplication::font();
        QFont font = usual;
        font.setPointSizeF(usual.pointSizeF() * scale);
        QApplication::setFont(font);
        {
            frmMain main;
            frmOptions &form = openOptions(main);
            const QRect area = form.screen()->availableGeometry();
            QVERIFY2(area.contains(form.geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4 on %5x%6")
                                                                  .arg(form.x()).arg(form.y()).arg(form.width())
                                                                  .arg(form.height()).arg(area.width())
                                                                  .arg(area.height())));
            QVERIFY(area.contains(QRect(form.cmdOK->mapToGlobal(QPoint(0, 0)), form.cmdOK->size())));
            auto *fields = form.findChild<QScrollArea *>();
            QVERIFY(fields);
            QCOMPARE(fields->verticalScrollBar()->maximum() > 0, scrolls);
        }
        QApplication::setFont(usual);
    }

    // The port, the connections and the search depth take only what can be used, as typed.
    void numberFields_takeOnlyWhatCanBeUsed_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<qlonglong>("stored");
        QTest::newRow("port") << "port" << "8119" << 8119LL;
        QTest::newRow("port beyond 65535") << "port" << "99998" << 9999LL;
        QTest::newRow("port with letters") << "port" << "1x19" << 119LL;
        QTest::newRow("connections") << "connections" << "20" << 20LL;
        QTest::newRow("connections beyond 50") << "connections" << "51" << 5LL;
        QTest::newRow("connections with letters") << "connections" << "8x" << 8LL;
        QTest::newRow("depth") << "depth" << "5000" << 5000LL;
        QTest::newRow("depth with letters and sign") << "depth" << "-5e3" << 53LL;
    }
    void numberFields_takeOnlyWhatCanBeUsed() {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(qlonglong, stored);
        Settings.Connections = 6;
        frmMain main;
        frmOptions &form = openOptions(main);
        QCOMPARE(form.txtConnections->value(), 6);
        QWidget *box = field == "port" ? static_cast<QWidget *>(form.txtPortNumber)
                       : field == "connections" ? static_cast<QWidget *>(form.txtConnections)
                                                : static_cast<QWidget *>(form.txtSearchDepth);
        form.show();
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, typed);
        form.bStartupCheck = true;

        form.cmdOK_Click();

        const qlonglong value = field == "port"          ? qlonglong(Settings.Port)
                                : field == "connections" ? qlonglong(Settings.Connections)
                                                         : qlonglong(Settings.SearchDepth);
        QCOMPARE(value, stored);
    }

    // After the form the window's keys work without a click.
    void keysBelongToTheWindowAgainAfterTheForm() {
        RecordingPlatform fake;
        frmMain main;
        main.show();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        OptionsDriver driver({[](frmOptions &form) { form.cmdCancel_Click(); }});
        main.mnuOptions_Click();
        QCOMPARE(driver.shown, 1);
        QVERIFY(QTest::qWaitFor([&] { return QApplication::activeWindow() == &main; }));
    }

    // Reset Newsgroups asks first; going on keeps what was typed into the other fields.
    void resetNewsgroups_asksAndKeepsTheEdits_data() {
        QTest::addColumn<bool>("answer");
        QTest::newRow("cancelled") << false;
        QTest::newRow("confirmed") << true;
    }
    void resetNewsgroups_asksAndKeepsTheEdits() {
        QFETCH(bool, answer);
        Settings.PostEmail = "old@example.com";
        Settings.Port = 119;
        Groups.entries.assign(1, GroupEntry{"alt.binaries.sounds.mp3.jazz", "jazz", true});
        Groups.NumberOf = 1;
        RecordingPlatform fake;
        fake.okCancelAnswers = {answer};
        QWidget owner;
        frmOptions &form = loadOptionsForm(owner);
        int resets = 0;
        connect(&form, &frmOptions::startupCheckRequested, &owner, [&] { ++resets; });
        form.txtEmail->setText("new@example.com");
        form.txtPortNumber->setValue(8119);

        form.cmdReset->click();

        QCOMPARE(fake.kinds(), QStringList{"question"});
        QCOMPARE(resets, answer ? 1 : 0);
        QCOMPARE(Groups.NumberOf, answer ? 0 : 1);
        QCOMPARE(Settings.PostEmail.text(), answer ? QString("new@example.com") : QString("old@example.com"));
        QCOMPARE(Settings.Port, answer ? 8119 : 119);
        unloadOptionsForm();
    }

    void downloadDirThatIsAFile_refusedAtOk() {
        QTemporaryDir home;
        const QString file = home.filePath("songs");
        QFile blocker(file);
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        Settings.SaveDir = QString();
        RecordingPlatform fake;
        frmMain main;
        frmOptions &form = openOptions(main);
        form.txtSongRepository->setText(file);
        form.bStartupCheck = true;

        form.cmdOK_Click();

        QCOMPARE(fake.kinds(), QStringList{"warning"});
        QVERIFY(fake.calls[0].text.contains(file));
        QCOMPARE(Settings.SaveDir.text(), QString());  // nothing stored, the form still open
        form.txtSongRepository->setText(home.path());
        form.cmdOK_Click();
        QCOMPARE(Settings.SaveDir.text(), home.path());
    }

    void cancel_storesNothing() {
        Settings.Server = "news.example";
        frmMain main;
        frmOptions &form = openOptions(main);
        form.txtServerName->setText("other.example");
        form.txtEmail->setText("me@example.com");

        form.cmdCancel_Click();

        QVERIFY(form.bCancelled);
        QVERIFY(!form.isVisible());
        QCOMPARE(Settings.Server.text(), QStringLiteral("news.example"));
        QCOMPARE(ReadRegValue("", "PostEmail", ""), QString());
        // Reopened from the main window, the form shows the fields as they were left.
        QCOMPARE(&main.optionsForm(), &form);
        QCOMPARE(form.txtServerName->text(), QStringLiteral("other.example"));
    }

    // Reset empties the overview cache of its own files only: the cache folder may be a link to
    // a folder of the user's, whose other files stay.
    void emptyingTheCache_removesOnlyItsOwnFiles() {
        const QString folder = OverviewCacheFolder();
        const QString music = guitest::testHome() + QStringLiteral("/music");
        QVERIFY(QDir().mkpath(music));
        QVERIFY(QDir().mkpath(QFileInfo(folder).path()));
        QFile::remove(folder);
        QDir(folder).removeRecursively();
        QVERIFY(QFile::link(music, folder));
        const QStringList cacheFiles{QStringLiteral("alt.binaries.sounds.mp3-0123456789abcdef.ovc"),
                                     QStringLiteral("g-fedcba9876543210.ovc.tmp-Ab12Cd")};
        const QStringList userFiles{QStringLiteral("holiday.ovc.tar"), QStringLiteral("Song.mp3"),
                                    QStringLiteral("notes-0123456789abcdef.ovc.txt")};
        for (const QString &name : cacheFiles + userFiles) {
            QFile file(music + "/" + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("x");
        }

        EmptyOverviewCache();

        for (const QString &name : cacheFiles) QVERIFY2(!QFile::exists(music + "/" + name), qPrintable(name));
        for (const QString &name : userFiles) QVERIFY2(QFile::exists(music + "/" + name), qPrintable(name));
        QVERIFY(QFileInfo(folder).isSymLink());
        QFile::remove(folder);
    }
};

HARBEAT_GUI_TEST_MAIN(OptionsTest)
#include "options_test.moc"
