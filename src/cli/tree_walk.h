// The files -r takes below a directory operand: every regular file in the
// tree, sorted by name within each directory so the order is the same on
// every run, without following symbolic links (a link met in the tree is
// skipped, so nothing outside the tree is reached and nothing is met twice).
// Which files an operation takes is decided here by their suffix.
#pragma once

#include <functional>
#include <string>

#include "cli/options.h"

namespace huffman::cli {

// Calls `process` with the name of each file below `directory` that the
// operation takes: when compressing, files whose names do not end in the
// suffix; otherwise those whose names end in it after something else. The
// rest is skipped (with -v, one line each). A directory that cannot be read
// is reported and the walk goes on. Returns false when any directory could
// not be read or any `process` returned false.
bool ProcessTree(const Preferences& preferences, const std::string& directory,
                 const std::function<bool(const std::string&)>& process);

}  // namespace huffman::cli
