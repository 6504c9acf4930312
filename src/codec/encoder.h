// The encoder: each byte value's code is found once, by the leaf search and
// single upward pass over the record table, and kept in a 256-entry table
// from which emission is a shift and an OR per byte.  The padding of the last
// byte is chosen so that it never completes a code on decoding.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/bit_writer.h"
#include "codec/census.h"
#include "codec/format.h"

namespace huffman {

inline constexpr int k_max_code_bits = 255;
inline constexpr int k_code_words = 4;
static_assert(k_code_words * 64 >= k_max_code_bits);

// A code root first: bit 0 of the code is bit 63 of words[0].
struct Code {
  std::array<std::uint64_t, k_code_words> words{};
  int length = 0;  // 0: the value has no leaf in the tree

  int Bit(int index) const { return static_cast<int>(words[index / 64] >> (63 - index % 64)) & 1; }
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

// Everything the encoder needs before the second pass over the source: the
// renumbered tree (with the dead-end record where needed), the code of every
// value, and the padding of the last byte.
struct TreePlan {
  RecordTable table;
  CodeTable codes{};
  Padding padding;
};
TreePlan PlanTree(const Census& census);

// Emits codes from a table built once per file.  Each entry packs a code of
// up to 56 bits with its length (see Encoder::Encoder), so emission is one
// load, a shift and an OR per byte; longer codes (only on very skewed
// sources) take a slower path.
class Encoder {
 public:
  // `source_bytes` is the size of the whole source: a large one pays for a
  // table of byte pairs.
  Encoder(const CodeTable& codes, std::uint64_t source_bytes);

  // Appends the codes of `source` to `writer`.  Returns false if a byte had
  // no code: the source is not what the census saw.  Safe to call from two
  // threads at once with different writers.
  bool Encode(std::span<const std::uint8_t> source, BitWriter& writer) const;

 private:
  template <int k_codes_per_flush, bool k_pairs>
  bool EncodeShort(std::span<const std::uint8_t> source, BitWriter& writer) const;
  bool EncodeLong(std::span<const std::uint8_t> source, BitWriter& writer) const;

  const CodeTable& codes;
  std::array<std::uint64_t, k_alphabet> entries{};
  // Two bytes' codes in one entry, indexed by the pair as a little-endian
  // 16-bit number; only where both codes together fit an entry.
  std::unique_ptr<std::uint64_t[]> pair_entries;
  int max_length = 0;
};

}  // namespace huffman
