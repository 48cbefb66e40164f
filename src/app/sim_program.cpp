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
      link_(intIntAsSetUp_, roboAsSetUp_, state_.connection),
      dialog_(state_, boxes),
      window_(onScreen_, intInt_, robo_) {}

void SimProgram::start() {
  dialog_.OnInitDialog(joystick_, link_);
  const bool sideBySide = placeWindows();
  dialog_.show();
  window_.show();
  // Enter is "NOT-AUS": the main window takes the keys, not the simulation window beside it.
  dialog_.activateWindow();
  // Where the two cannot stand side by side, the simulation window stands over the main window's left
  // part, the run controls clear: it is the one on top, though the main window has the keys.
  if (!sideBySide) window_.raise();
}

bool SimProgram::placeWindows() {
  QScreen* screen = dialog_.screen();
  const QMargins mainFrame = frameOf(dialog_), besideFrame = frameOf(window_);
  const std::vector<SimulationWindow::Layout> layouts = {
      SimulationWindow::Layout::OneColumn, SimulationWindow::Layout::Compact, SimulationWindow::Layout::Wide};
  std::vector<QSize> sizes;
  for (SimulationWindow::Layout layout : layouts)
    sizes.push_back(window_.sizeFor(layout).grownBy(besideFrame));
  const QRect runControls = keepClearArea(dialog_).translated(mainFrame.left(), mainFrame.top());
  const PairPlacement place =
      placePair(screen->availableGeometry(), dialog_.size().grownBy(mainFrame), runControls, sizes);
  window_.setArrangement(layouts[static_cast<size_t>(place.layout)]);
  dialog_.move(place.main);
  window_.move(place.beside);
  return place.sideBySide;
}

void SimProgram::run() {
  // Not the main window's exec(): a modal main window would block the simulation window beside it,
  // which must stay usable as long as the program runs, boxes included.
  QEventLoop loop;
  QObject::connect(&dialog_, &QDialog::finished, &loop, &QEventLoop::quit);
  if (dialog_.isVisible()) loop.exec();
}

}  // namespace velomat
