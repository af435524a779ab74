#pragma once

#include <QString>

namespace harbeat {

// The folder that holds the program (no trailing "/"); data/ and libcorvane_n.so lie beside it.
QString programFolder();
// programFolder() + "/data/" + fileName.
QString dataFile(const QString &fileName);

// The folder the preview file is written to: the program folder, or, when the program may not
// write there (an installed program), the user's cache folder, created when missing.
QString previewFolder();
// Where songs are saved when no save folder is set: the user's music folder (created when
// missing), else the home folder.
QString defaultSaveFolder();

}  // namespace harbeat
