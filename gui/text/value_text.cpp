#include "text/value_text.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <string>

namespace harbeat {
namespace {

bool isDigit(QChar c) { return c >= u'0' && c <= u'9'; }

// Length of the number at the start of text (sign, digits, one decimal point); 0 when none.
qsizetype numberLength(QStringView text) {
    qsizetype i = 0;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) ++i;
    qsizetype digits = 0;
    bool point = false;
    for (; i < text.size(); ++i) {
        if (isDigit(text[i])) {
            ++digits;
        } else if (text[i] == u'.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    return digits > 0 ? i : 0;
}

template <typename Integer>
Integer roundWithin(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(value);  // the default rounding mode: halves to even
    if (rounded <= std::numeric_limits<Integer>::min()) return std::numeric_limits<Integer>::min();
    if (rounded >= std::numeric_limits<Integer>::max()) return std::numeric_limits<Integer>::max();
    return static_cast<Integer>(rounded);
}

template <typename Number>
QString shortestText(Number value) {
    if (value == 0 || std::isnan(value)) return QStringLiteral("0");
    char buffer[400];  // enough for any double in fixed notation
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc()) return QStringLiteral("0");
    return QString::fromLatin1(buffer, result.ptr - buffer);
}

}  // namespace

QString trimBlanks(QStringView text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ') ++begin;
    while (end > begin && text[end - 1] == u' ') --end;
    return text.mid(begin, end - begin).toString();
}

double leadingNumber(QStringView text) {
    qsizetype start = 0;
    while (start < text.size() && text[start] == u' ') ++start;
    const QStringView rest = text.mid(start);
    const qsizetype length = numberLength(rest);
    if (length == 0) return 0;
    std::string digits = rest.left(length).toString().toStdString();
    if (digits.front() == '+') digits.erase(0, 1);
    double value = 0;
    const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (result.ec == std::errc::result_out_of_range) {
        // Too many digits for a double: a whole part other than zero is too large (held at the
        // largest value), otherwise the number is too small to tell from zero.
        const bool negative = digits.front() == '-';
        const auto wholeStart = digits.find_first_not_of("-0");
        const bool large = wholeStart != std::string::npos && digits[wholeStart] != '.';
        value = large ? std::numeric_limits<double>::max() : 0.0;
        if (negative) value = -value;
    }
    return value;
}

int32_t roundToInt32(double value) { return roundWithin<int32_t>(value); }

int16_t roundToInt16(double value) { return roundWithin<int16_t>(value); }

QString shortestDecimalText(double value) { return shortestText(value); }

QString shortestDecimalText(float value) { return shortestText(value); }

std::optional<bool> readBooleanText(QStringView text) {
    const QString trimmed = trimBlanks(text);
    if (trimmed.compare(u"True", Qt::CaseInsensitive) == 0) return true;
    if (trimmed.compare(u"False", Qt::CaseInsensitive) == 0) return false;
    if (!trimmed.isEmpty() && numberLength(trimmed) == trimmed.size()) return leadingNumber(trimmed) != 0;
    return std::nullopt;
}

}  // namespace harbeat
