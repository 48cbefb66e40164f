// The live view "Joystick und Interface" opened from the main window as a user opens it, against an
// SDL virtual joystick and the simulated interfaces: moving a control moves and marks its picture,
// before "LOS!" and during a run; the hat shows what "POV1" and "POV2" make of it; an input closed on the
// interface lights its lamp; each output shows the direction and speed the exchanges sent.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "app/live_view.h"
#include "app/main_dialog.h"
#include "gui_steps.h"
#include "link/drivers/sim/sim_interfaces.h"
#include "link/sdl_joystick.h"
#include "link/virtual_joystick.h"
#include "link_doubles.h"
#include "main_window_steps.h"
#include "painted_parts.h"

namespace velomat {
namespace {

using testing::ScriptedBoxes;
using testing::waitUntil;

constexpr int kLampsPerRowInTest = 8;  // the live view's lamps stand eight to a row

class LiveViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(sdl.ok());
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    stick = std::make_unique<VirtualJoystick>(6, 12, 1, "Testknueppel");
    ASSERT_TRUE(stick->ok());
  }

  // The main window on `kind` with the view opened by its shortcut, as a user opens it.
  void open(int32_t kind) {
    dialog = testing::startedMainWindow(state, sdl, link, boxes, kind);
    ASSERT_NE(dialog, nullptr);
    dialog->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
    QTest::keyClick(dialog.get(), Qt::Key_J, Qt::ControlModifier);
    view = dialog->liveView();
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->isVisible());
  }
  LiveViewControls& v() { return view->controls(); }
  PanelControls& c() { return dialog->controls(); }

  // Waits until the view, refreshed as its timer does, shows what `shows` asks for.
  bool viewShows(const std::function<bool()>& shows) {
    return waitUntil([&] {
      view->refresh();
      return shows();
    });
  }
  void los() {
    testing::click(c().startButton);
    ASSERT_TRUE(waitUntil([&] { return state.monitor.read().running; }));
  }
  void notAus() {
    testing::click(dialogItem(dialog.get(), id::kEmergencyStopButton));
    ASSERT_TRUE(waitUntil([&] { return !state.monitor.read().running; }));
  }

  SdlJoystick sdl;  // before the stick, so SDL runs while it attaches
  std::unique_ptr<VirtualJoystick> stick;
  SharedState state;
  sim::SimIntelligentInterface intInt{{.paced = false}};
  sim::SimRoboInterface robo{{.paced = false}};
  ScriptedBoxes boxes;
  InterfaceLink link{intInt, robo, state.connection};
  std::unique_ptr<MainDialog> dialog;
  LiveView* view = nullptr;
};

TEST_F(LiveViewTest, moving_an_axis_moves_its_bar_and_marks_it_before_los_and_during_a_run) {
  ASSERT_NO_FATAL_FAILURE(open(kRoboUsb));
  EXPECT_EQ(v().joystickName->text(), "Testknueppel");
  const char* names[] = {"X", "Y", "Z", "R", "U", "V"};
  for (size_t a = 0; a < v().axes.size(); ++a) {
    ASSERT_NE(v().axes[a], nullptr);
    EXPECT_EQ(v().axes[a]->name(), names[a]);
  }
  for (const bool running : {false, true}) {
    SCOPED_TRACE(running ? "during a run" : "before LOS!");
    if (running) los();
    for (int a = 0; a < kMaxJoystickAxes; ++a) {
      SCOPED_TRACE(names[a]);
      const Sint16 to = running ? -30000 : 30000;
      stick->axis(a, to);
      const uint32_t value = static_cast<uint32_t>(to + 32768);
      EXPECT_TRUE(viewShows([&] { return v().axes[static_cast<size_t>(a)]->value() == value; }));
      EXPECT_TRUE(v().axes[static_cast<size_t>(a)]->isMarked());
      EXPECT_EQ(view->readings().run().running, running);
    }
  }
  notAus();
}

// The part named `what` of `w` as painted, against its ground.
double contrastOf(QWidget* w, const std::string& what) {
  const std::vector<testing::PaintedPart> parts = testing::paintedParts(w);
  const auto part = std::find_if(parts.begin(), parts.end(), [&](const auto& p) { return p.what == what; });
  if (part == parts.end()) {
    ADD_FAILURE() << "no " << what;
    return 0;
  }
  return testing::partContrast(testing::pictureOf(w), *part);
}

// A control the user moves is marked for a moment, so that the user finds it; the mark must not hide
// where the control stands: the bar's marker and the hat's pointer keep standing out from the field
// they lie on (the bar's or the band's), in a light and in a dark palette.
TEST_F(LiveViewTest, a_marked_bar_or_hat_still_shows_where_its_control_stands) {
  struct Row {
    const char* what;
    int axis;  // -1: the hat
    Sint16 to;
    Uint8 hat;
  };
  const Row rows[] = {{"X on the field", 0, 20000, 0},
                      {"X in the dead band", 0, 0, 0},
                      {"Z at its far end", 2, -32768, 0},
                      {"the hat right", -1, 0, SDL_HAT_RIGHT},
                      {"the hat up left", -1, 0, SDL_HAT_LEFTUP},
                      {"the hat let go", -1, 0, SDL_HAT_CENTERED}};
  for (const bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark palette" : "light palette");
    testing::PaletteInUse palette(dark ? testing::darkPalette() : testing::lightPalette());
    ASSERT_NO_FATAL_FAILURE(open(kIntelligentInterface));
    ASSERT_TRUE(v().axes[0]->hasBand());  // X steers motor 1 by default
    for (const Row& row : rows) {
      SCOPED_TRACE(row.what);
      QWidget* picture = nullptr;
      if (row.axis >= 0) {
        AxisBar* bar = v().axes[static_cast<size_t>(row.axis)];
        // From somewhere else, so that it moves whatever it showed before.
        const Sint16 from = row.to == 16000 ? 0 : 16000;
        stick->axis(row.axis, from);
        ASSERT_TRUE(viewShows([&] { return bar->value() == static_cast<uint32_t>(from + 32768); }));
        stick->axis(row.axis, row.to);
        const auto value = static_cast<uint32_t>(row.to + 32768);
        ASSERT_TRUE(viewShows([&] { return bar->value() == value && bar->isMarked(); }));
        picture = bar;
        EXPECT_GE(contrastOf(bar, "marker"), testing::kLine);
        EXPECT_GE(contrastOf(bar, "name"), testing::kText);
        EXPECT_GE(contrastOf(bar, "value"), testing::kText);
      } else {
        stick->hat(row.hat);
        ASSERT_TRUE(viewShows([&] {
          return v().hat->pov() == (row.hat == SDL_HAT_CENTERED ? kHatCentred
                                    : row.hat == SDL_HAT_RIGHT  ? 9000u
                                                                : 31500u) &&
                 v().hat->isMarked();
        }));
        picture = v().hat;
        EXPECT_GE(contrastOf(v().hat, "pointer"), testing::kLine);
        EXPECT_GE(contrastOf(v().hat, "disc"), testing::kLine);
      }
      // The mark itself: the picture stands on the highlight, not on the window.
      const QImage image = testing::pictureOf(picture);
      EXPECT_NE(QColor(image.pixel(2, picture->height() / 2)), picture->palette().color(QPalette::Window));
    }
    dialog.reset();
  }
}

TEST_F(LiveViewTest, a_pressed_button_lights_its_lamp_and_the_hat_shows_what_pov1_and_pov2_make_of_it) {
  ASSERT_NO_FATAL_FAILURE(open(kIntelligentInterface));
  ASSERT_EQ(v().buttons.size(), 12u);
  stick->button(6, true);
  EXPECT_TRUE(viewShows([&] { return v().buttons[6]->isLit(); }));
  EXPECT_TRUE(v().buttons[6]->isMarked());
  EXPECT_FALSE(v().buttons[5]->isLit() || v().buttons[5]->isMarked());
  stick->button(6, false);

  struct Row {
    Uint8 hat;
    uint32_t pov;
    const char *pov1, *pov2;
  };
  const Row rows[] = {{SDL_HAT_UP, 0, "", "L"},
                      {SDL_HAT_RIGHT, 9000, "R", ""},
                      {SDL_HAT_LEFTDOWN, 22500, "L", "R"},
                      {SDL_HAT_CENTERED, kHatCentred, "", ""}};
  los();
  for (const Row& row : rows) {
    SCOPED_TRACE(row.pov);
    stick->hat(row.hat);
    EXPECT_TRUE(viewShows([&] { return v().hat->pov() == row.pov; }));
    EXPECT_EQ(v().pov1->text(), row.pov1);
    EXPECT_EQ(v().pov2->text(), row.pov2);
    EXPECT_TRUE(v().hat->isMarked());
  }
  notAus();
}

TEST_F(LiveViewTest, an_input_closed_on_the_interface_lights_its_lamp_beside_the_motors_it_stops) {
  ASSERT_NO_FATAL_FAILURE(open(kRoboUsb));
  testing::click(c().endSwitchCheck[2]);  // motor 3: E5 stops "L", E6 "R"
  los();
  robo.setInput(5, true);
  EXPECT_TRUE(viewShows([&] { return v().inputs[5]->isLit(); }));
  EXPECT_EQ(v().owners[4]->text(), "M3 L");
  EXPECT_EQ(v().owners[5]->text(), "M3 R");
  for (int k : {0, 4, 7}) EXPECT_FALSE(v().inputs[static_cast<size_t>(k)]->isLit()) << k;
  EXPECT_FALSE(v().inputs[8]->isEnabled());  // E9..E16 need an extension module
  notAus();
}

// The input lamps stand in even columns, whatever the motors' end switches write under them: the
// defaults, end switches on E1..E4, and E1 stopping two motors ("M1 L, M2 L").
TEST_F(LiveViewTest, the_input_lamps_stand_evenly_apart) {
  struct Row {
    const char* what;
    std::vector<int> endSwitchMotors;
    bool e1TwiceLeft;
  };
  const Row rows[] = {{"no end switches", {}, false},
                      {"motors 1 and 2", {0, 1}, false},
                      {"E1 for motors 1 and 2", {0, 1}, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_NO_FATAL_FAILURE(open(kIntelligentInterface));
    dialog->liveView()->close();
    for (int m : row.endSwitchMotors) testing::click(c().endSwitchCheck[m]);
    if (row.e1TwiceLeft) testing::choose(c().endSwitchLeftList[1], "E1");
    testing::click(c().applyButton);
    view = dialog->showLiveView();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    view->refresh();
    for (int first : {0, kLampsPerRowInTest}) {
      const auto x = [&](int k) { return v().inputs[static_cast<size_t>(k)]->mapTo(view, QPoint()).x(); };
      const int step = x(first + 1) - x(first);
      EXPECT_GT(step, 0);
      for (int k = first + 1; k + 1 < first + kLampsPerRowInTest; ++k)
        EXPECT_NEAR(x(k + 1) - x(k), step, 1) << "between E" << k + 1 << " and E" << k + 2;
    }
    dialog.reset();
  }
}

// Each output as the exchanges sent it: on the Intelligent Interface the direction and the share of
// the last exchanges that drove it, on the ROBO Interface the direction and the level of the words.
TEST_F(LiveViewTest, each_outputs_direction_and_speed_match_the_words_sent) {
  struct Row {
    const char* what;
    int32_t kind;
    const char* direction;  // motor 3, fixed
    int speed;              // its fixed speed in percent
    const char* shown;
  };
  const Row rows[] = {
      {"Intelligent Interface, R at 40 %", kIntelligentInterface, "R", 40, "R 40 %"},
      {"Intelligent Interface, L at 100 %", kIntelligentInterface, "L", 100, "L 100 %"},
      {"ROBO Interface, R at 50 %: level 3", kRoboUsb, "R", 50, "R Stufe 3"},
      {"ROBO Interface, off", kRoboUsb, "A", 80, "aus"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    ASSERT_NO_FATAL_FAILURE(open(row.kind));
    testing::choose(c().fixedDirList[2], row.direction);
    c().speedSlider[2]->setValue(row.speed);
    los();
    ASSERT_TRUE(viewShows([&] { return v().motorTexts[2]->text() == row.shown; }))
        << v().motorTexts[2]->text().toStdString();
    // What the view shows is what went out: the direction of the words that drove the output, and
    // the level of the last one.
    EXPECT_EQ(v().gauges[2]->direction(), row.kind < 0 ? intInt.direction(2) : robo.direction(2));
    if (row.kind >= 0) {
      EXPECT_EQ(static_cast<int>(std::lround(v().gauges[2]->fill() * 7)), robo.level(2));
    }
    EXPECT_EQ(v().motorTexts[3]->text(), "aus");
    EXPECT_TRUE(viewShows([&] { return view->readings().exchangeRate() > 0; }));
    notAus();
    EXPECT_TRUE(viewShows([&] { return v().motorTexts[2]->text() == "aus"; }));
    dialog.reset();
  }
}

}  // namespace
}  // namespace velomat
