#include "app/ui/Logo.h"

#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

namespace kv {

QPixmap makeLogo(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r(2, 2, size - 4, size - 4);
    QRadialGradient g(r.center(), size / 2.0);
    g.setColorAt(0, QColor(250, 252, 255));
    g.setColorAt(1, QColor(170, 190, 215));
    p.setBrush(g);
    p.setPen(QPen(QColor(40, 60, 90), size / 24.0));
    p.drawEllipse(r);

    // Dial ticks.
    p.save();
    p.translate(r.center());
    p.setPen(QPen(QColor(40, 60, 90), size / 40.0));
    for (int i = 0; i <= 10; ++i) {
        p.save();
        p.rotate(-135 + i * 27);
        p.drawLine(QPointF(0, -size * 0.40), QPointF(0, -size * 0.33));
        p.restore();
    }
    p.restore();

    // Flame.
    QPainterPath flame;
    const double cx = size / 2.0, base = size * 0.74, h = size * 0.44, w = size * 0.17;
    flame.moveTo(cx, base);
    flame.cubicTo(cx - w * 1.6, base - h * 0.2, cx - w * 0.6, base - h * 0.7, cx, base - h);
    flame.cubicTo(cx + w * 0.3, base - h * 0.6, cx + w * 1.7, base - h * 0.35, cx, base);
    QLinearGradient fg(cx, base, cx, base - h);
    fg.setColorAt(0, QColor(220, 60, 20));
    fg.setColorAt(1, QColor(255, 200, 40));
    p.setPen(Qt::NoPen);
    p.setBrush(fg);
    p.drawPath(flame);

    // Needle.
    p.setPen(QPen(QColor(30, 30, 30), size / 28.0, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(r.center(), r.center() + QPointF(size * 0.26, -size * 0.16));
    return pm;
}

} // namespace kv
