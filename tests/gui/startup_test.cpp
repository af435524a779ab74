// The start-up form against the bundled news server: the once-a-day catalogue update, the
// server check with its boxes and the options loop, the list update's failures and the links.
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <optional>
#include <stdexcept>

#include "catalogue/catalogue.h"
#include "net/connection.h"
#include "forms_fixture.h"
#include "gui_test_main.h"
#include "main/frm_main.h"
#include "settings/shared_flags.h"
#include "notify/notify_slots.h"
#include "options/frm_options.h"
#include "recording_platform.h"
#include "settings/registry.h"
#include "settings/settings.h"
#include "startup/frm_splash.h"

using namespace harbeat;
using namespace harbeat::formtest;
using guitest::PlatformCall;
using guitest::RecordingPlatform;

namespace {

const QString kCrLf = QStringLiteral("\r\n");
const QString kTimedOut = QStringLiteral("Timed Out, server has not responded.");
const QString kLoginText = QStringLiteral(
    "Your news server requires a login and password to continue.  Please review the documentation provided by "
    "your Internet Service Provider and enter your Login Id and Password in the Harbeat Options screen.\r\n\r\n"
    "Error - Wrong UserName and/or Password.");
const QString kConnectionText = QStringLiteral(
    "Harbeat is unable to connect to your news server.  Ensure that you are connected to your Internet Service "
    "Provider.  If your modem is on and you are connected, please click on the Options link and ensure you have "
    "specified the correct news server and port.  Consult your Internet Provider's documentation for this "
    "configuration information.");

// The music groups of the standard test server, as the catalogue holds them after a full list.
constexpr int kMusicGroups = 4;

// A catalogue of one jazz group, updated on `lastChecked`, in the settings store.
void storeCatalogue(const QString &lastChecked) {
    Groups = GroupCatalogue{};
    Groups.entries.assign(1, GroupEntry{QStringLiteral("alt.binaries.sounds.mp3.jazz"), QStringLiteral("jazz"), true});
    Groups.NumberOf = 1;
    Groups.LastChecked = lastChecked;
    SaveSettings();
    Groups = GroupCatalogue{};
}

QStringList boxTexts(const RecordingPlatform &fake) {
    QStringList texts;
    for (const PlatformCall &call : fake.calls)
        if (call.kind == u"warning" || call.kind == u"information") texts.append(call.text);
    return texts;
}

newsd::ServerOptions loginServer(int wrongLoginCode) {
    newsd::ServerOptions options;
    options.user = "reader";
    options.password = "secret";
    options.wrongLoginCode = wrongLoginCode;
    return options;
}

newsd::ServerOptions withRule(newsd::ServerOptions options, const std::string &command,
                              newsd::CommandRule::Action action, int delayMilliseconds = 0) {
    newsd::CommandRule rule;
    rule.command = command;
    rule.action = action;
    rule.delay = std::chrono::milliseconds(delayMilliseconds);
    options.rules.push_back(rule);
    return options;
}

enum class Problem { TimesOut, RefusesLogin, Unreachable };

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
public:
    explicit PaintCounter(QWidget &widget) { widget.installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint) ++count;
        return QObject::eventFilter(watched, event);
    }
};
enum class Answer { FixServer, FixPassword, ChangeServer, Cancel };

// The engine's real minute of waiting for a reply, for the test's life; then the fixture's second.
class LongReceiveWait {
public:
    LongReceiveWait() { corvane::setReceiveTimeoutForTests(std::chrono::seconds(60)); }
    ~LongReceiveWait() { corvane::setReceiveTimeoutForTests(std::chrono::seconds(1)); }
    LongReceiveWait(const LongReceiveWait &) = delete;
    LongReceiveWait &operator=(const LongReceiveWait &) = delete;
};

}  // namespace

Q_DECLARE_METATYPE(Problem)
Q_DECLARE_METATYPE(Answer)

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useLinkedEngine(); }
    void init() { freshStart(); }

    void run_updatesTheCatalogueOncePerDay_data() {
        QTest::addColumn<QString>("lastChecked");
        QTest::addColumn<bool>("listUpdate");
        QTest::addColumn<int>("groupsAfter");
        QTest::newRow("second start the same day: 3 s pause, no list") << TodayText() << false << 1;
        QTest::newRow("first start: the complete list") << QStringLiteral("~") << true << kMusicGroups;
        QTest::newRow("no new groups since the last update") << QStringLiteral("240101") << true << 1;
    }
    void run_updatesTheCatalogueOncePerDay() {
        QFETCH(QString, lastChecked);
        QFETCH(bool, listUpdate);
        QFETCH(int, groupsAfter);
        newsd::NewsStore store;
        addStandardGroups(store);
        auto server = startServer(store);
        storeServer(QStringLiteral("127.0.0.1"), server->port());
        if (lastChecked != kRebuildCatalogue) storeCatalogue(lastChecked);
        OptionsDriver driver({});
        RecordingPlatform fake;
        frmMain main;
        frmSplash splash(main);

        splash.Run(false);

        QCOMPARE(splash.Label1->text(), QStringLiteral("Please Wait, Updating Newsgroup List..."));
        if (listUpdate) {
            QVERIFY(!splash.bDone);
            QVERIFY(!splash.Label3->isEnabled());
            QVERIFY(waitFor([&] { return splash.bDone; }));
            QVERIFY(splash.Label3->isEnabled());
            QCOMPARE(fake.count("pause"), 0);
        } else {
            QVERIFY(splash.bDone);
            QCOMPARE(fake.calls, (std::vector<PlatformCall>{{"pause", "", 3000}}));
        }
        QCOMPARE(boxTexts(fake), QStringList());
        QCOMPARE(driver.shown, 0);
        QCOMPARE(Groups.NumberOf, groupsAfter);
        QCOMPARE(Groups.LastChecked.text(), TodayText());
        QCOMPARE(ReadRegValue("Groups", "LastChecked", ""), TodayText());
        QCOMPARE(ReadRegValue("Groups", "NumberOf", ""), QString::number(groupsAfter));
    }

    // A backup server that fails its check is named in one warning; the start goes on with the
    // main server, without the options form.
    void failingBackup_warnsAndTheStartGoesOn() {
        newsd::NewsStore store;
        addStandardGroups(store);
        auto server = startServer(store);
        storeServer(QStringLiteral("127.0.0.1"), server->port());
        storeCatalogue(TodayText());
        WriteRegValue("", "BackupServer", "127.0.0.1");
        WriteRegValue("", "BackupPort", "1");  // nothing listens there
        OptionsDriver driver({});
        RecordingPlatform fake;
        frmMain main;
        frmSplash splash(main);

        splash.Run(false);

        QVERIFY(splash.bDone);
        QCOMPARE(boxTexts(fake),
                 QStringList{QStringLiteral("Warning - The backup server failed the check: Connection refused.")});
        QCOMPARE(driver.shown, 0);
        QVERIFY(SearchReady);
    }

    void setupNNTPConfig_sendsTheUserToTheOptionsForm_data() {
        QTest::addColumn<Problem>("problem");
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<QString>("focused");
        QTest::newRow("three time-outs, then a working server")
            << Problem::TimesOut << Answer::FixServer << QStringLiteral("txtServerName");
        QTest::newRow("502 login refused, then the right password")
            << Problem::RefusesLogin << Answer::FixPassword << QStringLiteral("txtUserID");
        QTest::newRow("server changed during the check: complete list")
            << Problem::Unreachable << Answer::ChangeServer << QStringLiteral("txtServerName");
        QTest::newRow("cancel ends the program")
            << Problem::Unreachable << Answer::Cancel << QStringLiteral("txtServerName");
    }
    void setupNNTPConfig_sendsTheUserToTheOptionsForm() {
        QFETCH(Problem, problem);
        QFETCH(Answer, answer);
        QFETCH(QString, focused);
        newsd::NewsStore store;
        addStandardGroups(store);
        auto good = startServer(store, loginServer(481));
        newsd::ServerOptions badOptions = loginServer(502);
        if (problem == Problem::TimesOut)
            badOptions = withRule(badOptions, "GROUP", newsd::CommandRule::Action::Silence);
        auto bad = startServer(store, badOptions);

        const int badPort = problem == Problem::Unreachable ? 1 : bad->port();  // port 1 refuses
        storeServer(QStringLiteral("localhost"), badPort);
        storeCatalogue(TodayText());
        WriteRegValue("", "UserName", "reader");
        WriteRegValue("", "Password", problem == Problem::RefusesLogin ? "wrong" : "secret");

        OptionsDriver driver({[&](frmOptions &form) {
            switch (answer) {
                case Answer::FixServer: form.txtPortNumber->setValue(good->port()); break;
                case Answer::FixPassword:
                    form.txtPortNumber->setValue(good->port());
                    form.txtPassword->setText("secret");
                    break;
                case Answer::ChangeServer:
                    form.txtServerName->setText("127.0.0.1");
                    form.txtPortNumber->setValue(good->port());
                    break;
                case Answer::Cancel: form.cmdCancel->click(); return;
            }
            form.cmdOK->click();
        }});
        // A report left over from an earlier operation is no list update's: no box for it.
        notifySlots().setText(NotifySlot::EndSlot, "No Songs.");
        RecordingPlatform fake;
        frmMain main;
        main.show();
        frmSplash splash(main);

        splash.Run(false);

        QCOMPARE(driver.shown, 1);
        QCOMPARE(driver.unscripted, 0);
        QCOMPARE(driver.startupFlags, std::vector<bool>{true});
        QCOMPARE(driver.focusedControls, std::vector<QString>{focused});
        const QStringList boxes = boxTexts(fake);
        switch (problem) {
            case Problem::TimesOut: {
                const QString timeOut = "Error - " + kTimedOut;
                QCOMPARE(boxes, QStringList({timeOut, timeOut, timeOut, timeOut + kCrLf + kCrLf + kConnectionText}));
                break;
            }
            case Problem::RefusesLogin:
                QCOMPARE(boxes.size(), 2);
                QVERIFY2(boxes[0].startsWith("Error - 502"), qPrintable(boxes[0]));
                QCOMPARE(boxes[1], kLoginText);
                break;
            case Problem::Unreachable:
                QCOMPARE(boxes.size(), 2);
                QVERIFY(boxes[0].size() > 8);
                QCOMPARE(boxes[1], boxes[0] + kCrLf + kCrLf + kConnectionText);
                break;
        }

        if (answer == Answer::Cancel) {
            QVERIFY(QuitRequested);
            QCOMPARE(fake.kinds().constLast(), QStringLiteral("endProgram"));
            QVERIFY(!main.isVisible());
            QVERIFY(!splash.bDone);
            QVERIFY(!ReadRegValue("MainForm", "WindowState", "").isEmpty());  // saved by the unload
            return;
        }
        QVERIFY(!QuitRequested);
        QCOMPARE(SearchReady, -1);
        QCOMPARE(Settings.Port, int(good->port()));
        if (answer == Answer::ChangeServer) {
            // The old catalogue was current, but it belongs to the old server.
            QCOMPARE(Groups.NumberOf, 0);
            QCOMPARE(Groups.LastChecked.text(), QStringLiteral("~"));
            QVERIFY(waitFor([&] { return splash.bDone; }));
            QCOMPARE(Groups.NumberOf, kMusicGroups);
        } else {
            QVERIFY(splash.bDone);
            QCOMPARE(fake.count("pause"), 1);
            QCOMPARE(Groups.NumberOf, 1);
        }
    }

    // The options form without a wait for the check: "Options..." interrupts a check of a
    // silent server, and a first start without a server opens it at once; no box comes first.
    // A server without the checked group is named with it, and no box says it cannot connect.
    void setupNNTPConfig_optionsWithoutAWait_data() {
        QTest::addColumn<QString>("case_");
        QTest::addColumn<QStringList>("boxes");
        const QString noGroup = QStringLiteral("Error - 411 No such newsgroup (alt.binaries.sounds.mp3)");
        QTest::newRow("Options... during the check") << QStringLiteral("interrupt") << QStringList{};
        QTest::newRow("first start without a server") << QStringLiteral("no server") << QStringList{};
        QTest::newRow("server without the group") << QStringLiteral("no group") << QStringList{noGroup};
    }
    void setupNNTPConfig_optionsWithoutAWait() {
        QFETCH(QString, case_);
        QFETCH(QStringList, boxes);
        newsd::NewsStore store;
        addStandardGroups(store);
        newsd::NewsStore withoutGroup;
        withoutGroup.addGroup("alt.binaries.sounds.mp3.jazz", 0, true);
        auto good = startServer(store);
        auto bad = case_ == u"no group" ? startServer(withoutGroup)
                                        : startServer(store, withRule({}, "GROUP", newsd::CommandRule::Action::Silence));
        storeServer(case_ == u"no server" ? QString() : QStringLiteral("127.0.0.1"), bad->port());
        storeCatalogue(TodayText());
        OptionsDriver driver({[&](frmOptions &form) {
            form.txtServerName->setText("127.0.0.1");
            form.txtPortNumber->setValue(good->port());
            form.cmdOK->click();
        }});
        RecordingPlatform fake;
        frmMain main;
        frmSplash splash(main);
        std::optional<LongReceiveWait> longWait;
        if (case_ == u"interrupt") {
            // Far longer than the test waits for the form: only the interruption can show it.
            longWait.emplace();
            QTimer::singleShot(200, &splash, [&] { emit splash.Label3->linkActivated(QStringLiteral("#")); });
        }

        splash.Run(false);

        QCOMPARE(driver.shown, 1);
        QCOMPARE(driver.startupFlags, std::vector<bool>{true});
        QCOMPARE(driver.focusedControls, std::vector<QString>{"txtServerName"});
        const QStringList shown = boxTexts(fake);
        QCOMPARE(shown.mid(0, boxes.size()), boxes);
        QCOMPARE(shown.size(), boxes.size() + (boxes.isEmpty() ? 0 : 1));
        for (const QString &box : shown) QVERIFY2(!box.contains("unable to connect"), qPrintable(box));
        if (!boxes.isEmpty()) QVERIFY(shown.back().startsWith(boxes.back() + kCrLf + kCrLf));
        QVERIFY(!QuitRequested);
        // A server named for the first time brings its complete list.
        QVERIFY(waitFor([&] { return splash.bDone; }));
        QCOMPARE(Settings.Port, int(good->port()));
    }

    void timer1_handlesAFailedListUpdate_data() {
        QTest::addColumn<newsd::CommandRule::Action>("failure");
        QTest::newRow("time-out: start-up goes on") << newsd::CommandRule::Action::Silence;
        QTest::newRow("connection lost: options form, then a retry") << newsd::CommandRule::Action::Close;
    }
    void timer1_handlesAFailedListUpdate() {
        QFETCH(newsd::CommandRule::Action, failure);
        newsd::NewsStore store;
        addStandardGroups(store);
        auto good = startServer(store);
        auto bad = startServer(store, withRule({}, "NEWGROUPS", failure));
        storeServer(QStringLiteral("127.0.0.1"), bad->port());
        storeCatalogue(QStringLiteral("240101"));
        OptionsDriver driver({[&](frmOptions &form) {
            form.txtPortNumber->setValue(good->port());
            form.cmdOK->click();
        }});
        RecordingPlatform fake;
        frmMain main;
        frmSplash splash(main);

        splash.Run(false);
        QVERIFY(waitFor([&] { return splash.bDone; }));

        const QStringList boxes = boxTexts(fake);
        if (failure == newsd::CommandRule::Action::Silence) {
            QCOMPARE(boxes, QStringList{"Error - " + kTimedOut});
            QCOMPARE(driver.shown, 0);
            QCOMPARE(Groups.NumberOf, 1);
            QCOMPARE(Groups.LastChecked.text(), QStringLiteral("240101"));  // tried again at the next start
        } else {
            // The failure box, then the options form as from the main window; OK there checks the
            // new settings (no box: it passed) and the retried update loads the list.
            QCOMPARE(boxes.size(), 1);
            QVERIFY2(boxes[0].startsWith("Error - ") && boxes[0].endsWith(kCrLf + kCrLf + kConnectionText),
                     qPrintable(boxes[0]));
            QCOMPARE(driver.startupFlags, std::vector<bool>{false});
            QCOMPARE(ReadRegValue("", "Port", ""), QString::number(good->port()));
            QCOMPARE(Groups.NumberOf, 1);
            QCOMPARE(Groups.LastChecked.text(), TodayText());
        }
        QCOMPARE(driver.unscripted, 0);
    }

    void silentServer_theFormStaysDrawnAndEachBoxSaysWhy() {
        newsd::NewsStore store;
        addStandardGroups(store);
        auto silent = startServer(store, withRule({}, "GROUP", newsd::CommandRule::Action::Silence));
        storeServer(QStringLiteral("127.0.0.1"), silent->port());
        storeCatalogue(TodayText());
        OptionsDriver driver({[](frmOptions &form) { form.cmdCancel->click(); }});
        RecordingPlatform fake;
        frmMain main;
        frmSplash splash(main);
        PaintCounter paints(splash);
        std::vector<int> paintsAtBoxes;
        fake.onCall = [&](const PlatformCall &call) {
            if (call.kind == u"warning") paintsAtBoxes.push_back(paints.count);
        };

        splash.Run(false);

        const QStringList boxes = boxTexts(fake);
        QCOMPARE(boxes.size(), 4);
        for (const QString &box : boxes) QVERIFY2(box.startsWith("Error - " + kTimedOut), qPrintable(box));
        QVERIFY(boxes[3].endsWith(kCrLf + kCrLf + kConnectionText));
        // Drawn before the first check and again before each further try.
        QVERIFY(paintsAtBoxes[0] > 0);
        QVERIFY2(paintsAtBoxes[1] > paintsAtBoxes[0] && paintsAtBoxes[2] > paintsAtBoxes[1],
                 qPrintable(QString("%1 %2 %3").arg(paintsAtBoxes[0]).arg(paintsAtBoxes[1]).arg(paintsAtBoxes[2])));
        QCOMPARE(driver.shown, 1);
        QVERIFY(QuitRequested);  // the options form was cancelled
    }

    void exitLink_worksDuringTheServerCheck() {
        newsd::NewsStore store;
        addStandardGroups(store);
        auto silent = startServer(store, withRule({}, "GROUP", newsd::CommandRule::Action::Silence));
        storeServer(QStringLiteral("127.0.0.1"), silent->port());
        storeCatalogue(TodayText());
        OptionsDriver driver({});
        RecordingPlatform fake;
        frmMain main;
        frmSplash splash(main);
        qsizetype boxesAtExit = -1;
        bool optionsLinkAtExit = true;
        QTimer::singleShot(100, &splash, [&] {
            boxesAtExit = boxTexts(fake).size();
            optionsLinkAtExit = splash.Label3->isEnabled();
            emit splash.Label2->linkActivated(QStringLiteral("#"));
        });

        splash.Run(false);

        QCOMPARE(boxesAtExit, qsizetype(0));  // still in the first check
        QVERIFY(optionsLinkAtExit);           // "Options..." may interrupt the check
        QVERIFY(QuitRequested);
        QCOMPARE(fake.kinds(), QStringList{"endProgram"});
        QCOMPARE(driver.shown, 0);
        QVERIFY(!splash.bDone);
    }

    void exitLink_endsTheProgramDuringTheListUpdate() {
        newsd::NewsStore store;
        addStandardGroups(store);
        auto server = startServer(store, withRule({}, "NEWGROUPS", newsd::CommandRule::Action::Delay, 200));
        storeServer(QStringLiteral("127.0.0.1"), server->port());
        storeCatalogue(QStringLiteral("240101"));
        OptionsDriver driver({});
        RecordingPlatform fake;
        frmMain main;
        main.show();
        frmSplash splash(main);
        splash.Run(false);
        QVERIFY(!splash.Label3->isEnabled());

        splash.Label2_Click();

        QVERIFY(QuitRequested);
        QCOMPARE(fake.kinds(), QStringList{"endProgram"});
        QVERIFY(!main.isVisible());
        // The main window's unload cancelled the update, whose end report may replace the quit
        // marker at any moment from then on. What the form guarantees is that no tick of its own
        // handles that report: wait until it has come, then nothing may have followed it.
        QVERIFY(waitFor([] {
            return notifySlots().text(NotifySlot::EndSlot) != kQuitMarker ||
                   !notifySlots().text(NotifySlot::GroupListSlot).isEmpty();
        }));
        QVERIFY(!splash.Timer1->isActive());
        QCOMPARE(fake.kinds(), QStringList{"endProgram"});
        QVERIFY(!splash.bDone);
        QCOMPARE(driver.shown, 0);
    }

    void run_showsAnUnexpectedErrorAndKeepsTheLinks() {
        newsd::NewsStore store;
        addStandardGroups(store);
        auto server = startServer(store);
        storeServer(QStringLiteral("127.0.0.1"), server->port());
        storeCatalogue(TodayText());
        OptionsDriver driver({});
        RecordingPlatform fake;
        fake.onCall = [](const PlatformCall &call) {
            if (call.kind == u"pause") throw std::runtime_error("out of resources");
        };
        frmMain main;
        frmSplash splash(main);

        splash.Run(false);

        QVERIFY(!splash.bDone);
        fake.onCall = nullptr;
        QCOMPARE(boxTexts(fake), QStringList{"Error - Run-time error\r\nout of resources"});
        QVERIFY(splash.Label3->isEnabled());
        QVERIFY(splash.Label2->isEnabled());
    }
};

HARBEAT_GUI_TEST_MAIN(StartupTest)
#include "startup_test.moc"
