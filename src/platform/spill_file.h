// A temporary file with no name, under TMPDIR (or /tmp): it is unnamed from
// the moment it exists, so no exit, a signal or a crash included, can leave it
// behind. The command line spills an input read in order (standard input, a
// pipe) into it when the input is too large to hold in memory, and reads it
// back (twice) from the start.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "platform/fd_stream.h"

namespace huffman {

class SpillFile {
 public:
  SpillFile();
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;

  bool IsOpen() const { return fd >= 0; }
  // The errno of a failed creation or of the last failed write.
  int Error() const { return error; }
  // The directory the file is made in, for messages.
  const std::string& Directory() const { return directory; }

  // Appends the bytes; false (and Error() set) when the disk refuses them.
  bool Append(std::span<const char> bytes);

  // Appends everything left on the descriptor `input`, moved by the kernel
  // where it can (a pipe's pages spliced into the file, no copy through the
  // program). 0, or the errno of the read (`read_failed` set) or of the write.
  int AppendFrom(int input, bool& read_failed);

  // The file read from its start; valid while this value lives.
  FdInputStream& Reader();

 private:
  // Copies `input` to its end into the file: 0, or the errno of the read
  // (`read_failed` set) or of the write.
  int CopyFrom(int input, bool& read_failed);

  std::string directory;
  int fd = -1;
  int error = 0;
  std::unique_ptr<FdInputStream> reader;
};

}  // namespace huffman
