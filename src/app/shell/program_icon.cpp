#include "app/shell/program_icon.h"

#include <QPainter>
#include <QPen>
#include <QPixmap>
#include <QRectF>

#include <algorithm>

namespace {
// The key in its own units: the ring's centre at (2, 2), radius 2; the shaft from x 4 to 7;
// the bits hang from it at x 6 and 6 2/3. Strokes are a third of a unit wide.
constexpr qreal kWidth = 7;
constexpr qreal kHeight = 4;
constexpr qreal kStroke = 1.0 / 3;
} // namespace

void drawEmblem(QPainter& painter, const QRectF& box, const QColor& colour, qreal minStroke)
{
    // The strokes stick out by half their width on every side.
    const qreal unit = std::min(box.width() / (kWidth + kStroke), box.height() / (kHeight + kStroke));
    const QPointF origin = box.center() - QPointF(kWidth * unit / 2, kHeight * unit / 2);
    auto at = [&](qreal x, qreal y) { return origin + QPointF(x * unit, y * unit); };
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(colour, std::max(kStroke * unit, minStroke), Qt::SolidLine, Qt::FlatCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(at(2, 2), 2 * unit, 2 * unit);
    painter.drawLine(at(4, 2), at(kWidth, 2));
    painter.drawLine(at(6, 2), at(6, 3));
    painter.drawLine(at(6 + 2.0 / 3, 2), at(6 + 2.0 / 3, 2 + 5.0 / 6));
    painter.restore();
}

QIcon programIcon()
{
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 128, 256 }) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(kEmblemBlue);
        p.drawRoundedRect(QRectF(0, 0, size, size), size / 6.0, size / 6.0);
        const qreal margin = size / 8.0;
        drawEmblem(p, QRectF(margin, margin, size - 2 * margin, size - 2 * margin), Qt::white, 1.5);
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
