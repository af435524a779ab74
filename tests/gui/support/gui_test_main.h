// main() of a GUI test program: before Qt starts, HOME and XDG_CONFIG_HOME point at a fresh
// temporary folder (QSettings fixes its folder at its first use), so tests never touch the
// user's settings or traces.
#pragma once

#include <QObject>
#include <QString>

namespace harbeat::guitest {

// The temporary folder that is HOME and XDG_CONFIG_HOME for the test program.
QString testHome();

// Runs the test object's tests with a QApplication on the offscreen platform.
int runGuiTest(int argc, char **argv, QObject *testObject);

}  // namespace harbeat::guitest

#define HARBEAT_GUI_TEST_MAIN(TestClass)                        \
    int main(int argc, char **argv) {                           \
        TestClass test;                                         \
        return harbeat::guitest::runGuiTest(argc, argv, &test); \
    }
