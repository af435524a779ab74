// The "Save Time" of a song: the posting date of its article, shown as "m/d/yy".
#pragma once

#include <QString>

namespace harbeat {

// Reads the date of an article's Date field ("Sat, 12 Jun 1999 14:22:33 GMT", or without the
// weekday "12 Jun 1999 14:22:33 GMT"; the month may also come before the day) and gives it as
// "m/d/yy" ("6/12/99"): month and day without leading zeros, two-digit year. A time or zone
// behind the year is ignored. A field that holds no readable date is given back unchanged.
QString songDateText(const QString &dateField);

// What the "Save Time" column sorts by: a shown "m/d/yy" date gives a key that orders by the
// date itself (two-digit years as songDateText reads them); any other text sorts after every
// date, by its text ignoring letter case.
QString songDateSortKey(const QString &shownDate);

}  // namespace harbeat
