// What a user does to the windows, for the GUI tests: click a control, choose a list entry from the
// opened list with the keyboard, act on a modal window when it comes up.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QTest>
#include <QTimer>
#include <functional>

namespace velomat::testing {

inline void click(QWidget* control) {
  QTest::mouseClick(control, Qt::LeftButton, {}, control->rect().center());
}

// Opens the list, moves to the entry and takes it with Return.
inline void choose(QComboBox* list, int index) {
  list->showPopup();
  QAbstractItemView* view = list->view();
  view->setCurrentIndex(view->model()->index(index, list->modelColumn()));
  QTest::keyClick(view, Qt::Key_Return);
}
inline void choose(QComboBox* list, const QString& text) {
  choose(list, list->findText(text));
}
// During a run Enter is "NOT-AUS" wherever the focus is, so a user takes an entry there with the mouse.
// The toolkit's pick from the opened list cannot be driven on the offscreen platform; this gives the
// list what a mouse pick gives it: the entry, and the signal that the user chose it.
inline void chooseWithTheMouse(QComboBox* list, const QString& text) {
  const int index = list->findText(text);
  list->setCurrentIndex(index);
  emit list->activated(index);
}

// Runs `act` once on the next modal window that shows (a box, a dialog), as a user who sees it come up;
// `act` ends it.
inline void whenModalShows(std::function<void(QWidget&)> act) {
  auto* timer = new QTimer(qApp);
  QObject::connect(timer, &QTimer::timeout, [timer, act = std::move(act)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible()) return;
    timer->stop();
    timer->deleteLater();
    act(*modal);
  });
  timer->start(5);
}

}  // namespace velomat::testing
