#include "codec/census.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <numeric>
#include <utility>

namespace huffman {

namespace {

// Up to this many values new in a block are each searched for on their own;
// more are found by one scan of the block.
constexpr int k_searched_values = 8;

}  // namespace

Histogram CountBytes(std::span<const std::uint8_t> block) {
  // Four partial histograms, so that runs of one byte value do not wait on
  // the same counter; 32 bits suffice within a piece of this size.
  Histogram counts{};
  constexpr std::size_t k_piece = std::size_t{1} << 30;
  for (std::size_t start = 0; start < block.size(); start += k_piece) {
    const auto piece = block.subspan(start, std::min(k_piece, block.size() - start));
    std::array<std::array<std::uint32_t, k_alphabet>, 4> partial{};
    const std::size_t grouped = piece.size() / 4 * 4;
    for (std::size_t i = 0; i < grouped; i += 4) {
      ++partial[0][piece[i]];
      ++partial[1][piece[i + 1]];
      ++partial[2][piece[i + 2]];
      ++partial[3][piece[i + 3]];
    }
    for (std::size_t i = grouped; i < piece.size(); ++i) ++partial[0][piece[i]];
    for (int value = 0; value < k_alphabet; ++value) {
      counts[value] += std::uint64_t{partial[0][value]} + partial[1][value] + partial[2][value] + partial[3][value];
    }
  }
  return counts;
}

void Census::Add(std::span<const std::uint8_t> block) {
  const bool complete = AddCounted(block, CountBytes(block));
  assert(complete);
  (void)complete;
}

bool Census::AddCounted(std::span<const std::uint8_t> block, const Histogram& block_counts) {
  FirstOccurrences found{};
  if (!FindNew(block, block_counts, found)) return false;
  AddFound(block_counts, block.size(), found);
  return true;
}

bool Census::FindNew(std::span<const std::uint8_t> block, const Histogram& block_counts,
                     FirstOccurrences& found) const {
  int new_values = 0;
  for (int value = 0; value < k_alphabet; ++value) {
    if (counts[value] == 0 && block_counts[value] != 0) ++new_values;
  }
  int& found_count = found.count;
  found_count = 0;
  if (new_values <= k_searched_values) {
    // A few new values, as a block after the first mostly holds: each is
    // found by a vectorised search, and they go in by where they were found.
    std::array<std::pair<std::size_t, std::uint8_t>, k_searched_values> at{};
    for (int value = 0; value < k_alphabet && found_count < new_values; ++value) {
      if (counts[value] != 0 || block_counts[value] == 0) continue;
      const void* first = std::memchr(block.data(), value, block.size());
      if (first == nullptr) return false;
      at[found_count++] = {static_cast<std::size_t>(static_cast<const std::uint8_t*>(first) - block.data()),
                           static_cast<std::uint8_t>(value)};
    }
    for (int k = 1; k < found_count; ++k) {
      for (int j = k; j > 0 && at[j - 1].first > at[j].first; --j) std::swap(at[j - 1], at[j]);
    }
    for (int k = 0; k < found_count; ++k) found.values[k] = at[k].second;
  } else {
    // Many: one scan that stops as soon as all of them are seen.
    std::array<bool, k_alphabet> seen{};
    for (std::size_t i = 0; found_count < new_values; ++i) {
      if (i == block.size()) return false;
      const std::uint8_t byte = block[i];
      if (counts[byte] == 0 && block_counts[byte] != 0 && !seen[byte]) {
        seen[byte] = true;
        found.values[found_count++] = byte;
      }
    }
  }
  return true;
}

void Census::AddFound(const Histogram& block_counts, std::uint64_t bytes, const FirstOccurrences& found) {
  for (int k = 0; k < found.count; ++k) {
    if (counts[found.values[k]] == 0) first_order[distinct++] = found.values[k];
  }
  for (int value = 0; value < k_alphabet; ++value) {
    assert(counts[value] != 0 || block_counts[value] == 0 ||
           std::find(found.values.begin(), found.values.begin() + found.count, value) !=
               found.values.begin() + found.count);
    counts[value] += block_counts[value];
  }
  total_bytes += bytes;
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

void SortByWeight(SymbolList& chars_List, int count_chars) {
  // Insertion sort with a strict comparison: stable, so equal weights keep
  // their slot order, exactly as repeated exchange passes leave them.
  for (int i = 1; i < count_chars; ++i) {
    for (int j = i; j > 0 && chars_List[k_weight_row][j - 1] > chars_List[k_weight_row][j]; --j) {
      for (auto& row : chars_List) std::swap(row[j - 1], row[j]);
    }
  }
}

void OrderSymbols(SymbolList& chars_List, int count_chars) {
  // Equal counts keep their first-occurrence order: the same stable order as
  // SortByWeight gives, found by sorting the slots' numbers rather than
  // exchanging whole columns, as the list is in no order yet.
  std::array<int, k_alphabet> order{};
  std::iota(order.begin(), order.begin() + count_chars, 0);
  const auto& weights = chars_List[k_weight_row];
  std::stable_sort(order.begin(), order.begin() + count_chars,
                   [&weights](int a, int b) { return weights[a] < weights[b]; });
  const SymbolList unordered = chars_List;
  for (int row = 0; row < k_rows; ++row) {
    for (int i = 0; i < count_chars; ++i) chars_List[row][i] = unordered[row][order[i]];
  }
  for (int i = 0; i < count_chars; ++i) chars_List[k_weight_row][i] += static_cast<std::uint64_t>(i);
}

}  // namespace huffman
