// What the command line learns about a named file before it reads or
// replaces it, and what it carries over from a source to its output: the
// permission bits and the times, as the everyday compressors do. Symbolic
// links are followed where a file is read, not where one is replaced.
#pragma once

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

// Gives `target` the permission bits and the access and modification times
// of `source`. 0 or the errno.
int CopyModeAndTimes(const std::string& source, const std::string& target);

// Removes the name `name`. 0 or the errno.
int RemoveFile(const std::string& name);

// Runs with new files created readable by their owner only, until the value
// ends: an output holding a private source's data is never readable by others
// before it gets the source's permission bits.
class PrivateNewFiles {
 public:
  PrivateNewFiles();
  ~PrivateNewFiles();
  PrivateNewFiles(const PrivateNewFiles&) = delete;
  PrivateNewFiles& operator=(const PrivateNewFiles&) = delete;

 private:
  unsigned saved_mask_;
};

}  // namespace huffman
