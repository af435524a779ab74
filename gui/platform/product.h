// Product constants shown to the user or used to reach the vendor.
#pragma once

#include <QString>

namespace harbeat {

// The program's name; also the title of its message boxes.
inline const QString kProductName = QStringLiteral("Harbeat");
// The vendor's web site and its help page.
inline const QString kVendorAddress = QStringLiteral("http://www.harbeat.example");
inline const QString kHelpAddress = kVendorAddress + QStringLiteral("/help");

inline constexpr int kVersionMajor = 2;
inline constexpr int kVersionMinor = 0;
inline constexpr int kVersionRevision = 260;

}  // namespace harbeat
