// What both systems' settings stores share once a file is open (settings_store.cpp): the seam's file
// descriptor, writing through the seam, and writing in place. Internal to the stores; each system's
// store gives `failure`, its words for a failed step.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "config/settings_store.h"

namespace velomat::store {

// "step: reason" for a step of a save that failed with errno `error`.
std::string failure(const char* step, int error);

// A file descriptor of the seam, closed through it on every way out.
class SeamFd {
 public:
  SeamFd(FileSystem& files, int fd) : files_(files), fd_(fd) {}
  SeamFd(const SeamFd&) = delete;
  SeamFd& operator=(const SeamFd&) = delete;
  ~SeamFd() { reset(); }
  int get() const { return fd_; }
  void assign(int fd) {
    reset();
    fd_ = fd;
  }
  int reset() {
    const int result = fd_ >= 0 ? files_.close(fd_) : 0;
    fd_ = -1;
    return result;
  }

 private:
  FileSystem& files_;
  int fd_;
};

// The pid in a save's temporary name "<file>.tmp-<pid>-<n>" for `file`, or nothing when `name` is no
// such name.
std::optional<unsigned long long> temporaryNamePid(const std::string& name, const std::string& file);

// Makes the temporary file of a save of `target` by process `pid` through the seam: a fresh name for
// each attempt, so that a name another save left behind is skipped. Its descriptor, with the name in
// `temporary`; -1 with errno set when none could be made.
int openTemporary(FileSystem& files, const std::string& target, unsigned long pid, int flags, mode_t mode,
                  std::string& temporary);

// Writes all of `bytes` through the seam; `written` counts what went out. False with errno set when a
// write fails (ENOSPC for one that writes nothing).
bool writeAll(FileSystem& files, int fd, std::span<const uint8_t> bytes, size_t& written);

// Writes `bytes` over the start of the open file and cuts it to their length: the file never stands
// empty, and bytes written over old ones need no new room on a full disk. Once a byte is written, the
// old file is no longer as it was.
WriteResult writeInPlace(SeamFd& fd, std::span<const uint8_t> bytes, FileSystem& files, WriteResult result);

}  // namespace velomat::store
