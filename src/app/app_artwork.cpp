#include "app/app_artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {
// Every picture is drawn on a 32-unit square, scaled to the size asked.
template <class Draw>
QPixmap PaintAt(Draw draw, int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    draw(p);
    return pm;
}

// Drawn at several sizes so each stays crisp where Qt picks it.
template <class Draw>
QIcon Paint(Draw draw)
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64})
        icon.addPixmap(PaintAt(draw, size));
    return icon;
}

void DrawTurnstile(QPainter &p)
{
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 40));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);
    p.setBrush(QColor(230, 230, 230));
    p.drawRect(QRectF(13, 6, 6, 22));      // post
    p.setPen(QPen(QColor(0, 166, 83), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(16, 12), QPointF(27, 12)); // arms
    p.drawLine(QPointF(16, 12), QPointF(7, 6));
    p.drawLine(QPointF(16, 12), QPointF(7, 18));
}
} // namespace

QIcon TrayArtwork()
{
    return Paint(DrawTurnstile);
}

QPixmap TrayArtworkAt(int size)
{
    return PaintAt(DrawTurnstile, size);
}

QIcon ConnectArtwork()
{
    return Paint([](QPainter &p) {
        const QColor green(0, 140, 60);
        p.setPen(Qt::NoPen);
        p.setBrush(green);
        p.drawRoundedRect(QRectF(6, 11, 16, 14), 3, 3); // plug body
        p.drawRect(QRectF(9, 4, 3, 8));                 // pins
        p.drawRect(QRectF(16, 4, 3, 8));
        p.setPen(QPen(green, 3, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        QPainterPath cable(QPointF(14, 25));
        cable.cubicTo(QPointF(14, 31), QPointF(26, 31), QPointF(28, 22));
        p.drawPath(cable);
    });
}

QIcon DisconnectArtwork()
{
    return Paint([](QPainter &p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(179, 0, 0));
        p.drawEllipse(QRectF(2, 2, 28, 28));
        p.setPen(QPen(Qt::white, 4, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(10, 10), QPointF(22, 22));
        p.drawLine(QPointF(22, 10), QPointF(10, 22));
    });
}

QIcon CloseArtwork()
{
    return Paint([](QPainter &p) {
        p.setPen(QPen(QColor(90, 60, 30), 2));
        p.setBrush(QColor(180, 130, 70));
        p.drawRect(QRectF(4, 3, 14, 26)); // door
        p.setBrush(QColor(60, 40, 20));
        p.drawEllipse(QRectF(14, 15, 2.5, 2.5));
        p.setPen(QPen(QColor(40, 40, 40), 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawLine(QPointF(17, 16), QPointF(29, 16)); // arrow out
        p.drawLine(QPointF(24, 11), QPointF(29, 16));
        p.drawLine(QPointF(24, 21), QPointF(29, 16));
    });
}

QIcon TrayArtwork(TrayBadge badge)
{
    if (badge == TrayBadge::None)
        return TrayArtwork();
    const QColor dot = badge == TrayBadge::Green ? QColor(0, 166, 83)
                       : badge == TrayBadge::Red ? QColor(220, 0, 0)
                                                 : QColor(150, 150, 150);
    const QIcon base = TrayArtwork();
    return Paint([&](QPainter &p) {
        p.drawPixmap(QRectF(0, 0, 32, 32), base.pixmap(64, 64), QRectF(0, 0, 64, 64));
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(dot);
        p.drawEllipse(QRectF(18, 18, 13, 13));
    });
}
