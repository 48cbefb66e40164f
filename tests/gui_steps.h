// What a user does to the windows, for the GUI tests: click a control, choose a list entry from the
// opened list with the keyboard.
#pragma once

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>

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

}  // namespace velomat::testing
