// The census counts every byte value of a source and remembers the order in
// which the values first occur; the ordering then sorts the symbol list
// stably by count and raises each count by its position.  The raise keeps
// all weights distinct, which the tree builder's tie-breaks depend on.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/census.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>
#include <span>

#include "codec/format.h"

namespace huffman {

inline constexpr int k_alphabet = 256;
inline constexpr int k_weight_row = 2;  // the symbol list's third row

// chars_List: rows as in the record table (kind, value, weight), one column
// per entry.  A weight of 0 marks an entry already taken into the tree.
using SymbolList = SideTable<std::uint64_t>;

using Histogram = std::array<std::uint64_t, k_alphabet>;

// How often each byte value occurs in `block`.  Pure, so separate pieces can
// be counted on separate threads.
Histogram CountBytes(std::span<const std::uint8_t> block);

// Values a block holds that a census had not met, in the order they first
// occur in the block.  Left uninitialised until FindNew fills it.
struct FirstOccurrences {
  std::array<std::uint8_t, k_alphabet> values;
  int count;
};

class Census {
 public:
  // Counts one block of the source; blocks must come in source order.
  void Add(std::span<const std::uint8_t> block);
  // The same for a block already counted by CountBytes.  False, and the
  // census unchanged, if the block lacks a value the counts hold (it was
  // read again and read differently).
  bool AddCounted(std::span<const std::uint8_t> block, const Histogram& block_counts);

  // The values `block_counts` holds that the census has not met, in the
  // order they first occur in `block`; false if the block lacks one.  It
  // only reads the census, so blocks can be searched on several threads
  // while none is added.
  bool FindNew(std::span<const std::uint8_t> block, const Histogram& block_counts, FirstOccurrences& found) const;
  // Adds a block of `bytes` bytes, counted by CountBytes, in source order:
  // `found` is what FindNew gave for it at any time before (values met since
  // are passed over).
  void AddFound(const Histogram& block_counts, std::uint64_t bytes, const FirstOccurrences& found);

  std::uint64_t TotalBytes() const { return total_bytes; }
  int DistinctValues() const { return distinct; }
  std::uint64_t Count(int value) const { return counts[value]; }
  // Byte values in order of first occurrence, DistinctValues() of them.
  const std::array<std::uint8_t, k_alphabet>& FirstOccurrence() const { return first_order; }

 private:
  Histogram counts{};
  std::array<std::uint8_t, k_alphabet> first_order{};
  int distinct = 0;
  std::uint64_t total_bytes = 0;
};

// The symbol list in first-occurrence order, each weight the value's count.
// Returns count_chars through the out parameter.
SymbolList MakeSymbolList(const Census& census, int& count_chars);

// Stable ascending sort of entries 0..count_chars-1 by weight, whole columns
// moved: the result of repeated full exchange passes with a strict
// comparison, which the ordering and every merge pass of the tree use.
void SortByWeight(SymbolList& chars_List, int count_chars);

// Stable ascending sort by weight, then weight(i) += i.
void OrderSymbols(SymbolList& chars_List, int count_chars);

}  // namespace huffman
