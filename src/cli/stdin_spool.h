// Compression of standard input. A compressed file needs its whole source
// before its first byte (one tree per file, and the source is read twice:
// census, then coding), and standard input can be read only once. So the
// input is held in memory up to a bound of a few MiB, and past the bound it
// is spilled to an unnamed temporary file and compressed from there: memory
// stays flat for any size, and nothing is left on disk on any exit. A file
// redirected to standard input needs none of this: it is read in place.
#pragma once

#include <ostream>

#include "codec/operations.h"

namespace huffman::cli {

struct SpooledCompression {
  CompressResult result;
  int read_error = 0;   // reading standard input failed (errno)
  int spill_error = 0;  // the temporary file could not be made or written
};

SpooledCompression CompressStandardInput(std::ostream& compressed, const ProgressFn& progress);

}  // namespace huffman::cli
