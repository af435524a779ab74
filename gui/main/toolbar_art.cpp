#include "main/toolbar_art.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QtMath>
#include <functional>

namespace harbeat {
namespace {

const QColor kOutline(0x2b, 0x34, 0x40);
constexpr qreal kOutlineWidth = 1.6;

// A fill that is lighter at the top, as if lit from above.
QBrush litFill(const QColor &colour, qreal top, qreal bottom) {
    QLinearGradient gradient(0, top, 0, bottom);
    gradient.setColorAt(0, colour.lighter(135));
    gradient.setColorAt(1, colour.darker(110));
    return gradient;
}

void fillShape(QPainter &p, const QPainterPath &shape, const QColor &colour) {
    const QRectF box = shape.boundingRect();
    p.setPen(QPen(kOutline, kOutlineWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(litFill(colour, box.top(), box.bottom()));
    p.drawPath(shape);
}

// A quaver: head at (x, y), stem up, flag to the right.
void drawQuaver(QPainter &p, qreal x, qreal y, qreal size, const QColor &colour) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(colour);
    p.translate(x, y);
    p.rotate(-20);
    p.drawEllipse(QPointF(0, 0), size * 0.32, size * 0.22);
    p.restore();
    p.setPen(QPen(colour, size * 0.12, Qt::SolidLine, Qt::FlatCap));
    const qreal stemX = x + size * 0.27;
    p.drawLine(QPointF(stemX, y - size * 0.05), QPointF(stemX, y - size));
    QPainterPath flag(QPointF(stemX, y - size));
    flag.cubicTo(stemX + size * 0.15, y - size * 0.7, stemX + size * 0.5, y - size * 0.65, stemX + size * 0.3,
                 y - size * 0.35);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flag);
}

void drawSearch(QPainter &p) {
    QPainterPath handle;
    handle.moveTo(24, 29);
    handle.lineTo(27, 26);
    handle.lineTo(37, 36);
    handle.quadTo(37, 39, 34, 39);
    handle.closeSubpath();
    fillShape(p, handle, QColor(0x8a, 0x55, 0x2a));
    QPainterPath rim;
    rim.addEllipse(QPointF(17, 21), 12, 12);
    fillShape(p, rim, QColor(0x9a, 0xa7, 0xb4));
    QPainterPath lens;
    lens.addEllipse(QPointF(17, 21), 9, 9);
    fillShape(p, lens, QColor(0x8c, 0xc8, 0xf0));
    drawQuaver(p, 15, 25, 10, QColor(0x1f, 0x3f, 0x8f));
}

void drawStop(QPainter &p) {
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const qreal angle = qDegreesToRadians(22.5 + 45.0 * i);
        octagon << QPointF(20 + 15 * qCos(angle), 25 + 15 * qSin(angle));
    }
    QPainterPath sign;
    sign.addPolygon(octagon);
    sign.closeSubpath();
    fillShape(p, sign, QColor(0xd9, 0x3a, 0x2e));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawRoundedRect(QRectF(14, 19, 12, 12), 1.5, 1.5);
}

// An arc of the refresh sign, from `start` through `span` degrees, with an arrowhead at its end.
void drawTurningArrow(QPainter &p, qreal start, qreal span, const QColor &colour) {
    const QPointF centre(20, 25);
    constexpr qreal radius = 12;
    QPainterPath arc;
    arc.arcMoveTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), start);
    arc.arcTo(QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius), start, span);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kOutline, 6.5, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);
    p.setPen(QPen(colour, 3.5, Qt::SolidLine, Qt::FlatCap));
    p.drawPath(arc);

    const qreal end = qDegreesToRadians(start + span);
    const QPointF tip(centre.x() + radius * qCos(end), centre.y() - radius * qSin(end));
    // Along the arc (counter-clockwise on screen) and across it.
    const QPointF along(-qSin(end), -qCos(end));
    const QPointF across(qCos(end), -qSin(end));
    QPainterPath head;
    head.moveTo(tip + along * 7);
    head.lineTo(tip + across * 6);
    head.lineTo(tip - across * 6);
    head.closeSubpath();
    fillShape(p, head, colour);
}

void drawRefresh(QPainter &p) {
    const QColor green(0x2f, 0x9e, 0x44);
    drawTurningArrow(p, 20, 140, green);
    drawTurningArrow(p, 200, 140, green);
}

void drawSave(QPainter &p) {
    QPainterPath tray;
    tray.moveTo(5, 31);
    tray.lineTo(11, 31);
    tray.lineTo(13, 35);
    tray.lineTo(27, 35);
    tray.lineTo(29, 31);
    tray.lineTo(35, 31);
    tray.lineTo(35, 41);
    tray.lineTo(5, 41);
    tray.closeSubpath();
    fillShape(p, tray, QColor(0x86, 0x94, 0xa3));
    QPainterPath arrow;
    arrow.moveTo(16, 8);
    arrow.lineTo(24, 8);
    arrow.lineTo(24, 21);
    arrow.lineTo(30, 21);
    arrow.lineTo(20, 32);
    arrow.lineTo(10, 21);
    arrow.lineTo(16, 21);
    arrow.closeSubpath();
    fillShape(p, arrow, QColor(0x22, 0x74, 0xd0));
}

void drawPreview(QPainter &p) {
    QPainterPath band;
    band.moveTo(7, 29);
    band.cubicTo(7, 7, 33, 7, 33, 29);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(kOutline, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(band);
    p.setPen(QPen(QColor(0x5c, 0x66, 0x73), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(band);
    for (const qreal x : {4.0, 28.0}) {
        QPainterPath cup;
        cup.addRoundedRect(QRectF(x, 25, 8, 14), 3, 3);
        fillShape(p, cup, QColor(0xe8, 0x59, 0x0c));
    }
    drawQuaver(p, 18, 35, 11, QColor(0x1f, 0x3f, 0x8f));
}

void drawRequest(QPainter &p) {
    QPainterPath envelope;
    envelope.addRoundedRect(QRectF(4, 15, 32, 22), 2, 2);
    fillShape(p, envelope, QColor(0xff, 0xec, 0xb8));
    p.setPen(QPen(kOutline, 1.3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF({QPointF(5, 16), QPointF(20, 28), QPointF(35, 16)}));
    QPainterPath seal;
    seal.addEllipse(QPointF(20, 28), 4, 4);
    fillShape(p, seal, QColor(0xc9, 0x2a, 0x2a));
    drawQuaver(p, 30, 13, 9, QColor(0x1f, 0x3f, 0x8f));
}

void drawOptions(QPainter &p) {
    constexpr int teeth = 8;
    QPainterPath gear;
    for (int i = 0; i < teeth * 4; ++i) {
        // Each tooth: rise, top, fall, root.
        const qreal angle = qDegreesToRadians(360.0 * i / (teeth * 4) + 5);
        const qreal radius = (i % 4 == 1 || i % 4 == 2) ? 15.5 : 11.5;
        const QPointF point(20 + radius * qCos(angle), 25 + radius * qSin(angle));
        if (i == 0)
            gear.moveTo(point);
        else
            gear.lineTo(point);
    }
    gear.closeSubpath();
    gear.addEllipse(QPointF(20, 25), 5, 5);
    gear.setFillRule(Qt::OddEvenFill);
    fillShape(p, gear, QColor(0x6c, 0x86, 0xa8));
}

void drawHelp(QPainter &p) {
    QPainterPath disc;
    disc.addEllipse(QPointF(20, 25), 15, 15);
    fillShape(p, disc, QColor(0x1c, 0x7e, 0xd6));
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(22);
    font.setBold(true);
    QPainterPath mark;
    mark.addText(0, 0, font, QStringLiteral("?"));
    const QRectF box = mark.boundingRect();
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(mark.translated(20 - box.center().x(), 25 - box.center().y()));
}

void drawExit(QPainter &p) {
    QPainterPath frame;
    frame.addRect(QRectF(6, 9, 20, 32));
    fillShape(p, frame, QColor(0x55, 0x5f, 0x6b));
    QPainterPath door;
    door.moveTo(8, 11);
    door.lineTo(20, 14);
    door.lineTo(20, 42);
    door.lineTo(8, 39);
    door.closeSubpath();
    fillShape(p, door, QColor(0xa0, 0x60, 0x30));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xf0, 0xc0, 0x40));
    p.drawEllipse(QPointF(17.5, 27), 1.4, 1.4);
    QPainterPath arrow;
    arrow.moveTo(22, 22);
    arrow.lineTo(29, 22);
    arrow.lineTo(29, 17);
    arrow.lineTo(37, 25);
    arrow.lineTo(29, 33);
    arrow.lineTo(29, 28);
    arrow.lineTo(22, 28);
    arrow.closeSubpath();
    fillShape(p, arrow, QColor(0x2f, 0x9e, 0x44));
}

// The resting look: colours pulled halfway to grey and a little lighter, so the button under the
// mouse stands out.
QImage softened(const QImage &image) {
    QImage soft = image;
    for (int y = 0; y < soft.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(soft.scanLine(y));
        for (int x = 0; x < soft.width(); ++x) {
            const QRgb pixel = line[x];
            const int alpha = qAlpha(pixel);
            if (alpha == 0) continue;
            // Premultiplied: mix within the pixel's own alpha.
            const int grey = (qRed(pixel) * 30 + qGreen(pixel) * 59 + qBlue(pixel) * 11) / 100;
            auto mix = [&](int channel) { return std::min((channel + grey) / 2 + alpha * 12 / 100, alpha); };
            line[x] = qRgba(mix(qRed(pixel)), mix(qGreen(pixel)), mix(qBlue(pixel)), alpha);
        }
    }
    return soft;
}

}  // namespace

std::vector<QImage> drawToolbarImages(ToolbarImageState state) {
    static const std::function<void(QPainter &)> kGlyphs[kToolbarImageCount] = {
        drawSearch, drawStop, drawRefresh, drawSave, drawPreview, drawRequest, drawOptions, drawHelp, drawExit};
    std::vector<QImage> images;
    for (const auto &glyph : kGlyphs) {
        QImage image(kToolbarImageSize, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        {
            QPainter painter(&image);
            painter.setRenderHint(QPainter::Antialiasing);
            glyph(painter);
        }
        images.push_back(state == ToolbarImageState::MouseOn ? image : softened(image));
    }
    return images;
}

QIcon drawNoteIcon() {
    QImage image(16, 16, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        const QColor ink(0x1f, 0x3f, 0x8f);
        p.setPen(Qt::NoPen);
        p.setBrush(ink);
        for (const QPointF head : {QPointF(4, 12.5), QPointF(11.5, 11)}) {
            p.save();
            p.translate(head);
            p.rotate(-20);
            p.drawEllipse(QPointF(0, 0), 2.8, 2.0);
            p.restore();
        }
        p.setPen(QPen(ink, 1.3, Qt::SolidLine, Qt::FlatCap));
        p.drawLine(QPointF(6.4, 12), QPointF(6.4, 3.5));
        p.drawLine(QPointF(13.9, 10.5), QPointF(13.9, 2));
        p.setPen(Qt::NoPen);
        p.drawPolygon(QPolygonF({QPointF(5.8, 3.0), QPointF(14.5, 1.4), QPointF(14.5, 4.2), QPointF(5.8, 5.8)}));
    }
    return QIcon(QPixmap::fromImage(image));
}

}  // namespace harbeat
