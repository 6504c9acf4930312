#include "codec/census.h"

#include <cassert>

namespace huffman {

void Census::Add(std::span<const std::uint8_t> block) {
  // Histogram first: the hot loop has no branch.  Values new in this block
  // are then found by one scan that stops as soon as all of them are seen,
  // which for most sources happens within the first block.
  const auto before = counts;
  for (const std::uint8_t byte : block) ++counts[byte];
  total_bytes += block.size();

  int new_values = 0;
  for (int value = 0; value < k_alphabet; ++value) {
    if (before[value] == 0 && counts[value] != 0) ++new_values;
  }
  std::array<bool, k_alphabet> seen{};
  for (std::size_t i = 0; new_values > 0; ++i) {
    assert(i < block.size());
    const std::uint8_t byte = block[i];
    if (before[byte] == 0 && !seen[byte]) {
      seen[byte] = true;
      first_order[distinct++] = byte;
      --new_values;
    }
  }
}

SymbolList MakeSymbolList(const Census& census, int& count_chars) {
  SymbolList chars_List{};
  count_chars = census.DistinctValues();
  for (int i = 0; i < count_chars; ++i) {
    const std::uint8_t value = census.FirstOccurrence()[i];
    chars_List[k_kind_row][i] = k_leaf;
    chars_List[k_value_row][i] = value;
    chars_List[k_weight_row][i] = census.Count(value);
  }
  return chars_List;
}

void OrderSymbols(SymbolList& chars_List, int count_chars) {
  // Insertion sort with a strict comparison: stable, so equal counts keep
  // their first-occurrence order, exactly as repeated exchange passes do.
  for (int i = 1; i < count_chars; ++i) {
    for (int j = i; j > 0 && chars_List[k_weight_row][j - 1] > chars_List[k_weight_row][j]; --j) {
      for (auto& row : chars_List) std::swap(row[j - 1], row[j]);
    }
  }
  for (int i = 0; i < count_chars; ++i) chars_List[k_weight_row][i] += static_cast<std::uint64_t>(i);
}

}  // namespace huffman
