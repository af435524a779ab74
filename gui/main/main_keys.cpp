#include "main/main_keys.h"

#include <QKeyEvent>

#include "main/frm_main.h"

namespace harbeat {

MainCommand commandForKey(int key, Qt::KeyboardModifiers modifiers) {
    switch (key) {
        case Qt::Key_Escape: return MainCommand::Stop;
        case Qt::Key_F5: return MainCommand::StartSearch;
        case Qt::Key_F1: return MainCommand::Help;
        default: break;
    }
    if (!(modifiers & Qt::ControlModifier)) return MainCommand::None;
    switch (key) {
        case Qt::Key_S: return MainCommand::SaveSong;
        case Qt::Key_P: return MainCommand::PreviewSong;
        case Qt::Key_R: return MainCommand::RequestSong;
        case Qt::Key_X: return MainCommand::Exit;
        case Qt::Key_O: return modifiers & Qt::ShiftModifier ? MainCommand::OpenNzb : MainCommand::Options;
        default: return MainCommand::None;
    }
}

MainCommand commandForButton(const QString &buttonKey) {
    static const std::pair<QString, MainCommand> kButtons[] = {
        {QStringLiteral("Start Search"), MainCommand::StartSearch},
        {QStringLiteral("Stop"), MainCommand::Stop},
        {QStringLiteral("Refresh"), MainCommand::StartSearch},
        {QStringLiteral("Save Song"), MainCommand::SaveSong},
        {QStringLiteral("Preview Song"), MainCommand::PreviewSong},
        {QStringLiteral("Request Song"), MainCommand::RequestSong},
        {QStringLiteral("Options"), MainCommand::Options},
        {QStringLiteral("Help"), MainCommand::Help},
        {QStringLiteral("Exit"), MainCommand::Exit},
    };
    for (const auto &[key, command] : kButtons)
        if (key == buttonKey) return command;
    return MainCommand::None;
}

bool frmMain::Form_KeyUp(int key, Qt::KeyboardModifiers modifiers) {
    const MainCommand command = commandForKey(key, modifiers);
    if (command == MainCommand::None) return false;
    runCommand(command);
    return true;
}

void frmMain::keyReleaseEvent(QKeyEvent *event) {
    // Holding a key repeats press and release; the command runs once, when the key comes up.
    if (event->isAutoRepeat() || !Form_KeyUp(event->key(), event->modifiers())) QMainWindow::keyReleaseEvent(event);
}

}  // namespace harbeat
