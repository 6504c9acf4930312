// The decoder walks the records downwards from the root's record, one bit at
// a time, exactly as any dictionary dictates: well-formed or not, kinds other
// than leaf and inner never match, labels that link nowhere leave a bit
// without effect, and the walk's state carries across payload blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/format.h"

namespace huffman {

class RecordWalk {
 public:
  explicit RecordWalk(const DictionaryTable& table);

  // Decodes every bit of `payload`, bit 7 first, appending reached leaves.
  void Decode(std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& restored);

 private:
  void DecodeBit(int bit, std::vector<std::uint8_t>& restored);

  const DictionaryTable& table;
  int current_node = 0;   // label of the node where the walk stands
  int checking_node = -1; // highest record index still to be searched
};

}  // namespace huffman
