// The ROBO Interface driver on USB and radio, against a fake transport behind the libusb calls.
#include <gtest/gtest.h>

#include "fake_usb_transport.h"
#include "link/drivers/usb/hardware_robo_interface.h"

namespace velomat {
namespace {

using testing::FakeUsbTransport;

const UsbDeviceId kUsb{0x146A, 0x0001, 0, 0x01, 0x81};
const UsbDeviceId kRadio{0x146A, 0x0003, 0, 0x02, 0x82};
const UsbControlRequest kSessionOpen{0xC0, 0xFB, 0x0102, 1};
const UsbControlRequest kSessionClose{0xC0, 0x21, 0, 0};

std::vector<uint8_t> sentOn(const FakeUsbTransport& bus) {
  return {bus.sent.begin(), bus.sent.begin() + bus.sentSize};
}

class RoboOverUsb : public ::testing::Test {
 protected:
  FakeUsbTransport usb;
  HardwareRoboInterface robo{usb, {}};
};

TEST_F(RoboOverUsb, every_speed_level_reaches_both_halves_of_its_motor_and_no_other) {
  // One octal digit per half, M4B first and M1A last, as the 24 bits of bytes 2..4 hold them.
  const std::pair<uint32_t, uint32_t> rows[] = {
      {0x0000, 0},         {0x0001, 011},       {0x0002, 022},       {0x0003, 033},       {0x0004, 044},
      {0x0005, 055},       {0x0006, 066},       {0x0007, 077},       {0x0010, 01100},     {0x0020, 02200},
      {0x0030, 03300},     {0x0040, 04400},     {0x0050, 05500},     {0x0060, 06600},     {0x0070, 07700},
      {0x0100, 0110000},   {0x0200, 0220000},   {0x0300, 0330000},   {0x0400, 0440000},   {0x0500, 0550000},
      {0x0600, 0660000},   {0x0700, 0770000},   {0x1000, 011000000}, {0x2000, 022000000}, {0x3000, 033000000},
      {0x4000, 044000000}, {0x5000, 055000000}, {0x6000, 066000000}, {0x7000, 077000000}, {0x7654, 077665544},
      {0x8888, 0},      // bit 3 of a motor's four bits is no part of its level
      {0xFFFF0000, 0},  // nor are motors beyond the fourth
  };
  const uint32_t handle = robo.openUsbOrRadio(0, 0);
  for (const auto& [speedWord, halves] : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << speedWord);
    ASSERT_EQ(robo.sendOutputs(handle, 0x5A, speedWord, 0), 0u);
    std::vector<uint8_t> want(17, 0);
    want[0] = 0xF2;
    want[1] = 0x5A;
    want[2] = halves & 0xFF;
    want[3] = (halves >> 8) & 0xFF;
    want[4] = (halves >> 16) & 0xFF;
    EXPECT_EQ(sentOn(usb), want);
  }
}

TEST_F(RoboOverUsb, every_direction_combination_goes_out_as_byte_1) {
  const uint32_t handle = robo.openUsbOrRadio(0, 0);
  for (uint32_t direction = 0; direction < 256; ++direction) {
    ASSERT_EQ(robo.sendOutputs(handle, 0xAB00 | direction, 0x7777, 0), 0u);  // bits 8.. are not sent
    ASSERT_EQ(usb.sentSize, 17);
    EXPECT_EQ(usb.sent[1], direction);
    EXPECT_EQ(usb.sent[4], 0xFF);
  }
}

TEST_F(RoboOverUsb, the_input_word_is_byte_0_of_the_reply) {
  const uint32_t handle = robo.openUsbOrRadio(0, 0);
  const std::pair<uint8_t, uint32_t> rows[] = {
      {0x00, 0}, {0x01, 1}, {0x80, 0x80}, {0xA5, 0xA5}, {0xFF, 0xFF}};
  for (auto [byte0, inputs] : rows) {
    usb.reply.fill(0xFF);  // the other twenty bytes are not inputs
    usb.reply[0] = byte0;
    ASSERT_EQ(robo.sendOutputs(handle, 0, 0, 0), 0u);
    EXPECT_EQ(robo.readInputs(handle), inputs) << int(byte0);
  }
}

TEST_F(RoboOverUsb, a_failed_or_short_transfer_is_a_lost_connection_and_the_next_call_reconnects) {
  struct Row {
    const char* fault;
    void (*apply)(FakeUsbTransport&);
    bool sendFails;
  };
  const Row rows[] = {
      {"OUT fails", [](FakeUsbTransport& u) { u.failOuts = 1; }, true},
      {"no reply", [](FakeUsbTransport& u) { u.answers = false; }, false},
      {"short reply", [](FakeUsbTransport& u) { u.replyLength = 20; }, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    FakeUsbTransport bus;
    HardwareRoboInterface driver(bus, {});
    const uint32_t handle = driver.openUsbOrRadio(0, 0);
    row.apply(bus);
    const uint32_t sendResult = driver.sendOutputs(handle, 1, 0, 0);
    EXPECT_EQ(sendResult, row.sendFails ? kRoboFailure : 0u);
    if (sendResult == 0) {
      EXPECT_EQ(driver.readInputs(handle), kRoboFailure);
    }
    EXPECT_FALSE(bus.isOpen);

    bus.answers = true;
    bus.replyLength = 21;
    bus.reply[0] = 0x42;
    EXPECT_EQ(driver.sendOutputs(handle, 1, 0, 0), 0u);
    EXPECT_EQ(driver.readInputs(handle), 0x42u);
    EXPECT_EQ(bus.opens.size(), 2u);
  }
}

TEST_F(RoboOverUsb, an_open_fails_without_device_claim_session_or_answer) {
  struct Row {
    const char* fault;
    void (*apply)(FakeUsbTransport&);
    uint32_t code;
  };
  const Row rows[] = {
      {"no device", [](FakeUsbTransport& u) { u.plugged = false; }, 0},
      {"other product", [](FakeUsbTransport& u) { u.product = 0x0002; }, 0},
      {"claim refused", [](FakeUsbTransport& u) { u.claimFails = true; }, 0},
      {"no answer", [](FakeUsbTransport& u) { u.answers = false; }, 0},
      {"radio without link", [](FakeUsbTransport& u) { u.plugged = false; }, 80},
      {"session refused", [](FakeUsbTransport& u) { u.controlAnswer = -1; }, 80},
      {"radio without interface", [](FakeUsbTransport& u) { u.answers = false; }, 80},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    FakeUsbTransport bus;
    bus.product = row.code == 0 ? 0x0001 : 0x0003;
    HardwareRoboInterface driver(bus, {});
    row.apply(bus);
    EXPECT_EQ(driver.openUsbOrRadio(row.code, 0), kRoboFailure);
    EXPECT_FALSE(bus.isOpen);
  }
}

TEST_F(RoboOverUsb, usb_and_radio_open_their_own_device_all_off_and_radio_in_a_session) {
  struct Row {
    uint32_t code;
    UsbDeviceId device;
    std::vector<UsbControlRequest> afterOpen, afterClose;
  };
  const Row rows[] = {{0, kUsb, {}, {}},
                      {80, kRadio, {kSessionOpen}, {kSessionOpen, kSessionClose}},
                      {5, kRadio, {kSessionOpen}, {kSessionOpen, kSessionClose}}};
  std::vector<uint8_t> allOff(17, 0);
  allOff[0] = 0xF2;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.code);
    FakeUsbTransport bus;
    bus.product = row.device.product;
    HardwareRoboInterface driver(bus, {});
    const uint32_t handle = driver.openUsbOrRadio(row.code, 0);
    ASSERT_NE(handle, kRoboFailure);
    EXPECT_EQ(bus.opens, std::vector<UsbDeviceId>{row.device});
    EXPECT_EQ(bus.controls, row.afterOpen);
    EXPECT_EQ(sentOn(bus), allOff);
    driver.close(handle);
    EXPECT_EQ(bus.controls, row.afterClose);
    EXPECT_FALSE(bus.isOpen);
    EXPECT_EQ(driver.sendOutputs(handle, 0, 0, 0), kRoboFailure);
  }
}

TEST_F(RoboOverUsb, an_unplugged_device_fails_until_it_is_back_and_is_then_claimed_again) {
  for (const uint32_t code : {0u, 80u}) {
    SCOPED_TRACE(code);
    FakeUsbTransport bus;
    bus.product = code == 0 ? 0x0001 : 0x0003;
    HardwareRoboInterface driver(bus, {});
    const uint32_t handle = driver.openUsbOrRadio(code, 0);
    bus.plugged = false;
    EXPECT_EQ(driver.sendOutputs(handle, 2, 0, 0), kRoboFailure);
    EXPECT_EQ(driver.sendOutputs(handle, 2, 0, 0), kRoboFailure);
    EXPECT_EQ(driver.readInputs(handle), kRoboFailure);
    EXPECT_EQ(bus.opens.size(), 3u);  // the open, and one search for each call while it is gone
    bus.plugged = true;
    bus.reply[0] = 0x81;
    EXPECT_EQ(driver.sendOutputs(handle, 2, 0, 0), 0u);
    EXPECT_EQ(driver.readInputs(handle), 0x81u);
    EXPECT_EQ(bus.opens.back(), code == 0 ? kUsb : kRadio);
    EXPECT_EQ(bus.controls.empty() ? UsbControlRequest{} : bus.controls.back(),
              code == 0 ? UsbControlRequest{} : kSessionOpen);  // a new radio session
  }
}

TEST_F(RoboOverUsb, handles_die_with_close_or_the_next_open_and_unknown_ones_fail) {
  const uint32_t first = robo.openUsbOrRadio(0, 0);
  const uint32_t second = robo.openUsbOrRadio(0, 0);
  ASSERT_NE(second, kRoboFailure);
  EXPECT_NE(second, first);
  EXPECT_NE(second, kRoboNoHandle);
  EXPECT_EQ(robo.sendOutputs(first, 0, 0, 0), kRoboFailure);
  EXPECT_EQ(robo.readInputs(second + 1), kRoboFailure);
  robo.close(second + 1);  // not ours: nothing happens
  EXPECT_TRUE(usb.isOpen);
  EXPECT_EQ(robo.sendOutputs(second, 0, 0, 0), 0u);
  robo.close(second);
  EXPECT_FALSE(usb.isOpen);
  EXPECT_EQ(robo.readInputs(second), kRoboFailure);
}

TEST_F(RoboOverUsb, a_read_without_a_send_sends_the_last_command_again) {
  const uint32_t handle = robo.openUsbOrRadio(0, 0);
  ASSERT_EQ(robo.sendOutputs(handle, 0x06, 0x0030, 0), 0u);
  ASSERT_NE(robo.readInputs(handle), kRoboFailure);
  const int outs = usb.outs;
  EXPECT_NE(robo.readInputs(handle), kRoboFailure);
  EXPECT_EQ(usb.outs, outs + 1);
  EXPECT_EQ(usb.sent[1], 0x06);
}

}  // namespace
}  // namespace velomat
