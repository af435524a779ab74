// A reader for the animation clip: a RIFF AVI file whose video stream holds uncompressed frames
// (8-bit with a palette, 24-bit or 32-bit device-independent bitmaps, bottom-up or top-down).
// Pure: file bytes in, frames and frame time out. Audio and other streams are skipped.
#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QString>
#include <vector>

namespace harbeat {

struct AviClip {
    std::vector<QImage> frames;  // Format_RGB32, in play order
    // How long each frame is shown, from the stream's rate (or the file's frame time).
    int frameMicroseconds = 0;
};

struct AviReadResult {
    AviClip clip;
    QString error;  // empty when the file was read
    bool ok() const { return error.isEmpty(); }
};

AviReadResult readAvi(QByteArrayView file);

}  // namespace harbeat
