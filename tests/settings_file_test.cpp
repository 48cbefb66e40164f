// The settings file at the byte level: layout, round trip, short and foreign files, and writes that
// fail at every step.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>

#include "config/settings_file.h"
#include "config/settings_store.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using namespace settings_offset;

std::vector<uint8_t> bytesOf(std::string_view text) {
  return {text.begin(), text.end()};
}

// Every table byte of both modules, to compare two tables.
std::vector<uint8_t> tableBytes(const ConfigTable& table) {
  std::vector<uint8_t> bytes;
  for (int slot = 0; slot < kSlotCount; ++slot)
    for (auto field : ConfigTable::kFieldOrder) bytes.push_back(get(table.*field, slot));
  return bytes;
}

TEST(SettingsFile, every_field_sits_at_its_offset_little_endian) {
  SettingsHeader header;
  header.caps = {0x12345678, 6, 12};
  header.moduleIndex = 1;
  header.connection = {kRoboSerial, -1, 1, 0, 8};
  ConfigTable table;
  set(table.speedPercent, 0, 100);
  set(table.dirFromAxis, 7, 1);
  set(table.speedAxisSel, 3, 0xAB);
  const SettingsBytes bytes = encodeSettings(header, table, {1, 0, -1, 0x01020304});
  struct Row {
    size_t offset;
    std::vector<uint8_t> expected;
  };
  const Row rows[] = {
      {0, bytesOf("VLM15")},
      {kButtonCount, {12}},
      {kAxisCount, {6}},
      {kCaps, {0x78, 0x56, 0x34, 0x12}},
      {kModuleIndex, {1}},
      {kPortNumber, {0xFF, 0xFF, 0xFF, 0xFF}},
      {kHasExtension, {1}},
      {kParallelPort, {0}},
      {kInterfaceKind, {70, 0, 0, 0}},
      {kMotorCount, {8, 0, 0, 0}},
      {kSlots + 15, {100}},            // speedPercent of slot 0
      {kSlots + 16 * 7, {1}},          // dirFromAxis of slot 7
      {kSlots + 16 * 3 + 14, {0xAB}},  // speedAxisSel of slot 3
      {kStopInputOn, {1, 0, 0, 0}},
      {kStopButtonOn, {0, 0, 0, 0}},
      {kStopInputSel, {0xFF, 0xFF, 0xFF, 0xFF}},
      {kStopButtonSel, {4, 3, 2, 1}},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + static_cast<long>(row.offset),
                                   bytes.begin() + static_cast<long>(row.offset + row.expected.size())),
              row.expected)
        << "offset " << row.offset;
  }
}

TEST(SettingsFile, a_round_trip_reproduces_every_table_byte_and_the_stop_values) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 20; ++trial) {
    ConfigTable table, loaded;
    for (int slot = 0; slot < kSlotCount; ++slot)
      for (auto field : ConfigTable::kFieldOrder) set(table.*field, slot, static_cast<uint8_t>(random()));
    const SettingsHeader header{
        {static_cast<uint32_t>(random()), 3, 9}, 1, {kIntelligentInterface, 3, 1, 0, 8}};
    const StopValues stop{1, 1, static_cast<int32_t>(random() % 17) - 1,
                          static_cast<int32_t>(random() % 33) - 1};
    const SettingsBytes bytes = encodeSettings(header, table, stop);
    ASSERT_EQ(settingsKind(bytes), SettingsKind::Settings);
    SettingsHeader header2;
    StopValues stop2;
    decodeHeader(bytes, header2);
    decodeTables(bytes, loaded, stop2);
    EXPECT_EQ(tableBytes(loaded), tableBytes(table));
    EXPECT_EQ(stop2, stop);
    EXPECT_EQ(header2.caps, header.caps);
    EXPECT_EQ(header2.connection.interfaceKind, kIntelligentInterface);
    EXPECT_EQ(header2.connection.portNumber, 3);
    EXPECT_EQ(header2.connection.motorCount, 8);
  }
}

TEST(SettingsFile, the_first_five_bytes_tell_settings_marker_and_other_files) {
  const std::pair<std::string_view, SettingsKind> rows[] = {
      {"VLM15", SettingsKind::Settings},
      {"VLM15 and more", SettingsKind::Settings},
      {kResetMarkerText, SettingsKind::ResetMarker},
      {"DELETxyz", SettingsKind::ResetMarker},
      {"VLM14", SettingsKind::Other},
      {"vlm15", SettingsKind::Other},
      {"VLM1", SettingsKind::Other},
      {"DELE", SettingsKind::Other},
      {"", SettingsKind::Other},
  };
  for (auto [text, kind] : rows) EXPECT_EQ(settingsKind(bytesOf(text)), kind) << text;
}

// A short file gives only the fields it holds whole; every other field keeps what it had.
TEST(SettingsFile, a_short_file_gives_only_its_whole_fields) {
  ConfigTable source;
  for (int slot = 0; slot < kSlotCount; ++slot)
    for (auto field : ConfigTable::kFieldOrder) set(source.*field, slot, 0x11);
  const SettingsHeader stored{
      {0x22222222, 0x22, 0x22}, 0x22, {0x22222222, 0x22222222, 0x22, 0x22, 0x22222222}};
  const SettingsBytes full = encodeSettings(stored, source, {0x33333333, 0x33333333, 0x33333333, 0x33333333});
  for (size_t length = 0; length <= kSettingsFileSize; ++length) {
    SCOPED_TRACE(length);
    const std::span<const uint8_t> file(full.data(), length);
    SettingsHeader header{{7, 7, 7}, 7, {7, 7, 7, 7, 7}};
    decodeHeader(file, header);
    const auto whole = [&](size_t offset, size_t size) { return offset + size <= length; };
    EXPECT_EQ(header.caps.buttonCount, whole(kButtonCount, 1) ? 0x22 : 7);
    EXPECT_EQ(header.caps.caps, whole(kCaps, 4) ? 0x22222222u : 7u);
    EXPECT_EQ(header.connection.portNumber, whole(kPortNumber, 4) ? 0x22222222 : 7);
    EXPECT_EQ(header.connection.motorCount, whole(kMotorCount, 4) ? 0x22222222 : 7);

    ConfigTable table;
    StopValues stop{7, 7, 7, 7};
    decodeTables(file, table, stop);
    const std::vector<uint8_t> bytes = tableBytes(table);
    for (size_t i = 0; i < bytes.size(); ++i) ASSERT_EQ(bytes[i], whole(kSlots + i, 1) ? 0x11 : 0) << i;
    EXPECT_EQ(stop.inputOn, whole(kStopInputOn, 4) ? 0x33333333 : 7);
    EXPECT_EQ(stop.buttonSel, whole(kStopButtonSel, 4) ? 0x33333333 : 7);
  }
}

// A file system that records its calls and fails call number `failAt` (counted from 0). A folder that
// refuses new files answers every create with EACCES, as a folder the user may not write does.
class FailingFileSystem final : public FileSystem {
 public:
  explicit FailingFileSystem(int failAt, bool folderRefuses = false)
      : failAt_(failAt), folderRefuses_(folderRefuses) {}
  int open(const char* path, int flags, mode_t mode) override {
    const bool create = (flags & O_CREAT) != 0;
    if (create) created.push_back(path);
    if (fails(create ? "create" : "open", EROFS)) return -1;
    if (create && folderRefuses_) {
      errno = EACCES;
      return -1;
    }
    return systemFileSystem().open(path, flags, mode);
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    if (fails("write", ENOSPC)) return -1;
    return systemFileSystem().write(fd, data, std::min<size_t>(size, 50));  // the disk takes little at a time
  }
  int ftruncate(int fd, off_t size) override {
    return fails("ftruncate", EIO) ? -1 : systemFileSystem().ftruncate(fd, size);
  }
  int fsync(int fd) override { return fails("fsync", EIO) ? -1 : systemFileSystem().fsync(fd); }
  int close(int fd) override {
    const int result = systemFileSystem().close(fd);
    return fails("close", EIO) ? -1 : result;
  }
  int rename(const char* from, const char* to) override {
    return fails("rename", EXDEV) ? -1 : systemFileSystem().rename(from, to);
  }
  int unlink(const char* path) override { return systemFileSystem().unlink(path); }

  std::vector<std::string> calls, created;

 private:
  bool fails(const char* call, int error) {
    calls.push_back(call);
    if (static_cast<int>(calls.size()) - 1 != failAt_) return false;
    errno = error;
    return true;
  }
  int failAt_;
  bool folderRefuses_;
};

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/velomat-store-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    path = folder / "settings.vlm";
  }
  void TearDown() override { fs::remove_all(folder); }
  std::vector<uint8_t> contents() {
    return readFileStart(path.string(), 1000).value_or(std::vector<uint8_t>{});
  }
  std::vector<std::string> entries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder, path;
};

// Each call of a save fails in turn. Beside the old file, nothing fails the save after its rename;
// in place (a folder that refuses new files), everything from the first write on may have touched it.
TEST_F(SettingsStore, a_save_that_fails_at_any_step_says_so_and_leaves_what_it_promises) {
  const std::vector<uint8_t> old = bytesOf("VLM15 the old settings"), fresh(kSettingsFileSize, 0x5A);
  struct Row {
    const char* what;
    bool folderRefuses;
    std::vector<std::string> calls;
    size_t firstTouch, firstAfterRename;  // calls from which the old file may be touched / is replaced
  };
  const std::vector<std::string> writes(4, "write");  // 170 bytes, 50 at a time
  const auto join = [](std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Row rows[] = {
      {"beside the old file", false,
       join(join({"open", "create"}, writes), {"fsync", "rename", "close", "close"}), SIZE_MAX, 8},
      {"in place", true, join(join({"open", "create"}, writes), {"ftruncate", "fsync", "close"}), 3,
       SIZE_MAX},
  };
  for (const Row& row : rows) {
    FailingFileSystem never(-1, row.folderRefuses);
    ASSERT_TRUE(replaceFile(path.string(), old).ok);
    ASSERT_TRUE(replaceFile(path.string(), fresh, never).ok) << row.what;
    EXPECT_EQ(never.calls, row.calls) << row.what;
    EXPECT_EQ(contents(), fresh);
    for (size_t failAt = 0; failAt < row.calls.size(); ++failAt) {
      SCOPED_TRACE(std::string(row.what) + ", " + row.calls[failAt] + " fails (call " +
                   std::to_string(failAt) + ")");
      ASSERT_TRUE(replaceFile(path.string(), old).ok);
      FailingFileSystem files(static_cast<int>(failAt), row.folderRefuses);
      const WriteResult result = replaceFile(path.string(), fresh, files);
      EXPECT_EQ(entries(), std::vector<std::string>{"settings.vlm"});  // no stray file
      if (failAt >= row.firstAfterRename) {
        EXPECT_TRUE(result.ok);
        EXPECT_EQ(contents(), fresh);
        continue;
      }
      EXPECT_FALSE(result.ok);
      EXPECT_FALSE(result.error.empty());
      EXPECT_EQ(result.oldFileKept, failAt < row.firstTouch);
      if (result.oldFileKept) {
        EXPECT_EQ(contents(), old);
      }
    }
  }
}

// Names a save makes for its temporary file, one after the other: a name that is taken is skipped,
// whatever stands there, and what stands there stays.
TEST_F(SettingsStore, a_temporary_name_that_is_taken_is_passed_over_and_left_alone) {
  FailingFileSystem first(-1);
  ASSERT_TRUE(replaceFile(path.string(), bytesOf("VLM15 first"), first).ok);
  ASSERT_EQ(first.created.size(), 1u);
  // The next five names this process would take, each taken by a folder that no save removes.
  const std::string used = first.created[0];
  const size_t dash = used.rfind('-');
  const unsigned next = static_cast<unsigned>(std::stoul(used.substr(dash + 1))) + 1;
  for (unsigned n = next; n < next + 5; ++n)
    fs::create_directory(used.substr(0, dash + 1) + std::to_string(n));
  FailingFileSystem second(-1);
  ASSERT_TRUE(replaceFile(path.string(), bytesOf("VLM15 second"), second).ok);
  EXPECT_EQ(second.created.size(), 6u);
  EXPECT_EQ(contents(), bytesOf("VLM15 second"));
  EXPECT_EQ(entries().size(), 6u);  // the file and the five folders
}

// What a save takes for a left-over of its own: a regular file of the user's with the temporary name of
// a save of this file, made by a process that is gone (or by this one), and locked by no save under
// way. Everything else beside the file stays.
TEST_F(SettingsStore, a_save_removes_the_left_overs_of_killed_saves_and_nothing_else) {
  const std::string gone = "99999999";  // beyond the highest pid a system can give
  const std::string here = std::to_string(getpid()), running = std::to_string(getppid());
  enum Make { File, Folder, Link };
  struct Row {
    std::string name;
    Make make;
    bool locked;
    bool removed;
  };
  const Row rows[] = {
      {"settings.vlm.tmp-" + gone + "-3", File, false, true},      // a save killed long ago
      {"settings.vlm.tmp-" + here + "-7", File, false, true},      // killed before this pid was given again
      {"settings.vlm.tmp-" + running + "-0", File, false, false},  // another program's save under way
      {"settings.vlm.tmp-" + gone + "-4", File, true, false},      // locked: a save under way
      {"settings.vlm.tmp-" + gone + "-5", Folder, false, false},
      {"settings.vlm.tmp-" + gone + "-6", Link, false, false},
      {"settings.vlm.tmp-" + gone, File, false, false},
      {"settings.vlm.tmp-" + gone + "-6.bak", File, false, false},
      {"settings.vlm.tmp-x-1", File, false, false},
      {"settings.vlm.bak", File, false, false},
      {"other.vlm.tmp-" + gone + "-0", File, false, false},
  };
  std::vector<int> locks;
  for (const Row& row : rows) {
    const fs::path at = folder / row.name;
    if (row.make == Folder) fs::create_directory(at);
    if (row.make == Link) fs::create_symlink("settings.vlm.bak", at);
    if (row.make != File) continue;
    const int fd = ::open(at.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "VLM15", 5), 5);
    if (row.locked) {
      ASSERT_EQ(::flock(fd, LOCK_EX), 0);
      locks.push_back(fd);
    } else {
      ::close(fd);
    }
  }
  ASSERT_TRUE(replaceFile(path.string(), bytesOf("VLM15 saved")).ok);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(!fs::exists(fs::symlink_status(folder / row.name)), row.removed);
  }
  for (int fd : locks) ::close(fd);
}

// A file system that lets a save run up to the first `stopBefore` call after it created its temporary
// file, then tells the test through `tell` and waits there to be killed.
class StoppingFileSystem final : public FileSystem {
 public:
  StoppingFileSystem(const char* stopBefore, int tell) : stopBefore_(stopBefore), tell_(tell) {}
  int open(const char* path, int flags, mode_t mode) override {
    created_ = created_ || (flags & O_CREAT) != 0;
    return systemFileSystem().open(path, flags, mode);
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    stopHereIf("write");
    return systemFileSystem().write(fd, data, size);
  }
  int ftruncate(int fd, off_t size) override { return systemFileSystem().ftruncate(fd, size); }
  int fsync(int fd) override {
    stopHereIf("fsync");
    return systemFileSystem().fsync(fd);
  }
  int close(int fd) override { return systemFileSystem().close(fd); }
  int rename(const char* from, const char* to) override {
    stopHereIf("rename");
    return systemFileSystem().rename(from, to);
  }
  int unlink(const char* path) override { return systemFileSystem().unlink(path); }

 private:
  void stopHereIf(std::string_view call) {
    if (!created_ || call != stopBefore_) return;
    const char here = 1;
    (void)::write(tell_, &here, 1);
    for (;;) ::pause();
  }
  std::string_view stopBefore_;
  int tell_;
  bool created_ = false;
};

// A child saves the old and the new 170 bytes in turn without a pause and is killed at a random
// moment; the file is the old or the new one every time, and the next save finds nothing in its way.
// Every third round the kill comes at a step of a save chosen by the test, after the temporary file was
// made and before it replaced the file, so that kills in the middle of a save are sure to be among them.
TEST_F(SettingsStore, a_save_killed_at_any_moment_leaves_the_old_or_the_new_file_and_nothing_in_the_way) {
  SettingsBytes oldBytes, newBytes;
  oldBytes.fill(0x0D);
  newBytes.fill(0x4E);
  const std::vector<uint8_t> oldFile(oldBytes.begin(), oldBytes.end()),
      newFile(newBytes.begin(), newBytes.end());
  ASSERT_TRUE(replaceFile(path.string(), oldFile).ok);
  const char* const midSaveSteps[] = {"write", "fsync", "rename"};
  std::mt19937 random(std::random_device{}());
  int killedMidSave = 0;  // rounds that left a temporary file: the kill came during a save
  int stoppedMidSave = 0;
  for (int round = 0; round < 300; ++round) {
    const bool stopMidSave = round % 3 == 0;
    const char* const stopBefore = midSaveSteps[random() % 3];
    const unsigned wholeSaves = random() % 3;  // before the save that is stopped
    int tell[2];
    ASSERT_EQ(::pipe2(tell, O_CLOEXEC), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::close(tell[0]);
      for (unsigned n = 0;; ++n) {
        const std::vector<uint8_t>& bytes = n % 2 == 0 ? newFile : oldFile;
        if (stopMidSave && n == wholeSaves) {
          StoppingFileSystem stopping(stopBefore, tell[1]);
          replaceFile(path.string(), bytes, stopping);
        }
        replaceFile(path.string(), bytes);
      }
    }
    ::close(tell[1]);
    if (stopMidSave) {
      SCOPED_TRACE(stopBefore);
      char here = 0;
      ASSERT_EQ(::read(tell[0], &here, 1), 1) << "round " << round << ": the save never came to its step";
      ++stoppedMidSave;
    } else {
      usleep(static_cast<useconds_t>(random() % 4000));
    }
    ::close(tell[0]);
    ::kill(child, SIGKILL);
    ASSERT_EQ(waitpid(child, nullptr, 0), child);
    const std::vector<uint8_t> now = contents();
    ASSERT_TRUE(now == oldFile || now == newFile) << "round " << round << ": " << now.size() << " bytes";
    const bool leftTemporary = entries().size() > 1;
    if (stopMidSave) {
      EXPECT_TRUE(leftTemporary) << "round " << round << ": killed before " << stopBefore;
    }
    if (leftTemporary) ++killedMidSave;
  }
  RecordProperty("rounds_killed_mid_save", killedMidSave);
  EXPECT_EQ(stoppedMidSave, 100);
  EXPECT_GE(killedMidSave, stoppedMidSave);
  ASSERT_TRUE(replaceFile(path.string(), newFile).ok);
  EXPECT_EQ(contents(), newFile);
  EXPECT_EQ(entries(), std::vector<std::string>{"settings.vlm"});
}

}  // namespace
}  // namespace velomat
