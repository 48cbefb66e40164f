#include "ui/painting.h"

#include <QPainter>
#include <QWidget>

#include "ui/classic_style.h"

namespace velomat {

QPalette::ColorGroup colourGroupOf(const QWidget& widget) {
  return widget.isEnabled() ? QPalette::Active : QPalette::Disabled;
}

void paintMark(QPainter& p, const QWidget& widget, bool marked) {
  if (!marked) return;
  p.setPen(Qt::NoPen);
  p.setBrush(groundOf(widget, true));
  p.drawRoundedRect(QRectF(widget.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
}

QColor inkOf(const QWidget& widget, bool marked) {
  return widget.palette().color(colourGroupOf(widget),
                                marked ? QPalette::HighlightedText : QPalette::WindowText);
}

QColor groundOf(const QWidget& widget, bool marked) {
  const QPalette& palette = widget.palette();
  const QPalette::ColorGroup group = colourGroupOf(widget);
  if (!marked) return palette.color(group, QPalette::Window);
  const QColor text = palette.color(group, QPalette::HighlightedText);
  const QColor away = text.lightnessF() > 0.5 ? QColor(Qt::black) : QColor(Qt::white);
  return standingOut(palette.color(group, QPalette::Highlight), text, away, kTextContrast);
}

QColor standingOut(const QColor& colour, const QColor& ground, const QColor& ink, double ratio) {
  constexpr int kSteps = 20;
  for (int step = 0; step <= kSteps; ++step) {
    const float t = static_cast<float>(step) / kSteps;
    const QColor blend = QColor::fromRgbF(colour.redF() + (ink.redF() - colour.redF()) * t,
                                          colour.greenF() + (ink.greenF() - colour.greenF()) * t,
                                          colour.blueF() + (ink.blueF() - colour.blueF()) * t);
    if (contrastRatio(blend, ground) >= ratio) return blend;
  }
  return ink;
}

}  // namespace velomat
