#include "main/song_date.h"

#include <QDate>
#include <QStringView>
#include <array>
#include <cstdio>

namespace harbeat {
namespace {

// 1 to 12 for an English month name or its three-letter short form, any letter case; else 0.
int monthNumber(QStringView word) {
    static constexpr std::array<const char16_t *, 12> kMonths = {u"january",   u"february", u"march",    u"april",
                                                                 u"may",       u"june",     u"july",     u"august",
                                                                 u"september", u"october",  u"november", u"december"};
    if (word.size() < 3) return 0;
    for (std::size_t i = 0; i < kMonths.size(); ++i) {
        const QStringView month(kMonths[i]);
        const bool matches = word.size() == 3 ? word.compare(month.first(3), Qt::CaseInsensitive) == 0
                                              : word.compare(month, Qt::CaseInsensitive) == 0;
        if (matches) return static_cast<int>(i) + 1;
    }
    return 0;
}

// A number of one to `maxDigits` ASCII digits; -1 otherwise.
int smallNumber(QStringView word, int maxDigits) {
    if (word.isEmpty() || word.size() > maxDigits) return -1;
    int value = 0;
    for (const QChar c : word) {
        if (c < u'0' || c > u'9') return -1;
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

// Two-digit years mean 1930 to 2029, as the date readers of the program's time did.
int fullYear(QStringView word) {
    const int year = smallNumber(word, 4);
    if (year < 0) return -1;
    if (word.size() <= 2) return year < 30 ? 2000 + year : 1900 + year;
    return year;
}

// Up to three words separated by blanks; returns how many were found.
int firstWords(QStringView text, std::array<QStringView, 3> &words) {
    int found = 0;
    qsizetype i = 0;
    while (found < 3) {
        while (i < text.size() && text[i] == u' ') ++i;
        if (i >= text.size()) break;
        const qsizetype start = i;
        while (i < text.size() && text[i] != u' ') ++i;
        words[static_cast<std::size_t>(found++)] = text.sliced(start, i - start);
    }
    return found;
}

}  // namespace

QString songDateText(const QString &dateField) {
    QStringView afterWeekday = dateField;
    const qsizetype comma = afterWeekday.indexOf(u',');
    if (comma >= 0) afterWeekday = afterWeekday.sliced(comma + 1);
    std::array<QStringView, 3> words;
    if (firstWords(afterWeekday, words) < 3) return dateField;

    int day = smallNumber(words[0], 2);
    int month = monthNumber(words[1]);
    if (day < 0 || month == 0) {  // "Jun 12 1999"
        month = monthNumber(words[0]);
        day = smallNumber(words[1], 2);
    }
    const int year = fullYear(words[2]);
    if (day < 0 || month == 0 || year < 0 || !QDate::isValid(year, month, day)) return dateField;
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%d/%d/%02d", month, day, year % 100);
    return QString::fromLatin1(text, length);
}

QString songDateSortKey(const QString &shownDate) {
    const QStringView date(shownDate);
    const qsizetype firstSlash = date.indexOf(u'/');
    const qsizetype secondSlash = firstSlash < 0 ? -1 : date.indexOf(u'/', firstSlash + 1);
    if (secondSlash > 0) {
        const int month = smallNumber(date.first(firstSlash), 2);
        const int day = smallNumber(date.sliced(firstSlash + 1, secondSlash - firstSlash - 1), 2);
        const QStringView yearText = date.sliced(secondSlash + 1);
        const int year = yearText.size() == 2 ? fullYear(yearText) : -1;
        if (month > 0 && day > 0 && year > 0 && QDate::isValid(year, month, day)) {
            char key[16];
            const int length = std::snprintf(key, sizeof key, "0%04d%02d%02d", year, month, day);
            return QString::fromLatin1(key, length);
        }
    }
    return QLatin1Char('1') + shownDate.toCaseFolded();
}

}  // namespace harbeat
