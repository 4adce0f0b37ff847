#pragma once
// The program's emblem, a key (a ring, a shaft and two bits) drawn in code: the icon of every
// window and message box, and the picture of the logo the demo workspace gets.
#include <QColor>
#include <QIcon>

class QPainter;
class QRectF;

// Draws the key as large as fits in box, centred; the strokes are never thinner than minStroke.
void drawEmblem(QPainter& painter, const QRectF& box, const QColor& colour, qreal minStroke = 0);

// The key in white on a blue rounded square, at the usual icon sizes.
QIcon programIcon();

inline const QColor kEmblemBlue { 0x1F, 0x4E, 0x8C };
