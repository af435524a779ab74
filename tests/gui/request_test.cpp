// The request form: what it posts (read back from the bundled news server), the address it
// remembers, the failure path and the subject selected for typing.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTest>

#include "forms_fixture.h"
#include "gui_test_main.h"
#include "notify/notify_slots.h"
#include "platform/product.h"
#include "recording_platform.h"
#include "request/frm_post.h"
#include "server/server_check.h"
#include "settings/registry.h"
#include "settings/settings.h"

using namespace harbeat;
using namespace harbeat::formtest;
using guitest::RecordingPlatform;

namespace {

const QString kSignature = QStringLiteral(
    "\r\n\r\nThis song request was posted by Harbeat\r\nFound @ http://www.harbeat.example (Try it FREE today!)\r\n");

struct PostedArticle {
    QString header;
    QString body;
};

PostedArticle splitArticle(const std::string &raw) {
    const QString text = QString::fromStdString(raw);
    const qsizetype end = text.indexOf("\r\n\r\n");
    return {text.left(end + 2), text.mid(end + 4)};
}

bool hasHeader(const PostedArticle &article, const QString &line) {
    return article.header.startsWith(line + "\r\n") || article.header.contains("\r\n" + line + "\r\n");
}

// Settings of a server that accepts the check; `posting` false refuses POST with 440.
std::unique_ptr<newsd::NewsServer> checkedServer(newsd::NewsStore &store, bool posting) {
    addStandardGroups(store);
    store.addGroup("alt.binaries.sounds.mp3.requests", 0, true);
    newsd::ServerOptions options;
    options.postingAllowed = posting;
    auto server = startServer(store, options);
    Settings.Server = "127.0.0.1";
    Settings.Port = server->port();
    QString error;
    if (!CheckServerSettings(error)) qWarning("server check failed: %s", qPrintable(error));
    return server;
}

}  // namespace

class RequestTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { useLinkedEngine(); }
    void init() { freshStart(); }

    void ok_postsTheRequestWithTheSignature_data() {
        QTest::addColumn<QString>("typedEmail");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("postedMessage");
        QTest::newRow("address trimmed, lines end in CR LF") << "  fan@example.com  "
                                                             << "Blue Moon - The Marcels"
                                                             << "Anyone?\nThanks"
                                                             << "Anyone?\r\nThanks";
        QTest::newRow("empty message still gets the signature") << "fan@example.com"
                                                                << "x"
                                                                << ""
                                                                << "";
        QTest::newRow("letters beyond ASCII") << "fan@example.com" << QString::fromUtf8("Jóga - Björk")
                                              << QString::fromUtf8("Grüße") << QString::fromUtf8("Grüße");
    }
    void ok_postsTheRequestWithTheSignature() {
        QFETCH(QString, typedEmail);
        QFETCH(QString, subject);
        QFETCH(QString, message);
        QFETCH(QString, postedMessage);
        newsd::NewsStore store;
        auto server = checkedServer(store, true);
        RecordingPlatform fake;
        frmPost form;
        form.show();
        // The list may show another group; the request goes to the request group anyway.
        form.cboGroup->addItem("alt.test");
        form.cboGroup->setCurrentIndex(1);
        form.txtSubject->setText(subject);
        form.txtBody->setPlainText(message);
        form.txtEmail->setText(typedEmail);

        form.cmdOK_Click();

        // The user is told that the request went out.
        QCOMPARE(fake.calls, (std::vector<guitest::PlatformCall>{
                                 {"information", "Your request was posted to alt.binaries.sounds.mp3.requests.", 0}}));
        QVERIFY(!form.isVisible());
        const auto posted = store.postedArticles();
        QCOMPARE(posted.size(), std::size_t(1));
        const PostedArticle article = splitArticle(posted[0]);
        QVERIFY2(hasHeader(article, "Newsgroups: alt.binaries.sounds.mp3.requests"), qPrintable(article.header));
        QVERIFY2(hasHeader(article, "From: fan@example.com"), qPrintable(article.header));
        QVERIFY2(hasHeader(article, "Subject: " + subject), qPrintable(article.header));
        QVERIFY2(article.body.startsWith(postedMessage + kSignature), qPrintable(article.body));
        QCOMPARE(ReadRegValue("", "PostEmail", ""), QStringLiteral("fan@example.com"));
        QCOMPARE(form.txtBody->toPlainText(), QString(postedMessage + kSignature).replace("\r\n", "\n"));
    }

    void ok_failedPostingIsReportedAndTheAddressKept() {
        newsd::NewsStore store;
        auto server = checkedServer(store, false);
        notifySlots().setText(NotifySlot::EndSlot, "last engine report");
        RecordingPlatform fake;
        frmPost form;
        QSignalSpy statusTexts(&form, &frmPost::statusText);
        form.show();
        form.txtSubject->setText("Blue Moon");
        form.txtEmail->setText("fan@example.com ");

        form.cmdOK_Click();

        QCOMPARE(fake.kinds(), (QStringList{"beep", "information"}));
        QVERIFY2(fake.calls[1].text.startsWith("440"), qPrintable(fake.calls[1].text));
        QCOMPARE(statusTexts.size(), 1);
        QCOMPARE(statusTexts.at(0).at(0).toString(), QStringLiteral("last engine report"));
        QCOMPARE(ReadRegValue("", "PostEmail", ""), QStringLiteral("fan@example.com"));
        QVERIFY(!form.isVisible());
    }

    void ok_withoutAnAddressKeepsTheFormOpen() {
        RecordingPlatform fake;
        frmPost form;
        form.show();
        form.txtEmail->setText("   ");
        form.txtBody->setPlainText("Anyone?");

        form.cmdOK_Click();

        QCOMPARE(fake.calls,
                 (std::vector<guitest::PlatformCall>{
                     {"beep", "", 0}, {"information", "You must give your email address in the message.", 0}}));
        QVERIFY(form.isVisible());
        QCOMPARE(form.txtBody->toPlainText(), QStringLiteral("Anyone?"));
    }

    void ok_refusesThePlaceholderAndAnEmptySubject_data() {
        QTest::addColumn<QString>("subject");
        QTest::newRow("placeholder") << "<Enter Song Title and Artist's Name>";
        QTest::newRow("placeholder with blanks") << "  <Enter Song Title and Artist's Name> ";
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "   ";
    }
    void ok_refusesThePlaceholderAndAnEmptySubject() {
        QFETCH(QString, subject);
        newsd::NewsStore store;
        auto server = checkedServer(store, true);
        RecordingPlatform fake;
        frmPost form;
        form.show();
        form.txtSubject->setText(subject);
        form.txtEmail->setText("fan@example.com");

        form.cmdOK_Click();

        QCOMPARE(fake.calls,
                 (std::vector<guitest::PlatformCall>{
                     {"beep", "", 0},
                     {"information", "Please enter the song title and the artist's name as the subject.", 0}}));
        QVERIFY(form.isVisible());
        QVERIFY(store.postedArticles().empty());
    }

    void cancel_keepsTheStoredAddress_data() {
        QTest::addColumn<bool>("refusedFirst");  // OK was refused for its subject before the Cancel
        QTest::newRow("cancel") << false;
        QTest::newRow("cancel after a refused subject") << true;
    }
    void cancel_keepsTheStoredAddress() {
        QFETCH(bool, refusedFirst);
        Settings.PostEmail = "old@example.com";
        WriteRegValue("", "PostEmail", "old@example.com");
        RecordingPlatform fake;
        frmPost form;
        form.show();
        QCOMPARE(form.txtEmail->text(), QStringLiteral("old@example.com"));
        form.txtEmail->setText("new@example.com");
        if (refusedFirst) {
            form.cmdOK_Click();
            QCOMPARE(fake.count("information"), 1);
            QVERIFY(form.isVisible());
        }

        form.cmdQuit_Click();

        QVERIFY(!form.isVisible());
        QCOMPARE(Settings.PostEmail.text(), QStringLiteral("old@example.com"));
        QCOMPARE(ReadRegValue("", "PostEmail", ""), QStringLiteral("old@example.com"));
    }

    void typingReplacesTheInitialSubject() {
        frmPost form;
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QTRY_COMPARE(form.txtSubject->selectedText(), QStringLiteral("<Enter Song Title and Artist's Name>"));
        QCOMPARE(form.cboGroup->currentText(), QStringLiteral("alt.binaries.sounds.mp3.requests"));

        QTest::keyClicks(form.txtSubject, "Blue Moon");

        QCOMPARE(form.txtSubject->text(), QStringLiteral("Blue Moon"));
    }
};

HARBEAT_GUI_TEST_MAIN(RequestTest)
#include "request_test.moc"
