// What the worker suites share: the main window against the simulated interfaces (without their wire
// time) and an SDL virtual joystick, with every exchange logged.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <thread>

#include "app/end_process.h"
#include "app/live_view.h"
#include "app/main_dialog.h"
#include "gui_steps.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"
#include "link_doubles.h"
#include "main_window_steps.h"
#include "sim/simulation_window.h"
#include "worker_doubles.h"

namespace velomat {

using testing::Exchange;
using testing::ScriptedBoxes;
using testing::waitUntil;

inline constexpr Exchange kAllOff{0, 0, false};
inline constexpr uint32_t kMotor3Right = 0b10 << 4;  // output 2, direction 2

class WorkerTest : public ::testing::Test {
 public:  // the tables' steps reach the fixture too
  void SetUp() override {
    ASSERT_TRUE(sdl.ok());
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    plugIn();
  }
  void plugIn() {
    stick = std::make_unique<VirtualJoystick>(3, 8, 1, "Testknueppel");
    ASSERT_TRUE(stick->ok());
  }

  // The main window for `kind`, with motor 3 set to turn right at all times, so that every exchange of
  // a run drives something and only the all-off exchange is 0.
  void open(int32_t kind) {
    dialog.reset();
    log.clear();
    dialog = testing::startedMainWindow(state, sdl, link, boxes, kind);
    ASSERT_NE(dialog, nullptr);
    choose(c().fixedDirList[2], "R");
  }
  PanelControls& c() { return dialog->controls(); }
  QPushButton* button(int dialogId) { return qobject_cast<QPushButton*>(dialogItem(dialog.get(), dialogId)); }

  static void click(QWidget* control) { testing::click(control); }
  static void choose(QComboBox* list, const QString& text) { testing::choose(list, text); }

  // "LOS!", then wait for `exchanges` exchanges of the run.
  void start(size_t exchanges = 1) {
    finishedBefore = dialog->worker()->finishedRuns();
    click(c().startButton);
    ASSERT_TRUE(waitUntil([&] { return log.count() >= exchanges; }));
  }
  // Waits until the run has ended and the window has heard of it: the report reaches the window
  // through its event loop, on Windows by way of a thread of the system's, so it may come later than
  // the worker's count.
  void waitForEnd() {
    ASSERT_TRUE(waitUntil(
        [&] { return dialog->worker()->finishedRuns() > finishedBefore && c().startButton->isEnabled(); }));
  }

  // The run's exchanges end with exactly one all-off exchange, and none follows it. Read once the
  // worker has no run and none waiting: from then on it sends nothing but the all-off reads of the
  // inputs while the live view shows them, so whatever the run sent is in the log.
  void expectOneAllOffAtTheEnd() {
    ASSERT_TRUE(dialog->worker()->waitUntilEnded(std::chrono::seconds(20)).stopped) << "the run goes on";
    const auto all = log.all();
    const auto firstAllOff = std::find(all.begin(), all.end(), kAllOff);
    ASSERT_NE(firstAllOff, all.end()) << "no all-off exchange";
    const auto afterIt = firstAllOff + 1;
    const bool inputsRead = dialog->liveView() != nullptr && dialog->liveView()->isVisible();
    if (!inputsRead) {
      EXPECT_EQ(all.end() - afterIt, 0) << "exchanges after the all-off one";
    }
    for (auto after = afterIt; after != all.end(); ++after)
      EXPECT_EQ(*after, kAllOff) << "a word that drives after the all-off one";
  }
  void expectIdlePanel(bool applyEnabled) {
    EXPECT_EQ(c().statusText->text(), "Bereit");
    EXPECT_TRUE(c().startButton->isEnabled());
    EXPECT_EQ(c().applyButton->isEnabled(), applyEnabled);
  }

  SdlJoystick sdl;  // before the sticks, so SDL runs while they attach and detach
  std::unique_ptr<VirtualJoystick> stick;
  SharedState state;
  sim::SimIntelligentInterface intInt{{.paced = false}};
  sim::SimRoboInterface robo{{.paced = false}};
  testing::ExchangeLog log;
  testing::LoggedIntInt loggedIntInt{intInt, log};
  testing::LoggedRobo loggedRobo{robo, log};
  ScriptedBoxes boxes;
  InterfaceLink link{loggedIntInt, loggedRobo, state.connection};
  std::unique_ptr<MainDialog> dialog;
  uint64_t finishedBefore = 0;
};

}  // namespace velomat
