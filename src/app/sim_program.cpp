#include "app/sim_program.h"

#include <QScreen>

namespace velomat {

SimProgram::SimProgram(MessageBoxes& boxes, sim::SimOptions options)
    : onScreen_(3, 8, 1, "Velomat Bildschirm-Joystick"),  // stick X/Y, throttle Z, 8 buttons, a hat
      intInt_(options),
      robo_(options),
      link_(intInt_, robo_, state_.connection, state_.stopRequested, boxes),
      dialog_(state_, boxes),
      window_(onScreen_, intInt_, robo_, &dialog_) {}

void SimProgram::start() {
  dialog_.OnInitDialog(joystick_, link_);
  // The main window shows first, so that the simulation window can stand beside it; where the screen
  // has room for both, the pair stands in its middle.
  dialog_.show();
  window_.adjustSize();
  const QRect screen = dialog_.screen()->availableGeometry();
  const int frame = dialog_.frameGeometry().width() - dialog_.width();
  const int both = dialog_.frameGeometry().width() + window_.width() + frame;
  if (both <= screen.width()) dialog_.move(screen.left() + (screen.width() - both) / 2, dialog_.y());
  window_.showBeside(dialog_);
}

}  // namespace velomat
