#include "config/settings_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstring>

#include "config/settings_store_internal.h"

namespace velomat {

namespace {

using store::failure;
using store::openTemporary;
using store::SeamFd;
using store::temporaryNamePid;
using store::writeAll;
using store::writeInPlace;

class PosixFileSystem final : public FileSystem {
 public:
  int open(const char* path, int flags, mode_t mode) override { return ::open(path, flags, mode); }
  ssize_t write(int fd, const void* data, size_t size) override { return ::write(fd, data, size); }
  int ftruncate(int fd, off_t size) override { return ::ftruncate(fd, size); }
  int fsync(int fd) override { return ::fsync(fd); }
  int close(int fd) override { return ::close(fd); }
  int rename(const char* from, const char* to) override { return ::rename(from, to); }
  int unlink(const char* path) override { return ::unlink(path); }
};

// As many links as the system itself follows before it calls it a loop.
constexpr int kMaxLinkHops = 40;

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

FileKind kindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::Regular;
  if (S_ISDIR(mode)) return FileKind::Directory;
  if (S_ISFIFO(mode)) return FileKind::Fifo;
  if (S_ISCHR(mode) || S_ISBLK(mode)) return FileKind::Device;
  if (S_ISSOCK(mode)) return FileKind::Socket;
  return FileKind::Other;
}

// The name the file at `path` really has, its symbolic links followed as an open follows them. A link
// whose target is missing gives that target: an open for writing creates the file there. False with
// errno set on a loop or a link that cannot be read.
bool followLinks(const std::string& path, std::string& resolved) {
  std::string current = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0) {
      if (errno != ENOENT) return false;
      resolved = current;
      return true;
    }
    if (!S_ISLNK(st.st_mode)) {
      resolved = current;
      return true;
    }
    char target[PATH_MAX];
    const ssize_t length = ::readlink(current.c_str(), target, sizeof target);
    if (length < 0) return false;
    if (static_cast<size_t>(length) == sizeof target) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::string next(target, static_cast<size_t>(length));
    // A relative target counts from the folder that holds the link.
    if (next.empty() || next.front() != '/') {
      const std::string folder = folderOf(current);
      if (folder != ".") next = (folder == "/" ? "" : folder) + "/" + next;
    }
    current = std::move(next);
  }
  errno = ELOOP;
  return false;
}

std::string linkTargetOf(const std::string& path) {
  std::string resolved;
  return followLinks(path, resolved) && resolved != path ? resolved : std::string();
}

// Removes the temporary files that saves of `file` in `folder` left behind when they were killed: a
// regular file of this user with a save's temporary name, made by this process or by one that has
// ended, and locked by no save under way. Nothing else is touched; whatever cannot be checked stays.
void removeLeftOvers(const std::string& folder, const std::string& file) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return;
  const int dirFd = ::dirfd(dir);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    const std::optional<unsigned long long> pid = temporaryNamePid(name, file);
    if (!pid) continue;
    const bool madeHere = *pid == static_cast<unsigned long long>(::getpid());
    // A pid beyond what a process can have: no process holds it.
    const bool makerGone = *pid > INT_MAX || (::kill(static_cast<pid_t>(*pid), 0) != 0 && errno == ESRCH);
    if (!madeHere && !makerGone) continue;
    struct stat named;
    if (::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(named.st_mode) ||
        named.st_uid != ::geteuid()) {
      continue;
    }
    int fd = ::openat(dirFd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && errno == EACCES)
      fd = ::openat(dirFd, name.c_str(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat opened;
    // A save under way holds its temporary file locked until it is renamed.
    if (::fstat(fd, &opened) == 0 && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      ::unlinkat(dirFd, name.c_str(), 0);
    }
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

std::string store::failure(const char* step, int error) {
  return std::string(step) + ": " + std::strerror(error);
}

FileSystem& systemFileSystem() {
  static PosixFileSystem files;
  return files;
}

ReadResult readSettingsFile(const std::string& path, size_t limit) {
  ReadResult result;
  result.linkTarget = linkTargetOf(path);
  const auto unreadable = [&](int error) {
    result.status = ReadResult::Status::Unreadable;
    result.error = std::strerror(error);
    result.writable = ::access(path.c_str(), W_OK) == 0;
    return result;
  };
  const auto notAFile = [&](mode_t mode) {
    result.status = ReadResult::Status::NotAFile;
    result.kind = kindOf(mode);
    return result;
  };

  // What is no regular file is not even opened: opening a device or a pipe may wait or have effects.
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) return errno == ENOENT ? result : unreadable(errno);
  if (!S_ISREG(st.st_mode)) return notAFile(st.st_mode);
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? result : unreadable(errno);
  // The file may have been swapped since the look above: what was opened decides.
  if (::fstat(fd, &st) != 0) {
    const int error = errno;
    ::close(fd);
    return unreadable(error);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    return notAFile(st.st_mode);
  }
  result.bytes.resize(limit);
  size_t got = 0;
  while (got < limit) {
    const ssize_t n = ::read(fd, result.bytes.data() + got, limit - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      ::close(fd);
      result.bytes.clear();
      return unreadable(error);
    }
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  ::close(fd);
  result.bytes.resize(got);
  result.status = ReadResult::Status::Read;
  return result;
}

WriteResult replaceFile(const std::string& path, std::span<const uint8_t> bytes, FileSystem& files) {
  WriteResult result;
  const auto fail = [&result](const char* step, int error) {
    result.error = failure(step, error);
    return result;
  };
  const auto notAFile = [&result](mode_t mode) {
    result.notAFile = kindOf(mode);
    return result;
  };
  std::string target;
  if (!followLinks(path, target)) return fail("öffnen", errno);
  if (target != path) result.linkTarget = target;

  // The file is opened for writing as a plain write would open it, but without truncating it and
  // without waiting: a file the user may not write fails here and stays as it is.
  struct stat old;
  bool exists = false;
  SeamFd oldFd(files, -1);
  if (::stat(target.c_str(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) return notAFile(old.st_mode);
    oldFd.assign(files.open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0));
    if (oldFd.get() < 0) return fail("öffnen", errno);
    if (::fstat(oldFd.get(), &old) != 0) return fail("öffnen", errno);
    if (!S_ISREG(old.st_mode)) return notAFile(old.st_mode);
    exists = true;
  } else if (errno != ENOENT) {
    return fail("öffnen", errno);
  }
  // Every name of a file with several names sees the new settings, as with a plain write.
  if (exists && old.st_nlink > 1) return writeInPlace(oldFd, bytes, files, result);

  const std::string folder = folderOf(target);
  removeLeftOvers(folder, nameOf(target));

  // A new file gets the mode a plain create gives; a replacement is the user's alone until it takes
  // the old file's mode.
  std::string temporary;
  const int fd = openTemporary(files, target, static_cast<unsigned long>(::getpid()), O_WRONLY | O_CLOEXEC,
                               exists ? 0600 : 0666, temporary);
  const int openError = errno;
  if (fd < 0) {
    // A folder the user may not write: the file itself is written, as a plain write does.
    if (exists && (openError == EACCES || openError == EPERM))
      return writeInPlace(oldFd, bytes, files, result);
    return fail("anlegen", openError);
  }
  SeamFd temp(files, fd);
  // Held until the rename, so that no other save takes this file for a left-over.
  ::flock(fd, LOCK_EX | LOCK_NB);

  const auto giveUp = [&](const char* step, int error) {
    temp.reset();
    files.unlink(temporary.c_str());
    return fail(step, error);
  };
  size_t written = 0;
  if (!writeAll(files, fd, bytes, written)) return giveUp("schreiben", errno);
  if (exists) {
    // The owner first: a change of owner may clear the mode's set-id bits. Another user's file keeps
    // at least its group where the user belongs to it; a mode that cannot be kept stops the save.
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), old.st_gid);
    if (::fchmod(fd, old.st_mode & 07777) != 0) return giveUp("Rechte setzen", errno);
  }
  if (files.fsync(fd) != 0) return giveUp("sichern", errno);
  if (files.rename(temporary.c_str(), target.c_str()) != 0) {
    const int error = errno;
    temp.reset();
    files.unlink(temporary.c_str());
    // A folder that lets the user write the file but not replace it (another user's file in a shared
    // folder with the sticky bit): the file itself is written.
    if (exists && (error == EACCES || error == EPERM)) return writeInPlace(oldFd, bytes, files, result);
    return fail("umbenennen", error);
  }
  // Closed only now, so the lock lasts until the rename. The bytes were flushed: a failing close changes
  // nothing about them.
  temp.reset();
  oldFd.reset();
  // The rename is in the folder: flush it too, so the new file survives a power cut. A folder that
  // cannot be flushed changes nothing about the file just written.
  const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    ::fsync(folderFd);
    ::close(folderFd);
  }
  result.ok = true;
  return result;
}

}  // namespace velomat
