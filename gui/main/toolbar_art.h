// The main window's artwork, drawn by the program itself: the toolbar's nine button images (one
// list at rest, one under the mouse) and the note icon of the song rows.
#pragma once

#include <QIcon>
#include <QImage>
#include <QSize>
#include <vector>

namespace harbeat {

inline constexpr QSize kToolbarImageSize{40, 50};
inline constexpr int kToolbarImageCount = 9;

enum class ToolbarImageState { MouseOff, MouseOn };

// The images in bar order: Start Search, Stop, Refresh, Save Song, Preview Song, Request Song,
// Options, Help, Exit. Under the mouse they are in full colour; at rest in softer colours.
std::vector<QImage> drawToolbarImages(ToolbarImageState state);

// A pair of beamed quavers.
QIcon drawNoteIcon();

}  // namespace harbeat
