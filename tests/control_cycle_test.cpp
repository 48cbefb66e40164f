#include <gtest/gtest.h>

#include "control/control_cycle.h"
#include "fake_joystick.h"

namespace velomat {
namespace {

using testing::FakeJoystick;

constexpr uint32_t kAllCaps = kJoyCapsHasZ | kJoyCapsHasR | kJoyCapsHasU | kJoyCapsHasV | kJoyCapsHasPov;
constexpr double kTolerance = 1e-6;

class ControlCycle : public ::testing::Test {
 protected:
  void SetUp() override {
    state.joystickCaps = {kAllCaps, 6, 12};
    state.connection.motorCount = 4;
    state.connection.interfaceKind = kIntelligentInterface;
  }
  void useInterface(int32_t kind) { state.connection.interfaceKind = kind; }
  void directionFromAxis(int slot, const char* axis) {
    set(state.table.dirFromAxis, slot, 1);
    bindDirectionAxis(state.table, slot, *axisBindingForText(axis));
  }
  void speedFromAxis(int slot) { set(state.table.speedFromAxis, slot, 1); }
  void fixedDirection(int slot, uint8_t code) {
    set(state.table.dirFixed, slot, 1);
    set(state.table.fixedDirSel, slot, code);
  }
  void fixedSpeed(int slot, uint8_t percent) {
    set(state.table.speedFixed, slot, 1);
    set(state.table.speedPercent, slot, percent);
  }
  void cycle() { controlCycle(run, state, joystick); }

  SharedState state;
  FakeJoystick joystick;
  RunState run;
};

TEST_F(ControlCycle, axis_dead_band_and_both_speed_scales) {
  struct Row {
    uint32_t axis;
    int32_t kind;
    uint8_t direction;
    double speed;
  };
  const int32_t ii = kIntelligentInterface, robo = kRoboUsb;
  const Row rows[] = {
      {0, ii, 1, 99.999},
      {10000, ii, 1, 61.538461538},
      {25999, ii, 1, 0.003846154},
      {26000, ii, 0, 0},
      {32767, ii, 0, 0},
      {39000, ii, 0, 0},
      {39001, ii, 2, 0.003846154},
      {65535, ii, 2, 99.999},
      {0, robo, 1, 100},
      {10000, robo, 1, 69.481490524},
      {25999, robo, 1, 20.654927213},
      {26000, robo, 0, 0},
      {39000, robo, 0, 0},
      {39001, robo, 2, 19.025238807},
      {49150, robo, 2, 49.998474075},
      {65535, robo, 2, 100},
  };
  directionFromAxis(0, "Y");
  speedFromAxis(0);
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "axis " << row.axis << " kind " << row.kind);
    useInterface(row.kind);
    joystick.next.dwYpos = row.axis;
    joystick.next.dwXpos = 32767;
    cycle();
    EXPECT_EQ(run.direction[0], row.direction);
    EXPECT_NEAR(run.speed[0], row.speed, kTolerance);
  }
}

TEST_F(ControlCycle, each_axis_letter_reads_its_own_field) {
  const std::pair<const char*, uint32_t JoySample::*> axes[] = {
      {"X", &JoySample::dwXpos}, {"Y", &JoySample::dwYpos}, {"Z", &JoySample::dwZpos},
      {"R", &JoySample::dwRpos}, {"U", &JoySample::dwUpos}, {"V", &JoySample::dwVpos}};
  for (auto [letter, member] : axes) {
    SCOPED_TRACE(letter);
    directionFromAxis(0, letter);
    joystick.next = JoySample{};
    for (auto [other, otherMember] : axes) joystick.next.*otherMember = 32767;
    joystick.next.*member = 0;
    cycle();
    EXPECT_EQ(run.direction[0], kDirLeft);
  }
}

TEST_F(ControlCycle, hat_modes_over_every_sector_and_centred) {
  struct Row {
    uint8_t mode;
    uint32_t pov;
    uint8_t direction;
    double speed;  // Intelligent Interface
  };
  const Row rows[] = {
      {kPov1, 0, 0, 0},
      {kPov1, 500, 0, 5.555555556},
      {kPov1, 1000, 2, 11.111111111},
      {kPov1, 4500, 2, 50},
      {kPov1, 9000, 2, 99.999},
      {kPov1, 13500, 2, 50},
      {kPov1, 17000, 2, 11.111111111},
      {kPov1, 17500, 0, 5.555555556},
      {kPov1, 18000, 0, 0},
      {kPov1, 19000, 1, 11.111111111},
      {kPov1, 22500, 1, 50},
      {kPov1, 27000, 1, 99.999},
      {kPov1, 31500, 1, 50},
      {kPov1, 35000, 1, 11.111111111},
      {kPov1, 36000, 0, 0},
      {kPov1, 65535, 0, 0},
      {kPov1, 40000, 0, 0},
      {kPov2, 0, 1, 99.999},
      {kPov2, 4500, 1, 50},
      {kPov2, 8000, 1, 11.111111111},
      {kPov2, 8500, 0, 5.555555556},
      {kPov2, 9000, 0, 0},
      {kPov2, 10000, 2, 11.111111111},
      {kPov2, 13500, 2, 50},
      {kPov2, 18000, 2, 99.999},
      {kPov2, 26000, 2, 11.111111111},
      {kPov2, 27000, 0, 0},
      {kPov2, 28000, 1, 11.111111111},
      {kPov2, 31500, 1, 50},
      {kPov2, 36000, 1, 99.999},
      {kPov2, 65535, 0, 0},
      {kPov2, 50000, 0, 0},
  };
  speedFromAxis(0);
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "POV" << int{row.mode} << " at " << row.pov);
    directionFromAxis(0, row.mode == kPov1 ? "POV1" : "POV2");
    joystick.next.dwPOV = row.pov;
    cycle();
    EXPECT_EQ(run.direction[0], row.direction);
    EXPECT_NEAR(run.speed[0], row.speed, kTolerance);
  }
}

TEST_F(ControlCycle, the_hat_at_full_deflection_gives_100_on_the_robo_interface) {
  useInterface(kRoboRadio);
  directionFromAxis(0, "POV1");
  speedFromAxis(0);
  joystick.next.dwPOV = 27000;
  cycle();
  EXPECT_EQ(run.direction[0], kDirLeft);
  EXPECT_EQ(run.speed[0], 100);
}

TEST_F(ControlCycle, buttons_left_wins_and_indices_that_name_no_button_are_released) {
  struct Row {
    uint32_t buttons;
    uint8_t left, right, buttonCount, direction;
  };
  const Row rows[] = {
      {0, 0, 1, 12, 0},
      {1u << 0, 0, 1, 12, 1},
      {1u << 1, 0, 1, 12, 2},
      {0b11, 0, 1, 12, 1},  // both pressed: "L"
      {1u << 11, kNoSelection, 11, 12, 2},
      {0xFFFFFFFF, kNoSelection, kNoSelection, 12, 0},  // 255 is never pressed
      {0b11, 0, 1, 1, 1},                               // one-button joystick: only button 1 exists
      {1u << 1, 0, 1, 1, 0},
      {1u << 12, 0, 12, 12, 0},  // button 13 of a twelve-button joystick
      {1u << 31, 0, 31, 32, 2},
      {0xFFFFFFFF, 35, 1, 40, 2},  // a stored count past the 32 buttons read
  };
  set(state.table.dirFromButtons, 0, 1);
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.buttons << std::dec << " left " << int{row.left}
                                      << " right " << int{row.right});
    state.joystickCaps.buttonCount = row.buttonCount;
    set(state.table.buttonLeftSel, 0, row.left);
    set(state.table.buttonRightSel, 0, row.right);
    joystick.next.dwButtons = row.buttons;
    cycle();
    EXPECT_EQ(run.direction[0], row.direction);
  }
}

TEST_F(ControlCycle, a_fixed_direction_is_its_code_and_a_code_that_names_nothing_stands_still) {
  const std::pair<uint8_t, uint8_t> rows[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {kNoSelection, 0}};
  for (auto [code, want] : rows) {
    fixedDirection(5, code);
    state.connection.motorCount = 8;
    cycle();
    EXPECT_EQ(run.direction[outputOfSlot(5)], want) << "code " << int{code};
  }
}

TEST_F(ControlCycle, throttle_cuts_at_two_and_ninety_five_percent_and_reset_the_accumulator) {
  struct Row {
    uint32_t throttle;
    int32_t kind;
    double speed;
    bool resets;
  };
  const int32_t ii = kIntelligentInterface, robo = kRoboSerial;
  const Row rows[] = {
      {0, ii, 0, true},
      {1310, ii, 0, true},
      {1311, ii, 2.000457771, false},
      {32767, ii, 49.999237049, false},
      {62258, ii, 94.999618524, false},
      {62259, ii, 99.999, true},
      {65535, ii, 99.999, true},
      {1310, robo, 0, true},
      {62258, robo, 94.999618524, false},
      {62259, robo, 100, true},
  };
  fixedDirection(0, kDirLeft);
  set(state.table.speedFromThrottle, 0, 1);
  set(state.table.throttleAxisRef, 0, SampleField::U);
  cycle();  // the direction is set now; later passes keep it
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "throttle " << row.throttle << " kind " << row.kind);
    useInterface(row.kind);
    joystick.next.dwUpos = row.throttle;
    run.pwm.pwmAccumulator[0] = 7.5;
    cycle();
    EXPECT_NEAR(run.speed[0], row.speed, kTolerance);
    EXPECT_EQ(run.pwm.pwmAccumulator[0], row.resets ? 0.0 : 7.5);
  }
}

TEST_F(ControlCycle, a_throttle_without_binding_reads_closed) {
  fixedDirection(0, kDirRight);
  set(state.table.speedFromThrottle, 0, 1);
  joystick.next.dwXpos = joystick.next.dwYpos = joystick.next.dwZpos = 65535;
  run.speed[0] = 50;
  cycle();
  EXPECT_EQ(run.speed[0], 0);
}

TEST_F(ControlCycle, fixed_speeds_from_95_clamp_per_interface_family) {
  struct Row {
    uint8_t percent;
    int32_t kind;
    double speed;
  };
  const Row rows[] = {{0, -1, 0},  {94, -1, 94}, {95, -1, 99.999}, {100, -1, 99.999}, {255, -1, 99.999},
                      {94, 0, 94}, {95, 0, 100}, {100, 80, 100},   {255, 70, 100}};
  fixedDirection(2, kDirLeft);
  for (const Row& row : rows) {
    useInterface(row.kind);
    fixedSpeed(2, row.percent);
    cycle();
    EXPECT_EQ(run.speed[1], row.speed) << int{row.percent} << "% kind " << row.kind;
  }
}

TEST_F(ControlCycle, end_switches_of_the_previous_exchange_stop_only_their_own_direction) {
  struct Row {
    uint8_t direction, switchesOn, left, right;
    uint32_t closedInputs;  // bit k: E(k+1)
    int32_t motorCount;
    uint8_t want;
  };
  const Row rows[] = {
      {1, 1, 0, 1, 0b01, 4, 0},
      {1, 1, 0, 1, 0b10, 4, 1},
      {2, 1, 0, 1, 0b10, 4, 0},
      {2, 1, 0, 1, 0b01, 4, 2},
      {1, 0, 0, 1, 0b11, 4, 1},
      {2, 0, 0, 1, 0b11, 4, 2},
      {0, 1, 0, 1, 0b11, 4, 0},
      {1, 1, kNoSelection, 1, 0xFFFF, 4, 1},
      {2, 1, 0, kNoSelection, 0xFFFF, 4, 2},
      {1, 1, 9, 1, 0xFFFF, 4, 1},  // E10 does not exist with four motors
      {1, 1, 9, 1, 0xFFFF, 8, 0},
  };
  set(state.table.endSwitchesOn, 0, 1);
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << "direction " << int{row.direction} << " inputs " << std::hex << row.closedInputs);
    state.connection.motorCount = row.motorCount;
    fixedDirection(0, row.direction);
    set(state.table.endSwitchesOn, 0, row.switchesOn);
    set(state.table.endSwitchLeftSel, 0, row.left);
    set(state.table.endSwitchRightSel, 0, row.right);
    for (int k = 0; k < kMaxInputs; ++k) run.inputOn[k] = (row.closedInputs >> k) & 1;
    cycle();
    EXPECT_EQ(run.direction[0], row.want);
  }
}

TEST_F(ControlCycle, a_closing_end_switch_stops_the_motor_and_restarts_its_pwm) {
  fixedDirection(0, kDirLeft);
  set(state.table.endSwitchesOn, 0, 1);
  set(state.table.endSwitchLeftSel, 0, 4);
  cycle();
  run.pwm.pwmAccumulator[0] = 3.25;
  cycle();
  EXPECT_EQ(run.direction[0], kDirLeft);
  EXPECT_EQ(run.pwm.pwmAccumulator[0], 3.25);
  run.inputOn[4] = 1;  // E5 closed at the exchange after that pass
  cycle();
  EXPECT_EQ(run.direction[0], kDirOff);
  EXPECT_EQ(run.pwm.pwmAccumulator[0], 0);
}

TEST_F(ControlCycle, the_accumulator_resets_on_every_change_of_direction_only) {
  const std::pair<uint8_t, bool> steps[] = {{0, false}, {1, true},  {1, false},
                                            {2, true},  {2, false}, {0, true}};
  for (auto [direction, resets] : steps) {
    fixedDirection(motorSlot(3, 0), direction);  // output 3: main-module motor 4
    run.pwm.pwmAccumulator[3] = 4;
    cycle();
    EXPECT_EQ(run.pwm.pwmAccumulator[3], resets ? 0.0 : 4.0) << "to " << int{direction};
    EXPECT_EQ(run.lastDirection[3], direction);
  }
}

TEST_F(ControlCycle, eight_outputs_take_the_extension_slots_whatever_module_is_shown) {
  state.connection.motorCount = 8;
  state.table.moduleIndex = 1;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    fixedDirection(slot, static_cast<uint8_t>(slot % 3));
    fixedSpeed(slot, static_cast<uint8_t>(10 * slot));
  }
  cycle();
  // The main module's motors 1 to 4 come first on the wire, the extension's 5 to 8 after them.
  const int slotOf[kMaxOutputs] = {0, 2, 4, 6, 1, 3, 5, 7};
  for (int o = 0; o < kMaxOutputs; ++o) {
    EXPECT_EQ(slotOfOutput(o), slotOf[o]);
    EXPECT_EQ(outputOfSlot(slotOf[o]), o);
    EXPECT_EQ(run.speed[o], 10 * slotOf[o]) << "output " << o;
    EXPECT_EQ(run.direction[o], slotOf[o] % 3) << "output " << o;
  }
}

TEST_F(ControlCycle, four_outputs_leave_the_extension_outputs_alone) {
  for (int slot = 0; slot < kSlotCount; ++slot) fixedDirection(slot, kDirRight);
  for (int o = 4; o < kMaxOutputs; ++o) run.speed[o] = -1;
  cycle();
  for (int o = 0; o < 4; ++o) EXPECT_EQ(run.direction[o], kDirRight);
  for (int o = 4; o < kMaxOutputs; ++o) {
    EXPECT_EQ(run.direction[o], kDirOff);
    EXPECT_EQ(run.speed[o], -1);
  }
}

TEST_F(ControlCycle, a_damaged_motor_count_never_drives_past_eight_outputs) {
  state.connection.motorCount = 200;
  for (int slot = 0; slot < kSlotCount; ++slot) fixedDirection(slot, kDirLeft);
  cycle();
  for (int o = 0; o < kMaxOutputs; ++o) EXPECT_EQ(run.direction[o], kDirLeft);
}

TEST_F(ControlCycle, a_slot_with_no_source_keeps_its_last_direction_and_speed) {
  run.direction[2] = kDirRight;
  run.speed[2] = 42;
  cycle();
  EXPECT_EQ(run.direction[2], kDirRight);
  EXPECT_EQ(run.speed[2], 42);
}

TEST_F(ControlCycle, speed_from_the_axis_follows_the_direction_axis_whatever_the_direction_source) {
  bindDirectionAxis(state.table, 0, {SampleField::X, kPovNone});
  set(state.table.dirFromButtons, 0, 1);
  speedFromAxis(0);
  joystick.next.dwXpos = 13000;
  cycle();
  EXPECT_EQ(run.direction[0], kDirOff);
  EXPECT_NEAR(run.speed[0], 50, kTolerance);
}

TEST_F(ControlCycle, a_binding_caught_between_hat_and_axis_never_reads_the_hat_as_an_axis) {
  directionFromAxis(0, "POV1");
  speedFromAxis(0);
  set(state.table.povMode, 0, kPovNone);  // the mode already plain, the field still the hat
  joystick.next.dwPOV = kHatCentred;
  cycle();
  EXPECT_EQ(run.direction[0], kDirOff);
  EXPECT_EQ(run.speed[0], 0);
}

TEST_F(ControlCycle, an_axis_slot_without_binding_stands_still) {
  set(state.table.dirFromAxis, 0, 1);
  speedFromAxis(0);
  joystick.next.dwXpos = 0;
  cycle();
  EXPECT_EQ(run.direction[0], kDirOff);
  EXPECT_EQ(run.speed[0], 0);
}

TEST_F(ControlCycle, the_pass_reads_the_bindings_afresh_each_time) {
  directionFromAxis(0, "X");
  joystick.next.dwXpos = 0;
  joystick.next.dwZpos = 65535;
  cycle();
  EXPECT_EQ(run.direction[0], kDirLeft);
  bindDirectionAxis(state.table, 0, *axisBindingForText("Z"));
  cycle();
  EXPECT_EQ(run.direction[0], kDirRight);
}

TEST_F(ControlCycle, a_pass_whose_joystick_read_fails_decides_nothing) {
  directionFromAxis(0, "X");
  speedFromAxis(0);
  joystick.next.dwXpos = 0;
  ASSERT_TRUE(controlCycle(run, state, joystick));
  ASSERT_EQ(run.direction[0], kDirLeft);
  const double speed = run.speed[0];
  joystick.result = kJoyErrUnplugged;
  run.pwm.pwmAccumulator[0] = 2;
  EXPECT_FALSE(controlCycle(run, state, joystick));
  EXPECT_EQ(run.direction[0], kDirLeft);  // left for the run to end on, not worked out again
  EXPECT_EQ(run.speed[0], speed);
  EXPECT_EQ(run.pwm.pwmAccumulator[0], 2);
}

TEST(SampleJoystick, a_failed_read_keeps_the_sample_and_its_buttons) {
  SharedState state;
  RunState run;
  state.joystickCaps.buttonCount = 4;
  FakeJoystick joystick;
  joystick.next.dwButtons = 0b0101;
  joystick.next.dwXpos = 1234;
  EXPECT_TRUE(sampleJoystick(run, state, joystick));
  EXPECT_TRUE(buttonDown(run, state, 0));
  EXPECT_FALSE(buttonDown(run, state, 1));
  EXPECT_TRUE(buttonDown(run, state, 2));

  joystick.result = kJoyErrUnplugged;
  joystick.next.dwButtons = 0;
  joystick.next.dwXpos = 0;
  EXPECT_FALSE(sampleJoystick(run, state, joystick));
  EXPECT_EQ(state.joySample.dwXpos, 1234u);
  EXPECT_TRUE(buttonDown(run, state, 0));
  EXPECT_TRUE(buttonDown(run, state, 2));
}

TEST(SampleJoystick, button_bits_past_the_button_count_are_ignored) {
  SharedState state;
  RunState run;
  state.joystickCaps.buttonCount = 3;
  FakeJoystick joystick;
  joystick.next.dwButtons = 0xFFFFFFFF;
  sampleJoystick(run, state, joystick);
  for (int k = 0; k < 3; ++k) EXPECT_TRUE(buttonDown(run, state, k));
  for (int k : {3, 31, 32, 255, -1}) EXPECT_FALSE(buttonDown(run, state, k)) << k;
}

TEST(InputOn, only_inputs_of_the_configured_modules_can_be_closed) {
  SharedState state;
  RunState run;
  run.inputOn.fill(1);
  state.connection.motorCount = 4;
  EXPECT_TRUE(inputOn(run, state, 7));
  for (int k : {8, 15, 16, 255, -1}) EXPECT_FALSE(inputOn(run, state, k)) << k;
  state.connection.motorCount = 8;
  EXPECT_TRUE(inputOn(run, state, 15));
  EXPECT_FALSE(inputOn(run, state, 16));
}

}  // namespace
}  // namespace velomat
