// The pages of the data folder as the program finds them beside itself.
#include <QFile>
#include <QTest>
#include <QTextBrowser>

#include "gui_test_main.h"
#include "pages/message_pages.h"
#include "pages/rtf_reader.h"
#include "platform/program_folder.h"

using namespace harbeat;

class DataPagesTest : public QObject {
    Q_OBJECT
private slots:
    void everyPageReadsAsText_data() {
        QTest::addColumn<QString>("name");
        for (const char *name : {"msg002", "msg003", "msg009", "msg013", "msg014", "msg016", "msg017", "msg018", "msg019",
                                 "msg020"})
            QTest::newRow(name) << QString::fromLatin1(name);
        for (int n = 1; n <= 23; ++n) QTest::newRow(qPrintable(QString("faq%1").arg(n))) << QString("faq%1").arg(n);
    }
    void everyPageReadsAsText() {
        QFETCH(QString, name);
        QFile file(dataFile(name + ".rtf"));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
        const QByteArray rtf = file.readAll();
        QVERIFY(rtf.startsWith("{\\rtf1"));
        const RtfDocument page = readRtf(rtf);
        QVERIFY(page.paragraphs.size() >= 2);
        // A bold heading, then text.
        QVERIFY(!page.paragraphs.front().runs.empty());
        QVERIFY(page.paragraphs.front().runs.front().format.bold);
        const QString text = page.plainText();
        QVERIFY(text.size() > 30);
        // Nothing of the markup shows through.
        for (const char *markup : {"\\", "{", "}", "rtf1", "fonttbl", "Arial;"})
            QVERIFY2(!text.contains(markup), markup);
    }

    void showMessageLoadsThePageIntoThePane() {
        QTextBrowser pane;
        setMessagePane(&pane);
        ShowMessage("msg017");
        QCOMPARE(pagePath(pane), dataFile("msg017.rtf"));
        QVERIFY(pane.toPlainText().startsWith("No songs found"));
        setMessagePane(nullptr);
    }

    void missingPageLeavesThePaneEmpty() {
        QTextBrowser pane;
        loadRtfPage(pane, dataFile("msg017.rtf"));
        loadRtfPage(pane, dataFile("no-such-page.rtf"));
        QCOMPARE(pane.toPlainText(), QString());
        QCOMPARE(pagePath(pane), QString());
    }
};

HARBEAT_GUI_TEST_MAIN(DataPagesTest)
#include "data_pages_test.moc"
