#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "control/output_stage.h"
#include "link_doubles.h"

namespace velomat {
namespace {

using testing::RecordingIntInt;
using testing::RecordingRobo;
using testing::ScriptedBoxes;

class OutputStage : public ::testing::Test {
 protected:
  void SetUp() override { use(kIntelligentInterface, 4); }
  void use(int32_t kind, int32_t motorCount) {
    state.connection.interfaceKind = kind;
    state.connection.motorCount = motorCount;
    state.connection.hasExtension = motorCount == 8;
    ASSERT_TRUE(link.openInterface());
  }
  // One iteration's share of the stage: shape, then drive. Returns the output word sent.
  uint32_t step() {
    shapeSpeeds(run, state);
    driveOutputs(run, state, runLink);
    return state.connection.isIntelligentInterface() ? intInt.calls.back().args[0]
                                                     : robo.calls.end()[-2].args[0];
  }
  uint32_t lastSpeedWord() const { return robo.calls.end()[-2].args[1]; }
  // "1" for each cycle in which output o was driven.
  std::string pattern(int o, int cycles) {
    std::string bits;
    for (int i = 0; i < cycles; ++i) bits += (step() >> (2 * o)) & 3u ? '1' : '0';
    return bits;
  }

  SharedState state;
  RunState run;
  RecordingIntInt intInt;
  RecordingRobo robo;
  ScriptedBoxes boxes;
  InterfaceLink link{intInt, robo, state.connection};
  RunLink runLink{link, state.stopRequested, boxes};
};

TEST_F(OutputStage, pwm_patterns_from_a_cleared_accumulator) {
  struct Row {
    double speed, ratio;
    const char* firstCycles;
  };
  const Row rows[] = {
      {0, 99998, "00000000000000000000"},       {10, 8, "00000000100000000010"},
      {25, 2, "00100010001000100010"},          {50, 0, "10101010101010101010"},
      {75, -2, "11011101110111011101"},         {90, -8, "11111111011111111101"},
      {99.999, -99998, "11111111111111111111"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.speed);
    run.direction[0] = kDirLeft;
    run.speed[0] = row.speed;
    run.pwm.pwmAccumulator[0] = 0;
    shapeSpeeds(run, state);
    EXPECT_NEAR(run.shapedSpeed[0], row.ratio, 1e-5);
    EXPECT_EQ(pattern(0, 20), row.firstCycles);
  }
}

TEST_F(OutputStage, speed_zero_pulses_once_in_about_100000_cycles_and_full_speed_pauses_as_rarely) {
  for (auto [speed, on] : {std::pair{0.0, '1'}, std::pair{99.999, '0'}}) {
    run.direction[2] = kDirRight;
    run.speed[2] = speed;
    run.pwm.pwmAccumulator[2] = 0;
    const std::string bits = pattern(2, 100001);
    const size_t first = bits.find(on);
    EXPECT_NEAR(static_cast<double>(first), 99998, 2) << speed;  // v is cut to 1/100000 below 99998
    EXPECT_EQ(bits.find(on, first + 1), std::string::npos) << speed;
  }
}

TEST_F(OutputStage, the_on_share_matches_every_whole_percent_from_1_to_94) {
  constexpr int kCycles = 100000;
  use(kIntelligentInterface, 8);
  for (int percent = 1; percent <= 94; ++percent) {
    run.direction[5] = kDirLeft;
    run.speed[5] = percent;
    run.pwm.pwmAccumulator[5] = 0;
    shapeSpeeds(run, state);
    int on = 0;
    for (int i = 0; i < kCycles; ++i) {
      driveOutputs(run, state, runLink);
      on += (intInt.calls.back().args[0] >> 10) & 1u;
      intInt.calls.clear();
    }
    EXPECT_NEAR(static_cast<double>(on) / kCycles, percent / 100.0, 1e-4) << percent << "%";
  }
}

// A speed held for minutes must not leave the accumulator wound up: the next speed takes effect within
// one pulse period of that speed and then keeps its share.
TEST_F(OutputStage, a_new_speed_takes_effect_within_one_pulse_period_after_a_long_hold) {
  struct Row {
    double held;
    int cycles;
    double next;
  };
  const Row rows[] = {
      {99.999, 60000, 50}, {99.999, 60000, 10}, {99.999, 60000, 90}, {0, 30000, 75},
      {0, 60000, 25},      {0, 60000, 90},      {10, 60000, 90},     {90, 60000, 10},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << row.held << " % for " << row.cycles << " cycles, then " << row.next);
    run.direction[0] = kDirLeft;
    run.speed[0] = row.held;
    run.pwm.pwmAccumulator[0] = 0;
    shapeSpeeds(run, state);
    for (int i = 0; i < row.cycles; ++i) {
      driveOutputs(run, state, runLink);
      intInt.calls.clear();
    }
    run.speed[0] = row.next;  // the same direction: nothing resets the accumulator
    shapeSpeeds(run, state);
    const int period = static_cast<int>(std::fabs(run.shapedSpeed[0])) + 2;
    const char changed = row.next <= 50 ? '1' : '0';  // the pulse cycle's state
    const std::string bits = pattern(0, 100 * period);
    EXPECT_LT(bits.find(changed), static_cast<size_t>(period));
    const double share = static_cast<double>(std::count(bits.begin(), bits.end(), '1')) / bits.size();
    EXPECT_NEAR(share, row.next / 100, 1.0 / 100);
  }
}

TEST_F(OutputStage, an_output_without_direction_sends_nothing_but_its_pwm_runs_on) {
  run.direction[1] = kDirOff;
  run.speed[1] = 50;
  EXPECT_EQ(step(), 0u);
  EXPECT_EQ(step(), 0u);
  EXPECT_EQ(run.pwm.pwmAccumulator[1], 0);  // pulse, then plain: -2 + 1, then + 1
  run.direction[1] = kDirRight;              // the cycle would have reset it; here it just carries on
  EXPECT_EQ(step(), 0b1000u);
}

TEST_F(OutputStage, robo_levels_follow_the_speed_in_sevenths) {
  use(kRoboUsb, 4);
  const std::pair<double, uint32_t> rows[] = {
      {0, 0},  {14, 0}, {15, 1}, {28, 1}, {29, 2}, {42, 2}, {43, 3},  {57, 3},
      {58, 4}, {71, 4}, {72, 5}, {85, 5}, {86, 6}, {94, 6}, {100, 7}, {114.3, 0},  // above level 7: sent as 0
  };
  for (auto [speed, level] : rows) {
    for (int o = 0; o < 4; ++o) {
      run.direction[o] = kDirLeft;
      run.speed[o] = speed;
    }
    step();
    EXPECT_EQ(lastSpeedWord(), level * 0x1111u) << speed << "%";
  }
}

TEST_F(OutputStage, robo_speed_50_on_output_1_and_100_on_output_0_make_speed_word_0x37) {
  use(kRoboSerial, 4);
  run.direction[0] = kDirLeft;
  run.speed[0] = 100;
  run.direction[1] = kDirRight;
  run.speed[1] = 50;
  EXPECT_EQ(step(), 0b1001u);  // every output with a direction is driven in every cycle
  EXPECT_EQ(lastSpeedWord(), 0x37u);
}

TEST_F(OutputStage, direction_bits_of_outputs_0_3_and_4) {
  struct Row {
    int32_t kind;
    int output;
    uint8_t direction;
    uint32_t word;
  };
  const Row rows[] = {
      {kRoboUsb, 0, kDirLeft, 1u << 0},
      {kRoboUsb, 3, kDirRight, 1u << 7},
      {kIntelligentInterface, 0, kDirLeft, 1u << 0},
      {kIntelligentInterface, 3, kDirRight, 1u << 7},
      {kIntelligentInterface, 4, kDirLeft, 1u << 8},  // extension module, motor 1
      {kIntelligentInterface, 7, kDirRight, 1u << 15},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << "output " << row.output << " kind " << row.kind);
    use(row.kind, 8);
    run = RunState{};
    run.direction[row.output] = row.direction;
    run.speed[row.output] = state.connection.isIntelligentInterface() ? 99.999 : 100;
    run.pwm.pwmAccumulator.fill(0);
    EXPECT_EQ(step(), row.word);
    EXPECT_EQ(run.directionBits[row.output], row.word);
  }
}

TEST_F(OutputStage, the_intelligent_interface_gets_speed_word_0) {
  run.direction[0] = kDirLeft;
  run.speed[0] = 50;
  step();
  EXPECT_EQ(intInt.calls.back().args.size(), 1u);  // only the output word reaches the driver
  EXPECT_TRUE(robo.calls.empty());
}

TEST_F(OutputStage, inputs_are_decoded_for_the_modules_there_are) {
  struct Row {
    int32_t motorCount;
    uint32_t inputWord;
    uint32_t want;  // bit k: inputOn[k] afterwards, every entry 1 before
  };
  const Row rows[] = {
      {4, 0x81, 0xFF00 | 0x81},  // E1 and E8; entries past E8 are not touched
      {4, 0xFF00, 0xFF00},       // inputs of a module that is not there change nothing
      {8, 0x8001, 0x8001},      {8, 0xFFFF, 0xFFFF}, {8, 0x0, 0x0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message() << std::hex << row.inputWord);
    use(kIntelligentInterface, row.motorCount);
    run.inputOn.fill(1);
    intInt.inputWord = row.inputWord;
    shapeSpeeds(run, state);
    EXPECT_EQ(driveOutputs(run, state, runLink), row.inputWord);
    for (int k = 0; k < kMaxInputs; ++k) EXPECT_EQ(run.inputOn[k], (row.want >> k) & 1u) << "E" << k + 1;
  }
}

TEST_F(OutputStage, a_stop_requested_during_the_exchange_keeps_the_inputs_of_the_exchange_before) {
  intInt.inputWord = 0x01;
  shapeSpeeds(run, state);
  ASSERT_EQ(driveOutputs(run, state, runLink), 0x01u);
  intInt.inputWord = 0x80;
  intInt.duringExchange = [this] { state.stopRequested = 1; };
  EXPECT_EQ(driveOutputs(run, state, runLink), 0u);
  EXPECT_EQ(run.inputOn[0], 1);
  EXPECT_EQ(run.inputOn[7], 0);
}

TEST_F(OutputStage, shaping_keeps_no_state_of_its_own) {
  run.speed[0] = 37;
  run.direction[0] = kDirRight;
  shapeSpeeds(run, state);
  const RunState first = run;
  run.pwm.pwmAccumulator[0] = 12;
  shapeSpeeds(run, state);
  EXPECT_EQ(run.shapedSpeed, first.shapedSpeed);
  EXPECT_EQ(run.directionBits, first.directionBits);
  EXPECT_EQ(run.pwm.pwmAccumulator[0], 12);
}

}  // namespace
}  // namespace velomat
