#include "pages/rtf_document.h"

#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include "platform/twips.h"

namespace harbeat {
namespace {

Qt::Alignment qtAlignment(RtfAlignment alignment) {
    switch (alignment) {
        case RtfAlignment::Centre: return Qt::AlignHCenter;
        case RtfAlignment::Right: return Qt::AlignRight;
        case RtfAlignment::Justify: return Qt::AlignJustify;
        case RtfAlignment::Left: break;
    }
    return Qt::AlignLeft;
}

QTextBlockFormat blockFormat(const RtfParagraph &paragraph) {
    QTextBlockFormat format;
    format.setAlignment(qtAlignment(paragraph.alignment));
    format.setTopMargin(twipsToPixels(paragraph.spaceBeforeTwips));
    format.setBottomMargin(twipsToPixels(paragraph.spaceAfterTwips));
    format.setLeftMargin(twipsToPixels(paragraph.leftIndentTwips));
    return format;
}

QTextCharFormat charFormat(const RtfCharFormat &rtf) {
    QTextCharFormat format;
    format.setFontFamilies({kPageFontFamily});
    format.setFontPointSize(rtf.halfPoints / 2.0);
    format.setFontWeight(rtf.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(rtf.italic);
    format.setFontUnderline(rtf.underline);
    if (rtf.color.isValid()) format.setForeground(rtf.color);
    return format;
}

}  // namespace

void fillTextDocument(const RtfDocument &page, QTextDocument &document) {
    document.clear();
    QFont font(kPageFontFamily);
    font.setPointSizeF(RtfCharFormat{}.halfPoints / 2.0);
    document.setDefaultFont(font);

    QTextCursor cursor(&document);
    bool first = true;
    for (const RtfParagraph &paragraph : page.paragraphs) {
        // An empty paragraph keeps the height of the text before it, as in a word processor.
        const QTextCharFormat lineFormat =
            paragraph.runs.empty() ? cursor.charFormat() : charFormat(paragraph.runs.front().format);
        if (first) {
            cursor.setBlockFormat(blockFormat(paragraph));
            cursor.setBlockCharFormat(lineFormat);
            first = false;
        } else {
            cursor.insertBlock(blockFormat(paragraph), lineFormat);
        }
        for (const RtfRun &run : paragraph.runs) cursor.insertText(run.text, charFormat(run.format));
    }
}

}  // namespace harbeat
