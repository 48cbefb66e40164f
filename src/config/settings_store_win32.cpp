#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>
#include <string>

#include "config/settings_store.h"
#include "config/settings_store_internal.h"

namespace velomat {

namespace {

using store::failure;
using store::openTemporary;
using store::SeamFd;
using store::temporaryNamePid;
using store::writeAll;
using store::writeInPlace;

// The POSIX error that stands for a Windows one in the seam's results.
int errnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return EBUSY;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_WRITE_PROTECT:
      return EROFS;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return EINVAL;
    default:
      return EIO;
  }
}

int failWith(DWORD error) {
  errno = errnoOf(error);
  return -1;
}

std::wstring wide(const std::string& path) {
  if (path.empty()) return {};
  const int length =
      ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), nullptr, 0);
  std::wstring result(static_cast<size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), result.data(), length);
  return result;
}

HANDLE handleOf(int fd) {
  return reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
}

// The seam over Win32: file descriptors of the C runtime, each over a handle opened by CreateFileW.
class Win32FileSystem final : public FileSystem {
 public:
  int open(const char* path, int flags, mode_t) override {
    const bool writing = (flags & (O_WRONLY | O_RDWR)) != 0;
    DWORD creation = OPEN_EXISTING;
    if ((flags & O_CREAT) != 0) creation = (flags & O_EXCL) != 0 ? CREATE_NEW : OPEN_ALWAYS;
    // A new file is this save's alone until it is renamed; a file that is there is shared as any editor
    // shares it, so that opening it takes nothing from another program.
    const DWORD share =
        creation == CREATE_NEW ? FILE_SHARE_READ : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE file = ::CreateFileW(wide(path).c_str(), writing ? GENERIC_WRITE : GENERIC_READ, share, nullptr,
                                creation, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failWith(::GetLastError());
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_BINARY | (writing ? 0 : _O_RDONLY));
    if (fd < 0) {
      ::CloseHandle(file);
      errno = EMFILE;
    }
    return fd;
  }
  ssize_t write(int fd, const void* data, size_t size) override {
    DWORD written = 0;
    const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    if (!::WriteFile(handleOf(fd), data, chunk, &written, nullptr)) return failWith(::GetLastError());
    return static_cast<ssize_t>(written);
  }
  int ftruncate(int fd, off_t size) override {
    LARGE_INTEGER at;
    at.QuadPart = size;
    if (!::SetFilePointerEx(handleOf(fd), at, nullptr, FILE_BEGIN) || !::SetEndOfFile(handleOf(fd))) {
      return failWith(::GetLastError());
    }
    return 0;
  }
  int fsync(int fd) override { return ::FlushFileBuffers(handleOf(fd)) ? 0 : failWith(::GetLastError()); }
  int close(int fd) override { return ::_close(fd); }
  // Replaces a file that is there, and returns only once the new name is on the disk.
  int rename(const char* from, const char* to) override {
    return ::MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 0
               : failWith(::GetLastError());
  }
  int unlink(const char* path) override {
    return ::DeleteFileW(wide(path).c_str()) ? 0 : failWith(::GetLastError());
  }
};

// The reason for an error, in the system's words; a file another program holds gets words of its own,
// since the C runtime's ("Resource device") tell the user nothing.
std::string reasonOf(int error) {
  if (error == EBUSY) return "die Datei ist in einem anderen Programm geöffnet";
  return std::strerror(error);
}

size_t lastSeparator(const std::string& path) {
  return path.find_last_of("/\\");
}

std::string folderOf(const std::string& path) {
  const size_t at = lastSeparator(path);
  if (at == std::string::npos) return ".";
  return at == 0 ? path.substr(0, 1) : path.substr(0, at);
}

std::string nameOf(const std::string& path) {
  const size_t at = lastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

// Whether the process `pid` has ended (or cannot be one: INT_MAX).
bool processGone(unsigned long long pid) {
  if (pid > INT_MAX) return true;
  HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  const bool ended = ::WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
  ::CloseHandle(process);
  return ended;
}

// Removes the temporary files that saves of `file` in `folder` left behind when they were killed: a file
// with a save's temporary name, made by this process or by one that has ended. A save under way holds
// its temporary file without sharing its deletion, so it cannot be removed from under it.
void removeLeftOvers(const std::string& folder, const std::string& file) {
  WIN32_FIND_DATAW found;
  HANDLE search = ::FindFirstFileW(wide(folder + "\\" + file + ".tmp-*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, nullptr, 0, nullptr, nullptr);
    if (length <= 1) continue;
    std::string name(static_cast<size_t>(length - 1), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, found.cFileName, -1, name.data(), length, nullptr, nullptr);
    const std::optional<unsigned long long> pid = temporaryNamePid(name, file);
    if (!pid || (*pid != ::GetCurrentProcessId() && !processGone(*pid))) continue;
    ::DeleteFileW(wide(folder + "\\" + name).c_str());
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
}

// What the handle of an open file names, for the kinds a reader or writer tells apart.
bool isDiskFile(HANDLE file) {
  return ::GetFileType(file) == FILE_TYPE_DISK;
}

}  // namespace

std::string store::failure(const char* step, int error) {
  return std::string(step) + ": " + reasonOf(error);
}

FileSystem& systemFileSystem() {
  static Win32FileSystem files;
  return files;
}

ReadResult readSettingsFile(const std::string& path, size_t limit) {
  ReadResult result;
  const std::wstring name = wide(path);
  const DWORD attributes = ::GetFileAttributesW(name.c_str());
  const auto unreadable = [&](DWORD error) {
    result.status = ReadResult::Status::Unreadable;
    result.error = reasonOf(errnoOf(error));
    result.writable = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
    return result;
  };
  const auto notAFile = [&](FileKind kind) {
    result.status = ReadResult::Status::NotAFile;
    result.kind = kind;
    return result;
  };
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? result : unreadable(error);
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return notAFile(FileKind::Directory);
  HANDLE file =
      ::CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? result : unreadable(error);
  }
  // A device under a file's name (CON, COM1 and the like) is never read.
  if (!isDiskFile(file)) {
    ::CloseHandle(file);
    return notAFile(FileKind::Device);
  }
  result.bytes.resize(limit);
  size_t got = 0;
  while (got < limit) {
    DWORD n = 0;
    const DWORD chunk = limit - got > 0x40000000 ? 0x40000000 : static_cast<DWORD>(limit - got);
    if (!::ReadFile(file, result.bytes.data() + got, chunk, &n, nullptr)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(file);
      result.bytes.clear();
      return unreadable(error);
    }
    if (n == 0) break;
    got += n;
  }
  ::CloseHandle(file);
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
  const DWORD attributes = ::GetFileAttributesW(wide(path).c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return fail("öffnen", errnoOf(error));
  } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    result.notAFile = FileKind::Directory;
    return result;
  } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    // Looked at, not left to the open: an administrator's open would pass over the attribute.
    return fail("öffnen", EACCES);
  }

  // The file is opened for writing as a plain write would open it, without truncating it: a read-only
  // file and a file another program holds without sharing fail here and stay as they are.
  SeamFd oldFd(files, -1);
  if (exists) {
    oldFd.assign(files.open(path.c_str(), O_WRONLY, 0));
    if (oldFd.get() < 0) return fail("öffnen", errno);
    if (!isDiskFile(handleOf(oldFd.get()))) {
      result.notAFile = FileKind::Device;
      return result;
    }
  }

  const std::string folder = folderOf(path);
  removeLeftOvers(folder, nameOf(path));

  std::string temporary;
  const int fd = openTemporary(files, path, ::GetCurrentProcessId(), O_WRONLY, 0666, temporary);
  const int openError = errno;
  if (fd < 0) {
    // A folder the user may not add to: the file itself is written, as a plain write does.
    if (exists && openError == EACCES) return writeInPlace(oldFd, bytes, files, result);
    return fail("anlegen", openError);
  }
  // The old file is let go before it is replaced: a file still open here could not be.
  oldFd.reset();
  SeamFd temp(files, fd);
  const auto giveUp = [&](const char* step, int error) {
    temp.reset();
    files.unlink(temporary.c_str());
    return fail(step, error);
  };
  size_t written = 0;
  if (!writeAll(files, fd, bytes, written)) return giveUp("schreiben", errno);
  if (files.fsync(fd) != 0) return giveUp("sichern", errno);
  if (temp.reset() != 0) return giveUp("schließen", errno);
  // The new file takes the old one's attributes (hidden, say); read-only it was not, or the open failed.
  const DWORD kept = exists ? attributes & ~FILE_ATTRIBUTE_READONLY : 0;
  if (kept != 0) ::SetFileAttributesW(wide(temporary).c_str(), kept);
  if (files.rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    files.unlink(temporary.c_str());
    // Another program holds the file and lets others write it but not replace it: the file itself is
    // written, as a plain write does.
    if (exists && (error == EACCES || error == EBUSY)) {
      oldFd.assign(files.open(path.c_str(), O_WRONLY, 0));
      if (oldFd.get() < 0) return fail("öffnen", errno);
      return writeInPlace(oldFd, bytes, files, result);
    }
    return fail("umbenennen", error);
  }
  result.ok = true;
  return result;
}

}  // namespace velomat
