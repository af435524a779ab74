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

}  // namespace harbeat
