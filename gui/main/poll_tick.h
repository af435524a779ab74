// One tick of the main window's timer: turns the engine's stored reports into what the user
// sees, in a fixed order (status, progress, messages, the end of an operation, the song list,
// the tip pages).
#pragma once

#include <QString>
#include <QTime>

namespace harbeat {

class frmMain;

// The box shown when some categories of a search did not answer in time.
QString unavailableCategoriesText(const QString &categories);
// "Results of your search at hh:mm:ss" for the given local time of day.
QString searchResultsCaption(const QTime &time);

void PollNotifySlots(frmMain &form);

}  // namespace harbeat
