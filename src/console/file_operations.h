// The two operations of the menu, from the prompt for the new name to the
// closing key wait: CompressFile (choice 1) and DeCompressFile (choice 2).
// They own the dialogue around a file job (jobs/runs.h, which opens the
// chosen file and writes the new one atomically): the checks of the new
// name, and turning the job's failure into the screen the user sees. The new
// file is the typed name with ".txt" appended, in the working directory.
#pragma once

#include <string>

#include "huffman/codec.h"

namespace huffman {

// Each runs `codec`, which the menu makes once for the whole run, and
// returns after the closing key press, true when the caller is to open a new
// menu level, false when the input ended during the dialogue.
[[nodiscard]] bool CompressFile(Codec& codec, const std::string& file_Name);
[[nodiscard]] bool DeCompressFile(Codec& codec, const std::string& file_Name);

}  // namespace huffman
