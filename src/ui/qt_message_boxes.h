// Message boxes shown by Qt. A call from the control worker waits until the GUI thread has shown the
// box and the user has answered it, or until the program is ending (abandonWaiting).
#pragma once

#include <QPointer>
#include <QWidget>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "link/message_box.h"

namespace velomat {

class QtMessageBoxes final : public MessageBoxes {
 public:
  // Boxes are shown over `parent` once it is set.
  void setParent(QWidget* parent) { parent_ = parent; }
  BoxAnswer show(std::string_view text, std::string_view caption, BoxButtons buttons) override;
  void abandonWaiting() override;

 private:
  // A box asked for by another thread: the GUI thread answers it, or abandonWaiting does.
  struct Request {
    BoxAnswer answer = BoxAnswer::Cancel;
    bool done = false;
  };

  // What a waiting thread and the GUI thread share; a box still queued when this object goes keeps it.
  struct Waiting {
    std::mutex mutex;
    std::condition_variable answered;
    bool abandoned = false;
  };

  BoxAnswer showHere(const QString& text, const QString& caption, BoxButtons buttons);
  QPointer<QWidget> parent_;
  std::shared_ptr<Waiting> waiting_ = std::make_shared<Waiting>();
};

// The application's title: the program file's base name.
QString applicationTitle();

}  // namespace velomat
