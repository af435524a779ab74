#include "main/song_date.h"

#include <QDate>
#include <QStringList>

namespace harbeat {
namespace {

// 1 to 12 for an English month name or its three-letter short form, any letter case; else 0.
int monthNumber(const QString &word) {
    static const QStringList kMonths = {
        QStringLiteral("january"), QStringLiteral("february"), QStringLiteral("march"),
        QStringLiteral("april"),   QStringLiteral("may"),      QStringLiteral("june"),
        QStringLiteral("july"),    QStringLiteral("august"),   QStringLiteral("september"),
        QStringLiteral("october"), QStringLiteral("november"), QStringLiteral("december")};
    const QString lower = word.toLower();
    if (lower.size() < 3) return 0;
    for (int i = 0; i < kMonths.size(); ++i)
        if (kMonths[i].startsWith(lower) && (lower.size() == 3 || lower == kMonths[i])) return i + 1;
    return 0;
}

// A number of one to `maxDigits` digits; -1 otherwise.
int smallNumber(const QString &word, int maxDigits) {
    if (word.isEmpty() || word.size() > maxDigits) return -1;
    for (const QChar c : word)
        if (!c.isDigit() || c.unicode() > u'9') return -1;
    return word.toInt();
}

// Two-digit years mean 1930 to 2029, as the date readers of the program's time did.
int fullYear(const QString &word) {
    const int year = smallNumber(word, 4);
    if (year < 0) return -1;
    if (word.size() <= 2) return year < 30 ? 2000 + year : 1900 + year;
    return year;
}

}  // namespace

QString songDateText(const QString &dateField) {
    const qsizetype comma = dateField.indexOf(u',');
    const QString afterWeekday = comma >= 0 ? dateField.mid(comma + 1) : dateField;
    const QStringList words = afterWeekday.split(u' ', Qt::SkipEmptyParts);
    if (words.size() < 3) return dateField;

    int day = smallNumber(words[0], 2);
    int month = monthNumber(words[1]);
    if (day < 0 || month == 0) {  // "Jun 12 1999"
        month = monthNumber(words[0]);
        day = smallNumber(words[1], 2);
    }
    const int year = fullYear(words[2]);
    const QDate date(year, month, day);
    if (day < 0 || month == 0 || year < 0 || !date.isValid()) return dateField;
    return QStringLiteral("%1/%2/%3").arg(date.month()).arg(date.day()).arg(date.year() % 100, 2, 10, QLatin1Char('0'));
}

}  // namespace harbeat
