// The RTF reader on every control word the data pages use, and on what it must skip.
#include "pages/rtf_reader.h"

#include <QTest>

#include "gui_test_main.h"

using namespace harbeat;

namespace {

// A paragraph per line; each run as <formats>text, formats only where they differ from plain.
QString describe(const RtfDocument &document) {
    QStringList paragraphs;
    for (const RtfParagraph &paragraph : document.paragraphs) {
        QString text;
        if (paragraph.alignment == RtfAlignment::Centre) text += "[centre]";
        if (paragraph.alignment == RtfAlignment::Right) text += "[right]";
        if (paragraph.alignment == RtfAlignment::Justify) text += "[justify]";
        if (paragraph.spaceBeforeTwips) text += QString("[sb%1]").arg(paragraph.spaceBeforeTwips);
        if (paragraph.spaceAfterTwips) text += QString("[sa%1]").arg(paragraph.spaceAfterTwips);
        if (paragraph.leftIndentTwips) text += QString("[li%1]").arg(paragraph.leftIndentTwips);
        for (const RtfRun &run : paragraph.runs) {
            QStringList formats;
            if (run.format.bold) formats << "b";
            if (run.format.italic) formats << "i";
            if (run.format.underline) formats << "ul";
            if (run.format.halfPoints != 24) formats << QString("fs%1").arg(run.format.halfPoints);
            if (run.format.color.isValid()) formats << run.format.color.name();
            text += (formats.isEmpty() ? QString() : "<" + formats.join(',') + ">") + run.text;
        }
        paragraphs << text;
    }
    return paragraphs.join('\n');
}

const QByteArray kColours = R"({\colortbl ;\red255\green0\blue0;\red0\green64\blue128;})";

}  // namespace

class RtfReaderTest : public QObject {
    Q_OBJECT
private slots:
    void controlWords_data() {
        QTest::addColumn<QByteArray>("rtf");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain text") << QByteArray(R"({\rtf1 Hello world})") << "Hello world";
        QTest::newRow("par") << QByteArray(R"({\rtf1 one\par two\par})") << "one\ntwo";
        QTest::newRow("empty paragraph kept") << QByteArray(R"({\rtf1 one\par\par two})") << "one\n\ntwo";
        QTest::newRow("line ends in the file are not text") << QByteArray("{\\rtf1 one\r\ntwo}") << "onetwo";
        QTest::newRow("escaped line end is a paragraph") << QByteArray("{\\rtf1 one\\\ntwo}") << "one\ntwo";
        QTest::newRow("bold on and off") << QByteArray(R"({\rtf1 a\b b\b0 c})") << "a<b>bc";
        QTest::newRow("italic") << QByteArray(R"({\rtf1 \i x\i0 y})") << "<i>xy";
        QTest::newRow("underline and ulnone") << QByteArray(R"({\rtf1 \ul u\ulnone n\ul v\ul0 w})") << "<ul>un<ul>vw";
        QTest::newRow("group restores the format") << QByteArray(R"({\rtf1 a{\b\i b}c})") << "a<b,i>bc";
        QTest::newRow("font size") << QByteArray(R"({\rtf1 \fs40 big\fs20 small})") << "<fs40>big<fs20>small";
        QTest::newRow("colour table") << QByteArray(R"({\rtf1 )" + kColours + R"(\cf1 red\cf2 blue\cf0 auto})")
                                      << "<#ff0000>red<#004080>blue" + QString("auto");
        QTest::newRow("colour outside the table") << QByteArray(R"({\rtf1 )" + kColours + R"(\cf9 x})") << "x";
        QTest::newRow("plain resets") << QByteArray(R"({\rtf1 \b\i\fs30 a\plain b})") << "<b,i,fs30>ab";
        QTest::newRow("hex character") << QByteArray(R"({\rtf1 caf\'e9 \'93q\'94})") << "caf\u00e9 \u201cq\u201d";
        QTest::newRow("unicode with fallback")
            << QByteArray(R"({\rtf1 \u8364?100 \u-3913?x})") << QString::fromUtf16(u"\u20ac100 \uf0b7x");
        QTest::newRow("unicode fallback count")
            << QByteArray(R"({\rtf1\uc2 \u8364\'80\'80x\uc0 \u8364 y})") << QString::fromUtf16(u"\u20acx\u20acy");
        QTest::newRow("unicode fallback as hex") << QByteArray(R"({\rtf1 \u233\'e9!})") << "\u00e9!";
        QTest::newRow("escaped symbols") << QByteArray(R"({\rtf1 \\ \{ \} a\~b c\-d e\_f})")
                                         << QString::fromUtf16(u"\\ { } a\u00a0b cd e\u2011f");
        QTest::newRow("typographic words")
            << QByteArray(R"({\rtf1 \lquote a\rquote  \ldblquote b\rdblquote  1\endash 2\emdash 3 \bullet })")
            << QString::fromUtf16(u"\u2018a\u2019 \u201cb\u201d 1\u20132\u20143 \u2022");
        QTest::newRow("tab and line") << QByteArray(R"({\rtf1 a\tab b\line c})") << QString::fromUtf16(u"a\tb\u2028c");
        QTest::newRow("alignment and spacing")
            << QByteArray(R"({\rtf1 \qc\sb60\sa120 t\par\pard\li360 u\par})") << "[centre][sb60][sa120]t\n[li360]u";
        QTest::newRow("right and justified")
            << QByteArray(R"({\rtf1 \qr r\par\qj j\par\ql l})") << "[right]r\n[justify]j\nl";
        QTest::newRow("font table is skipped") << QByteArray(R"({\rtf1{\fonttbl{\f0\fswiss Arial;}}\f0 x})") << "x";
        QTest::newRow("ignorable destination is skipped") << QByteArray(R"({\rtf1{\*\generator Writer 1.0;}x})") << "x";
        QTest::newRow("unknown ignorable destination")
            << QByteArray(R"({\rtf1{\*\unknownthing {nested} text}x})") << "x";
        QTest::newRow("info and stylesheet")
            << QByteArray(R"({\rtf1{\info{\title T}}{\stylesheet{\s0 Normal;}}x})") << "x";
        QTest::newRow("unknown words are skipped")
            << QByteArray(R"({\rtf1\ansi\ansicpg1252\deff0\viewkind4\uc1\pard\lang2057\f0 x})") << "x";
        QTest::newRow("negative parameter") << QByteArray(R"({\rtf1\fi-360 x})") << "x";
        QTest::newRow("binary data is skipped") << QByteArray("{\\rtf1{\\pict\\bin4 {}\\x}y}") << "y";
        QTest::newRow("text outside the document") << QByteArray(R"(junk{\rtf1 x}junk)") << "x";
        QTest::newRow("unbalanced close") << QByteArray(R"({\rtf1 x}}y)") << "x";
        QTest::newRow("unclosed group") << QByteArray(R"({\rtf1 {\b x)") << "<b>x";
        QTest::newRow("truncated escape") << QByteArray(R"({\rtf1 x\'4)") << "x";
        QTest::newRow("empty") << QByteArray() << "";
    }
    void controlWords() {
        QFETCH(QByteArray, rtf);
        QFETCH(QString, expected);
        QCOMPARE(describe(readRtf(rtf)), expected);
    }

    void plainTextJoinsParagraphs() {
        QCOMPARE(readRtf(R"({\rtf1 {\b Title}\par Body \i text\par})").plainText(), QStringLiteral("Title\nBody text"));
    }
};

HARBEAT_GUI_TEST_MAIN(RtfReaderTest)
#include "rtf_reader_test.moc"
