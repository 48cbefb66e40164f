// The picture of one interface output, shared by every window that shows outputs.
#pragma once

#include <QWidget>
#include <cstdint>

namespace velomat {

// One interface output at a glance: a round arrow pointing left (anticlockwise) or right (clockwise), a
// stop square when the output is off, and a bar filled to the output's speed. The picture depends on
// direction and fill alone, so two outputs that do the same look the same.
class OutputGauge final : public QWidget {
 public:
  explicit OutputGauge(QWidget* parent = nullptr);

  // direction: 0 off, 1 left, 2 right (as the interfaces code it); fill 0..1.
  void setState(uint8_t direction, double fill);
  // A compact gauge has a shorter bar.
  void setCompact(bool compact);
  uint8_t direction() const { return direction_; }
  double fill() const { return fill_; }
  // The bar, its frame included; the arrow or stop square stands in the square left of it.
  QRectF barRect() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  uint8_t direction_ = 0;
  double fill_ = 0;
  bool compact_ = false;
};

}  // namespace velomat
