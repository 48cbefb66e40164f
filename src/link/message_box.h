// How the core asks the user: modal message boxes that the GUI shows and answers. Tests script them.
#pragma once

#include <string_view>

namespace velomat {

enum class BoxButtons { Ok, OkCancel, RetryCancel, YesNoCancel };
enum class BoxAnswer { Ok, Cancel, Retry, Yes, No };

class MessageBoxes {
 public:
  MessageBoxes() = default;
  MessageBoxes(const MessageBoxes&) = delete;
  MessageBoxes& operator=(const MessageBoxes&) = delete;
  virtual ~MessageBoxes() = default;

  // Shows `text` and waits for the answer. An empty caption shows the application's title. May be
  // called from the control worker; the box then holds the worker until it is answered.
  virtual BoxAnswer show(std::string_view text, std::string_view caption, BoxButtons buttons) = 0;

  // The program is ending: a call from another thread that waits for its answer returns Cancel now,
  // and later calls from other threads return Cancel without showing anything. The worker is then not
  // left waiting for a GUI thread that is busy ending the program. Boxes of the GUI thread itself still
  // show. Any thread; safe in an exit handler.
  virtual void abandonWaiting() {}
};

}  // namespace velomat
