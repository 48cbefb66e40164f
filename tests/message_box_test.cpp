// Message boxes shown by Qt, asked for from the GUI thread and from a worker thread.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <future>
#include <thread>

#include "gui_steps.h"
#include "ui/dialog_builder.h"
#include "ui/qt_message_boxes.h"

namespace velomat {
namespace {

const char* const kLostConnectionTextForTest = "Verbindung zum Interface verloren";

struct Seen {
  QString text, caption;
  QStringList buttons;
};

// Runs `act` on the next message box that opens; `act` ends it.
void whenBoxShows(std::function<void(QMessageBox&)> act) {
  testing::whenModalShows([act = std::move(act)](QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    if (box == nullptr) {
      ADD_FAILURE() << "a window other than a message box came up";
      modal.close();
      return;
    }
    act(*box);
  });
}

// Answers the next message box that opens with the button whose text is `answer`.
void answerNextBox(const QString& answer, Seen& seen) {
  whenBoxShows([answer, &seen](QMessageBox& box) {
    seen.text = box.text();
    seen.caption = box.windowTitle();
    for (QAbstractButton* button : box.buttons()) {
      seen.buttons << button->text();
      if (button->text().remove('&') == answer) button->click();
    }
  });
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

// Runs `look` on the next message box that opens, then closes it with its last button.
void lookAtNextBox(std::function<void(QMessageBox&)> look) {
  whenBoxShows([look = std::move(look)](QMessageBox& box) {
    look(box);
    box.buttons().back()->click();
  });
}

QImage iconPicture(const QIcon& icon) {
  return icon.pixmap(32, 32).toImage().convertToFormat(QImage::Format_ARGB32);
}

TEST(QtMessageBoxes, every_box_carries_the_program_icon_and_even_margins_before_and_over_the_main_window) {
  QtMessageBoxes boxes;
  QWidget main;
  main.setWindowTitle("Hauptfenster");
  boxes.setParent(&main);
  const char* const texts[] = {
      kLostConnectionTextForTest,
      "Die Einstellungsdatei \"settings.vlm\" wurde von einer anderen Version von Velomat erzeugt oder ist "
      "beschädigt. Alle Einstellungen werden zurückgesetzt und die Datei wird beim Beenden von Velomat "
      "überschrieben."};
  for (bool mainShown : {false, true}) {
    if (mainShown) {
      main.show();
      ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
    }
    for (const char* text : texts) {
      SCOPED_TRACE(::testing::Message()
                   << (mainShown ? "over the main window: " : "before the main window: ") << text);
      int left = -1, right = -1;
      QImage icon;
      lookAtNextBox([&](QMessageBox& box) {
        icon = iconPicture(box.windowIcon());
        for (QLabel* label : box.findChildren<QLabel*>()) {
          if (!label->isVisible() || label->text() != box.text()) continue;
          // The room the text's lines have (a wrapped line ends short of it by less than a word).
          const QRect area = label->contentsRect().translated(label->pos());
          left = area.left();
          right = box.width() - (area.right() + 1);
        }
      });
      boxes.show(text, {}, BoxButtons::RetryCancel);
      EXPECT_EQ(icon, iconPicture(programIcon()));
      ASSERT_GE(left, 0) << "the box's text was not found";
      EXPECT_LE(left, 16) << "an indent for an icon that is not there";
      EXPECT_NEAR(left, right, 1) << "the text starts " << left << " px from the left, its room ends "
                                  << right << " px from the right";
    }
  }
}

// The simulation window stands for the hardware: a box over the main window holds the main window,
// not a window beside it.
TEST(QtMessageBoxes, a_box_from_the_worker_holds_the_main_window_but_not_a_window_beside_it) {
  QtMessageBoxes boxes;
  QWidget main, beside;
  auto* stop = new QPushButton("NOT-AUS", &main);
  auto* plug = new QPushButton("Verbindung wiederherstellen", &beside);
  int stops = 0, plugs = 0;
  QObject::connect(stop, &QPushButton::clicked, [&] { ++stops; });
  QObject::connect(plug, &QPushButton::clicked, [&] { ++plugs; });
  boxes.setParent(&main);
  main.show();
  beside.move(main.frameGeometry().right() + 10, main.y());
  beside.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&beside));

  // A user clicks both windows while the worker's box is up, through the window system, where a
  // modal box blocks what it holds.
  const auto clickThroughWindow = [](QPushButton* button) {
    QWindow* window = button->window()->windowHandle();
    const QPoint at = button->mapTo(button->window(), button->rect().center());
    QTest::mouseClick(window, Qt::LeftButton, {}, at);
  };
  lookAtNextBox([&](QMessageBox&) {
    clickThroughWindow(plug);
    clickThroughWindow(stop);
  });
  std::promise<BoxAnswer> asked;
  std::thread worker(
      [&] { asked.set_value(boxes.show(kLostConnectionTextForTest, {}, BoxButtons::RetryCancel)); });
  std::future<BoxAnswer> answer = asked.get_future();
  while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  worker.join();
  EXPECT_EQ(answer.get(), BoxAnswer::Cancel);
  EXPECT_EQ(plugs, 1) << "the window beside the main window was blocked";
  EXPECT_EQ(stops, 0) << "the main window took a click past the box";
}

}  // namespace
}  // namespace velomat
