// Reading and writing the settings file where users keep it: a regular file, a symbolic link to one,
// a file in a folder they may not write, a read-only file, or something that is no file at all.
//
// A read never blocks: what is no regular file is never read, and the file is opened without waiting.
// A write goes to a new file beside the file, which is flushed to the disk and renamed over it: a write
// that fails or is cut off leaves the old file as it was. It keeps what an open-and-write of the file
// itself would keep: a symbolic link stays and its target is written, the file keeps its mode (and its
// owner and group where the user may set them), a file the user may not write is left alone, a file
// in a folder the user may not write is written in place, and what is no regular file is never opened.
// On Windows the file keeps its attributes; a read-only file and a file another program holds open
// without sharing it are left alone, and the save fails with the reason.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velomat {

// The file-system calls a write makes on the file and its temporary file, so that tests can make each
// of them fail. The results and errno are those of the POSIX calls of the same names; on Windows the
// system's file calls stand behind them (rename replaces the file, with write-through).
class FileSystem {
 public:
  FileSystem() = default;
  FileSystem(const FileSystem&) = delete;
  FileSystem& operator=(const FileSystem&) = delete;
  virtual ~FileSystem() = default;

  virtual int open(const char* path, int flags, mode_t mode) = 0;
  virtual ssize_t write(int fd, const void* data, size_t size) = 0;
  virtual int ftruncate(int fd, off_t size) = 0;
  virtual int fsync(int fd) = 0;
  virtual int close(int fd) = 0;
  virtual int rename(const char* from, const char* to) = 0;
  virtual int unlink(const char* path) = 0;
};

// The system's own file calls.
FileSystem& systemFileSystem();

// What stands at a path that is to be read or written.
enum class FileKind { Regular, Directory, Fifo, Device, Socket, Other };

struct ReadResult {
  enum class Status {
    Read,        // `bytes` holds the start of the file
    Missing,     // nothing there (also a symbolic link whose target is missing)
    NotAFile,    // something that is no regular file: `kind` says what; it was not read
    Unreadable,  // a file that could not be opened or read: `error` says why
  };
  Status status = Status::Missing;
  std::vector<uint8_t> bytes;
  FileKind kind = FileKind::Regular;
  std::string linkTarget;  // where a symbolic link at the path leads; empty when the path is no link
  std::string error;       // Unreadable: why, in the system's words
  bool writable = false;   // Unreadable: the user may write the file, so a save will replace it
};

// Up to `limit` bytes from the start of the file at `path`, or why there are none. Never blocks.
ReadResult readSettingsFile(const std::string& path, size_t limit);

// The bytes of readSettingsFile when it read the file; nothing otherwise.
std::optional<std::vector<uint8_t>> readFileStart(const std::string& path, size_t limit);

struct WriteResult {
  bool ok = false;
  std::string error;                 // what went wrong, in the system's words
  std::optional<FileKind> notAFile;  // the path names no regular file; nothing was opened or written
  std::string linkTarget;            // where a symbolic link at the path leads; empty for no link
  bool oldFileKept = true;           // false when a write in place failed halfway
};

// Writes `bytes` as the file at `path`, following symbolic links: written to a new file beside it,
// flushed and renamed over it; in place when the folder may not be written or the file has more than
// one name. Before that it removes what earlier saves of this file left behind when they were killed.
WriteResult replaceFile(const std::string& path, std::span<const uint8_t> bytes,
                        FileSystem& files = systemFileSystem());

}  // namespace velomat
