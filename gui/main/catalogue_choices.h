// What the main window reads from and writes to the newsgroup catalogue: the category each entry
// is listed under, the ticks of the category list, and the search request built from them.
// Pure functions over a catalogue.
#pragma once

#include <QString>

#include "catalogue/catalogue.h"

namespace harbeat {

// The entry's category trimmed of blanks; when that is empty, the category of its trimmed
// newsgroup name. "*" means the entry is never listed.
QString listedCategory(const GroupEntry &entry);

// Sets the selected flag of every entry whose trimmed category equals `category` exactly.
void setCategorySelected(GroupCatalogue &catalogue, const QString &category, bool selected);

// Ticks a decade: the first entry whose trimmed category is "2000s", else "1990s", and so on down
// to "1900s", is selected. A catalogue without any decade category is left as it is.
void LoadDefaultGroup199x(GroupCatalogue &catalogue);

// The search request for the engine: for every selected entry, in catalogue order, its trimmed
// newsgroup name, TAB, its listed category, CR LF. "" when nothing is selected.
QString searchRequestText(const GroupCatalogue &catalogue);

}  // namespace harbeat
