// The main window's commands and what starts them: the keys (the window's shortcuts) and the
// keys of the toolbar buttons. Pure functions.
#pragma once

#include <QKeyCombination>
#include <QString>
#include <Qt>
#include <vector>

namespace harbeat {

enum class MainCommand { None, StartSearch, Stop, SaveSong, PreviewSong, RequestSong, Options, Help, Exit, OpenNzb };

// Esc, F5 and F1 with any modifier; S, P, R, X and O with Ctrl held, Shift too or not, except
// Ctrl+Shift+O, which opens an NZB file. Anything else is None.
MainCommand commandForKey(int key, Qt::KeyboardModifiers modifiers);

// Every key combination with a command (commandForKey), Shift and Ctrl combined in all ways.
struct CommandKey {
    QKeyCombination keys;
    MainCommand command;
};
std::vector<CommandKey> commandKeys();

// The command of a toolbar button's key ("Refresh" starts a search, as "Start Search" does).
MainCommand commandForButton(const QString &buttonKey);

}  // namespace harbeat
