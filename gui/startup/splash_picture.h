// The start-up form's picture, drawn by the program itself: a record, a level meter and a beat
// line behind the program's name.
#pragma once

#include <QPixmap>
#include <QSize>

namespace harbeat {

inline constexpr QSize kSplashPictureSize{400, 300};

QPixmap drawSplashPicture();

}  // namespace harbeat
