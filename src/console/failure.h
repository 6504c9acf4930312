// Why an operation did not produce its file, as a value: the operations
// return it, and DescribeFailure alone turns it into the line the user reads
// (Polish without diacritics, naming the file concerned, with the characters
// a terminal would act on escaped).
#pragma once

#include <cstdint>
#include <string>

#include "huffman/codec.h"

namespace huffman {

enum class FailureKind {
  bad_name,        // the new name would leave the working directory ('/', NUL)
  same_as_source,  // the new file would be the chosen file itself
  not_a_file,      // the chosen entry is a device, a pipe or a socket
  cannot_read,     // the chosen file could not be opened or read
  cannot_write,    // the new file could not be created, written or put in place
  source_changed,  // the chosen file changed while it was being compressed
  not_compressed,  // the chosen file is not a compressed file, or is damaged (`fault` says how)
  damaged,         // the chosen file's check data disagrees with it (`damage` says how)
  out_of_memory,   // the operation ran out of memory
};

struct Failure {
  FailureKind kind;
  std::string file;                       // the name concerned, as the user knows it
  int error = 0;                          // the system's errno, or 0 when there is none to tell
  FormatFault fault = FormatFault::none;  // the check a file to restore failed
  Damage damage = Damage::none;           // with damaged
  std::uint64_t damaged_from = 0;         // original bytes, inclusive, for content and length
  std::uint64_t damaged_to = 0;
};

// One line, without a line end.
std::string DescribeFailure(const Failure& failure);

}  // namespace huffman
