// Opening an NZB file (an indexer's list of a post's articles): the File menu's "Open NZB…"
// (Ctrl+Shift+O), an NZB file dropped on the window, and a file named on the command line. The
// engine lists its songs as a search does; they replace the song list as a search's songs do, and
// Save, Preview and the keyword box work on them unchanged.
#pragma once

#include <QString>
#include <QStringList>

namespace harbeat {

class frmMain;

// True for a name ending in ".nzb" or ".nzb.gz" (any letter case).
bool isNzbPath(const QString &path);

// The first argument that names an NZB file, made absolute against the current folder (the
// window's load changes that folder), or "" when there is none.
QString nzbPathFromArguments(const QStringList &arguments);

// Adds the File menu with "Open NZB…" in front of the window's menus, and lets the window take
// NZB files dropped on it.
void installNzbOpening(frmMain &form);

// Asks for an NZB file (the polling timer rests while the dialog is open) and opens it.
void chooseNzbFile(frmMain &form);

// Starts listing the songs of the NZB file. Ignored while an operation runs, as a search is.
void openNzbFile(frmMain &form, const QString &path);

}  // namespace harbeat
