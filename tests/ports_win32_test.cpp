// Ports on Windows: what the names stand for, a COM port that is not there, and the parallel port
// that a user program cannot reach. Runs under Wine with the COM pair of tests/com_pairs.py.
#include <gtest/gtest.h>

#include "link/drivers/parallel/parallel_intelligent_interface.h"
#include "link/drivers/parallel/parallel_port_names.h"
#include "link/drivers/parallel/ppdev_port.h"
#include "link/drivers/serial/port_names.h"
#include "link/drivers/serial/serial_port.h"

namespace velomat {
namespace {

TEST(PortNamesOnWindows, comn_and_lptn_are_the_systems_own_ports_and_nothing_else_is) {
  const std::pair<int32_t, const char*> rows[] = {
      {1, "\\\\.\\COM1"}, {4, "\\\\.\\COM4"}, {12, "\\\\.\\COM12"}, {0, ""}, {-1, ""},
  };
  const PortResolver serial = systemPortResolver();
  for (const auto& [number, device] : rows) EXPECT_EQ(serial(number), device) << number;
  // 4 and above are the list entry "LPT": whichever port there is.
  const std::pair<int32_t, const char*> parallelRows[] = {
      {1, "\\\\.\\LPT1"}, {3, "\\\\.\\LPT3"}, {4, "\\\\.\\LPT1"}, {0, ""}, {-1, ""},
  };
  const PortResolver parallel = systemParallelPortResolver();
  for (const auto& [number, device] : parallelRows) EXPECT_EQ(parallel(number), device) << number;
}

// Windows refuses a second open of a COM port with ERROR_ACCESS_DENIED, which tells the user that
// another program holds it (serial_line_win32.cpp); Wine lets the second open through, so only a
// port that is not there can be shown here.
TEST(ComPortOnWindows, a_port_that_is_not_there_is_told_apart_and_one_that_is_opens) {
  SerialPort port;
  EXPECT_FALSE(port.open("\\\\.\\COM9", 9600));
  EXPECT_EQ(port.lastOpenError(), PortOpenError::NoSuchPort);
  EXPECT_EQ(portOpenErrorText(port.lastOpenError(), "COM9"), "");  // the dialog's own message says it
  ASSERT_TRUE(port.open("\\\\.\\COM22", 38400)) << "start the suite with tests/com_pairs.py";
  EXPECT_EQ(port.lastOpenError(), PortOpenError::None);
}

TEST(ParallelPortOnWindows, every_lpt_entry_fails_at_once_with_the_reason) {
  PpdevPort port;
  ParallelIntelligentInterface driver(port, systemParallelPortResolver());
  for (const int32_t number : {1, 2, 3, 4}) {
    SCOPED_TRACE(number);
    EXPECT_FALSE(driver.open(IntIntPort::Parallel, number));
    EXPECT_EQ(driver.exchange(0), std::nullopt);
    EXPECT_EQ(portOpenErrorText(port.lastOpenError(), "LPT1"),
              "Das Intelligent Interface am Parallelport wird unter Windows nicht unterstützt.\n"
              "Schließen Sie es an einen COM-Port an.");
  }
}

}  // namespace
}  // namespace velomat
