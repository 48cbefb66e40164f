// A joystick axis as a bar: its name, where it stands on its travel 0..65535 and its value; the dead
// band of the direction axes shaded where a direction axis gives no direction. A marked bar or hat
// stands on the highlight, and its marker or pointer keeps the ink of the field it lies on, so that the
// user reads the control's position exactly while moving it.
#pragma once

#include <QWidget>
#include <cstdint>

namespace velomat {

class AxisBar final : public QWidget {
 public:
  AxisBar(const QString& name, QWidget* parent = nullptr);

  void setValue(uint32_t value);
  uint32_t value() const { return value_; }
  // The band [low, high] shaded on the bar; low > high shades none.
  void setBand(uint32_t low, uint32_t high);
  bool hasBand() const { return bandLow_ <= bandHigh_; }
  uint32_t bandLow() const { return bandLow_; }
  uint32_t bandHigh() const { return bandHigh_; }
  // Marked: the user just moved the axis; it stands out at a glance.
  void setMarked(bool marked);
  bool isMarked() const { return marked_; }
  QString name() const { return name_; }
  // Where on the bar, in the widget's x, a value lies.
  int xOf(uint32_t value) const;
  // The bar itself, its frame included; the name stands left of it, the value right.
  QRect track() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString name_;
  uint32_t value_ = 32768;
  uint32_t bandLow_ = 1, bandHigh_ = 0;
  bool marked_ = false;
};

// The hat of the joystick: a circle with an arrow where it points, a dot while it is centred.
class HatView final : public QWidget {
 public:
  explicit HatView(QWidget* parent = nullptr);

  // In hundredths of a degree clockwise from forward; 65535 (or anything above a full circle) centred.
  void setPov(uint32_t pov);
  uint32_t pov() const { return pov_; }
  void setMarked(bool marked);
  bool isMarked() const { return marked_; }
  // Where the pointer ends for `pov`, in the widget's coordinates; the centre for a centred hat.
  QPointF tipOf(uint32_t pov) const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  double radius() const;

  uint32_t pov_ = 65535;
  bool marked_ = false;
};

}  // namespace velomat
