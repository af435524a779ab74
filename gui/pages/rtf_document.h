// Turns a read RTF page into a QTextDocument for display.
#pragma once

#include "pages/rtf_reader.h"

class QTextDocument;

namespace harbeat {

// The program's text font.
inline const QString kPageFontFamily = QStringLiteral("Arial");

// Replaces the content of `document` with the page.
void fillTextDocument(const RtfDocument &page, QTextDocument &document);

}  // namespace harbeat
