#include "ui/common/MessagePictures.h"

#include <QPainter>
#include <QPainterPath>

namespace talvex {
namespace {

QPixmap blank(int width, int height, qreal devicePixelRatio)
{
    QPixmap pixmap(qRound(width * devicePixelRatio), qRound(height * devicePixelRatio));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QPixmap opaqueBackground(qreal devicePixelRatio)
{
    QPixmap pixmap = blank(203, 152, devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    // The card, tilted a little, with rounded corners.
    painter.translate(101.5, 76);
    painter.rotate(-12);
    const QRectF card(-88, -55, 176, 110);
    QLinearGradient fill(card.topLeft(), card.bottomRight());
    fill.setColorAt(0, QColor(0x2F, 0x6E, 0xC9));
    fill.setColorAt(1, QColor(0x12, 0x2E, 0x66));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(0x0B, 0x1F, 0x45), 2));
    painter.drawRoundedRect(card, 10, 10);

    // The contact plate: a gold square divided into eight pads.
    const QRectF chip(-68, -22, 40, 32);
    painter.setBrush(QColor(0xE2, 0xB8, 0x4A));
    painter.setPen(QPen(QColor(0x8A, 0x68, 0x12), 1.4));
    painter.drawRoundedRect(chip, 5, 5);
    painter.drawLine(QPointF(chip.center().x(), chip.top()), QPointF(chip.center().x(), chip.bottom()));
    for (int i = 1; i < 4; ++i) {
        const qreal y = chip.top() + chip.height() * i / 4;
        painter.drawLine(QPointF(chip.left(), y), QPointF(chip.center().x() - 5, y));
        painter.drawLine(QPointF(chip.center().x() + 5, y), QPointF(chip.right(), y));
    }

    // A stripe of printed lines, as on a card's face.
    painter.setPen(QPen(QColor(0xC8, 0xD8, 0xF2), 4, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(-68, 30), QPointF(40, 30));
    painter.drawLine(QPointF(-68, 41), QPointF(10, 41));
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xC8, 0xD8, 0xF2));
    painter.drawEllipse(QPointF(52, -20), 16, 16);
    painter.end();
    return pixmap;
}

} // namespace

QPixmap warningPicture(qreal devicePixelRatio)
{
    QPixmap pixmap = blank(50, 50, devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath triangle;
    triangle.moveTo(25, 3);
    triangle.lineTo(47.5, 45);
    triangle.lineTo(2.5, 45);
    triangle.closeSubpath();
    QLinearGradient fill(0, 3, 0, 45);
    fill.setColorAt(0, QColor(0xFF, 0xE0, 0x5A));
    fill.setColorAt(1, QColor(0xF2, 0xB1, 0x0C));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(0x7A, 0x55, 0x00), 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(triangle);

    // The mark drawn as shapes, so it looks the same whatever the fonts.
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x20, 0x1A, 0x00));
    QPainterPath stroke;
    stroke.moveTo(22.6, 16);
    stroke.lineTo(27.4, 16);
    stroke.lineTo(26.2, 33);
    stroke.lineTo(23.8, 33);
    stroke.closeSubpath();
    painter.drawPath(stroke);
    painter.drawEllipse(QPointF(25, 38.5), 2.6, 2.6);
    painter.end();
    return pixmap;
}

QPixmap questionPicture(qreal devicePixelRatio)
{
    QPixmap pixmap = blank(50, 50, devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QRadialGradient fill(QPointF(19, 16), 30);
    fill.setColorAt(0, QColor(0x6F, 0xA8, 0xF0));
    fill.setColorAt(1, QColor(0x1C, 0x5B, 0xB8));
    painter.setBrush(fill);
    painter.setPen(QPen(QColor(0x0E, 0x35, 0x72), 2));
    painter.drawEllipse(QPointF(25, 25), 22, 22);

    // The hook of the question mark as one stroked path, then its point.
    QPainterPath hook;
    hook.moveTo(18.5, 19.5);
    hook.cubicTo(18.5, 11.5, 31.5, 11.0, 31.5, 19.0);
    hook.cubicTo(31.5, 24.5, 25, 24.5, 25, 30.5);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 4.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(hook);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawEllipse(QPointF(25, 37.5), 2.7, 2.7);
    painter.end();
    return pixmap;
}

QPixmap backgroundPicture(qreal opacity, qreal devicePixelRatio)
{
    // Drawn opaque first, then laid down faint as a whole, so overlapping
    // parts do not add up to more than the opacity.
    QPixmap faint = blank(203, 152, devicePixelRatio);
    QPainter layer(&faint);
    layer.setOpacity(opacity);
    layer.drawPixmap(0, 0, opaqueBackground(devicePixelRatio));
    layer.end();
    return faint;
}

} // namespace talvex
