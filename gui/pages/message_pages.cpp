#include "pages/message_pages.h"

#include <QFile>
#include <QPointer>
#include <QTextBrowser>
#include <QTextDocument>

#include "pages/rtf_document.h"
#include "platform/program_folder.h"

namespace harbeat {
namespace {

QPointer<QTextBrowser> pane;

}  // namespace

void loadRtfPage(QTextBrowser &browser, const QString &path) {
    QFile file(path);
    RtfDocument page;
    if (file.open(QIODevice::ReadOnly)) page = readRtf(file.readAll());
    QTextDocument &document = *browser.document();
    fillTextDocument(page, document);
    document.setMetaInformation(QTextDocument::DocumentUrl, file.isOpen() ? path : QString());
    browser.moveCursor(QTextCursor::Start);
}

QString pagePath(const QTextBrowser &browser) {
    return browser.document()->metaInformation(QTextDocument::DocumentUrl);
}

void setMessagePane(QTextBrowser *messagePane) { pane = messagePane; }

QTextBrowser *messagePane() { return pane.data(); }

void ShowMessage(const QString &name) {
    if (pane) loadRtfPage(*pane, dataFile(name + QStringLiteral(".rtf")));
}

}  // namespace harbeat
