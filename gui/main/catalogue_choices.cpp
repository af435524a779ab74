#include "main/catalogue_choices.h"

#include "catalogue/group_category.h"
#include "text/value_text.h"

namespace harbeat {

QString listedCategory(const GroupEntry &entry) {
    const QString category = trimBlanks(entry.Category.text());
    return category.isEmpty() ? GroupCategory(trimBlanks(entry.Name.text())) : category;
}

void setCategorySelected(GroupCatalogue &catalogue, const QString &category, bool selected) {
    for (int32_t i = 1; i <= catalogue.usedCount(); ++i) {
        GroupEntry &entry = catalogue.entry(i);
        if (trimBlanks(entry.Category.text()) == category) entry.Selected = selected;
    }
}

void LoadDefaultGroup199x(GroupCatalogue &catalogue) {
    for (int year = 2000; year >= 1900; year -= 10) {
        const QString decade = QString::number(year) + u's';
        for (int32_t i = 1; i <= catalogue.usedCount(); ++i) {
            GroupEntry &entry = catalogue.entry(i);
            if (trimBlanks(entry.Category.text()) == decade) {
                entry.Selected = true;
                return;
            }
        }
    }
}

QString searchRequestText(const GroupCatalogue &catalogue) {
    QString request;
    for (int32_t i = 1; i <= catalogue.usedCount(); ++i) {
        const GroupEntry &entry = catalogue.entry(i);
        if (!entry.Selected) continue;
        request += trimBlanks(entry.Name.text()) + u'\t' + listedCategory(entry) + QStringLiteral("\r\n");
    }
    return request;
}

}  // namespace harbeat
