// What the settings stores of both systems do alike; what each system does its own way is in
// settings_store_posix.cpp and settings_store_win32.cpp.
#include "config/settings_store_internal.h"

#include <fcntl.h>

#include <atomic>
#include <cerrno>

namespace velomat {

std::optional<std::vector<uint8_t>> readFileStart(const std::string& path, size_t limit) {
  ReadResult file = readSettingsFile(path, limit);
  if (file.status != ReadResult::Status::Read) return std::nullopt;
  return std::move(file.bytes);
}

namespace store {

namespace {
// Fresh temporary names tried before a save gives up.
constexpr unsigned kMaxTemporaryNames = 1000;
}  // namespace

std::optional<unsigned long long> temporaryNamePid(const std::string& name, const std::string& file) {
  const std::string prefix = file + ".tmp-";
  if (name.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
  const std::string rest = name.substr(prefix.size());
  const size_t dash = rest.find('-');
  const auto digits = [](const std::string& part) {
    return !part.empty() && part.size() <= 19 && part.find_first_not_of("0123456789") == std::string::npos;
  };
  if (dash == std::string::npos || !digits(rest.substr(0, dash)) || !digits(rest.substr(dash + 1))) {
    return std::nullopt;
  }
  return std::stoull(rest.substr(0, dash));
}

int openTemporary(FileSystem& files, const std::string& target, unsigned long pid, int flags, mode_t mode,
                  std::string& temporary) {
  static std::atomic<unsigned> serial{0};
  int fd = -1;
  errno = EEXIST;
  for (unsigned attempt = 0; fd < 0 && errno == EEXIST && attempt < kMaxTemporaryNames; ++attempt) {
    temporary = target + ".tmp-" + std::to_string(pid) + "-" + std::to_string(serial.fetch_add(1));
    fd = files.open(temporary.c_str(), flags | O_CREAT | O_EXCL, mode);
  }
  return fd;
}

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
