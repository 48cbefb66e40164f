// A whole session in velomat-sim, driven through its windows as a user drives them: start and connect,
// set up a motor, "LOS!", push the on-screen stick, see the motor turn, close its end switch, "NOT-AUS",
// "Ende"; then the next start brings back what was set.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <filesystem>
#include <memory>

#include "app/connection_dialog.h"
#include "app/sim_program.h"
#include "gui_steps.h"
#include "link_doubles.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using testing::choose;
using testing::click;

bool waitUntil(const std::function<bool()>& done) {
  for (int i = 0; i < 20000 && !done(); ++i) QTest::qWait(1);
  return done();
}

class SimSession : public ::testing::Test {
 protected:
  void SetUp() override {
    if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0) SDL_InitSubSystem(SDL_INIT_JOYSTICK);
    if (SDL_NumJoysticks() > 0) GTEST_SKIP() << "a real joystick is attached";
    // The child of the death test below, started anew, works in its parent's folder.
    const bool child = !GTEST_FLAG_GET(internal_run_death_test).empty();
    folder_ = fs::temp_directory_path() / ("velomat-session-" + std::to_string(child ? getppid() : getpid()));
    fs::create_directories(folder_);
    previous_ = fs::current_path();
    fs::current_path(folder_);
    if (!child) fs::remove(kSettingsFileName);
  }
  void TearDown() override {
    program.reset();
    fs::current_path(previous_);
    if (GTEST_FLAG_GET(internal_run_death_test).empty()) fs::remove_all(folder_);
  }

  // velomat-sim's start; the connection dialog, if it waits, gets "IntInt COM1" and "Verbinden".
  void start() {
    program = std::make_unique<SimProgram>(boxes, sim::SimOptions{.paced = false});
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [] {
      if (auto* connection = dynamic_cast<ConnectionDialog*>(QApplication::activeModalWidget())) {
        connection->interfaceList()->setCurrentIndex(connection->interfaceList()->findText("IntInt COM1"));
        QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(connection, id::kEndButton)), Qt::LeftButton);
      }
    });
    user.start();
    program->start();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&program->simulationWindow()));
  }
  MainDialog& main() { return program->mainDialog(); }
  SimulationControls& window() { return program->simulationWindow().controls(); }
  // The exchanges the simulated interface has made so far.
  uint64_t exchanges() { return program->intelligentInterface().wire().exchangeCount(); }

  testing::ScriptedBoxes boxes;
  std::unique_ptr<SimProgram> program;

 private:
  fs::path folder_, previous_;
};

TEST_F(SimSession, a_session_steers_motor_1_with_the_on_screen_stick_and_the_next_start_restores_it) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");  // "Ende" ends the process; the child runs the session
  start();
  // Set up: motor 1 stops at its end switch E1; motor 3 turns right on its own.
  click(main().controls().endSwitchCheck[0]);
  click(main().controls().dirFixedRadio[2]);
  choose(main().controls().fixedDirList[2], "R");
  click(main().controls().startButton);

  // The stick pushed halfway to the left and held: motor 1 turns left; its share of on exchanges is
  // the Intelligent Interface's speed for X = 16384, (26000 - 16384) / 26000.
  StickPad* stick = window().stick;
  QTest::mousePress(stick, Qt::LeftButton, {}, stick->pointOf({0, 0}).toPoint());
  QTest::mouseMove(stick, stick->pointOf({-0.5, 0}).toPoint());
  const uint64_t moved = exchanges();
  ASSERT_TRUE(waitUntil([&] { return exchanges() > moved + 3000; }));
  program->simulationWindow().refresh();
  OutputGauge* motor1 = window().gauges[0];
  EXPECT_EQ(motor1->direction(), kDirLeft);
  EXPECT_NEAR(motor1->fill(), (26000.0 - 16384) / 26000, 0.02);
  EXPECT_EQ(window().gauges[2]->direction(), kDirRight);

  // Its end switch closed on the simulation window: motor 1 stops, motor 3 goes on.
  click(window().inputs[0]);
  const uint64_t closed = exchanges();
  ASSERT_TRUE(waitUntil([&] { return exchanges() > closed + 2000; }));
  program->simulationWindow().refresh();
  EXPECT_EQ(motor1->direction(), kDirOff);
  EXPECT_EQ(window().gauges[2]->direction(), kDirRight);

  click(qobject_cast<QPushButton*>(dialogItem(&main(), id::kEmergencyStopButton)));
  QTest::mouseRelease(stick, Qt::LeftButton, {}, stick->pointOf({-0.5, 0}).toPoint());
  ASSERT_TRUE(waitUntil([&] { return program->intelligentInterface().lastOutputWord() == 0; }));
  EXPECT_EXIT(click(qobject_cast<QPushButton*>(dialogItem(&main(), id::kEndButton))),
              ::testing::ExitedWithCode(0), "");

  // The next start reconnects the stored interface by itself and shows what was set.
  program.reset();
  boxes.shown.clear();
  start();
  EXPECT_TRUE(boxes.shown.empty());  // no greeting, no choice
  EXPECT_EQ(program->intelligentInterface().openCount(), 1);
  EXPECT_TRUE(main().controls().endSwitchCheck[0]->isChecked());
  EXPECT_TRUE(main().controls().dirFixedRadio[2]->isChecked());
  EXPECT_EQ(main().controls().fixedDirList[2]->currentText(), "R");
}

}  // namespace
}  // namespace velomat
