#include "catalogue/catalogue.h"

#include <QSet>
#include <algorithm>

#include "catalogue/group_category.h"
#include "text/value_text.h"

namespace harbeat {

GroupCatalogue Groups;

int32_t GroupCatalogue::usedCount() const {
    return std::clamp<int32_t>(NumberOf, 0, static_cast<int32_t>(std::min<std::size_t>(entries.size(), INT32_MAX)));
}

void MergeGroupList(const QString &block) {
    QSet<QString> knownNames;
    if (Groups.NumberOf != 0) {
        for (GroupEntry &slot : Groups.entries) {
            slot.Name = trimBlanks(slot.Name.text());
            slot.Category = GroupCategory(slot.Name.text());
            knownNames.insert(slot.Name);
        }
    } else {
        // Nothing in use: old entries (left by a server change) must not count as known groups.
        Groups.entries.assign(1, GroupEntry{});
    }
    if (block == u" ") return;

    const QString lineEnd = QStringLiteral("\r\n");
    // A name counts only with its CR LF behind it; text after the last CR LF is ignored.
    for (qsizetype position = 0; position < block.size() - 1;) {
        const qsizetype end = block.indexOf(lineEnd, position);
        if (end < 0) break;
        const QString name = block.mid(position, end - position);
        position = end + lineEnd.size();

        if (knownNames.contains(name)) continue;
        const QString category = GroupCategory(name);
        if (category == u"*") continue;
        if (Groups.NumberOf != 0) Groups.entries.emplace_back();
        GroupEntry &added = Groups.entries.back();
        added.Name = name;
        added.Category = category;
        added.Selected = false;
        Groups.NumberOf = static_cast<int32_t>(Groups.entries.size());
        knownNames.insert(name);
        knownNames.insert(added.Name);
    }
}

void ResetCatalogue() {
    Groups.entries.assign(1, GroupEntry{});
    Groups.NumberOf = 0;
    Groups.LastChecked = kRebuildCatalogue;
}

}  // namespace harbeat
