// The on-screen joystick's stick pad: the simulation window's own drawn control.
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>

namespace velomat {

// Full deflection -1..1 as an SDL axis value: -32768 at -1, 0 in the centre, 32767 at 1.
int16_t axisValue(double deflection);

// A square pad with a knob. The mouse drags the knob (a press takes it to the pointer) and it springs
// back to the centre on release. With the focus, each arrow key moves it an eighth of the way further;
// it stays there until Space or Home (Pos1) brings it back to the centre.
class StickPad final : public QWidget {
 public:
  static constexpr int kKeySteps = 8;  // key presses from the centre to full deflection

  explicit StickPad(QWidget* parent = nullptr);

  // Called with the SDL axis values of X and Y whenever the knob moves; left and up are negative.
  void setMoved(std::function<void(int16_t x, int16_t y)> moved) { moved_ = std::move(moved); }

  // Deflection -1..1 in each direction; setDeflection clamps.
  QPointF deflection() const { return deflection_; }
  void setDeflection(QPointF deflection);
  // Where the knob's centre is at a deflection, in the pad's coordinates.
  QPointF pointOf(QPointF deflection) const;
  // Where the name of an axis is written: "X" at the right end of the horizontal line, "Y" at the
  // lower end of the vertical one (full deflection to the right and down).
  QRect axisNameRect(Qt::Orientation axis) const;
  int knobRadius() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  double travel() const;  // pixels from the centre to full deflection
  QPointF deflectionAt(QPointF point) const;
  void step(int dx, int dy);

  QPointF deflection_{0, 0};
  bool dragging_ = false;
  std::function<void(int16_t, int16_t)> moved_;
};

}  // namespace velomat
