// The code of each byte value, found once per file by the leaf search and a
// single upward pass over the record table (through an index of the table
// made once, so a code costs a lookup per bit), and the bits that close the
// last payload byte, chosen so that on decoding they never complete a code.
// The tree plan (tree.h) builds both; the encoder emits from the table.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/code_table.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>

#include "codec/census.h"
#include "codec/format.h"

namespace huffman {

// A code has at most one bit per written record.
inline constexpr int k_max_code_bits = k_max_written_records;
inline constexpr int k_code_words = 4;
static_assert(k_code_words * 64 >= k_max_code_bits);

// A code root first: bit 0 of the code is bit 63 of words[0].
struct Code {
  std::array<std::uint64_t, k_code_words> words{};
  int length = 0;  // 0: the value has no leaf in the tree
};

using CodeTable = std::array<Code, k_alphabet>;

// The code of `selected_char`: the first leaf holding it (0-side before 1-side,
// the extra record included), then one ascending pass over the real records
// collecting the edge bits up to the root.
Code LookUpCode(const RecordTable& table, int selected_char);

// Codes of every value the census saw; the others keep length 0.
CodeTable MakeCodeTable(const RecordTable& table, const Census& census);

// Zero bits the last payload byte needs: 0 to 7.
int PaddingBits(const CodeTable& codes, const Census& census);

// The bits the census's bytes code to (modulo 2^64, far beyond any source).
std::uint64_t PayloadBits(const CodeTable& codes, const Census& census);

// The smallest `padding_bits`-bit string (as a number) that no code is a
// prefix of, or -1 if every such string completes a code.
int HarmlessPadding(const CodeTable& codes, int padding_bits);

// The bits that close the last payload byte.  `harmless` is false when every
// string of that length completes a code (a tree too shallow for it).
struct Padding {
  int bits = 0;
  int value = 0;
  bool harmless = true;
};
Padding ChoosePadding(const CodeTable& codes, const Census& census);

}  // namespace huffman
