// The table of -l on standard output: a header line, one row per file
// (compressed and original sizes in bytes, the ratio as the space saved,
// the byte values in the tree, the dictionary's size, whether the file
// carries check data, the name), with -v
// each file's code table under its row, and a totals row when more than one
// file was listed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "huffman/codec.h"

namespace huffman::cli {

struct ListRow {
  std::uint64_t compressed_bytes = 0;
  std::uint64_t original_bytes = 0;
  int leaves = 0;
  std::uint64_t dictionary_bytes = 0;
  bool checked = false;  // the file carries check data
  std::string shown_name;
};

class ListTable {
 public:
  explicit ListTable(bool listing_codes) : with_codes(listing_codes) {}

  // Prints the row (after the header, the first time), and the code table
  // under it when asked for.
  void Add(const ListRow& row, const std::vector<CodeEntry>& codes);
  // Prints the totals row when more than one row was printed.
  void Finish() const;

 private:
  bool with_codes;
  int rows = 0;
  ListRow totals;
};

// A byte value as the code table shows it: 0x21-0x7E as itself, any other
// (space and backslash included) as \xNN.
std::string ByteText(std::uint8_t value);

}  // namespace huffman::cli
