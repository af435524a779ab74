#include "pages/rtf_reader.h"

#include <array>
#include <cstdint>

namespace harbeat {
namespace {

// Windows-1252 characters 0x80-0x9F; the rest of the code page is Latin-1.
constexpr std::array<char16_t, 32> kCp1252High = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QChar fromCp1252(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? QChar(kCp1252High[byte - 0x80]) : QChar(byte);
}

// Destinations whose content is not page text.
bool isSkippedDestination(QByteArrayView word) {
    static constexpr const char *kSkipped[] = {"fonttbl",
                                               "stylesheet",
                                               "info",
                                               "pict",
                                               "header",
                                               "headerl",
                                               "headerr",
                                               "headerf",
                                               "footer",
                                               "footerl",
                                               "footerr",
                                               "footerf",
                                               "footnote",
                                               "object",
                                               "filetbl",
                                               "listtable",
                                               "listoverridetable",
                                               "revtbl",
                                               "rsidtbl",
                                               "generator",
                                               "xmlnstbl",
                                               "themedata",
                                               "colorschememapping",
                                               "latentstyles",
                                               "datastore",
                                               "fldinst",
                                               "bkmkstart",
                                               "bkmkend"};
    for (const char *name : kSkipped)
        if (word == QByteArrayView(name)) return true;
    return false;
}

// Control words that stand for one character.
bool characterWord(QByteArrayView word, QChar &out) {
    struct Entry {
        const char *word;
        char16_t character;
    };
    static constexpr Entry kCharacters[] = {{"lquote", 0x2018},    {"rquote", 0x2019}, {"ldblquote", 0x201C},
                                            {"rdblquote", 0x201D}, {"endash", 0x2013}, {"emdash", 0x2014},
                                            {"bullet", 0x2022},    {"tab", u'\t'},     {"line", 0x2028},
                                            {"enspace", 0x2002},   {"emspace", 0x2003}};
    for (const Entry &entry : kCharacters) {
        if (word == QByteArrayView(entry.word)) {
            out = QChar(entry.character);
            return true;
        }
    }
    return false;
}

enum class Destination { Text, ColorTable, Skip };

struct ParagraphFormat {
    RtfAlignment alignment = RtfAlignment::Left;
    int spaceBeforeTwips = 0;
    int spaceAfterTwips = 0;
    int leftIndentTwips = 0;
};

struct GroupState {
    RtfCharFormat format;
    ParagraphFormat paragraph;
    Destination destination = Destination::Text;
    int unicodeSkip = 1;  // \uc: fallback characters that follow each \u
};

class Reader {
public:
    explicit Reader(QByteArrayView rtf) : rtf_(rtf) {}

    RtfDocument read() {
        while (position_ < rtf_.size()) {
            const char c = rtf_[position_++];
            switch (c) {
                case '{': openGroup(); break;
                case '}': closeGroup(); break;
                case '\\': controlSequence(); break;
                case '\r':
                case '\n': break;  // line ends in the file are not text
                default: character(QChar(fromCp1252(static_cast<unsigned char>(c)))); break;
            }
        }
        if (!current_.runs.empty()) document_.paragraphs.push_back(std::move(current_));
        return std::move(document_);
    }

private:
    GroupState &state() { return stack_.back(); }

    void openGroup() {
        stack_.push_back(stack_.back());
        fallbackToSkip_ = 0;
    }

    void closeGroup() {
        if (stack_.size() > 1) stack_.pop_back();
        fallbackToSkip_ = 0;
    }

    void controlSequence() {
        if (position_ >= rtf_.size()) return;
        const char c = rtf_[position_];
        if (isLetter(c)) {
            controlWord();
            return;
        }
        ++position_;
        if (c == '\'') {
            hexCharacter();
            return;
        }
        if (skipFallback()) return;
        switch (c) {
            case '\\':
            case '{':
            case '}': character(QChar::fromLatin1(c)); break;
            case '~': character(QChar(0x00A0)); break;
            case '_': character(QChar(0x2011)); break;
            case '*': state().destination = Destination::Skip; break;
            case '\r':
            case '\n': paragraphBreak(); break;
            default: break;  // \- (optional hyphen) and unknown symbols add nothing
        }
    }

    void hexCharacter() {
        int value = 0;
        for (int i = 0; i < 2; ++i) {
            const int digit = position_ < rtf_.size() ? hexDigit(rtf_[position_]) : -1;
            if (digit < 0) return;
            value = value * 16 + digit;
            ++position_;
        }
        if (skipFallback()) return;
        character(fromCp1252(static_cast<unsigned char>(value)));
    }

    void controlWord() {
        const qsizetype start = position_;
        while (position_ < rtf_.size() && isLetter(rtf_[position_]) && position_ - start < 32) ++position_;
        const QByteArrayView word = rtf_.sliced(start, position_ - start);
        bool hasParameter = false;
        int parameter = 0;
        readParameter(hasParameter, parameter);
        if (position_ < rtf_.size() && rtf_[position_] == ' ') ++position_;  // the delimiter
        if (word == "bin") {
            // Binary data of the given length follows; it is never text.
            position_ += hasParameter && parameter > 0 ? parameter : 0;
            return;
        }
        if (skipFallback()) return;
        applyWord(word, hasParameter, parameter);
    }

    void readParameter(bool &hasParameter, int &parameter) {
        bool negative = false;
        if (position_ < rtf_.size() && rtf_[position_] == '-') {
            negative = true;
            ++position_;
        }
        int64_t value = 0;
        int digits = 0;
        while (position_ < rtf_.size() && rtf_[position_] >= '0' && rtf_[position_] <= '9') {
            if (digits < 10) value = value * 10 + (rtf_[position_] - '0');
            ++digits;
            ++position_;
        }
        hasParameter = digits > 0;
        if (!hasParameter && negative) --position_;  // a lone "-" is not part of the word
        value = std::min<int64_t>(value, INT32_MAX);
        parameter = static_cast<int>(negative ? -value : value);
    }

    void applyWord(QByteArrayView word, bool hasParameter, int parameter) {
        GroupState &s = state();
        if (isSkippedDestination(word)) {
            s.destination = Destination::Skip;
            return;
        }
        if (s.destination == Destination::Skip) return;
        if (word == "colortbl") {
            s.destination = Destination::ColorTable;
            colorEntry_ = {};
            return;
        }
        if (s.destination == Destination::ColorTable) {
            colorComponent(word, parameter);
            return;
        }
        const bool on = !hasParameter || parameter != 0;
        QChar special;
        if (word == "par" || word == "sect" || word == "page") {
            paragraphBreak();
        } else if (characterWord(word, special)) {
            character(special);
        } else if (word == "u" && hasParameter) {
            character(QChar(static_cast<char16_t>(parameter < 0 ? parameter + 65536 : parameter)));
            fallbackToSkip_ = s.unicodeSkip;
        } else if (word == "uc" && hasParameter) {
            s.unicodeSkip = std::max(parameter, 0);
        } else if (word == "b") {
            s.format.bold = on;
        } else if (word == "i") {
            s.format.italic = on;
        } else if (word == "ul") {
            s.format.underline = on;
        } else if (word == "ulnone") {
            s.format.underline = false;
        } else if (word == "fs" && hasParameter && parameter > 0) {
            s.format.halfPoints = parameter;
        } else if (word == "cf") {
            s.format.color =
                parameter > 0 && parameter < static_cast<int>(colors_.size()) ? colors_[parameter] : QColor();
        } else if (word == "plain") {
            s.format = RtfCharFormat{};
        } else if (word == "pard") {
            s.paragraph = ParagraphFormat{};
        } else if (word == "ql") {
            s.paragraph.alignment = RtfAlignment::Left;
        } else if (word == "qc") {
            s.paragraph.alignment = RtfAlignment::Centre;
        } else if (word == "qr") {
            s.paragraph.alignment = RtfAlignment::Right;
        } else if (word == "qj") {
            s.paragraph.alignment = RtfAlignment::Justify;
        } else if (word == "sb") {
            s.paragraph.spaceBeforeTwips = std::max(parameter, 0);
        } else if (word == "sa") {
            s.paragraph.spaceAfterTwips = std::max(parameter, 0);
        } else if (word == "li") {
            s.paragraph.leftIndentTwips = std::max(parameter, 0);
        }
    }

    void colorComponent(QByteArrayView word, int parameter) {
        const int value = std::clamp(parameter, 0, 255);
        if (word == "red") colorEntry_.red = value;
        if (word == "green") colorEntry_.green = value;
        if (word == "blue") colorEntry_.blue = value;
        if (word == "red" || word == "green" || word == "blue") colorEntry_.set = true;
    }

    void character(QChar c) {
        if (skipFallback()) return;
        GroupState &s = state();
        if (s.destination == Destination::ColorTable) {
            if (c == u';') {
                colors_.push_back(colorEntry_.set ? QColor(colorEntry_.red, colorEntry_.green, colorEntry_.blue)
                                                  : QColor());
                colorEntry_ = {};
            }
            return;
        }
        if (s.destination != Destination::Text || stack_.size() < 2) return;  // text outside {\rtf ...}
        if (current_.runs.empty() || !(current_.runs.back().format == s.format))
            current_.runs.push_back(RtfRun{QString(), s.format});
        current_.runs.back().text.append(c);
    }

    void paragraphBreak() {
        const GroupState &s = state();
        if (s.destination != Destination::Text) return;
        current_.alignment = s.paragraph.alignment;
        current_.spaceBeforeTwips = s.paragraph.spaceBeforeTwips;
        current_.spaceAfterTwips = s.paragraph.spaceAfterTwips;
        current_.leftIndentTwips = s.paragraph.leftIndentTwips;
        document_.paragraphs.push_back(std::move(current_));
        current_ = RtfParagraph{};
    }

    // True when the current character or control is the fallback text of a \u and is dropped.
    bool skipFallback() {
        if (fallbackToSkip_ <= 0) return false;
        --fallbackToSkip_;
        return true;
    }

    static bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

    static int hexDigit(char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    struct ColorEntry {
        int red = 0;
        int green = 0;
        int blue = 0;
        bool set = false;
    };

    QByteArrayView rtf_;
    qsizetype position_ = 0;
    std::vector<GroupState> stack_{GroupState{}};
    std::vector<QColor> colors_;
    ColorEntry colorEntry_;
    int fallbackToSkip_ = 0;
    RtfParagraph current_;
    RtfDocument document_;
};

}  // namespace

QString RtfParagraph::plainText() const {
    QString text;
    for (const RtfRun &run : runs) text += run.text;
    return text;
}

QString RtfDocument::plainText() const {
    QStringList lines;
    for (const RtfParagraph &paragraph : paragraphs) lines.append(paragraph.plainText());
    return lines.join(u'\n');
}

RtfDocument readRtf(QByteArrayView rtf) { return Reader(rtf).read(); }

}  // namespace harbeat
