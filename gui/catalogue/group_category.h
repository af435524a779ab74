// Which music category a newsgroup belongs to. Pure functions.
#pragma once

#include <QString>

namespace harbeat {

// The text with every occurrence of `find` removed (case-sensitive). The search starts again
// from the beginning after each removal, so an occurrence that a removal creates goes too:
// removing "alt" from "aaltlt" leaves "". `find` must not be empty.
QString RemoveAll(QString text, const QString &find);

// The category of a newsgroup ("1990s", "jazz", "heavy metal", ...), or "*" for a group that
// belongs to no music category.
QString GroupCategory(const QString &name);

}  // namespace harbeat
