// Whether two names reach the same file, by any path or link: an output must
// never be the file its operation is reading.
#pragma once

#include <string>

namespace huffman {

// True when both names exist and are one file.
bool SameFile(const std::string& first, const std::string& second);

}  // namespace huffman
