#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"

namespace velomat {
namespace {

constexpr uint32_t kAllAxes = kJoyCapsHasZ | kJoyCapsHasR | kJoyCapsHasU | kJoyCapsHasV;

class Joystick : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sdl.ok()) << SDL_GetError();
    // A real joystick on the machine would take number 0.
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
  }
  VirtualJoystick& attach(int axes, int buttons, int hats, const std::string& name = "Testknueppel") {
    sticks.push_back(std::make_unique<VirtualJoystick>(axes, buttons, hats, name));
    EXPECT_TRUE(sticks.back()->ok()) << SDL_GetError();
    return *sticks.back();
  }
  JoySample read(uint32_t id = 0) {
    JoySample sample;
    EXPECT_EQ(sdl.joyGetPosEx(id, sample), kJoyNoError);
    return sample;
  }

  SdlJoystick sdl;  // constructed first, so SDL runs before the sticks attach and after they detach
  std::vector<std::unique_ptr<VirtualJoystick>> sticks;
};

TEST_F(Joystick, capabilities_follow_axes_hats_and_buttons) {
  struct Row {
    int axes, hats, buttons;
    uint32_t wNumAxes, wCaps, wNumButtons;
  };
  const Row rows[] = {
      {2, 0, 4, 2, 0, 4},
      {2, 1, 0, 2, kJoyCapsHasPov, 0},
      {3, 0, 1, 3, kJoyCapsHasZ, 1},
      {4, 0, 12, 4, kJoyCapsHasZ | kJoyCapsHasR, 12},
      {5, 1, 12, 5, kJoyCapsHasZ | kJoyCapsHasR | kJoyCapsHasU | kJoyCapsHasPov, 12},
      {6, 1, 40, 6, kAllAxes | kJoyCapsHasPov, 32},  // only 32 buttons can be read
      {6, 0, 4, 6, kAllAxes, 4},
      {8, 2, 4, 6, kAllAxes | kJoyCapsHasPov, 4},  // axes past V are not offered
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(::testing::Message()
                 << row.axes << " axes, " << row.hats << " hats, " << row.buttons << " buttons");
    SdlJoystick fresh;  // a fresh reader opens the stick attached now
    VirtualJoystick stick(row.axes, row.buttons, row.hats, "Knueppel");
    ASSERT_TRUE(stick.ok());
    JoyCapsRecord caps;
    ASSERT_EQ(fresh.joyGetDevCaps(0, caps), kJoyNoError);
    EXPECT_STREQ(caps.szPname, "Knueppel");
    EXPECT_EQ(caps.wNumAxes, row.wNumAxes);
    EXPECT_EQ(caps.wCaps, row.wCaps);
    EXPECT_EQ(caps.wNumButtons, row.wNumButtons);
  }
}

TEST_F(Joystick, a_long_name_is_cut_to_the_record_at_a_whole_character) {
  const std::pair<std::string, std::string> rows[] = {
      {std::string(40, 'N'), std::string(31, 'N')},
      {std::string(30, 'N') + "ÄÖ", std::string(30, 'N')},  // "Ä" would be cut in half at 31 bytes
      {std::string(29, 'N') + "ÄÖ", std::string(29, 'N') + "Ä"},
  };
  for (const auto& [name, expected] : rows) {
    SdlJoystick fresh;
    VirtualJoystick stick(2, 2, 0, name);
    ASSERT_TRUE(stick.ok());
    JoyCapsRecord caps;
    ASSERT_EQ(fresh.joyGetDevCaps(0, caps), kJoyNoError);
    EXPECT_EQ(std::string(caps.szPname), expected);
  }
}

TEST_F(Joystick, axes_scale_to_0_through_65535_in_order_x_y_z_r_u_v) {
  VirtualJoystick& stick = attach(6, 0, 0);
  struct Row {
    Sint16 sdl;
    uint32_t sample;
  };
  const Row rows[] = {{-32768, 0}, {0, 32768}, {32767, 65535}, {-1, 32767}};
  for (const Row& row : rows) {
    for (int axis = 0; axis < 6; ++axis) stick.axis(axis, row.sdl);
    const JoySample s = read();
    for (uint32_t value : {s.dwXpos, s.dwYpos, s.dwZpos, s.dwRpos, s.dwUpos, s.dwVpos})
      EXPECT_EQ(value, row.sample);
  }
  const Sint16 distinct[6] = {-32768, -16384, 0, 100, 16384, 32767};
  for (int axis = 0; axis < 6; ++axis) stick.axis(axis, distinct[axis]);
  const JoySample s = read();
  EXPECT_EQ(s.dwXpos, 0u);
  EXPECT_EQ(s.dwYpos, 16384u);
  EXPECT_EQ(s.dwZpos, 32768u);
  EXPECT_EQ(s.dwRpos, 32868u);
  EXPECT_EQ(s.dwUpos, 49152u);
  EXPECT_EQ(s.dwVpos, 65535u);
}

TEST_F(Joystick, axes_the_joystick_lacks_read_centred_and_no_hat_reads_centred) {
  VirtualJoystick& stick = attach(2, 0, 0);
  stick.axis(0, -32768);
  stick.axis(1, 32767);
  const JoySample s = read();
  EXPECT_EQ(s.dwXpos, 0u);
  EXPECT_EQ(s.dwYpos, 65535u);
  for (uint32_t value : {s.dwZpos, s.dwRpos, s.dwUpos, s.dwVpos}) EXPECT_EQ(value, kAxisCentre);
  EXPECT_EQ(s.dwPOV, kHatCentred);
}

TEST_F(Joystick, hat_directions_in_hundredths_of_a_degree) {
  VirtualJoystick& stick = attach(2, 0, 1);
  const std::pair<Uint8, uint32_t> rows[] = {
      {SDL_HAT_CENTERED, 65535},  {SDL_HAT_UP, 0},          {SDL_HAT_RIGHTUP, 4500},   {SDL_HAT_RIGHT, 9000},
      {SDL_HAT_RIGHTDOWN, 13500}, {SDL_HAT_DOWN, 18000},    {SDL_HAT_LEFTDOWN, 22500}, {SDL_HAT_LEFT, 27000},
      {SDL_HAT_LEFTUP, 31500},    {SDL_HAT_CENTERED, 65535}};
  for (auto [hat, pov] : rows) {
    stick.hat(hat);
    EXPECT_EQ(read().dwPOV, pov) << "SDL hat " << int{hat};
  }
}

TEST_F(Joystick, buttons_become_bits_in_button_order_up_to_32) {
  VirtualJoystick& stick = attach(2, 40, 0);
  for (int b : {0, 2, 31, 32, 39}) stick.button(b, true);
  JoySample s = read();
  EXPECT_EQ(s.dwButtons, (1u << 0) | (1u << 2) | (1u << 31));
  EXPECT_EQ(s.dwButtonNumber, 3u);
  stick.button(2, false);
  s = read();
  EXPECT_EQ(s.dwButtons, (1u << 0) | (1u << 31));
}

TEST_F(Joystick, joystick_one_fails_when_only_one_exists_and_leaves_both_records_alone) {
  attach(2, 4, 0);
  JoyCapsRecord caps;
  std::strcpy(caps.szPname, "unverändert");
  caps.wNumAxes = 77;
  JoySample sample;
  sample.dwXpos = 4711;
  sample.dwPOV = 1234;
  EXPECT_EQ(sdl.joyGetDevCaps(1, caps), kJoyErrUnplugged);
  EXPECT_EQ(sdl.joyGetPosEx(1, sample), kJoyErrUnplugged);
  EXPECT_STREQ(caps.szPname, "unverändert");
  EXPECT_EQ(caps.wNumAxes, 77u);
  EXPECT_EQ(sample.dwXpos, 4711u);
  EXPECT_EQ(sample.dwPOV, 1234u);
  EXPECT_EQ(sdl.joyGetPosEx(0, sample), kJoyNoError);
}

TEST_F(Joystick, numbers_other_than_0_and_1_are_refused) {
  attach(2, 4, 0);
  JoySample sample;
  JoyCapsRecord caps;
  EXPECT_EQ(sdl.joyGetPosEx(2, sample), kJoyErrParms);
  EXPECT_EQ(sdl.joyGetDevCaps(0xFFFFFFFF, caps), kJoyErrParms);
}

TEST_F(Joystick, the_second_of_two_joysticks_answers_as_number_one) {
  attach(2, 4, 0, "erster");
  VirtualJoystick& second = attach(3, 2, 1, "zweiter");
  JoyCapsRecord caps;
  ASSERT_EQ(sdl.joyGetDevCaps(1, caps), kJoyNoError);
  EXPECT_STREQ(caps.szPname, "zweiter");
  EXPECT_EQ(caps.wNumAxes, 3u);
  second.axis(0, -32768);
  EXPECT_EQ(read(1).dwXpos, 0u);
  EXPECT_EQ(read(0).dwXpos, 32768u);
}

TEST_F(Joystick, a_vanished_joystick_fails_and_keeps_the_last_sample_then_answers_again) {
  VirtualJoystick& stick = attach(2, 4, 1);
  stick.axis(0, 32767);
  stick.hat(SDL_HAT_RIGHT);
  JoySample sample;
  ASSERT_EQ(sdl.joyGetPosEx(0, sample), kJoyNoError);
  const JoySample before = sample;
  stick.detach();
  EXPECT_EQ(sdl.joyGetPosEx(0, sample), kJoyErrUnplugged);
  EXPECT_EQ(std::memcmp(&sample, &before, sizeof sample), 0);

  VirtualJoystick& back = attach(2, 4, 1);
  back.axis(0, -32768);
  EXPECT_EQ(sdl.joyGetPosEx(0, sample), kJoyNoError);
  EXPECT_EQ(sample.dwXpos, 0u);
}

// Each number keeps the device that answered under it: while that device is gone the number fails,
// the same model coming back answers again, and the other stick never stands in for it.
TEST_F(Joystick, a_number_keeps_its_device_through_unplug_and_replug) {
  struct Step {
    const char* what;
    int attach;               // -1: none; else which of the sticks below to attach (again)
    int detach;               // -1: none
    const char* expected[2];  // name answering under 0 and 1, or nullptr for a failure
  };
  struct Scenario {
    const char* names[2];  // the two sticks' product names (equal: two sticks of one model)
    std::vector<Step> steps;
  };
  const Scenario scenarios[] = {
      {{"erster", "zweiter"},
       {{"plug in 0", 0, -1, {"erster", nullptr}},
        {"plug in 1", 1, -1, {"erster", "zweiter"}},
        {"unplug 0", -1, 0, {nullptr, "zweiter"}},
        {"replug 0", 0, -1, {"erster", "zweiter"}},
        {"unplug 1", -1, 1, {"erster", nullptr}},
        {"replug 1", 1, -1, {"erster", "zweiter"}}}},
      {{"Zwilling", "Zwilling"},
       {{"plug in 0", 0, -1, {"Zwilling", nullptr}},
        {"plug in 1", 1, -1, {"Zwilling", "Zwilling"}},
        {"unplug 0", -1, 0, {nullptr, "Zwilling"}},
        {"replug 0", 0, -1, {"Zwilling", "Zwilling"}}}},
  };
  for (const Scenario& scenario : scenarios) {
    SdlJoystick fresh;
    std::unique_ptr<VirtualJoystick> plugged[2];
    Sint16 position[2] = {-32768, 32767};  // each stick's X, so a read tells which one answered
    for (const Step& step : scenario.steps) {
      SCOPED_TRACE(::testing::Message()
                   << scenario.names[0] << "/" << scenario.names[1] << ": " << step.what);
      if (step.detach >= 0) plugged[step.detach].reset();
      if (step.attach >= 0) {
        const int k = step.attach;
        position[k] = static_cast<Sint16>(position[k] / 2);  // a replugged stick stands elsewhere
        plugged[k] = std::make_unique<VirtualJoystick>(2, 4, 0, scenario.names[k]);
        ASSERT_TRUE(plugged[k]->ok());
        plugged[k]->axis(0, position[k]);
      }
      for (uint32_t id = 0; id < 2; ++id) {
        JoySample sample;
        JoyCapsRecord caps;
        const uint32_t read = fresh.joyGetPosEx(id, sample);
        const uint32_t query = fresh.joyGetDevCaps(id, caps);
        if (step.expected[id] == nullptr) {
          EXPECT_EQ(read, kJoyErrUnplugged) << "number " << id;
          EXPECT_EQ(query, kJoyErrUnplugged) << "number " << id;
          continue;
        }
        ASSERT_EQ(read, kJoyNoError) << "number " << id;
        ASSERT_EQ(query, kJoyNoError) << "number " << id;
        EXPECT_STREQ(caps.szPname, step.expected[id]) << "number " << id;
        EXPECT_EQ(sample.dwXpos, static_cast<uint32_t>(position[id] + 32768)) << "number " << id;
      }
    }
  }
}

TEST_F(Joystick, reads_from_a_worker_thread_see_the_values_the_main_thread_sets) {
  VirtualJoystick& stick = attach(2, 4, 1);
  stick.axis(0, -32768);
  ASSERT_EQ(read().dwXpos, 0u);

  std::atomic<bool> stop{false};
  std::atomic<int> failures{0}, reads{0}, sawFullRight{0};
  std::thread worker([&] {
    JoySample sample;
    while (!stop.load()) {
      if (sdl.joyGetPosEx(0, sample) != kJoyNoError) failures.fetch_add(1);
      if (sample.dwXpos != 0 && sample.dwXpos != 65535) failures.fetch_add(1);
      if (sample.dwXpos == 65535) sawFullRight.store(1);
      reads.fetch_add(1);
    }
  });
  for (int i = 0; i < 2000; ++i) {
    stick.axis(0, (i % 2) ? 32767 : -32768);
    stick.button(i % 4, (i % 3) == 0);
    stick.hat((i % 2) ? SDL_HAT_UP : SDL_HAT_CENTERED);
  }
  stick.axis(0, 32767);
  while (!sawFullRight.load()) std::this_thread::yield();
  stop.store(true);
  worker.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace velomat
