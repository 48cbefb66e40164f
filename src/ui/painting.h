// What the program's own pictures (gauges, lamps, axis bars, the hat, the stick pad) share in painting.
#pragma once

#include <QColor>
#include <QPalette>

class QPainter;
class QWidget;

namespace velomat {

// The palette's colours for a widget: the dimmed ones while it is switched off.
QPalette::ColorGroup colourGroupOf(const QWidget& widget);

// The highlight behind a picture of a control the user just moved; nothing while it is not marked.
void paintMark(QPainter& p, const QWidget& widget, bool marked);

// The ink that stands out on that highlight, or on the window while the picture is not marked.
QColor inkOf(const QWidget& widget, bool marked);

}  // namespace velomat
