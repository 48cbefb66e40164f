// What the settings store's suites share: a file system that fails a chosen call, a folder of each
// test's own, the check of a save that fails at each of its calls in turn, and the checks after
// killed saves.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "config/settings_file.h"
#include "config/settings_store.h"

namespace velomat::testing {

namespace fs = std::filesystem;

inline std::vector<uint8_t> bytesOf(std::string_view text) {
  return {text.begin(), text.end()};
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
 public:
  void SetUp() override {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && folder.empty(); ++attempt) {
      const fs::path named = fs::temp_directory_path() / ("velomat-store-" + std::to_string(random()));
      if (fs::create_directory(named)) folder = named;
    }
    ASSERT_FALSE(folder.empty());
    path = folder / "settings.vlm";
  }
  void TearDown() override { fs::remove_all(folder); }
  std::vector<uint8_t> contents() {
    return readFileStart(path.string(), 1000).value_or(std::vector<uint8_t>{});
  }
  std::vector<std::string> entries() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // After a save was killed: the file is the old or the new one; true when the kill left the save's
  // temporary file, i.e. it came during the save.
  bool expectOldOrNewFile(int round) {
    const std::vector<uint8_t> now = contents();
    EXPECT_TRUE(now == oldFile || now == newFile) << "round " << round << ": " << now.size() << " bytes";
    return entries().size() > 1;
  }
  // After the killed saves: the next save finds nothing in its way and leaves nothing beside the file.
  void expectTheNextSaveWhole() {
    ASSERT_TRUE(replaceFile(path.string(), newFile).ok);
    EXPECT_EQ(contents(), newFile);
    EXPECT_EQ(entries(), std::vector<std::string>{"settings.vlm"});
  }

  fs::path folder, path;
  // The two whole files the killed saves write in turn.
  static inline const std::vector<uint8_t> oldFile = std::vector<uint8_t>(kSettingsFileSize, 0x0D);
  static inline const std::vector<uint8_t> newFile = std::vector<uint8_t>(kSettingsFileSize, 0x4E);
};

// A save's calls, in order, when nothing fails: beside the old file (renamed over it) or in place (a
// folder that refuses new files). From `firstTouch` on, a failing call may have touched the old file;
// from `firstAfterRename` on, nothing fails the save any more; nor does the call `harmless`.
struct SaveCalls {
  const char* what;
  bool folderRefuses;
  std::vector<std::string> calls;
  size_t firstTouch, firstAfterRename;
  size_t harmless = SIZE_MAX;
};

inline std::vector<std::string> joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Each call of a save fails in turn: the save says so and leaves what it promises.
inline void expectEveryFailingCallKeepsItsPromise(SettingsStore& t, const SaveCalls& row,
                                                  const std::vector<uint8_t>& old,
                                                  const std::vector<uint8_t>& fresh) {
  FailingFileSystem never(-1, row.folderRefuses);
  ASSERT_TRUE(replaceFile(t.path.string(), old).ok);
  ASSERT_TRUE(replaceFile(t.path.string(), fresh, never).ok) << row.what;
  EXPECT_EQ(never.calls, row.calls) << row.what;
  EXPECT_EQ(t.contents(), fresh);
  for (size_t failAt = 0; failAt < row.calls.size(); ++failAt) {
    SCOPED_TRACE(std::string(row.what) + ", " + row.calls[failAt] + " fails (call " + std::to_string(failAt) +
                 ")");
    ASSERT_TRUE(replaceFile(t.path.string(), old).ok);
    FailingFileSystem files(static_cast<int>(failAt), row.folderRefuses);
    const WriteResult result = replaceFile(t.path.string(), fresh, files);
    EXPECT_EQ(t.entries(), std::vector<std::string>{"settings.vlm"});  // no stray file
    if (failAt >= row.firstAfterRename || failAt == row.harmless) {
      EXPECT_TRUE(result.ok);
      EXPECT_EQ(t.contents(), fresh);
      continue;
    }
    EXPECT_FALSE(result.ok);
    EXPECT_FALSE(result.error.empty());
    EXPECT_EQ(result.oldFileKept, failAt < row.firstTouch);
    if (result.oldFileKept) {
      EXPECT_EQ(t.contents(), old);
    }
  }
}

}  // namespace velomat::testing
