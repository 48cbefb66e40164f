// The ROBO Interface driver on USB, against a fake transport behind the libusb calls, and on the RF
// Data Link, against a model of the link written from its public protocol facts.
#include <gtest/gtest.h>

#include "fake_usb_transport.h"
#include "link/drivers/robo/hardware_robo_interface.h"
#include "rf_data_link_model.h"

namespace velomat {
namespace {

using testing::FakeUsbTransport;
using testing::RfDataLinkModel;
using Bytes = std::vector<uint8_t>;

const UsbDeviceId kUsb{0x146A, 0x0001, 0, 0x01, 0x81};
const UsbDeviceId kRadio{0x146A, 0x0003, 0, 0x02, 0x82};

template <class Bus>  // the fake transport or the link model
Bytes sentOn(const Bus& bus) {
  return {bus.sent.begin(), bus.sent.begin() + bus.sentSize};
}

// A 17-byte 0xF2 command: the interface's direction byte and packed levels (24 bits, M1A lowest),
// then the same for the first I/O extension.
Bytes roboCommand(uint8_t directions, uint32_t halves, uint8_t extDirections = 0, uint32_t extHalves = 0) {
  Bytes packet(17, 0);
  packet[0] = 0xF2;
  packet[1] = directions;
  packet[5] = extDirections;
  for (int i = 0; i < 3; ++i) {
    packet[static_cast<size_t>(2 + i)] = static_cast<uint8_t>(halves >> 8 * i);
    packet[static_cast<size_t>(6 + i)] = static_cast<uint8_t>(extHalves >> 8 * i);
  }
  return packet;
}

class RoboOverUsb : public ::testing::Test {
 protected:
  FakeUsbTransport usb;
  HardwareRoboInterface robo{usb, {}};
};

TEST_F(RoboOverUsb, every_speed_level_of_eight_motors_reaches_both_halves_of_its_motor_and_no_other) {
  // One octal digit per half, M4B (M8B) first and M1A (M5A) last, as the 24 bits of bytes 2..4 (the
  // interface) and 6..8 (the first I/O extension) hold them.
  struct Row {
    uint32_t speedWord, main, extension;
  };
  const Row rows[] = {
      {0x00000000, 0, 0},
      {0x00000001, 011, 0},
      {0x00000004, 044, 0},
      {0x00000007, 077, 0},
      {0x00000050, 05500, 0},
      {0x00000600, 0660000, 0},
      {0x00007000, 077000000, 0},
      {0x00010000, 0, 011},  // motor 5: first motor of the I/O extension
      {0x00030000, 0, 033},
      {0x00200000, 0, 02200},
      {0x05000000, 0, 0550000},
      {0x70000000, 0, 077000000},  // motor 8
      {0x76543210, 033221100, 077665544},
      {0x77777777, 077777777, 077777777},
      {0x88888888, 0, 0},  // bit 3 of a motor's four bits is no part of its level
  };
  robo.open(RoboPort::Usb, -1);
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.speedWord);
    ASSERT_TRUE(robo.sendOutputs(0xA55A, row.speedWord));
    EXPECT_EQ(sentOn(usb), roboCommand(0x5A, row.main, 0xA5, row.extension));
  }
}

TEST_F(RoboOverUsb, every_direction_of_motors_1_to_8_goes_out_as_bytes_1_and_5) {
  robo.open(RoboPort::Usb, -1);
  for (uint32_t direction = 0; direction < 256; ++direction) {
    const uint32_t ext = direction ^ 0xC3;
    ASSERT_TRUE(robo.sendOutputs(0xAB0000 | ext << 8 | direction, 0));  // bits 16.. not sent
    ASSERT_EQ(usb.sentSize, 17);
    EXPECT_EQ(usb.sent[1], direction);
    EXPECT_EQ(usb.sent[5], ext);
    EXPECT_EQ(std::count(usb.sent.begin() + 9, usb.sent.begin() + 17, 0), 8);  // extensions 2 and 3 off
  }
}

TEST_F(RoboOverUsb, the_input_word_is_e1_to_e8_from_byte_0_and_e9_to_e16_from_byte_1) {
  robo.open(RoboPort::Usb, -1);
  struct Row {
    uint8_t byte0, byte1;
    uint32_t inputs;
  };
  const Row rows[] = {{0x00, 0x00, 0},      {0x01, 0x00, 0x0001}, {0x80, 0x00, 0x0080}, {0x00, 0x01, 0x0100},
                      {0x00, 0x80, 0x8000}, {0xA5, 0x5A, 0x5AA5}, {0xFF, 0xFF, 0xFFFF}};
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.inputs);
    usb.reply.fill(0xFF);  // the other nineteen bytes are no inputs
    usb.reply[0] = row.byte0;
    usb.reply[1] = row.byte1;
    ASSERT_TRUE(robo.sendOutputs(0, 0));
    EXPECT_EQ(robo.readInputs(), row.inputs);
  }
}

TEST_F(RoboOverUsb, a_failed_short_or_late_transfer_is_a_lost_connection_and_the_next_call_reconnects) {
  struct Row {
    const char* fault;
    void (*apply)(FakeUsbTransport&);
    bool sendFails;
  };
  const Row rows[] = {
      {"OUT fails", [](FakeUsbTransport& u) { u.failOuts = 1; }, true},
      {"no reply", [](FakeUsbTransport& u) { u.answers = false; }, false},
      {"short reply", [](FakeUsbTransport& u) { u.replyLength = 20; }, false},
      {"late reply", [](FakeUsbTransport& u) { u.lateReplies = 1; }, false},
      {"the IN endpoint stalls", [](FakeUsbTransport& u) { u.inHalted = true; }, false},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    FakeUsbTransport bus;
    HardwareRoboInterface driver(bus, {});
    driver.open(RoboPort::Usb, -1);
    row.apply(bus);
    bus.reply[0] = 0x11;  // the reply to the command that fails
    const bool sent = driver.sendOutputs(1, 0);
    EXPECT_EQ(sent, !row.sendFails);
    if (sent) {
      EXPECT_EQ(driver.readInputs(), std::nullopt);
    }
    EXPECT_FALSE(bus.isOpen);

    bus.answers = true;
    bus.replyLength = 21;
    bus.reply[0] = 0x42;
    EXPECT_TRUE(driver.sendOutputs(1, 0));
    EXPECT_EQ(driver.readInputs(), 0x42u);  // never the late 0x11
    EXPECT_EQ(bus.opens.size(), 2u);
  }
}

TEST_F(RoboOverUsb, the_reply_counts_the_io_extensions_in_byte_15) {
  EXPECT_EQ(robo.extensionModules(), -1);  // before any reply
  robo.open(RoboPort::Usb, -1);
  EXPECT_EQ(robo.extensionModules(), 0);  // the open's all-off exchange
  for (const int count : {1, 3, 0}) {
    usb.reply[15] = static_cast<uint8_t>(count);
    ASSERT_TRUE(robo.sendOutputs(0, 0));
    ASSERT_TRUE(robo.readInputs());
    EXPECT_EQ(robo.extensionModules(), count);
  }
  robo.close();
  EXPECT_EQ(robo.extensionModules(), -1);
}

TEST_F(RoboOverUsb, an_open_fails_without_device_claim_or_answer) {
  struct Row {
    const char* fault;
    void (*apply)(FakeUsbTransport&);
  };
  const Row rows[] = {
      {"no device", [](FakeUsbTransport& u) { u.plugged = false; }},
      {"other product", [](FakeUsbTransport& u) { u.product = 0x0002; }},
      {"claim refused", [](FakeUsbTransport& u) { u.claimFails = true; }},
      {"no answer", [](FakeUsbTransport& u) { u.answers = false; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    FakeUsbTransport bus;
    HardwareRoboInterface driver(bus, {});
    row.apply(bus);
    EXPECT_FALSE(driver.open(RoboPort::Usb, -1));
    EXPECT_FALSE(bus.isOpen);
  }
}

TEST_F(RoboOverUsb, usb_opens_its_device_with_an_all_off_exchange_and_no_request) {
  ASSERT_TRUE(robo.open(RoboPort::Usb, -1));
  EXPECT_EQ(usb.opens, std::vector<UsbDeviceId>{kUsb});
  EXPECT_EQ(sentOn(usb), roboCommand(0, 0));
  robo.close();
  EXPECT_TRUE(usb.controls.empty());
  EXPECT_FALSE(usb.isOpen);
  EXPECT_FALSE(robo.sendOutputs(0, 0));
}

TEST_F(RoboOverUsb, an_unplugged_device_fails_until_it_is_back_and_is_then_claimed_again) {
  robo.open(RoboPort::Usb, -1);
  usb.plugged = false;
  EXPECT_FALSE(robo.sendOutputs(2, 0));
  EXPECT_FALSE(robo.sendOutputs(2, 0));
  EXPECT_EQ(robo.readInputs(), std::nullopt);
  EXPECT_EQ(usb.opens.size(), 3u);  // the open, and one search for each call while it is gone
  usb.plugged = true;
  usb.reply[0] = 0x81;
  EXPECT_TRUE(robo.sendOutputs(2, 0));
  EXPECT_EQ(robo.readInputs(), 0x81u);
  EXPECT_EQ(usb.opens.back(), kUsb);
}

TEST_F(RoboOverUsb, a_closed_connection_fails_until_the_next_open) {
  ASSERT_TRUE(robo.open(RoboPort::Usb, -1));
  ASSERT_TRUE(robo.open(RoboPort::Usb, -1));  // closes the one before and opens anew
  EXPECT_TRUE(usb.isOpen);
  EXPECT_TRUE(robo.sendOutputs(0, 0));
  robo.close();
  EXPECT_FALSE(usb.isOpen);
  EXPECT_EQ(robo.readInputs(), std::nullopt);
  EXPECT_FALSE(robo.sendOutputs(0, 0));
  EXPECT_EQ(usb.opens.size(), 2u);  // a closed connection looks for no device
}

TEST_F(RoboOverUsb, a_read_without_a_send_sends_the_last_command_again) {
  robo.open(RoboPort::Usb, -1);
  ASSERT_TRUE(robo.sendOutputs(0x06, 0x0030));
  ASSERT_TRUE(robo.readInputs());
  const int outs = usb.outs;
  EXPECT_TRUE(robo.readInputs());
  EXPECT_EQ(usb.outs, outs + 1);
  EXPECT_EQ(usb.sent[1], 0x06);
}

// The RF Data Link with the interface on call sign 3 unless a test says otherwise.
using Control = RfDataLinkModel::Control;
Control probe(uint16_t n) {
  return {{0xC0, 0x52, static_cast<uint16_t>(n << 8 | 5), 0}, 35};
}
Control sessionOpen(uint16_t n) {
  return {{0xC0, 0xFB, static_cast<uint16_t>(n << 8 | 2), 1}, 2};
}
Control sessionClose(uint16_t n) {
  return {{0xC0, 0x21, static_cast<uint16_t>(n << 8), 0}, 1};
}

Bytes radioCommand(uint8_t directions, uint32_t halves, uint8_t extDirections, uint32_t extHalves) {
  Bytes packet = roboCommand(directions, halves, extDirections, extHalves);
  packet[0] = 0x8B;
  packet.resize(32, 0);
  return packet;
}

TEST(RoboOverRadio, the_open_probes_call_signs_in_turn_and_opens_a_session_with_the_first_that_answers) {
  struct Row {
    std::vector<int> callSigns;  // where interfaces are
    int chosen;
  };
  const Row rows[] = {{{3}, 3}, {{1}, 1}, {{8}, 8}, {{5, 2}, 2}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.chosen);
    RfDataLinkModel link(row.callSigns.front());
    for (int n : row.callSigns) link.at(n).present = true;
    HardwareRoboInterface robo(link, {});
    ASSERT_TRUE(robo.open(RoboPort::Radio, -1));
    EXPECT_EQ(link.opens, std::vector<UsbDeviceId>{kRadio});
    std::vector<Control> want;
    for (int n = 1; n <= row.chosen; ++n) want.push_back(probe(static_cast<uint16_t>(n)));
    want.push_back(sessionOpen(static_cast<uint16_t>(row.chosen)));
    EXPECT_EQ(link.controls, want);
    EXPECT_EQ(link.session, row.chosen);
    // The open's all-off exchange went to the chosen interface, as 0x8B with 32 bytes.
    EXPECT_EQ(sentOn(link), radioCommand(0, 0, 0, 0));
    EXPECT_EQ(link.at(row.chosen).commands, 1);
    EXPECT_EQ(link.strayCommands, 0);
  }
}

TEST(RoboOverRadio, the_exchange_carries_directions_and_speeds_of_eight_motors_and_inputs_e1_to_e16) {
  struct Row {
    uint32_t outputWord, speedWord;
    std::array<uint8_t, 2> directions;
    std::array<uint8_t, 16> levels;
    std::array<uint8_t, 2> inputs;
    uint32_t inputWord;
  };
  const Row rows[] = {
      {0x0001, 0x00000007, {0x01, 0}, {7, 7}, {0x01, 0}, 0x0001},
      {0x0080, 0x00003000, {0x80, 0}, {0, 0, 0, 0, 0, 0, 3, 3}, {0x80, 0}, 0x0080},
      {0x0100, 0x00010000, {0, 0x01}, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1}, {0, 0x01}, 0x0100},
      {0x8000, 0x70000000, {0, 0x80}, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 7}, {0, 0x80}, 0x8000},
      {0x6996,
       0x76543210,
       {0x96, 0x69},
       {0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7},
       {0x3C, 0xC3},
       0xC33C},
  };
  RfDataLinkModel link(3);
  HardwareRoboInterface robo(link, {});
  ASSERT_TRUE(robo.open(RoboPort::Radio, -1));
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.outputWord << " " << row.speedWord);
    link.at(3).inputs = row.inputs;
    ASSERT_TRUE(robo.sendOutputs(row.outputWord, row.speedWord));
    EXPECT_EQ(robo.readInputs(), row.inputWord);  // not the analogue bytes after them
    EXPECT_EQ(link.at(3).directions, row.directions);
    EXPECT_EQ(link.at(3).levels, row.levels);
  }
  EXPECT_EQ(link.strayCommands, 0);
}

TEST(RoboOverRadio, close_ends_the_session_with_its_call_sign_and_the_connection) {
  RfDataLinkModel link(3);
  HardwareRoboInterface robo(link, {});
  ASSERT_TRUE(robo.open(RoboPort::Radio, -1));
  robo.close();
  EXPECT_EQ(link.controls.back(), sessionClose(3));
  EXPECT_EQ(link.session, 0);
  EXPECT_FALSE(link.isOpen);
  EXPECT_FALSE(robo.sendOutputs(0, 0));
  EXPECT_EQ(link.controls.size(), 5u);  // probes 1..3, open, close: nothing after the close
}

TEST(RoboOverRadio, an_open_fails_without_link_interface_session_or_reply) {
  struct Row {
    const char* fault;
    void (*apply)(RfDataLinkModel&);
    size_t probes;
  };
  const Row rows[] = {
      {"no link", [](RfDataLinkModel& l) { l.plugged = false; }, 0},
      {"no interface on any call sign", [](RfDataLinkModel& l) { l.at(3).present = false; }, 8},
      {"the link answers no request", [](RfDataLinkModel& l) { l.answersRequests = false; }, 1},
      {"no reply to the exchange", [](RfDataLinkModel& l) { l.holdReplies = 1; }, 3},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.fault);
    RfDataLinkModel link(3);
    row.apply(link);
    HardwareRoboInterface robo(link, {});
    EXPECT_FALSE(robo.open(RoboPort::Radio, -1));
    EXPECT_FALSE(link.isOpen);
    EXPECT_EQ(link.session, 0);
    EXPECT_EQ(std::count_if(link.controls.begin(), link.controls.end(),
                            [](const Control& c) { return c.request.request == 0x52; }),
              static_cast<long>(row.probes));
  }
}

TEST(RoboOverRadio, a_late_reply_is_dropped_and_the_same_call_sign_is_asked_for_again) {
  RfDataLinkModel link(3);
  link.at(6).present = true;  // another model on the same link: never taken over
  HardwareRoboInterface robo(link, {});
  ASSERT_TRUE(robo.open(RoboPort::Radio, -1));
  const size_t controlsAfterOpen = link.controls.size();
  int failures = 0;
  for (uint8_t i = 1; i <= 20; ++i) {
    SCOPED_TRACE(static_cast<int>(i));
    if (i == 5) link.holdReplies = 1;
    link.at(3).inputs = {i, static_cast<uint8_t>(~i)};
    ASSERT_TRUE(robo.sendOutputs(i, 0));
    const Inputs inputs = robo.readInputs();
    failures += !inputs;
    if (inputs) {
      EXPECT_EQ(*inputs, static_cast<uint32_t>(i | static_cast<uint8_t>(~i) << 8));
    }
  }
  EXPECT_EQ(failures, 1);
  const std::vector<Control> reconnect(link.controls.begin() + static_cast<long>(controlsAfterOpen),
                                       link.controls.end());
  EXPECT_EQ(reconnect, (std::vector<Control>{sessionClose(3), probe(3), sessionOpen(3)}));
  EXPECT_EQ(link.at(6).commands, 0);
}

}  // namespace
}  // namespace velomat
