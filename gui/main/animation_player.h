// The animation `ani` of the main window: plays a clip's frames at the clip's own rate while an
// operation runs and rests on the current frame when stopped.
#pragma once

#include <QImage>
#include <QLabel>
#include <QTimer>
#include <vector>

namespace harbeat {

class AnimationPlayer final : public QLabel {
    Q_OBJECT
public:
    explicit AnimationPlayer(QWidget *parent = nullptr);

    // The clip: its frames and the time each is shown. Stops a running clip and shows frame 0.
    void setFrames(std::vector<QImage> frames, int frameMilliseconds);
    bool hasFrames() const { return !frames_.empty(); }

    void start();
    void stop();
    bool isPlaying() const { return playing_; }

private:
    void showFrame(std::size_t index);

    std::vector<QImage> frames_;
    std::size_t current_ = 0;
    QTimer frameTimer_;
    bool playing_ = false;
};

// The frames with every pixel of the first frame's top-left colour made transparent, so the clip
// shows on whatever lies behind it.
std::vector<QImage> withTransparentBackground(std::vector<QImage> frames);

}  // namespace harbeat
