// The newsgroup catalogue: every music newsgroup the program knows, with its category and
// whether the user ticked that category. Entries keep the order in which they were added.
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

#include "text/fixed_text.h"

namespace harbeat {

struct GroupEntry {
    FixedText<128> Name;
    FixedText<64> Category;
    bool Selected = false;
};

// The marker of LastChecked that asks for the catalogue to be rebuilt from the server's
// complete newsgroup list.
inline const QString kRebuildCatalogue = QStringLiteral("~");

struct GroupCatalogue {
    // The entries of the catalogue; entry n (counted from 1) is entries[n - 1]. There may be more
    // entries than entries in use: a fresh catalogue is one empty slot with NumberOf 0.
    std::vector<GroupEntry> entries{1};
    // Number of entries in use.
    int32_t NumberOf = 0;
    // "YYMMDD" of the last newsgroup-list update, or "~".
    FixedText<8> LastChecked = kRebuildCatalogue;

    // Entry n, counted from 1; n must be between 1 and the number of entries.
    GroupEntry &entry(int32_t n) { return entries[static_cast<std::size_t>(n - 1)]; }
    const GroupEntry &entry(int32_t n) const { return entries[static_cast<std::size_t>(n - 1)]; }
    // Entries in use that have a slot (NumberOf, unless the two disagree).
    int32_t usedCount() const;
};

// The program's catalogue, used on the GUI thread only.
extern GroupCatalogue Groups;

// Adds the music groups of a newsgroup-list block ("name CR LF" for each group, or " " for none)
// that the catalogue does not hold yet, as unselected entries at the end. Existing entries are
// re-classified. A catalogue with NumberOf 0 starts afresh: its old entries are dropped.
void MergeGroupList(const QString &block);

// A fresh, empty catalogue that the next newsgroup-list update rebuilds from the complete list
// (one empty slot, NumberOf 0, LastChecked "~"). Used by the reset and after a server change.
void ResetCatalogue();

}  // namespace harbeat
