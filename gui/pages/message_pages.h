// The rich-text pages of the data folder (messages, tips, the header) and the main window's
// message pane that shows them.
#pragma once

#include <QString>

class QTextBrowser;

namespace harbeat {

// Shows the RTF file at `path` in the browser. A file that cannot be read leaves the browser
// empty. The browser's document remembers the path (pagePath).
void loadRtfPage(QTextBrowser &browser, const QString &path);
// The file the browser shows, or "" when it shows none.
QString pagePath(const QTextBrowser &browser);

// The pane that ShowMessage fills (the main window's `wbr`); null for none.
void setMessagePane(QTextBrowser *pane);
QTextBrowser *messagePane();

// Shows data/<name>.rtf of the program folder in the message pane.
void ShowMessage(const QString &name);

}  // namespace harbeat
