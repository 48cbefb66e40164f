// velomat-sim: Velomat with simulated interfaces and an on-screen joystick.
#include <QApplication>

#include "app/end_process.h"
#include "app/sim_program.h"
#include "ui/qt_message_boxes.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  velomat::QtMessageBoxes boxes;
  velomat::SimProgram program(boxes);
  boxes.setParent(&program.mainDialog());
  program.start();
  program.run();
  velomat::endProcess(0);  // closing saved the settings; the worker is not joined
}
