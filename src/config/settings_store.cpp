#include "config/settings_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velomat {

namespace {

class PosixFileSystem final : public FileSystem {
 public:
  int open(const char* path, int flags, mode_t mode) override { return ::open(path, flags, mode); }
  ssize_t write(int fd, const void* data, size_t size) override { return ::write(fd, data, size); }
  int fsync(int fd) override { return ::fsync(fd); }
  int close(int fd) override { return ::close(fd); }
  int rename(const char* from, const char* to) override { return ::rename(from, to); }
  int unlink(const char* path) override { return ::unlink(path); }
};

std::string failure(const char* step, int error) {
  return std::string(step) + ": " + std::strerror(error);
}

// The folder a path lies in, for flushing the rename itself to the disk.
std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

FileSystem& posixFileSystem() {
  static PosixFileSystem files;
  return files;
}

std::optional<std::vector<uint8_t>> readFileStart(const std::string& path, size_t limit) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> bytes(limit);
  size_t got = 0;
  while (got < limit) {
    const ssize_t n = ::read(fd, bytes.data() + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  bytes.resize(got);
  return bytes;
}

WriteResult replaceFile(const std::string& path, std::span<const uint8_t> bytes, FileSystem& files) {
  static std::atomic<unsigned> serial{0};
  const std::string temporary =
      path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(serial.fetch_add(1));
  const int fd = files.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return {false, failure("anlegen", errno)};

  const auto giveUp = [&](const char* step) {
    const int error = errno;
    files.close(fd);
    files.unlink(temporary.c_str());
    return WriteResult{false, failure(step, error)};
  };
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = files.write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return giveUp("schreiben");
    }
    written += static_cast<size_t>(n);
  }
  if (files.fsync(fd) != 0) return giveUp("sichern");
  if (files.close(fd) != 0) {
    const int error = errno;
    files.unlink(temporary.c_str());
    return {false, failure("schließen", error)};
  }
  if (files.rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    files.unlink(temporary.c_str());
    return {false, failure("umbenennen", error)};
  }
  // The rename is in the folder: flush it too, so the new file survives a power cut. A folder that
  // cannot be flushed changes nothing about the file just written.
  const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folder >= 0) {
    ::fsync(folder);
    ::close(folder);
  }
  return {true, {}};
}

}  // namespace velomat
