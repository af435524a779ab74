// harbeat: finds MP3 songs posted to Usenet binary newsgroups.
#include <QApplication>

#include "main/frm_main.h"
#include "platform/qt_platform.h"

int main(int argc, char **argv) {
    QApplication application(argc, argv);  // takes Qt's own arguments out of argv
    harbeat::prepareApplication();

    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));

    harbeat::frmMain window;
    window.Form_Load(arguments);
    window.show();
    return QApplication::exec();
}
