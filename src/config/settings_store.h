// Reading and writing the settings file. A write goes to a new file in the same folder, which is
// flushed to the disk and then renamed over the old one: a write that fails or is cut off leaves the
// old file as it was.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velomat {

// The file-system calls a write makes, so that tests can make each of them fail. The results and errno
// are those of the POSIX calls of the same names.
class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  virtual int open(const char* path, int flags, mode_t mode) = 0;
  virtual ssize_t write(int fd, const void* data, size_t size) = 0;
  virtual int fsync(int fd) = 0;
  virtual int close(int fd) = 0;
  virtual int rename(const char* from, const char* to) = 0;
  virtual int unlink(const char* path) = 0;
};

FileSystem& posixFileSystem();

// Up to `limit` bytes from the start of the file at `path`; nothing when it cannot be opened.
std::optional<std::vector<uint8_t>> readFileStart(const std::string& path, size_t limit);

struct WriteResult {
  bool ok = false;
  std::string error;  // what went wrong, in the system's words
};

// Replaces the file at `path` by `bytes`: written to a new file beside it, flushed, renamed over it.
WriteResult replaceFile(const std::string& path, std::span<const uint8_t> bytes,
                        FileSystem& files = posixFileSystem());

}  // namespace velomat
