#include <gtest/gtest.h>

#include "config/config_table.h"
#include "config/list_texts.h"

namespace velomat {
namespace {

constexpr uint32_t kAllAxes = kJoyCapsHasZ | kJoyCapsHasR | kJoyCapsHasU | kJoyCapsHasV;

struct SlotDefaults {
  uint8_t dirFromAxis, dirFixed, speedFromAxis, speedFixed, axisSel, endLeft, endRight;
  SampleField dirAxisRef;
};

void expectDefaults(const ConfigTable& table, int slot, const SlotDefaults& want, uint8_t throttleSel) {
  SCOPED_TRACE("slot " + std::to_string(slot));
  EXPECT_EQ(get(table.dirFromAxis, slot), want.dirFromAxis);
  EXPECT_EQ(get(table.dirFromButtons, slot), 0);
  EXPECT_EQ(get(table.dirFixed, slot), want.dirFixed);
  EXPECT_EQ(get(table.endSwitchesOn, slot), 0);
  EXPECT_EQ(get(table.speedFromAxis, slot), want.speedFromAxis);
  EXPECT_EQ(get(table.speedFixed, slot), want.speedFixed);
  EXPECT_EQ(get(table.speedFromThrottle, slot), 0);
  EXPECT_EQ(get(table.dirAxisSel, slot), want.axisSel);
  EXPECT_EQ(get(table.buttonLeftSel, slot), 0);
  EXPECT_EQ(get(table.buttonRightSel, slot), 1);
  EXPECT_EQ(get(table.fixedDirSel, slot), kDirOff);
  EXPECT_EQ(get(table.endSwitchLeftSel, slot), want.endLeft);
  EXPECT_EQ(get(table.endSwitchRightSel, slot), want.endRight);
  EXPECT_EQ(get(table.throttleAxisSel, slot), throttleSel);
  EXPECT_EQ(get(table.speedAxisSel, slot), want.axisSel);
  EXPECT_EQ(get(table.speedPercent, slot), 100);
  EXPECT_EQ(get(table.povMode, slot), kPovNone);
  EXPECT_EQ(get(table.dirAxisRef, slot), want.dirAxisRef);
}

TEST(TableDefaults,
     four_motors_drive_motors_one_and_two_from_x_and_y_and_copy_end_switches_to_the_extension) {
  ConfigTable table;
  applyTableDefaults(table, {kJoyCapsHasZ, 3, 4}, 4);
  using F = SampleField;
  const SlotDefaults want[kSlotCount] = {
      {1, 0, 1, 0, 0, 0, 1, F::X}, {0, 1, 0, 1, 0, 0, 1, F::X},  // motor 1, motor 5
      {1, 0, 1, 0, 1, 2, 3, F::Y}, {0, 1, 0, 1, 1, 2, 3, F::Y},  // motor 2, motor 6
      {0, 1, 0, 1, 0, 4, 5, F::X}, {0, 1, 0, 1, 0, 4, 5, F::X},  // motor 3, motor 7
      {0, 1, 0, 1, 1, 6, 7, F::Y}, {0, 1, 0, 1, 1, 6, 7, F::Y},  // motor 4, motor 8
  };
  for (int slot = 0; slot < kSlotCount; ++slot) {
    expectDefaults(table, slot, want[slot], 2);
    EXPECT_EQ(get(table.throttleAxisRef, slot), SampleField::Z);
  }
}

TEST(TableDefaults, eight_motors_give_the_extension_motors_inputs_nine_to_sixteen) {
  ConfigTable table;
  applyTableDefaults(table, {kAllAxes | kJoyCapsHasPov, 6, 12}, 8);
  for (int m = 0; m < kMotorsPerModule; ++m) {
    EXPECT_EQ(get(table.endSwitchLeftSel, motorSlot(m, 0)), 2 * m);
    EXPECT_EQ(get(table.endSwitchRightSel, motorSlot(m, 0)), 2 * m + 1);
    EXPECT_EQ(get(table.endSwitchLeftSel, motorSlot(m, 1)), 2 * m + 8);
    EXPECT_EQ(get(table.endSwitchRightSel, motorSlot(m, 1)), 2 * m + 9);
  }
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(get(table.throttleAxisSel, slot), 5);
    EXPECT_EQ(get(table.throttleAxisRef, slot), SampleField::V);
  }
}

TEST(TableDefaults, a_joystick_without_axes_gets_throttle_255_and_no_throttle_binding) {
  ConfigTable table;
  applyTableDefaults(table, {0, 0, 2}, 4);
  for (int slot = 0; slot < kSlotCount; ++slot) {
    EXPECT_EQ(get(table.throttleAxisSel, slot), kNoSelection);
    EXPECT_EQ(get(table.throttleAxisRef, slot), SampleField::None);
  }
}

TEST(TableDefaults, a_throttle_index_past_the_list_keeps_the_binding_it_had) {
  ConfigTable table;
  for (int slot = 0; slot < kSlotCount; ++slot) set(table.throttleAxisRef, slot, SampleField::Y);
  // Four axes reported, but the capability bits name no Z or R: index 3 names no throttle entry.
  applyTableDefaults(table, {0, 4, 2}, 4);
  for (int slot = 0; slot < kSlotCount; ++slot) EXPECT_EQ(get(table.throttleAxisRef, slot), SampleField::Y);
}

TEST(TableDefaults, a_one_button_joystick_defaults_the_right_button_to_an_index_that_names_no_button) {
  ConfigTable table;
  const JoystickCaps caps{0, 2, 1};
  applyTableDefaults(table, caps, 4);
  const ListTexts buttons = buttonListTexts(caps.buttonCount);
  EXPECT_EQ(listText(buttons, get(table.buttonLeftSel, 0)), " 1");
  EXPECT_EQ(get(table.buttonRightSel, 0), 1);
  EXPECT_EQ(listText(buttons, get(table.buttonRightSel, 0)), "");
}

TEST(TableDefaults, a_new_table_has_no_binding_and_every_byte_zero) {
  ConfigTable table;
  for (int slot = 0; slot < kSlotCount; ++slot) {
    for (auto field : ConfigTable::kFieldOrder) EXPECT_EQ(get(table.*field, slot), 0);
    EXPECT_EQ(get(table.dirAxisRef, slot), SampleField::None);
    EXPECT_EQ(get(table.throttleAxisRef, slot), SampleField::None);
  }
}

TEST(BindingRule, each_of_the_eight_texts_names_its_field_and_mode) {
  struct Row {
    const char* text;
    AxisBinding binding;
  };
  const Row rows[] = {{"X", {SampleField::X, kPovNone}},   {"Y", {SampleField::Y, kPovNone}},
                      {"Z", {SampleField::Z, kPovNone}},   {"R", {SampleField::R, kPovNone}},
                      {"U", {SampleField::U, kPovNone}},   {"V", {SampleField::V, kPovNone}},
                      {"POV1", {SampleField::Pov, kPov1}}, {"POV2", {SampleField::Pov, kPov2}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.text);
    EXPECT_EQ(axisBindingForText(row.text), row.binding);
    const bool letter = row.binding.povMode == kPovNone;
    EXPECT_EQ(throttleBindingForText(row.text).has_value(), letter);
    if (letter) {
      EXPECT_EQ(throttleBindingForText(row.text), row.binding.field);
    }
  }
}

TEST(BindingRule, texts_that_are_not_whole_exact_names_match_nothing) {
  for (const char* text : {"", "x", "pov1", "POV", "POV3", " X", "X ", "XY", "POV12", "W", " 1", "E1"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(axisBindingForText(text).has_value());
    EXPECT_FALSE(throttleBindingForText(text).has_value());
  }
}

TEST(BindingRule, each_field_reads_its_sample_value_and_a_missing_binding_reads_centred) {
  JoySample sample;
  sample.dwXpos = 1;
  sample.dwYpos = 2;
  sample.dwZpos = 3;
  sample.dwRpos = 4;
  sample.dwUpos = 5;
  sample.dwVpos = 6;
  sample.dwPOV = 9000;
  const std::pair<SampleField, uint32_t> rows[] = {
      {SampleField::X, 1}, {SampleField::Y, 2}, {SampleField::Z, 3},      {SampleField::R, 4},
      {SampleField::U, 5}, {SampleField::V, 6}, {SampleField::Pov, 9000}, {SampleField::None, kAxisCentre}};
  for (auto [field, value] : rows) EXPECT_EQ(readSampleField(sample, field), value);
}

TEST(BindingRule, binding_a_hat_then_an_axis_sets_mode_and_field_together) {
  ConfigTable table;
  bindDirectionAxis(table, 3, {SampleField::Pov, kPov2});
  EXPECT_EQ(get(table.povMode, 3), kPov2);
  EXPECT_EQ(get(table.dirAxisRef, 3), SampleField::Pov);
  bindDirectionAxis(table, 3, {SampleField::Z, kPovNone});
  EXPECT_EQ(get(table.povMode, 3), kPovNone);
  EXPECT_EQ(get(table.dirAxisRef, 3), SampleField::Z);
  EXPECT_EQ(get(table.dirAxisRef, 2), SampleField::None);
}

TEST(ListTexts, axis_and_throttle_lists_follow_the_capability_bits) {
  struct Row {
    uint32_t caps;
    ListTexts axes, throttle;
  };
  const Row rows[] = {
      {0, {"X", "Y"}, {"X", "Y"}},
      {kJoyCapsHasPov, {"X", "Y", "POV1", "POV2"}, {"X", "Y"}},
      {kJoyCapsHasZ | kJoyCapsHasU, {"X", "Y", "Z", "U"}, {"X", "Y", "Z", "U"}},
      {kAllAxes | kJoyCapsHasPov,
       {"X", "Y", "Z", "R", "U", "V", "POV1", "POV2"},
       {"X", "Y", "Z", "R", "U", "V"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.caps);
    EXPECT_EQ(axisListTexts(row.caps), row.axes);
    EXPECT_EQ(throttleListTexts(row.caps), row.throttle);
  }
}

TEST(ListTexts, button_lists_are_right_aligned_two_wide) {
  EXPECT_TRUE(buttonListTexts(0).empty());
  EXPECT_EQ(buttonListTexts(4), (ListTexts{" 1", " 2", " 3", " 4"}));
  const ListTexts twelve = buttonListTexts(12);
  ASSERT_EQ(twelve.size(), 12u);
  EXPECT_EQ(twelve[8], " 9");
  EXPECT_EQ(twelve[9], "10");
  EXPECT_EQ(twelve[11], "12");
  EXPECT_EQ(buttonListTexts(32).back(), "32");
}

TEST(ListTexts, input_lists_name_two_inputs_per_motor) {
  EXPECT_EQ(inputListTexts(4), (ListTexts{"E1", "E2", "E3", "E4", "E5", "E6", "E7", "E8"}));
  const ListTexts sixteen = inputListTexts(8);
  ASSERT_EQ(sixteen.size(), 16u);
  EXPECT_EQ(sixteen[9], "E10");
  EXPECT_EQ(sixteen[15], "E16");
  // A damaged motor count never makes a list longer than the inputs there are.
  EXPECT_EQ(inputListTexts(1000).size(), 16u);
  EXPECT_TRUE(inputListTexts(-5).empty());
}

TEST(ListTexts, fixed_direction_and_module_lists) {
  EXPECT_EQ(fixedDirListTexts(), (ListTexts{"A", "L", "R"}));
  EXPECT_EQ(moduleListTexts(false), (ListTexts{"Hauptmodul"}));
  EXPECT_EQ(moduleListTexts(true), (ListTexts{"Hauptmodul", "Extensionmodul"}));
}

TEST(ListTexts, an_index_that_names_no_entry_gives_no_text) {
  const ListTexts list{"A", "L", "R"};
  EXPECT_EQ(listText(list, 2), "R");
  EXPECT_EQ(listText(list, 3), "");
  EXPECT_EQ(listText(list, 255), "");
  EXPECT_EQ(listText(list, -1), "");
}

}  // namespace
}  // namespace velomat
