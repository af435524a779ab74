// How the program reads numbers and truth values out of texts, and writes numbers as texts.
// Pure functions: text in, value out.
#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace harbeat {

// The text without blanks (spaces) at either end; tabs and other characters stay.
QString trimBlanks(QStringView text);

// The number at the start of the text: leading blanks, an optional sign, digits with at most one
// decimal point. A text that does not start with a number gives 0 ("12abc" gives 12, "abc" 0).
double leadingNumber(QStringView text);

// Rounds to the nearest whole number, halves to even, held within the type's range.
int32_t roundToInt32(double value);
int16_t roundToInt16(double value);

// The shortest decimal text that reads back as the same number, without an exponent
// ("500000", "0.1", "-12.5"; never "-0").
QString shortestDecimalText(double value);
QString shortestDecimalText(float value);

// A stored truth value: "True" or "False" in any letter case, or a number (0 is false, any
// other number true). Anything else has no truth value.
std::optional<bool> readBooleanText(QStringView text);

}  // namespace harbeat
