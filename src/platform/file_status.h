// What the modes learn about a named file before they read or replace it,
// and what an output carries over from its source: the permission bits, the
// owner and group where the process may give them, and the times, taken in
// the one look at the source before it is read. Symbolic links are followed
// where a file is read, not where one is replaced.
#pragma once

#include <cstdint>
#include <string>

namespace huffman {

// A pipe is a FIFO (also what a process substitution's /dev/fd/N leads to);
// a device is a character or block device. Windows shows neither: anything
// there that is not a regular file or a directory is `other`.
enum class FileKind { missing, regular, directory, pipe, device, other };

struct FileStatus {
  FileKind kind = FileKind::missing;
  int error = 0;  // why the file could not be examined (ENOENT, EACCES, ...)
};

// The file `name` leads to, following symbolic links.
FileStatus StatusOf(const std::string& name);

// True when something, even a dangling symbolic link, has this name.
bool NameTaken(const std::string& name);

// Whether an output gets its source's access and modification times (the
// command line's outputs stand for their sources) or keeps those of its
// writing (the menu's are new files the user named).
enum class OutputTimes { source, written };

struct Examined;

// What an output carries over from its source, taken before the source is
// read, so that the access time is the one from before this run read it.
// Only a regular file carries anything; standard input and pipes do not.
// Set-user-ID, set-group-ID and sticky bits are never carried, and no output
// gives its group more than the source gave the group it names: a group the
// process cannot give gets no more than others had.
class SourceAttributes {
 public:
  // Nothing to carry: the output keeps what its creation gave it.
  SourceAttributes() = default;

  // True when an output is to get anything (a regular file was examined).
  bool Carries() const { return carries; }

  // Gives the complete output open as `fd`, not yet in place, what can be
  // given there: on POSIX group, mode, owner and times (the owner and group
  // only where the process may); on Windows the times. 0 or the errno.
  int ApplyToOpen(int fd) const;
  // Gives the output in place under `name` what only a file in place can
  // take: the read-only attribute on Windows, nothing on POSIX. 0 or the
  // errno.
  int ApplyToPlaced(const std::string& name) const;

 private:
  friend Examined Examine(const std::string& name, OutputTimes times);

  bool carries = false;
  bool with_times = false;
  unsigned mode = 0;  // permission bits; on Windows 0444 for a read-only file, 0666 otherwise
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  // In the system's own units: nanoseconds since 1970 on POSIX, 100 ns
  // since 1601 on Windows.
  std::int64_t accessed = 0;
  std::int64_t modified = 0;
};

// One look at the file `name` leads to, following links: its kind and, for
// a regular file, its size and what an output gets from it (with `times`).
// A source is examined so once, and its kind, size and attributes all come
// from that one look (one stat; one handle opened without access on
// Windows).
struct Examined {
  FileStatus status;
  std::uint64_t size = 0;  // the size then, for a regular file
  SourceAttributes attributes;
};
Examined Examine(const std::string& name, OutputTimes times);

// Removes the name `name`. 0 or the errno.
int RemoveFile(const std::string& name);

// 0 when nothing in the file `name` itself keeps RemoveFile from removing
// it, or the errno RemoveFile would give: on Windows a read-only file is not
// removed (EACCES); on POSIX the directory decides, which RemoveFile reports.
int RemovalBlocked(const std::string& name);

}  // namespace huffman
