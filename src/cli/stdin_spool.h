// Compression of an input read in order: standard input, or a named pipe or
// descriptor (/dev/stdin, a process substitution's /dev/fd/N). A compressed
// file needs its whole source before its first byte (one tree per file, and
// the source is read twice: census, then coding), and such an input can be
// read only once. So it is held in memory up to a bound of a few MiB, and past
// the bound it is spilled to an unnamed temporary file and compressed from
// there: memory stays flat for any size, and nothing is left on disk on any
// exit. A file redirected to standard input needs none of this: it is read
// in place.
#pragma once

#include <ostream>
#include <string>

#include "huffman/codec.h"
#include "platform/fd_stream.h"

namespace huffman::cli {

struct SpooledCompression {
  CompressResult result;
  int read_error = 0;           // reading the input failed (errno)
  int spill_error = 0;          // the temporary file could not be made or written
  std::string spill_directory;  // where it was to be made, with spill_error
};

// `input` reads the descriptor `fd` from where it stands; `rereadable` when
// it is a regular file read from its start, which is compressed in place.
SpooledCompression CompressInOrder(Codec& codec, FdInputStream& input, int fd, bool rereadable,
                                   std::ostream& compressed, const ProgressFn& progress,
                                   const CompressOptions& options);

}  // namespace huffman::cli
