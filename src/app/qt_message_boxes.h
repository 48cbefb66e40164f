// Message boxes shown by Qt. A call from the control worker waits until the GUI thread has shown the
// box and the user has answered it.
#pragma once

#include <QPointer>
#include <QWidget>

#include "link/message_box.h"

namespace velomat {

class QtMessageBoxes final : public MessageBoxes {
 public:
  // Boxes are shown over `parent` once it is set.
  void setParent(QWidget* parent) { parent_ = parent; }
  BoxAnswer show(std::string_view text, std::string_view caption, BoxButtons buttons) override;

 private:
  BoxAnswer showHere(const QString& text, const QString& caption, BoxButtons buttons);
  QPointer<QWidget> parent_;
};

// The application's title: the program file's base name.
QString applicationTitle();

}  // namespace velomat
