#include "main/main_keys.h"

#include <QKeySequence>
#include <QShortcut>

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

std::vector<CommandKey> commandKeys() {
    static const Qt::Key kKeys[] = {Qt::Key_Escape, Qt::Key_F5, Qt::Key_F1, Qt::Key_S,
                                    Qt::Key_P,      Qt::Key_R,  Qt::Key_X,  Qt::Key_O};
    static const Qt::KeyboardModifiers kModifiers[] = {Qt::NoModifier, Qt::ShiftModifier, Qt::ControlModifier,
                                                       Qt::ControlModifier | Qt::ShiftModifier};
    std::vector<CommandKey> keys;
    for (const Qt::Key key : kKeys)
        for (const Qt::KeyboardModifiers modifiers : kModifiers) {
            const MainCommand command = commandForKey(key, modifiers);
            if (command != MainCommand::None) keys.push_back({QKeyCombination(modifiers, key), command});
        }
    return keys;
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

void frmMain::createShortcuts() {
    // Qt's shortcut handling takes the modifiers of the key press, so Ctrl released before the
    // letter still counts; an editable text box keeps the keys it claims (Ctrl+X cuts there).
    for (const CommandKey &entry : commandKeys()) {
        auto *shortcut = new QShortcut(QKeySequence(entry.keys), this);
        shortcut->setContext(Qt::WindowShortcut);
        shortcut->setAutoRepeat(false);  // a held key runs its command once
        const MainCommand run = entry.command;
        connect(shortcut, &QShortcut::activated, this, [this, run] { runCommand(run); });
    }
}

}  // namespace harbeat
