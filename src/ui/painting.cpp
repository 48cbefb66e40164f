#include "ui/painting.h"

#include <QPainter>
#include <QWidget>

namespace velomat {

QPalette::ColorGroup colourGroupOf(const QWidget& widget) {
  return widget.isEnabled() ? QPalette::Active : QPalette::Disabled;
}

void paintMark(QPainter& p, const QWidget& widget, bool marked) {
  if (!marked) return;
  p.setPen(Qt::NoPen);
  p.setBrush(widget.palette().color(colourGroupOf(widget), QPalette::Highlight));
  p.drawRoundedRect(QRectF(widget.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

QColor inkOf(const QWidget& widget, bool marked) {
  return widget.palette().color(colourGroupOf(widget),
                                marked ? QPalette::HighlightedText : QPalette::WindowText);
}

}  // namespace velomat
