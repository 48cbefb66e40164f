#include "ui/axis_bar.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "ui/painting.h"

namespace velomat {

namespace {
constexpr double kFullTravel = 65535;
constexpr uint32_t kFullCircle = 36000;

}  // namespace

AxisBar::AxisBar(const QString& name, QWidget* parent) : QWidget(parent), name_(name) {
  setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void AxisBar::setValue(uint32_t value) {
  value = std::min<uint32_t>(value, 65535);
  if (value == value_) return;
  value_ = value;
  update();
}

void AxisBar::setBand(uint32_t low, uint32_t high) {
  bandLow_ = low;
  bandHigh_ = high;
  update();
}

void AxisBar::setMarked(bool marked) {
  if (marked == marked_) return;
  marked_ = marked;
  update();
}

QSize AxisBar::sizeHint() const {
  const QFontMetrics metrics = fontMetrics();
  const int h = metrics.height() + 6;
  return {
      metrics.horizontalAdvance(QStringLiteral("POV2")) + 12 * h + metrics.horizontalAdvance("65535") + 16,
      h};
}

QRect AxisBar::track() const {
  const QFontMetrics metrics = fontMetrics();
  const int left = metrics.horizontalAdvance(QStringLiteral("POV2")) + 8;
  const int right = width() - metrics.horizontalAdvance(QStringLiteral("65535")) - 8;
  return QRect(left, 3, std::max(right - left, 1), height() - 6);
}

int AxisBar::xOf(uint32_t value) const {
  const QRect t = track();
  return t.left() + static_cast<int>(std::lround(value / kFullTravel * (t.width() - 1)));
}

void AxisBar::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  paintMark(p, *this, marked_);
  const QColor ink = inkOf(*this, marked_);
  const QPalette::ColorGroup group = colourGroupOf(*this);
  const QColor field = palette().color(group, QPalette::Base);
  const QColor fieldInk = palette().color(group, QPalette::Text);
  const QRect t = track();
  p.setPen(ink);
  p.drawText(QRect(4, 0, t.left() - 4, height()), Qt::AlignLeft | Qt::AlignVCenter, name_);
  p.drawText(QRect(t.right() + 4, 0, width() - t.right() - 6, height()), Qt::AlignRight | Qt::AlignVCenter,
             QString::number(value_));
  p.setBrush(field);
  p.drawRect(QRectF(t).adjusted(0.5, 0.5, -0.5, -0.5));
  if (bandLow_ <= bandHigh_) {
    // The band in a grey between the bar's field and its ink, far enough from either that the band
    // shows on the field and the stick's place on the band.
    p.setPen(Qt::NoPen);
    p.setBrush(standingOut(palette().color(group, QPalette::Mid), field, fieldInk));
    p.drawRect(QRectF(QPointF(xOf(bandLow_), t.top() + 1), QPointF(xOf(bandHigh_), t.bottom())));
  }
  // The stick's place: a bold line across the bar, in the field's ink whether marked or not.
  p.setPen(QPen(fieldInk, 3));
  const int x = xOf(value_);
  p.drawLine(QPointF(x, t.top()), QPointF(x, t.bottom() + 1));
}

HatView::HatView(QWidget* parent) : QWidget(parent) {
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void HatView::setPov(uint32_t pov) {
  if (pov == pov_) return;
  pov_ = pov;
  update();
}

void HatView::setMarked(bool marked) {
  if (marked == marked_) return;
  marked_ = marked;
  update();
}

QSize HatView::sizeHint() const {
  const int h = 3 * (fontMetrics().height() + 2);
  return {h, h};
}

double HatView::radius() const {
  return std::min(width(), height()) / 2.0 - 4;
}

QPointF HatView::tipOf(uint32_t pov) const {
  const QPointF centre(width() / 2.0, height() / 2.0);
  if (pov > kFullCircle) return centre;
  // Forward is up; the angle runs clockwise.
  const double angle = pov / 100.0 * M_PI / 180.0;
  return centre + QPointF(std::sin(angle), -std::cos(angle)) * (radius() - 2);
}

void HatView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  paintMark(p, *this, marked_);
  const QColor ink = inkOf(*this, marked_);
  const QPalette::ColorGroup group = colourGroupOf(*this);
  // The pointer lies on the disc, so it keeps the disc's ink while the hat is marked.
  const QColor pointer = palette().color(group, QPalette::Text);
  const QPointF centre(width() / 2.0, height() / 2.0);
  const double r = radius();
  p.setPen(QPen(ink, 1.2));
  p.setBrush(palette().color(group, QPalette::Base));
  p.drawEllipse(centre, r, r);
  p.setPen(QPen(pointer, 1.2));
  p.setBrush(pointer);
  if (pov_ > kFullCircle) {
    p.drawEllipse(centre, r / 5, r / 5);
    return;
  }
  const QPointF tip = tipOf(pov_);
  p.setPen(QPen(pointer, 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre, tip);
  p.drawEllipse(tip, 3, 3);
}

}  // namespace velomat
