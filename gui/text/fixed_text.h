// A text field of fixed width: a longer text assigned to it is cut to the width, a shorter one
// is kept as it is (not padded).
#pragma once

#include <QString>

namespace harbeat {

template <int Width>
class FixedText {
public:
    static constexpr int width = Width;

    FixedText() = default;
    FixedText(const QString &text) : text_(text.left(Width)) {}
    FixedText(const char *text) : FixedText(QString::fromUtf8(text)) {}

    FixedText &operator=(const QString &text) {
        text_ = text.left(Width);
        return *this;
    }

    FixedText &operator=(const char *text) { return *this = QString::fromUtf8(text); }

    const QString &text() const { return text_; }
    operator const QString &() const { return text_; }
    bool operator==(const QString &other) const { return text_ == other; }

private:
    QString text_;
};

}  // namespace harbeat
