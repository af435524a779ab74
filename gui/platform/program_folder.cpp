#include "platform/program_folder.h"

#include <QCoreApplication>

namespace harbeat {

QString programFolder() { return QCoreApplication::applicationDirPath(); }

QString dataFile(const QString &fileName) { return programFolder() + QStringLiteral("/data/") + fileName; }

}  // namespace harbeat
