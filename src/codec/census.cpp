#include "codec/census.h"

#include <cassert>

namespace huffman {

void Census::Add(std::span<const std::uint8_t> block) {
  // Histogram first: the hot loop has no branch.  Values new in this block
  // are then found by one scan that stops as soon as all of them are seen,
  // which for most sources happens within the first block.
  // Four partial histograms, so that runs of one byte value do not wait on
  // the same counter; 32 bits suffice within a block of this size.
  assert(block.size() < (std::size_t{1} << 32));
  std::array<std::array<std::uint32_t, k_alphabet>, 4> partial{};
  const std::size_t grouped = block.size() / 4 * 4;
  for (std::size_t i = 0; i < grouped; i += 4) {
    ++partial[0][block[i]];
    ++partial[1][block[i + 1]];
    ++partial[2][block[i + 2]];
    ++partial[3][block[i + 3]];
  }
  for (std::size_t i = grouped; i < block.size(); ++i) ++partial[0][block[i]];
  const auto before = counts;
  for (int value = 0; value < k_alphabet; ++value) {
    counts[value] += std::uint64_t{partial[0][value]} + partial[1][value] + partial[2][value] + partial[3][value];
  }
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
