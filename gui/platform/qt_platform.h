// The Platform of the running program, built on Qt's dialogs and desktop services.
#pragma once

#include "platform/platform.h"

namespace harbeat {

class QtPlatform final : public Platform {
public:
    void messageBox(QWidget *owner, const QString &text, BoxIcon icon) override;
    bool askOkCancel(QWidget *owner, const QString &text) override;
    void beep() override;
    bool documentOpen(QWidget *owner, const QString &target) override;
    QString pickFolder(QWidget *owner, const QString &prompt, const QString &startFolder) override;
    QString pickFile(QWidget *owner, const QString &prompt, const QString &filter) override;
    void pause(int milliseconds, QWidget *keepVisible) override;
    void endProgram() override;
};

// Names the running program for Qt. The window system shows each window's caption exactly as
// the window sets it: no display name is set, since Qt would append it to every caption.
void prepareApplication();

}  // namespace harbeat
