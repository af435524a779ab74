// Everything that shows something to the user and waits for them, or reaches outside the
// program: message and question boxes, the beep, opening a file or web page, the folder and file
// pickers and blocking pauses. The program calls these only through platform(), so tests can install a
// recording fake and no test ever waits on a modal box or a real pause.
#pragma once

#include <QString>

class QWidget;

namespace harbeat {

enum class BoxIcon { Information, Warning };

class Platform {
public:
    virtual ~Platform() = default;

    // A modal box with the program's title, the icon and an OK button.
    virtual void messageBox(QWidget *owner, const QString &text, BoxIcon icon) = 0;
    // A modal question with OK and Cancel buttons; true when the user chose OK.
    virtual bool askOkCancel(QWidget *owner, const QString &text) = 0;
    virtual void beep() = 0;
    // Opens a file with the program the desktop associates with it, or a web address (one that
    // starts with a scheme such as http:) in the browser. False when nothing could be started.
    virtual bool documentOpen(QWidget *owner, const QString &target) = 0;
    // The folder browser, opened at `startFolder` ("" for the desktop's choice); the chosen
    // folder, or "" when the user cancelled.
    virtual QString pickFolder(QWidget *owner, const QString &prompt, const QString &startFolder) = 0;
    // The file chooser for opening one file, with a filter such as "NZB files (*.nzb)"; the
    // chosen file, or "" when the user cancelled.
    virtual QString pickFile(QWidget *owner, const QString &prompt, const QString &filter) = 0;
    // Blocks the GUI thread for the given time. The window of keepVisible is repainted first so
    // that what it shows stays on screen while nothing else is painted.
    virtual void pause(int milliseconds, QWidget *keepVisible) = 0;
    // Ends the program at once: no window is unloaded and nothing more is saved. Callers return
    // straight after it (a test's fake records the call and returns).
    virtual void endProgram() = 0;
};

// The installed implementation; the Qt one unless a test installed another.
Platform &platform();
// Installs `replacement` (not owned); null restores the Qt implementation.
void installPlatform(Platform *replacement);

}  // namespace harbeat
