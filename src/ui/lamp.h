// A lamp with its caption: an input that is closed, a joystick button that is pressed. The live view
// shows lamps; the simulation window's input switches are lamps the user can click.
#pragma once

#include <QAbstractButton>

namespace velomat {

class Lamp final : public QAbstractButton {
 public:
  explicit Lamp(const QString& caption, QWidget* parent = nullptr);

  // Lit: on. A checkable lamp is lit while it is checked.
  void setLit(bool lit);
  bool isLit() const { return isCheckable() ? isChecked() : lit_; }

  // Marked: the user just moved what the lamp shows; it stands out at a glance.
  void setMarked(bool marked);
  bool isMarked() const { return marked_; }

  // The bulb, in the widget's coordinates; the caption stands right of it.
  QRectF bulbRect() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  bool lit_ = false;
  bool marked_ = false;
};

}  // namespace velomat
