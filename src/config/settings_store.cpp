// What the settings stores of both systems do alike; what each system does its own way is in
// settings_store_posix.cpp and settings_store_win32.cpp.
#include "config/settings_store_internal.h"

#include <cerrno>

namespace velomat {

std::optional<std::vector<uint8_t>> readFileStart(const std::string& path, size_t limit) {
  ReadResult file = readSettingsFile(path, limit);
  if (file.status != ReadResult::Status::Read) return std::nullopt;
  return std::move(file.bytes);
}

namespace store {

bool writeAll(FileSystem& files, int fd, std::span<const uint8_t> bytes, size_t& written) {
  while (written < bytes.size()) {
    const ssize_t n = files.write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    written += static_cast<size_t>(n);
  }
  return true;
}

WriteResult writeInPlace(SeamFd& fd, std::span<const uint8_t> bytes, FileSystem& files, WriteResult result) {
  const auto fail = [&](const char* step) {
    result.error = failure(step, errno);
    return result;
  };
  size_t written = 0;
  const bool complete = writeAll(files, fd.get(), bytes, written);
  if (written > 0) result.oldFileKept = false;
  if (!complete) return fail("schreiben");
  if (files.ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0) return fail("kürzen");
  if (files.fsync(fd.get()) != 0) return fail("sichern");
  if (fd.reset() != 0) return fail("schließen");
  result.ok = true;
  return result;
}

}  // namespace store

}  // namespace velomat
