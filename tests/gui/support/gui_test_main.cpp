#include "gui_test_main.h"

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace harbeat::guitest {
namespace {

std::unique_ptr<QTemporaryDir> home;

}  // namespace

QString testHome() { return home ? home->path() : QString(); }

int runGuiTest(int argc, char **argv, QObject *testObject) {
    home = std::make_unique<QTemporaryDir>();
    qputenv("HOME", home->path().toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home->path() + QStringLiteral("/config")).toLocal8Bit());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int result = 0;
    {
        QApplication application(argc, argv);
        result = QTest::qExec(testObject, argc, argv);
    }
    home.reset();
    return result;
}

}  // namespace harbeat::guitest
