#include "app/sim_program.h"

#include <QEventLoop>
#include <QScreen>

#include "ui/window_placement.h"

namespace velomat {

SimProgram::SimProgram(MessageBoxes& boxes, sim::SimOptions options)
    : onScreen_(3, 8, 1, "Velomat Bildschirm-Joystick"),  // stick X/Y, throttle Z, 8 buttons, a hat
      intInt_(options),
      robo_(options),
      intIntAsSetUp_(intInt_, state_.connection),
      roboAsSetUp_(robo_, state_.connection),
      link_(intIntAsSetUp_, roboAsSetUp_, state_.connection, state_.stopRequested, boxes),
      dialog_(state_, boxes),
      window_(onScreen_, intInt_, robo_) {}

void SimProgram::start() {
  dialog_.OnInitDialog(joystick_, link_);
  placeWindows();
  window_.show();
  dialog_.show();
  // Enter is "NOT-AUS": the main window takes the keys, not the simulation window beside it.
  dialog_.activateWindow();
}

void SimProgram::placeWindows() {
  QScreen* screen = dialog_.screen();
  const QMargins mainFrame = frameOf(dialog_), besideFrame = frameOf(window_);
  const PairPlacement place =
      placeSideBySide(screen->availableGeometry(), dialog_.size().grownBy(mainFrame),
                      window_.sizeFor(SimulationWindow::Layout::OneColumn).grownBy(besideFrame),
                      window_.sizeFor(SimulationWindow::Layout::Compact).grownBy(besideFrame));
  window_.setCompact(place.compact);
  dialog_.move(place.main);
  window_.move(place.beside);
}

void SimProgram::run() {
  // Not the main window's exec(): a modal main window would block the simulation window beside it,
  // which must stay usable as long as the program runs, boxes included.
  QEventLoop loop;
  QObject::connect(&dialog_, &QDialog::finished, &loop, &QEventLoop::quit);
  if (dialog_.isVisible()) loop.exec();
}

}  // namespace velomat
