// One input through one operation: the checks before anything is opened
// (the input's kind, the output's name, a terminal at either end, an
// existing output, the same file at both ends), the file job (jobs/runs.h:
// the input opened once, the codec run into a temporary output put in place
// with the input's permission bits and times), and what follows a complete
// output (--rm, the -v line). Each words its own errors and returns whether
// the input succeeded; the caller goes on with the next.
#pragma once

#include <string>

#include "cli/list_table.h"
#include "cli/options.h"
#include "huffman/codec.h"

namespace huffman::cli {

// Each runs `codec`, which the caller makes once for every input.
bool CompressOne(Codec& codec, const Preferences& preferences, const std::string& operand);
bool DecompressOne(Codec& codec, const Preferences& preferences, const std::string& operand);
bool TestOne(Codec& codec, const Preferences& preferences, const std::string& operand);
// Adds the input's row to `table`, which prints it.
bool ListOne(Codec& codec, const Preferences& preferences, const std::string& operand, ListTable& table);

}  // namespace huffman::cli
