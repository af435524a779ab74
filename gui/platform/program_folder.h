#pragma once

#include <QString>

namespace harbeat {

// The folder that holds the program (no trailing "/"); data/ and libcorvane_n.so lie beside it.
QString programFolder();
// programFolder() + "/data/" + fileName.
QString dataFile(const QString &fileName);

}  // namespace harbeat
