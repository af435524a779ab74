// The category list lstGroups: one row per music category of the catalogue. Selecting or
// deselecting a row ticks or unticks every catalogue entry of that category.
#include <QListWidget>

#include "catalogue/catalogue.h"
#include "main/catalogue_choices.h"
#include "main/frm_main.h"

namespace harbeat {

void frmMain::ShowGroupList() {
    // Rows added here take the catalogue's flags; only the user's own changes go back to it.
    fillingGroups_ = true;
    lstGroups->clear();
    for (int32_t i = 1; i <= Groups.usedCount(); ++i) {
        const GroupEntry &entry = Groups.entry(i);
        const QString category = listedCategory(entry);
        if (category != u"*") lstGroups_AddItem(category, entry.Selected);
    }
    fillingGroups_ = false;
}

void frmMain::lstGroups_AddItem(const QString &target, bool selected) {
    if (!lstGroups->findItems(target, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) return;
    auto *row = new QListWidgetItem(target, lstGroups);
    row->setSelected(selected);
}

void frmMain::lstGroups_RemoveItem(const QString &target) {
    for (int row = lstGroups->count() - 1; row >= 0; --row)
        if (lstGroups->item(row)->text() == target) delete lstGroups->takeItem(row);
}

void frmMain::lstGroups_Click(const QItemSelection &selected, const QItemSelection &deselected) {
    if (fillingGroups_) return;
    // Every row whose state changed, so that a drag across several rows ticks them all.
    for (const QItemSelection *changed : {&selected, &deselected}) {
        for (const QModelIndex &index : changed->indexes()) {
            const QString text = index.data().toString();
            if (!text.isEmpty()) setCategorySelected(Groups, text, lstGroups->selectionModel()->isSelected(index));
        }
    }
}

}  // namespace harbeat
