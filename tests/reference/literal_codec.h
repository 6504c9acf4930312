// The literal algorithms, the reference the fast paths are checked against,
// written the plain slow way and sharing no code with the program: census
// by scanning the entries, ordering and every merge pass by full exchange
// passes, the quadratic renumbering, the dead-end record, the dictionary
// written and read byte by byte; the encoder looks each source byte's code
// up as a bit string and packs it a bit at a time through an 8-bit pending
// buffer; the decoder searches the records for every single payload bit.
#pragma once

#include <string>

namespace huffman::reference {

// The compressed file for `source`, byte for byte as the program writes it.
std::string LiteralCompress(const std::string& source);

// What the record walk restores from any byte string.
std::string LiteralDecompress(const std::string& compressed);

}  // namespace huffman::reference
