// Takes the pictures of the README: the real windows on a real X server (scripts/screenshot.sh runs
// this under Xvfb), set up by the same clicks and choices a user makes.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QScreen>
#include <QTest>
#include <cstdio>

#include "app/main_dialog.h"
#include "link_doubles.h"

using namespace velomat;

namespace {

void choose(QComboBox* list, const QString& text) {
  list->showPopup();
  QAbstractItemView* view = list->view();
  view->setCurrentIndex(view->model()->index(list->findText(text), list->modelColumn()));
  QTest::keyClick(view, Qt::Key_Return);
}

bool save(QWidget* window, const QString& path) {
  if (!QTest::qWaitForWindowExposed(window)) return false;
  QTest::qWait(300);  // let the window manager and the first paint settle
  const QPixmap picture = window->screen()->grabWindow(window->winId());
  if (!picture.save(path)) return false;
  std::printf("screenshot: %s\n", qPrintable(path));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");

  // The main window as velomat-sim opens it with its on-screen joystick (X, Y, Z, a hat, 8 buttons),
  // motor 1 steered left and right on the hat, motor 2 forward and backward.
  SharedState state;
  state.joystickCaps = {kJoyCapsHasZ | kJoyCapsHasPov, 3, 8};
  testing::ScriptedBoxes boxes;
  MainDialog dialog(state, boxes);
  if (!dialog.initialisePanel()) return 1;
  dialog.show();
  choose(dialog.controls().dirAxisList[0], "POV1");
  choose(dialog.controls().speedAxisList[1], "POV2");
  return save(&dialog, folder + "/main-window.png") ? 0 : 1;
}
