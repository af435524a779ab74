#include "startup/splash_picture.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <array>

#include "platform/product.h"

namespace harbeat {
namespace {

const QColor kNight(14, 24, 54);
const QColor kDusk(58, 30, 88);
const QColor kAmber(255, 170, 60);
const QColor kCoral(240, 90, 90);
const QColor kTeal(60, 200, 200);

void paintBackground(QPainter &painter, const QRect &area) {
    QLinearGradient sky(area.topLeft(), area.bottomRight());
    sky.setColorAt(0, kNight);
    sky.setColorAt(1, kDusk);
    painter.fillRect(area, sky);
    // A soft glow behind the record.
    QRadialGradient glow(QPointF(330, 116), 170);
    glow.setColorAt(0, QColor(255, 170, 60, 70));
    glow.setColorAt(1, QColor(255, 170, 60, 0));
    painter.fillRect(area, glow);
}

void paintRecord(QPainter &painter) {
    const QPointF centre(330, 116);
    const double radius = 104;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(12, 12, 16));
    painter.drawEllipse(centre, radius, radius);
    // Grooves, with a light sheen on one side.
    for (double r = radius - 6; r > 40; r -= 5) {
        painter.setPen(QPen(QColor(60, 60, 72), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(centre, r, r);
    }
    QConicalGradient sheen(centre, 45);
    sheen.setColorAt(0.0, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.08, QColor(255, 255, 255, 50));
    sheen.setColorAt(0.16, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.5, QColor(255, 255, 255, 0));
    sheen.setColorAt(0.58, QColor(255, 255, 255, 40));
    sheen.setColorAt(0.66, QColor(255, 255, 255, 0));
    sheen.setColorAt(1.0, QColor(255, 255, 255, 0));
    painter.setPen(Qt::NoPen);
    painter.setBrush(sheen);
    painter.drawEllipse(centre, radius - 4, radius - 4);
    // The label and the spindle hole.
    QRadialGradient label(centre, 36);
    label.setColorAt(0, kAmber);
    label.setColorAt(1, kCoral);
    painter.setBrush(label);
    painter.drawEllipse(centre, 36, 36);
    painter.setBrush(kNight);
    painter.drawEllipse(centre, 4, 4);
}

void paintLevelMeter(QPainter &painter) {
    // Fixed bar heights, so the picture is the same at every start.
    constexpr std::array<int, 22> heights{18, 30, 46, 38, 58, 72, 52, 64, 84, 70, 50,
                                          62, 78, 56, 40, 48, 34, 44, 28, 20, 26, 14};
    constexpr int barWidth = 11;
    constexpr int gap = 4;
    constexpr int baseline = 284;
    int x = 22;
    for (int height : heights) {
        QLinearGradient fill(0, baseline - 90, 0, baseline);
        fill.setColorAt(0, kAmber);
        fill.setColorAt(0.5, kCoral);
        fill.setColorAt(1, kTeal);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.drawRoundedRect(QRectF(x, baseline - height, barWidth, height), 2, 2);
        painter.setBrush(QColor(255, 255, 255, 18));
        painter.drawRoundedRect(QRectF(x, baseline + 3, barWidth, height / 4.0), 2, 2);
        x += barWidth + gap;
    }
}

void paintBeatLine(QPainter &painter) {
    QPainterPath beat;
    beat.moveTo(0, 186);
    beat.lineTo(150, 186);
    beat.lineTo(162, 166);
    beat.lineTo(176, 214);
    beat.lineTo(192, 140);
    beat.lineTo(206, 204);
    beat.lineTo(216, 186);
    beat.lineTo(400, 186);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(60, 200, 200, 70), 7, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(beat);
    painter.setPen(QPen(QColor(200, 255, 250), 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(beat);
}

void paintTitle(QPainter &painter) {
    QFont title(QStringLiteral("DejaVu Sans"));
    title.setPixelSize(46);
    title.setBold(true);
    title.setLetterSpacing(QFont::PercentageSpacing, 96);
    painter.setFont(title);
    painter.setPen(QColor(0, 0, 0, 110));
    painter.drawText(QPointF(24, 78), kProductName);
    painter.setPen(Qt::white);
    painter.drawText(QPointF(22, 76), kProductName);

    QFont tagline(QStringLiteral("DejaVu Sans"));
    tagline.setPixelSize(14);
    painter.setFont(tagline);
    painter.setPen(QColor(255, 214, 160));
    painter.drawText(QPointF(25, 102), QStringLiteral("MP3 songs from the newsgroups"));

    QFont version(QStringLiteral("DejaVu Sans"));
    version.setPixelSize(11);
    painter.setFont(version);
    painter.setPen(QColor(200, 200, 230));
    painter.drawText(QPointF(25, 122),
                     QStringLiteral("Version %1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
}

}  // namespace

QPixmap drawSplashPicture() {
    QPixmap picture(kSplashPictureSize);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRect area(QPoint(0, 0), kSplashPictureSize);
    paintBackground(painter, area);
    paintRecord(painter);
    paintLevelMeter(painter);
    paintBeatLine(painter);
    paintTitle(painter);
    return picture;
}

}  // namespace harbeat
