// What the program's own pictures (gauges, lamps, axis bars, the hat, the stick pad) share in painting.
#pragma once

#include <QColor>
#include <QPalette>

class QPainter;
class QWidget;

namespace velomat {

// How far a line, a mark, a disc or a band stands out from its ground, as a contrast ratio: a little
// over 3:1, so that the antialiased edges of thin lines still reach it.
inline constexpr double kLineContrast = 3.3;
// How far a text stands out from its ground: a little over 4.5:1.
inline constexpr double kTextContrast = 4.7;

// The palette's colours for a widget: the dimmed ones while it is switched off.
QPalette::ColorGroup colourGroupOf(const QWidget& widget);

// The highlight behind a picture of a control the user just moved; nothing while it is not marked. It is
// the palette's highlight, darkened or lightened where the highlighted text would not read on it.
void paintMark(QPainter& p, const QWidget& widget, bool marked);

// The ink that stands out on that highlight, or on the window while the picture is not marked.
QColor inkOf(const QWidget& widget, bool marked);

// The ground a picture stands on: the highlight while it is marked, else the window.
QColor groundOf(const QWidget& widget, bool marked);

// `colour` where it stands out `ratio`:1 from `ground`; else the first blend of it towards `ink` (the
// palette's text on that ground) that does, or `ink` itself. A palette's greys are chosen for a light
// or a dark desktop, and a grey that reads on one may vanish on the other.
QColor standingOut(const QColor& colour, const QColor& ground, const QColor& ink,
                   double ratio = kLineContrast);

}  // namespace velomat
