// What the start-up suites share: a ROBO Interface that tells its exchanges on stderr, a file system
// that tells of each save, and a fixture that starts the program as a user answers its dialogs.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "app/connection_dialog.h"
#include "app/end_process.h"
#include "app/main_dialog.h"
#include "config/settings_file.h"
#include "config/settings_store.h"
#include "fake_joystick.h"
#include "gui_steps.h"
#include "link_doubles.h"
#include "test_folder.h"
#include "ui/qt_message_boxes.h"

namespace velomat {

namespace fs = std::filesystem;
using testing::RecordingIntInt;
using testing::ScriptedBoxes;

constexpr JoystickCaps kFound{kJoyCapsHasZ | kJoyCapsHasPov, 3, 8};

// How long a test waits for something another thread does before it calls that a hang. What it waits
// for takes milliseconds, a few seconds under the sanitizers on a busy machine; this is no measure of
// speed, only a bound well below ctest's time-out.
constexpr std::chrono::seconds kWaitBound{20};

// Waits, without serving the GUI's events, until `done` (true) or kWaitBound has passed (false).
inline bool waitedFor(const std::function<bool()>& done) {
  const auto giveUp = std::chrono::steady_clock::now() + kWaitBound;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// In a death test's child, where a failed assertion does not reach the parent: tells `what` did not
// happen and ends the child with an exit code no row expects.
inline void waitedOrEnded(const std::function<bool()>& done, const char* what) {
  if (waitedFor(done)) return;
  std::fprintf(stderr, "waited in vain: %s\n", what);
  endProcess(98);
}

inline std::vector<uint8_t> fileBytes() {
  return readFileStart(kSettingsFileName, 1000).value_or(std::vector<uint8_t>{});
}
inline void writeFile(std::string_view contents) {
  ASSERT_TRUE(replaceFile(kSettingsFileName,
                          std::span(reinterpret_cast<const uint8_t*>(contents.data()), contents.size()))
                  .ok);
}
inline int count(const std::string& text, const std::string& part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Writes the settings file where a save puts it, and says so on stderr (which a death test can read).
class CountingFiles final : public FileSystem {
 public:
  int open(const char* path, int flags, mode_t mode) override {
    return systemFileSystem().open(path, flags, mode);
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    return systemFileSystem().write(fd, data, size);
  }
  int ftruncate(int fd, off_t size) override { return systemFileSystem().ftruncate(fd, size); }
  int fsync(int fd) override { return systemFileSystem().fsync(fd); }
  int close(int fd) override { return systemFileSystem().close(fd); }
  int rename(const char* from, const char* to) override {
    ++renames;
    std::fprintf(stderr, "file: %s written\n", to);
    return systemFileSystem().rename(from, to);
  }
  int unlink(const char* path) override { return systemFileSystem().unlink(path); }
  int renames = 0;
};

// A ROBO Interface that takes its time like a slow wire and tells on stderr of its all-off exchanges
// and of its close, in the order they come. A test can act during one exchange (`hook`, on the
// worker's thread) and make that exchange and some after it fail; from then on every exchange is told:
// "on" (a motor driven), "all off" or "failed".
class LoudRobo final : public RoboInterfaceDriver {
 public:
  static constexpr int kStaysLost = 1 << 30;

  int extensions = 0;  // what the interface counts behind it
  int extensionModules() const override { return extensions; }
  int failingOpens = 0;  // how many opens fail before they succeed
  int opens = 0;
  bool open(RoboPort, int32_t) override { return opened(); }
  bool sendOutputs(uint32_t outputWord, uint32_t speedWord) override {
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    const bool hookNow = exchanges.fetch_add(1) == hookAt;
    if (hookNow) {
      note("hook");
      failuresLeft.store(failures);
      if (hook) hook();
      loud = true;
    }
    const bool allOff = outputWord == 0 && speedWord == 0;
    if (failuresLeft.load() > 0) {
      failuresLeft.fetch_sub(1);
      if (loud) note("failed");
      return false;
    }
    if (allOff || loud) note(allOff ? "all off" : "on");
    return true;
  }
  Inputs readInputs() override { return 0; }
  void close() override { note("close"); }
  std::vector<std::string> events() {
    std::lock_guard lock(mutex_);
    return events_;
  }
  std::atomic<int> exchanges{0};
  int hookAt = -1;
  int failures = 0;  // how many exchanges fail from the hook's on
  std::function<void()> hook;

 private:
  void note(const char* what) {
    std::fprintf(stderr, "driver: %s\n", what);
    std::lock_guard lock(mutex_);
    events_.push_back(what);
  }
  bool opened() {
    ++opens;
    return opens > failingOpens;
  }
  std::atomic<int> failuresLeft{0};
  bool loud = false;  // the worker's thread only
  std::mutex mutex_;
  std::vector<std::string> events_;
};

using Action = std::function<void(ConnectionDialog&)>;

class StartupTest : public ::testing::Test {
 public:  // runUntilTheEnd drives it too
  void SetUp() override {
    // A folder of the test's own; the child of a death test, started anew, finds its parent's.
    child_ = !GTEST_FLAG_GET(internal_run_death_test).empty();
    folder_ = testing::makeTestFolder("velomat-startup-");
    previous_ = fs::current_path();
    fs::current_path(folder_);
    std::strcpy(joystick.caps.szPname, "Testknueppel");
    joystick.caps.wNumAxes = 3;
    joystick.caps.wNumButtons = 8;
    joystick.caps.wCaps = kFound.caps;
    joystick.next.dwXpos = joystick.next.dwYpos = joystick.next.dwZpos = kAxisCentre;
    boxes.echo = true;
  }
  void TearDown() override {
    dialog.reset();
    fs::current_path(previous_);
    if (!child_) fs::remove_all(folder_);
  }

  static void verbinden(ConnectionDialog& connection) {
    QTest::mouseClick(qobject_cast<QPushButton*>(dialogItem(&connection, id::kEndButton)), Qt::LeftButton);
  }
  static Action choose(const char* entry) {
    return [entry](ConnectionDialog& connection) {
      connection.interfaceList()->setCurrentIndex(connection.interfaceList()->findText(entry));
      verbinden(connection);
    };
  }

  // The program's start; each time the connection dialog waits for the user, the next action answers.
  void start(std::deque<Action> actions = {verbinden}) {
    link = std::make_unique<InterfaceLink>(intInt, robo, state.connection);
    dialog = std::make_unique<MainDialog>(state, *shown);
    dialog->panel().setFileSystem(files);
    QTimer user;
    user.setInterval(5);
    QObject::connect(&user, &QTimer::timeout, [&] {
      auto* connection = dynamic_cast<ConnectionDialog*>(QApplication::activeModalWidget());
      if (connection == nullptr) return;
      if (actions.empty()) {
        ADD_FAILURE() << "the connection dialog waits for a choice";
        connection->done(QDialog::Accepted);
        return;
      }
      const Action next = actions.front();
      actions.pop_front();
      next(*connection);
    });
    user.start();
    dialog->OnInitDialog(joystick, *link);
    dialog->show();  // as the program's exec of the window does
    EXPECT_TRUE(actions.empty()) << "the start did not ask for every choice the test made";
  }
  PanelControls& c() { return dialog->controls(); }

  // A settings file as a save writes it, for the joystick found unless said otherwise.
  void storeSettings(ConnectionSettings connection, JoystickCaps caps = kFound) {
    const std::vector<uint8_t> bytes = storedBytes(connection, caps);
    writeFile(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  // Stored with the extension module shown (offset 11) and motor 1 at 42 % (offset 41).
  static std::vector<uint8_t> storedBytes(ConnectionSettings connection, JoystickCaps caps = kFound) {
    ConfigTable table;
    applyTableDefaults(table, caps, connection.motorCount);
    set(table.speedPercent, 0, 42);
    set(table.dirFixed, 4, 1);
    set(table.fixedDirSel, 4, kDirRight);
    const SettingsBytes bytes = encodeSettings({caps, 1, connection}, table, {1, 0, 15, -1});
    return {bytes.begin(), bytes.end()};
  }

  testing::FakeJoystick joystick;
  SharedState state;
  RecordingIntInt intInt;
  LoudRobo robo;
  ScriptedBoxes boxes;
  QtMessageBoxes qtBoxes;
  MessageBoxes* shown = &boxes;  // the boxes the program shows: scripted, or Qt's answered by a user
  std::unique_ptr<InterfaceLink> link;
  CountingFiles files;
  std::unique_ptr<MainDialog> dialog;

 private:
  bool child_ = false;
  fs::path folder_, previous_;
};

// The greeting for the joystick of the fixture.
inline const std::string kGreeting =
    "Verbindung zum Joystick erfolgreich!\n\nTreiberbezeichnung: Testknueppel\nAchsen: 3\nButtons: 8";

}  // namespace velomat
