// The literal algorithms, kept as the reference the fast paths are checked
// against: the encoder looks each source byte's code up again in the record
// table and packs it a bit at a time through an 8-bit pending buffer; the
// decoder searches the records for every single payload bit.
#pragma once

#include <string>

namespace huffman::reference {

// The compressed file for `source`, byte for byte as the program writes it.
std::string LiteralCompress(const std::string& source);

// What the record walk restores from any byte string.
std::string LiteralDecompress(const std::string& compressed);

}  // namespace huffman::reference
