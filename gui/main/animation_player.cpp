#include "main/animation_player.h"

#include <QPixmap>
#include <algorithm>

namespace harbeat {

AnimationPlayer::AnimationPlayer(QWidget *parent) : QLabel(parent) {
    setAlignment(Qt::AlignCenter);
    connect(&frameTimer_, &QTimer::timeout, this, [this] { showFrame((current_ + 1) % frames_.size()); });
}

void AnimationPlayer::setFrames(std::vector<QImage> frames, int frameMilliseconds) {
    stop();
    frames_ = std::move(frames);
    frameTimer_.setInterval(std::max(frameMilliseconds, 1));
    if (frames_.empty())
        clear();
    else
        showFrame(0);
}

void AnimationPlayer::start() {
    playing_ = true;
    if (frames_.size() > 1) frameTimer_.start();
}

void AnimationPlayer::stop() {
    playing_ = false;
    frameTimer_.stop();
}

void AnimationPlayer::showFrame(std::size_t index) {
    current_ = index;
    setPixmap(QPixmap::fromImage(frames_[index]));
}

std::vector<QImage> withTransparentBackground(std::vector<QImage> frames) {
    if (frames.empty() || frames.front().isNull()) return frames;
    const QRgb background = frames.front().pixel(0, 0) | 0xff000000u;
    for (QImage &frame : frames) {
        frame = frame.convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < frame.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(frame.scanLine(y));
            for (int x = 0; x < frame.width(); ++x)
                if ((line[x] | 0xff000000u) == background) line[x] = 0;
        }
    }
    return frames;
}

}  // namespace harbeat
