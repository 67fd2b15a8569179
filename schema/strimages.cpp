// The structure editor's pictures, drawn once at 16 x 16.
#include "strimages.h"

#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

const QColor Green(0, 140, 40);
const QColor Red(200, 30, 30);
const QColor Blue(30, 80, 190);
const QColor Amber(220, 150, 0);

void arrow(QPainter& p, bool up)
{
    QPainterPath path;
    const qreal tip = up ? 2 : 14, base = up ? 8 : 8;
    path.moveTo(8, tip);
    path.lineTo(14, base);
    path.lineTo(10, base);
    path.lineTo(10, up ? 14 : 2);
    path.lineTo(6, up ? 14 : 2);
    path.lineTo(6, base);
    path.lineTo(2, base);
    path.closeSubpath();
    p.fillPath(path, Blue);
}

void cross(QPainter& p, const QColor& color)
{
    p.setPen(QPen(color, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(3.5, 3.5), QPointF(12.5, 12.5));
    p.drawLine(QPointF(12.5, 3.5), QPointF(3.5, 12.5));
}

void plus(QPainter& p, const QColor& color)
{
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawRoundedRect(QRectF(6, 1, 4, 14), 1, 1);
    p.drawRoundedRect(QRectF(1, 6, 14, 4), 1, 1);
}

void turnBack(QPainter& p, const QColor& color)
{
    p.setPen(QPen(color, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(3, 3, 10, 10), 90 * 16, -270 * 16);
    QPainterPath head;
    head.moveTo(8, 0.5);
    head.lineTo(8, 6);
    head.lineTo(3.5, 3);
    head.closeSubpath();
    p.fillPath(head, color);
}

void checkBox(QPainter& p, bool checked)
{
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 2.5, 11, 11));
    if (checked) {
        p.setPen(QPen(Qt::black, 2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.drawPolyline(QPolygonF({QPointF(4.5, 8), QPointF(7, 10.5), QPointF(11.5, 5)}));
    }
}

void pencil(QPainter& p, const QColor& color)
{
    p.setPen(QPen(color, 3, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(4, 12), QPointF(12, 4));
    p.setPen(QPen(Qt::black, 1));
    p.drawLine(QPointF(2, 14), QPointF(4, 12));
}

void chain(QPainter& p)
{
    p.setPen(QPen(Blue, 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1.5, 5, 8, 6), 3, 3);
    p.drawRoundedRect(QRectF(6.5, 5, 8, 6), 3, 3);
}

void document(QPainter& p)
{
    p.setPen(QPen(Qt::darkGray, 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(2.5, 1.5, 9, 13));
    p.setPen(QPen(Blue, 1));
    for (int y : {4, 7, 10})
        p.drawLine(4, y, 10, y);
    pencil(p, Amber);
}

QPixmap drawn(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    switch (index) {
    case 0:
        plus(p, Green);
        break;
    case 2:
    case 3:
        checkBox(p, index == 2);
        break;
    case 4:
        pencil(p, Amber);
        break;
    case 5:
        cross(p, Red);
        break;
    case 6:
        turnBack(p, Blue);
        break;
    case 7:
    case 8:
        arrow(p, index == 7);
        break;
    case 9:
        plus(p, QColor(0, 170, 60));
        break;
    case 10:
        turnBack(p, Red);
        break;
    case 12:
        chain(p);
        break;
    case 13:
        document(p);
        break;
    default:
        p.end();
        return QPixmap();
    }
    return pixmap;
}

} // namespace

QIcon StrEditImage(int index)
{
    static QHash<int, QIcon> images;
    const auto found = images.constFind(index);
    if (found != images.cend())
        return *found;
    const QPixmap pixmap = drawn(index);
    const QIcon icon = pixmap.isNull() ? QIcon() : QIcon(pixmap);
    images.insert(index, icon);
    return icon;
}

QIcon StrEditWarningImage()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(QColor(250, 200, 0));
    p.drawPolygon(QPolygonF({QPointF(16, 2), QPointF(30, 29), QPointF(2, 29)}));
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(16, 11, 16, 20);
    p.drawPoint(16, 25);
    return QIcon(pixmap);
}
