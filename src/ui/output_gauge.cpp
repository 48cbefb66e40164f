#include "ui/output_gauge.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/painting.h"

namespace velomat {

OutputGauge::OutputGauge(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

QSize OutputGauge::sizeHint() const {
  const int h = fontMetrics().height() + 6;
  return {(compact_ ? 3 : 6) * h, h};
}

void OutputGauge::setCompact(bool compact) {
  if (compact == compact_) return;
  compact_ = compact;
  updateGeometry();
}

void OutputGauge::setState(uint8_t direction, double fill) {
  const uint8_t shown = direction <= 2 ? direction : 0;
  const double filled = shown == 0 ? 0 : std::clamp(fill, 0.0, 1.0);
  if (shown == direction_ && filled == fill_) return;
  direction_ = shown;
  fill_ = filled;
  update();
}

QRectF OutputGauge::barRect() const {
  const double h = height();
  return {h + 4.5, 4.5, width() - h - 6, h - 9};
}

void OutputGauge::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QPalette::ColorGroup group = colourGroupOf(*this);
  const QColor ink = palette().color(group, QPalette::WindowText);
  const double h = height();
  const QPointF centre(h / 2, h / 2);
  const double r = h / 2 - 2;

  if (direction_ == 0) {
    const double s = r * 0.45;
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawRect(QRectF(centre - QPointF(s, s), centre + QPointF(s, s)));
  } else {
    // Three quarters of a circle from twelve o'clock, with the head at its far end, which lies at nine
    // o'clock turning right and at three o'clock turning left; there the arrow points up.
    p.save();
    p.translate(centre);
    const double pen = std::max(1.5, h / 10);
    p.setPen(QPen(ink, pen, Qt::SolidLine, Qt::FlatCap));
    p.setBrush(Qt::NoBrush);
    const bool right = direction_ == 2;
    p.drawArc(QRectF(-r, -r, 2 * r, 2 * r), 90 * 16, (right ? -270 : 270) * 16);
    const QPointF end(right ? -r : r, 0);
    const double s = r * 0.6;
    QPainterPath head;
    head.moveTo(end + QPointF(0, -s));
    head.lineTo(end + QPointF(-s, s * 0.3));
    head.lineTo(end + QPointF(s, s * 0.3));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    p.drawPath(head);
    p.restore();
  }

  const QRectF bar = barRect();
  const QColor field = palette().color(group, QPalette::Base);
  p.setPen(QPen(
      standingOut(palette().color(group, QPalette::Mid), palette().color(group, QPalette::Window), ink), 1));
  p.setBrush(field);
  p.drawRect(bar);
  if (fill_ > 0) {
    p.setPen(Qt::NoPen);
    p.setBrush(standingOut(palette().color(group, QPalette::Highlight), field,
                           palette().color(group, QPalette::Text)));
    p.drawRect(QRectF(bar.left() + 1, bar.top() + 1, (bar.width() - 1) * fill_, bar.height() - 1));
  }
}

}  // namespace velomat
