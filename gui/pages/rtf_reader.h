// A small reader for the rich-text (RTF) pages of the data folder. Pure: RTF bytes in, a list of
// paragraphs of formatted runs out.
//
// Understood: groups, \par (and \line, \tab), \b, \i, \ul and \ulnone, \fs, the colour table with
// \cf, \plain, \pard with \ql \qc \qr \qj \sb \sa \li, \'hh (Windows-1252), \uN with \uc, the
// escaped characters \\ \{ \} \~ \_ \-, and the typographic words \lquote \rquote \ldblquote
// \rdblquote \endash \emdash \bullet. Destinations that hold no page text (font table, style
// sheet, document information, pictures, \* groups, ...) are skipped, as is every other
// control word.
#pragma once

#include <QByteArrayView>
#include <QColor>
#include <QString>
#include <vector>

namespace harbeat {

struct RtfCharFormat {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    int halfPoints = 24;  // \fs: font size in half points
    QColor color;         // from the colour table; invalid means the default text colour
    bool operator==(const RtfCharFormat &) const = default;
};

struct RtfRun {
    QString text;
    RtfCharFormat format;
};

enum class RtfAlignment { Left, Centre, Right, Justify };

struct RtfParagraph {
    RtfAlignment alignment = RtfAlignment::Left;
    int spaceBeforeTwips = 0;  // \sb
    int spaceAfterTwips = 0;   // \sa
    int leftIndentTwips = 0;   // \li
    std::vector<RtfRun> runs;  // neighbouring runs always differ in format

    QString plainText() const;
};

struct RtfDocument {
    std::vector<RtfParagraph> paragraphs;

    // The text of all paragraphs, one "\n" after each but the last.
    QString plainText() const;
};

RtfDocument readRtf(QByteArrayView rtf);

}  // namespace harbeat
