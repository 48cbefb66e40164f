// Takes the pictures of the README: velomat-sim's real windows on a real X server (scripts/screenshot.sh
// runs this under Xvfb), set up by the clicks and choices a user makes: the connection dialog with
// "IntInt COM1" chosen, then the main window and the simulation window during a run, with the stick
// pushed left and motor 2 on the hat ("POV1"), the whole screen with both windows as placed, and the
// live view "Joystick und Interface" during that run; with --all-windows also the whole screen with
// the live view open beside the other two.
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

#include "app/connection_dialog.h"
#include "app/live_view.h"
#include "app/sim_program.h"
#include "gui_steps.h"
#include "ui/qt_message_boxes.h"

using namespace velomat;
using velomat::testing::choose;

namespace {

QString folder;
bool failed = false;

void save(QWidget* window, const QString& name) {
  QTest::qWait(400);  // the first paint, and the simulation window's next refresh
  const QString path = folder + "/" + name;
  if (!window->screen()->grabWindow(window->winId()).save(path)) {
    std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
    failed = true;
    return;
  }
  std::printf("screenshot: %s\n", qPrintable(path));
}

// The whole screen, every window on it.
void saveScreen(QScreen* screen, const QString& name) {
  const QString path = folder + "/" + name;
  if (!screen->grabWindow(0).save(path)) {
    std::fprintf(stderr, "screenshot: cannot write %s\n", qPrintable(path));
    failed = true;
    return;
  }
  std::printf("screenshot: %s\n", qPrintable(path));
}

// Answers what comes up while the program starts: the joystick greeting with OK, the connection dialog
// with "IntInt COM1" and "Verbinden" after its picture.
void answerStartUp() {
  QWidget* modal = QApplication::activeModalWidget();
  if (auto* box = qobject_cast<QMessageBox*>(modal)) {
    box->button(QMessageBox::Ok)->click();
  } else if (auto* connection = dynamic_cast<ConnectionDialog*>(modal)) {
    choose(connection->interfaceList(), "IntInt COM1");
    save(connection, "connection-dialog.png");
    qobject_cast<QPushButton*>(dialogItem(connection, id::kEndButton))->click();
    return;
  }
  QTimer::singleShot(50, answerStartUp);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  folder = QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs")).absolutePath();
  // --all-windows: also the whole screen with the live view open beside the other two windows.
  const bool allWindows = argc > 2 && QString::fromLocal8Bit(argv[2]) == QStringLiteral("--all-windows");
  // A start without settings, in a folder of its own.
  const QString work = QDir::tempPath() + QString("/velomat-screenshots-%1").arg(getpid());
  QDir().mkpath(work);
  QDir::setCurrent(work);

  QtMessageBoxes boxes;
  SimProgram program(boxes);
  boxes.setParent(&program.mainDialog());
  QTimer::singleShot(50, answerStartUp);
  program.start();

  MainDialog& main = program.mainDialog();
  main.show();
  if (!QTest::qWaitForWindowExposed(&main)) return 1;
  choose(main.controls().dirAxisList[1], "POV1");
  QTest::mouseClick(main.controls().startButton, Qt::LeftButton);
  program.simulationWindow().controls().stick->setDeflection(QPointF(-0.6, 0));  // motor 1 turns left
  QTest::qWait(1500);
  save(&main, "main-window.png");
  save(&program.simulationWindow(), "simulation-window.png");
  // The whole screen: both windows as the program places them.
  QScreen* screen = main.screen();
  saveScreen(screen, QString("screen-%1x%2.png").arg(screen->size().width()).arg(screen->size().height()));
  // The live view during the run, opened by its shortcut: motor 1's end switches in force, a button
  // latched down on the on-screen joystick, an input closed.
  QTest::mouseClick(main.controls().endSwitchCheck[0], Qt::LeftButton);
  QTest::mouseClick(main.controls().applyButton, Qt::LeftButton);
  SimulationControls& sim = program.simulationWindow().controls();
  QTest::mouseClick(sim.latch, Qt::LeftButton);
  QTest::mouseClick(sim.buttons[2], Qt::LeftButton);
  QTest::mouseClick(sim.inputs[4], Qt::LeftButton);
  QTest::keyClick(&main, Qt::Key_J, Qt::ControlModifier);
  if (main.liveView() == nullptr || !QTest::qWaitForWindowExposed(main.liveView())) return 1;
  QTest::qWait(300);
  save(main.liveView(), "live-view.png");
  if (allWindows) saveScreen(screen, "screen-all-windows.png");  // the three as the program places them
  main.liveView()->close();
  QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(&main, id::kEmergencyStopButton)), Qt::LeftButton);
  // The About box, from the credits button.
  QTimer::singleShot(100, [] {
    QWidget* about = QApplication::activeModalWidget();
    save(about, "about-box.png");
    about->close();
  });
  QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(&main, id::kCreditsButton)), Qt::LeftButton);
  QTest::qWait(100);
  QDir(work).removeRecursively();
  return failed ? 1 : 0;
}
