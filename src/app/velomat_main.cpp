// velomat: the program for a real joystick and a real interface.
#include <QApplication>

#include "app/end_process.h"
#include "app/main_dialog.h"
#include "link/drivers/intelligent_interface_by_port.h"
#include "link/drivers/parallel/parallel_intelligent_interface.h"
#include "link/drivers/parallel/parallel_port_names.h"
#include "link/drivers/parallel/ppdev_port.h"
#include "link/drivers/robo/hardware_robo_interface.h"
#include "link/drivers/serial/port_names.h"
#include "link/drivers/serial/serial_intelligent_interface.h"
#include "link/drivers/usb/libusb_transport.h"
#include "link/sdl_joystick.h"
#include "ui/qt_message_boxes.h"

int main(int argc, char* argv[]) {
  using namespace velomat;
  QApplication app(argc, argv);
  QtMessageBoxes boxes;
  SdlJoystick joystick;
  LibusbTransport usb;
  SerialIntelligentInterface serialIntInt(systemPortResolver());
  PpdevPort parallelPort;
  ParallelIntelligentInterface parallelIntInt(parallelPort, systemParallelPortResolver());
  IntelligentInterfaceByPort intInt(serialIntInt, parallelIntInt);
  HardwareRoboInterface robo(usb, systemPortResolver());
  SharedState state;
  InterfaceLink link(intInt, robo, state.connection);
  MainDialog dialog(state, boxes);
  boxes.setParent(&dialog);
  dialog.OnInitDialog(joystick, link);
  dialog.exec();
  endProcess(0);  // closing saved the settings; the worker is not joined
}
