// The settings store on POSIX systems: a save that fails at any step, the left-overs of killed saves
// (locks, links, other processes' pids), and saves killed by a signal at random moments.
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
#include "settings_store_steps.h"

namespace velomat {
namespace {

namespace fs = std::filesystem;
using testing::bytesOf;
using testing::joined;
using testing::SettingsStore;

// Beside the old file, nothing fails the save after its rename; in place (a folder that refuses new
// files), everything from the first write on may have touched it.
TEST_F(SettingsStore, a_save_that_fails_at_any_step_says_so_and_leaves_what_it_promises) {
  const std::vector<uint8_t> old = bytesOf("VLM15 the old settings"), fresh(kSettingsFileSize, 0x5A);
  const std::vector<std::string> writes(4, "write");  // 170 bytes, 50 at a time
  const testing::SaveCalls rows[] = {
      {"beside the old file", false,
       joined(joined({"open", "create"}, writes), {"fsync", "rename", "close", "close"}), SIZE_MAX, 8},
      {"in place", true, joined(joined({"open", "create"}, writes), {"ftruncate", "fsync", "close"}), 3,
       SIZE_MAX},
  };
  for (const testing::SaveCalls& row : rows)
    testing::expectEveryFailingCallKeepsItsPromise(*this, row, old, fresh);
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
    const bool leftTemporary = expectOldOrNewFile(round);
    if (stopMidSave) {
      EXPECT_TRUE(leftTemporary) << "round " << round << ": killed before " << stopBefore;
    }
    if (leftTemporary) ++killedMidSave;
  }
  RecordProperty("rounds_killed_mid_save", killedMidSave);
  EXPECT_EQ(stoppedMidSave, 100);
  EXPECT_GE(killedMidSave, stoppedMidSave);
  expectTheNextSaveWhole();
}

}  // namespace
}  // namespace velomat
