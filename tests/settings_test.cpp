// The settings file through the main window: what a save writes, what a load restores, the reset's
// three answers, and a save that fails.
#include <gtest/gtest.h>

#include <fcntl.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>
#include <filesystem>
#include <memory>
#include <optional>

#include "app/main_dialog.h"
#include "config/settings_store.h"
#include "fake_joystick.h"
#include "gui_steps.h"
#include "link_doubles.h"
#include "test_folder.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using testing::choose;
using testing::click;
using testing::ScriptedBoxes;

constexpr uint32_t kAllAxes = kJoyCapsHasZ | kJoyCapsHasR | kJoyCapsHasU | kJoyCapsHasV;

std::vector<uint8_t> fileBytes() {
  return readFileStart(kSettingsFileName, 1000).value_or(std::vector<uint8_t>{});
}

class SettingsTest : public ::testing::Test {
 protected:
  // Each test works in a folder of its own, as the program does in its working folder.
  void SetUp() override {
    folder = testing::makeTestFolder("velomat-settings-");
    previous = fs::current_path();
    fs::current_path(folder);
  }
  void TearDown() override {
    dialog.reset();
    fs::current_path(previous);
    fs::remove_all(folder);
  }

  void open(int32_t kind = kRoboUsb, int32_t motorCount = 4, int32_t port = -1) {
    dialog.reset();
    state.joystickCaps = {kAllAxes | kJoyCapsHasPov, 6, 12};
    state.connection = {kind, port, static_cast<uint8_t>(motorCount == 8), 0, motorCount};
    dialog = std::make_unique<MainDialog>(state, boxes);
    ASSERT_TRUE(dialog->initialisePanel());
    dialog->show();
  }
  PanelControls& c() { return dialog->controls(); }
  std::vector<uint8_t> tableBytes() {
    std::vector<uint8_t> bytes;
    for (int slot = 0; slot < kSlotCount; ++slot)
      for (auto field : ConfigTable::kFieldOrder) bytes.push_back(get(state.table.*field, slot));
    return bytes;
  }

  fs::path folder, previous;
  SharedState state;
  ScriptedBoxes boxes;
  std::unique_ptr<MainDialog> dialog;
};

TEST_F(SettingsTest, a_file_saved_after_the_defaults_holds_170_bytes_with_the_speeds_and_the_port) {
  struct Row {
    int32_t kind, port;
    std::vector<uint8_t> portBytes;
  };
  const Row rows[] = {{kRoboUsb, -1, {0xFF, 0xFF, 0xFF, 0xFF}},
                      {kRoboRadio, -1, {0xFF, 0xFF, 0xFF, 0xFF}},
                      {kIntelligentInterface, 2, {2, 0, 0, 0}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.kind);
    open(row.kind, 4, row.port);
    ASSERT_TRUE(dialog->panel().saveSettings().ok);
    const std::vector<uint8_t> bytes = fileBytes();
    ASSERT_EQ(bytes.size(), 170u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 5), "VLM15");
    for (size_t offset : {41, 57, 73, 89, 105, 121, 137, 153}) EXPECT_EQ(bytes[offset], 100) << offset;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 12, bytes.begin() + 16), row.portBytes);
    EXPECT_EQ(bytes[11], 0);
  }
}

TEST_F(SettingsTest, a_round_trip_restores_both_modules_and_the_stop_controls_and_the_cycle_follows_them) {
  open(kIntelligentInterface, 8, 1);
  // Edits in both modules, saved with the extension module shown.
  click(c().dirButtonsRadio[0]);
  choose(c().buttonRightList[0], "12");
  click(c().stopButtonCheck);
  choose(c().stopButtonList, " 7");
  choose(c().stopInputList, "E13");
  choose(c().moduleList, "Extensionmodul");
  click(c().dirAxisRadio[1]);  // motor 6: its direction and speed from Z
  choose(c().dirAxisList[1], "Z");
  click(c().endSwitchCheck[3]);
  click(c().speedFixedRadio[2]);
  QTest::keyClick(c().speedSlider[2], Qt::Key_PageDown);
  dialog->panel().panelToTable();
  const std::vector<uint8_t> saved = tableBytes();
  const StopValues stop = dialog->panel().stopValues();
  ASSERT_TRUE(dialog->panel().saveSettings().ok);
  EXPECT_EQ(fileBytes()[11], 1);  // saved with the extension module shown

  open(kIntelligentInterface, 8, 1);
  dialog->panel().loadSettingsTables();
  EXPECT_EQ(tableBytes(), saved);
  EXPECT_EQ(dialog->panel().stopValues(), stop);
  EXPECT_TRUE(c().stopButtonList->isEnabled());
  EXPECT_EQ(c().moduleList->currentText(), "Hauptmodul");  // a start always opens on the main module
  EXPECT_TRUE(c().dirButtonsRadio[0]->isChecked());
  EXPECT_EQ(c().buttonRightList[0]->currentText(), "12");
  EXPECT_TRUE(boxes.shown.empty());

  // The extension's motor 6 follows its stored axis: output 5 turns left with Z at 0.
  testing::FakeJoystick joystick;
  joystick.next.dwXpos = joystick.next.dwYpos = kAxisCentre;
  joystick.next.dwZpos = 0;
  RunState run;
  ASSERT_TRUE(controlCycle(run, state, joystick));
  EXPECT_EQ(run.direction[5], kDirLeft);
  EXPECT_EQ(run.direction[4], kDirOff);
}

TEST_F(SettingsTest, what_is_not_a_settings_file_leaves_the_defaults) {
  const std::string rows[] = {"", "VLM1", "VLM14 from another version", std::string(kResetMarkerText)};
  open();
  const std::vector<uint8_t> defaults = tableBytes();
  for (const std::string& contents : rows) {
    SCOPED_TRACE(contents);
    ASSERT_TRUE(replaceFile(kSettingsFileName,
                            std::span(reinterpret_cast<const uint8_t*>(contents.data()), contents.size()))
                    .ok);
    set(state.table.speedPercent, 0, 1);  // something the load would have to put back
    dialog->panel().loadSettingsTables();
    EXPECT_EQ(get(state.table.speedPercent, 0), 1);
    set(state.table.speedPercent, 0, 100);
    EXPECT_EQ(tableBytes(), defaults);
  }
}

TEST_F(SettingsTest, reset_yes_gives_the_defaults_on_the_main_module_and_cancel_changes_nothing) {
  open(kIntelligentInterface, 8, 1);
  const std::vector<uint8_t> defaults = tableBytes();
  choose(c().moduleList, "Extensionmodul");
  click(c().dirAxisRadio[3]);
  choose(c().moduleList, "Hauptmodul");
  choose(c().moduleList, "Extensionmodul");
  const std::vector<uint8_t> edited = tableBytes();
  ASSERT_NE(edited, defaults);

  for (auto answers : {std::deque{BoxAnswer::Cancel}, std::deque{BoxAnswer::No, BoxAnswer::Cancel}}) {
    boxes.answers = answers;
    click(qobject_cast<QPushButton*>(dialogItem(dialog.get(), id::kResetButton)));
    EXPECT_EQ(tableBytes(), edited);
    EXPECT_FALSE(fs::exists(kSettingsFileName));
  }
  boxes.answers = {BoxAnswer::Yes};
  click(qobject_cast<QPushButton*>(dialogItem(dialog.get(), id::kResetButton)));
  EXPECT_EQ(tableBytes(), defaults);
  EXPECT_EQ(c().moduleList->currentText(), "Hauptmodul");
  EXPECT_EQ(c().motorGroup[0]->title(), "Motor 1");
  EXPECT_EQ(c().motorGroup[3]->title(), "Motor 4");
  EXPECT_FALSE(fs::exists(kSettingsFileName));  // the end of the run saves
  ASSERT_EQ(boxes.shown.size(), 4u);
  EXPECT_EQ(boxes.shown[0].caption, "Achtung");
  EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::YesNoCancel);
  EXPECT_EQ(boxes.shown[2].text, kRestartNotice);
  EXPECT_EQ(boxes.shown[2].caption, "Hinweis");
  EXPECT_EQ(boxes.shown[2].buttons, BoxButtons::OkCancel);
}

TEST_F(SettingsTest, reset_no_then_ok_leaves_exactly_the_marker_and_ends_with_exit_code_0) {
  GTEST_FLAG_SET(death_test_style, "fast");  // the child works in this test's folder
  open();
  ASSERT_TRUE(dialog->panel().saveSettings().ok);
  boxes.answers = {BoxAnswer::No, BoxAnswer::Ok};
  EXPECT_EXIT(dialog->resetAllSettings(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(fileBytes(), std::vector<uint8_t>(kResetMarkerText.begin(), kResetMarkerText.end()));
}

// A disk that is full after the first 50 bytes. With `folderRefuses` the folder takes no new file
// either, so the save writes the file in place.
class FullDisk final : public FileSystem {
 public:
  explicit FullDisk(bool folderRefuses) : folderRefuses_(folderRefuses) {}
  int open(const char* path, int flags, mode_t mode) override {
    if ((flags & O_CREAT) != 0 && folderRefuses_) {
      errno = EACCES;
      return -1;
    }
    return systemFileSystem().open(path, flags, mode);
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    if (full_) {
      errno = ENOSPC;
      return -1;
    }
    full_ = true;
    return systemFileSystem().write(fd, data, std::min<size_t>(size, 50));
  }
  int ftruncate(int fd, off_t size) override { return systemFileSystem().ftruncate(fd, size); }
  int fsync(int fd) override { return systemFileSystem().fsync(fd); }
  int close(int fd) override { return systemFileSystem().close(fd); }
  int rename(const char* from, const char* to) override { return systemFileSystem().rename(from, to); }
  int unlink(const char* path) override { return systemFileSystem().unlink(path); }

 private:
  bool folderRefuses_;
  bool full_ = false;
};

TEST_F(SettingsTest, a_save_that_fails_is_told_once_with_what_became_of_the_file) {
  const std::string file = "Die Einstellungsdatei \"settings.vlm\"", full = std::strerror(ENOSPC);
  const std::string old = "VLM15 saved before";
  struct Row {
    const char* what;
    bool folder;                        // a folder stands where the file should be
    std::optional<bool> folderRefuses;  // a full disk, and whether the folder takes new files
    std::string told;
  };
  const Row rows[] = {
      {"a full disk", false, false,
       file + " konnte nicht geschrieben werden (schreiben: " + full +
           ").\nDie bisherige Datei ist unverändert."},
      {"a full disk, the file written in place", false, true,
       file + " konnte nicht vollständig geschrieben werden (schreiben: " + full +
           ").\nDie Einstellungen wurden nicht gespeichert, und die Datei ist möglicherweise beschädigt."},
      {"a folder in the file's place", true, std::nullopt,
       file + " ist ein Verzeichnis.\nDie Einstellungen wurden nicht gespeichert."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    fs::remove_all(kSettingsFileName);
    if (row.folder) {
      fs::create_directory(kSettingsFileName);
    } else {
      ASSERT_TRUE(
          replaceFile(kSettingsFileName, std::span(reinterpret_cast<const uint8_t*>(old.data()), old.size()))
              .ok);
    }
    boxes.shown.clear();
    open();
    std::optional<FullDisk> disk;
    if (row.folderRefuses) dialog->panel().setFileSystem(disk.emplace(*row.folderRefuses));
    dialog->close();  // the close box saves
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, row.told);
    EXPECT_EQ(boxes.shown[0].buttons, BoxButtons::Ok);
    if (row.folder) {
      EXPECT_TRUE(fs::is_directory(kSettingsFileName) && fs::is_empty(kSettingsFileName));
    } else if (row.folderRefuses == false) {
      EXPECT_EQ(fileBytes(), std::vector<uint8_t>(old.begin(), old.end()));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
    dialog.reset();
  }
}

}  // namespace
}  // namespace velomat
