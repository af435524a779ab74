// The program's per-user store of named text values. On Linux it is an INI file that QSettings
// keeps under $XDG_CONFIG_HOME ("Corvane Software/Harbeat.conf"); on Windows the same calls reach
// HKEY_CURRENT_USER\Software\Corvane Software\Harbeat. A subkey is named by its path below that
// root with "/" between the levels ("" for the root itself, "MainForm", "Groups/Group1").
//
// No failure is reported: a value that cannot be read gives the default, a write that fails is
// lost. Every write reaches the disk before the call returns.
#pragma once

#include <QString>

namespace harbeat {

inline const QString kRegistryOrganisation = QStringLiteral("Corvane Software");
inline const QString kRegistryApplication = QStringLiteral("Harbeat");

// The stored text up to its first zero character; `defaultText` when that is empty or the value
// or key does not exist.
QString ReadRegValue(const QString &subkey, const QString &valueName, const QString &defaultText);
// Stores the text, creating the subkey and its parents as needed.
void WriteRegValue(const QString &subkey, const QString &valueName, const QString &text);
// Removes the subkey with every value and subkey below it.
void DeleteRegKey(const QString &subkey);

}  // namespace harbeat
