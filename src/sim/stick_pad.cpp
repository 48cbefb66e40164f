#include "sim/stick_pad.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

#include "ui/painting.h"

namespace velomat {

int16_t axisValue(double deflection) {
  const double d = std::clamp(deflection, -1.0, 1.0);
  return static_cast<int16_t>(d < 0 ? std::lround(d * 32768) : std::lround(d * 32767));
}

StickPad::StickPad(QWidget* parent) : QWidget(parent) {
  // An even side puts the centre between two pixels, so a pointer on either half leans that way.
  const int side = (7 * fontMetrics().height() + 1) / 2 * 2;
  setFixedSize(side, side);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::OpenHandCursor);
}

int StickPad::knobRadius() const {
  return width() / 8;
}

double StickPad::travel() const {
  return width() / 2.0 - knobRadius() - 3;
}

QPointF StickPad::pointOf(QPointF deflection) const {
  return QPointF(width() / 2.0, height() / 2.0) + deflection * travel();
}

QRect StickPad::axisNameRect(Qt::Orientation axis) const {
  // Beside the line's end, in the corner the gate leaves free.
  const QSize name(fontMetrics().horizontalAdvance(QLatin1Char('X')) + 4, fontMetrics().height());
  const QPoint end = pointOf(axis == Qt::Horizontal ? QPointF(1, 0) : QPointF(0, 1)).toPoint();
  return axis == Qt::Horizontal ? QRect(QPoint(end.x() - name.width() / 2, end.y() - name.height() - 2), name)
                                : QRect(QPoint(end.x() + 3, end.y() - name.height() / 2), name);
}

QPointF StickPad::deflectionAt(QPointF point) const {
  const QPointF d = (point - QPointF(width() / 2.0, height() / 2.0)) / travel();
  return {std::clamp(d.x(), -1.0, 1.0), std::clamp(d.y(), -1.0, 1.0)};
}

void StickPad::setDeflection(QPointF deflection) {
  const QPointF d(std::clamp(deflection.x(), -1.0, 1.0), std::clamp(deflection.y(), -1.0, 1.0));
  if (d == deflection_) return;
  deflection_ = d;
  update();
  if (moved_) moved_(axisValue(d.x()), axisValue(d.y()));
}

void StickPad::step(int dx, int dy) {
  const auto on = [](double d, int steps) { return (std::round(d * kKeySteps) + steps) / kKeySteps; };
  setDeflection({on(deflection_.x(), dx), on(deflection_.y(), dy)});
}

void StickPad::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  dragging_ = true;
  setCursor(Qt::ClosedHandCursor);
  setDeflection(deflectionAt(event->position()));
}

void StickPad::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_) return QWidget::mouseMoveEvent(event);
  setDeflection(deflectionAt(event->position()));
}

void StickPad::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return QWidget::mouseReleaseEvent(event);
  dragging_ = false;
  setCursor(Qt::OpenHandCursor);
  setDeflection({0, 0});  // the spring
}

void StickPad::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Left:
      return step(-1, 0);
    case Qt::Key_Right:
      return step(1, 0);
    case Qt::Key_Up:
      return step(0, -1);
    case Qt::Key_Down:
      return step(0, 1);
    case Qt::Key_Space:
    case Qt::Key_Home:
      return setDeflection({0, 0});
    default:
      return QWidget::keyPressEvent(event);
  }
}

void StickPad::focusInEvent(QFocusEvent* event) {
  update();
  QWidget::focusInEvent(event);
}

void StickPad::focusOutEvent(QFocusEvent* event) {
  update();
  QWidget::focusOutEvent(event);
}

void StickPad::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QPalette::ColorGroup group = colourGroupOf(*this);
  const QPalette& pal = palette();
  const QRectF frame = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
  const QPointF centre = frame.center();
  const QColor window = pal.color(group, QPalette::Window);
  const QColor field = pal.color(group, QPalette::Base);
  const QColor ink = pal.color(group, QPalette::Text);
  // Every line and the knob stand out from the pad's field (and its frame from the window) in a light
  // palette and a dark one alike.
  const auto onField = [&](QPalette::ColorRole role) {
    return standingOut(pal.color(group, role), field, ink);
  };

  p.setPen(QPen(standingOut(pal.color(group, hasFocus() ? QPalette::Highlight : QPalette::Mid), window,
                            pal.color(group, QPalette::WindowText)),
                hasFocus() ? 2 : 1));
  p.setBrush(field);
  p.drawRoundedRect(hasFocus() ? frame.adjusted(0.5, 0.5, -0.5, -0.5) : frame, 6, 6);

  // The gate the knob's centre moves in, and the cross through the centre; their thin lines run along
  // the middle of a row or column of pixels, where they stay whole rather than smeared over two.
  const auto crisp = [](double at) { return std::floor(at) + 0.5; };
  const double t = travel();
  p.setPen(QPen(onField(QPalette::Midlight), 1, Qt::DashLine));
  p.setBrush(Qt::NoBrush);
  p.drawRect(QRectF(QPointF(crisp(centre.x() - t), crisp(centre.y() - t)),
                    QPointF(crisp(centre.x() + t), crisp(centre.y() + t))));
  p.setPen(QPen(onField(QPalette::Mid), 1));
  p.drawLine(QPointF(crisp(centre.x()), frame.top() + 4), QPointF(crisp(centre.x()), frame.bottom() - 4));
  p.drawLine(QPointF(frame.left() + 4, crisp(centre.y())), QPointF(frame.right() - 4, crisp(centre.y())));

  // The axes' names, where the stick goes for full X and full Y.
  p.setPen(ink);
  p.drawText(axisNameRect(Qt::Horizontal), Qt::AlignCenter, QStringLiteral("X"));
  p.drawText(axisNameRect(Qt::Vertical), Qt::AlignCenter, QStringLiteral("Y"));

  // The stick from the centre to the knob.
  const QPointF knob = pointOf(deflection_);
  const double r = knobRadius();
  p.setPen(QPen(onField(QPalette::Dark), r / 2.5, Qt::SolidLine, Qt::RoundCap));
  p.drawLine(centre, knob);
  p.setPen(QPen(ink, 1));
  p.setBrush(onField(QPalette::Highlight));
  p.drawEllipse(knob, r, r);
}

}  // namespace velomat
