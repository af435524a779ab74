// harbeat: finds MP3 songs posted to Usenet binary newsgroups.
#include <QApplication>

#include "main/frm_main.h"
#include "main/nzb_open.h"
#include "platform/qt_platform.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);  // takes Qt's own arguments out of argv
    harbeat::prepareApplication();

    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

    // Named before the load, which makes the program folder the current one.
    const QString nzbFile = harbeat::nzbPathFromArguments(arguments);
    harbeat::frmMain window;
    window.Form_Load(arguments);
    window.show();
    if (!nzbFile.isEmpty()) harbeat::openNzbFile(window, nzbFile);
    return QApplication::exec();
}
