#include "settings/registry.h"

#include <QSettings>

namespace harbeat {
namespace {

QString valuePath(const QString &subkey, const QString &valueName) {
    return subkey.isEmpty() ? valueName : subkey + QLatin1Char('/') + valueName;
}

}  // namespace

QString ReadRegValue(const QString &subkey, const QString &valueName, const QString &defaultText) {
    const QSettings store(kRegistryOrganisation, kRegistryApplication);
    const QVariant value = store.value(valuePath(subkey, valueName));
    // A comma in a hand-edited INI value makes QSettings read a list; it is still one text.
    QString text =
        value.typeId() == QMetaType::QStringList ? value.toStringList().join(QStringLiteral(", ")) : value.toString();
    const qsizetype zero = text.indexOf(QChar(u'\0'));
    if (zero >= 0) text.truncate(zero);
    return text.isEmpty() ? defaultText : text;
}

void WriteRegValue(const QString &subkey, const QString &valueName, const QString &text) {
    QSettings store(kRegistryOrganisation, kRegistryApplication);
    store.setValue(valuePath(subkey, valueName), text);
    store.sync();
}

void DeleteRegKey(const QString &subkey) {
    QSettings store(kRegistryOrganisation, kRegistryApplication);
    store.remove(subkey);
    store.sync();
}

}  // namespace harbeat
