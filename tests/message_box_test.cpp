// Message boxes shown by Qt, asked for from the GUI thread and from a worker thread.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <future>
#include <thread>

#include "app/qt_message_boxes.h"

namespace velomat {
namespace {

struct Seen {
  QString text, caption;
  QStringList buttons;
};

// Answers the next message box that opens with the button whose text is `answer`.
void answerNextBox(const QString& answer, Seen& seen) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, answer, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    timer->stop();
    timer->deleteLater();
    seen.text = box->text();
    seen.caption = box->windowTitle();
    for (QAbstractButton* button : box->buttons()) {
      seen.buttons << button->text();
      if (button->text().remove('&') == answer) button->click();
    }
  });
  timer->start(10);
}

TEST(QtMessageBoxes, a_box_shows_its_text_caption_and_buttons_and_returns_the_answer) {
  QtMessageBoxes boxes;
  struct Row {
    BoxButtons buttons;
    const char* click;
    BoxAnswer answer;
    int count;
  };
  // The buttons carry the German texts of the system's boxes.
  const Row rows[] = {{BoxButtons::Ok, "OK", BoxAnswer::Ok, 1},
                      {BoxButtons::OkCancel, "Abbrechen", BoxAnswer::Cancel, 2},
                      {BoxButtons::RetryCancel, "Wiederholen", BoxAnswer::Retry, 2},
                      {BoxButtons::YesNoCancel, "Nein", BoxAnswer::No, 3},
                      {BoxButtons::YesNoCancel, "Ja", BoxAnswer::Yes, 3}};
  for (const Row& row : rows) {
    Seen seen;
    answerNextBox(row.click, seen);
    EXPECT_EQ(boxes.show("Alle Einstellungen gehen verloren!", "Achtung", row.buttons), row.answer)
        << row.click;
    EXPECT_EQ(seen.text, "Alle Einstellungen gehen verloren!");
    EXPECT_EQ(seen.caption, "Achtung");
    EXPECT_EQ(seen.buttons.size(), row.count);
  }
}

TEST(QtMessageBoxes, a_box_without_caption_carries_the_program_file_name) {
  QtMessageBoxes boxes;
  Seen seen;
  answerNextBox("OK", seen);
  boxes.show("x", {}, BoxButtons::Ok);
  EXPECT_EQ(seen.caption, "message_box_test");
  EXPECT_EQ(applicationTitle(), "message_box_test");
}

TEST(QtMessageBoxes, a_worker_thread_waits_for_the_answer_given_on_the_gui_thread) {
  QtMessageBoxes boxes;
  Seen seen;
  answerNextBox("Wiederholen", seen);
  std::promise<BoxAnswer> answered;
  std::thread worker([&] {
    answered.set_value(boxes.show("Verbindung zum Interface verloren", {}, BoxButtons::RetryCancel));
  });
  std::future<BoxAnswer> answer = answered.get_future();
  while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  worker.join();
  EXPECT_EQ(answer.get(), BoxAnswer::Retry);
  EXPECT_EQ(seen.text, "Verbindung zum Interface verloren");
}

// The GUI thread may be busy ending the program, waiting for the worker itself: the worker must not
// wait for its box then, and no box of it may still come up.
TEST(QtMessageBoxes, a_worker_waiting_for_its_box_is_let_go_when_the_program_ends) {
  QtMessageBoxes boxes;
  std::promise<BoxAnswer> asked;
  std::thread worker(
      [&] { asked.set_value(boxes.show("Verbindung zum Joystick verloren", {}, BoxButtons::RetryCancel)); });
  std::future<BoxAnswer> answer = asked.get_future();
  EXPECT_EQ(answer.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);  // it waits
  boxes.abandonWaiting();  // the GUI thread has not served it: it is blocked, ending the program
  EXPECT_EQ(answer.get(), BoxAnswer::Cancel);
  worker.join();
  std::thread later([&] {
    EXPECT_EQ(boxes.show("Verbindung zum Interface verloren", {}, BoxButtons::RetryCancel),
              BoxAnswer::Cancel);
  });
  later.join();
  QApplication::processEvents();
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a box came up after the end began";
}

}  // namespace
}  // namespace velomat
