#include "codec/encoder.h"

#include <algorithm>
#include <cassert>

#include "codec/tree.h"

namespace huffman {

namespace {

// Source bytes per borrowed output window: the window stays below the sink's
// capacity even for 255-bit codes.
constexpr std::size_t k_encode_chunk = 16 * 1024;
// Sources from this size on are coded two bytes per table lookup.
constexpr std::uint64_t k_pair_table_source_bytes = 1 << 20;

void AppendBit(Code& code, int bit) {
  assert(code.length < k_max_code_bits);
  if (bit != 0) code.words[code.length / 64] |= std::uint64_t{1} << (63 - code.length % 64);
  ++code.length;
}

}  // namespace

Code LookUpCode(const RecordTable& table, int selected_char) {
  const auto& zero_Table = table.zero_Table;
  const auto& one_Table = table.one_Table;
  const int created_nodes = table.created_nodes;
  const auto x = static_cast<std::uint64_t>(selected_char);

  std::uint64_t selected_node = 0;
  int counted_node = -1;
  int actual_bit = 0;
  for (int i = 0; i < created_nodes && counted_node < 0; ++i) {
    if (zero_Table[k_kind_row][i] == k_leaf && zero_Table[k_value_row][i] == x) {
      actual_bit = 0;
    } else if (one_Table[k_kind_row][i] == k_leaf && one_Table[k_value_row][i] == x) {
      actual_bit = 1;
    } else {
      continue;
    }
    selected_node = zero_Table[k_id_row][i];
    counted_node = i;
  }
  if (counted_node < 0) return Code{};

  // Bits leaf end first, as the upward pass collects them.
  std::array<int, k_max_code_bits + 1> char_bufor{};
  int char_bufor_counter = 0;
  char_bufor[char_bufor_counter++] = actual_bit;
  for (int i = counted_node + 1; i <= created_nodes - 2; ++i) {
    if (zero_Table[k_kind_row][i] == k_inner && zero_Table[k_value_row][i] == selected_node) {
      char_bufor[char_bufor_counter++] = 0;
    } else if (one_Table[k_kind_row][i] == k_inner && one_Table[k_value_row][i] == selected_node) {
      char_bufor[char_bufor_counter++] = 1;
    } else {
      continue;
    }
    selected_node = zero_Table[k_id_row][i];
  }

  Code code;
  for (int k = char_bufor_counter - 1; k >= 0; --k) AppendBit(code, char_bufor[k]);
  return code;
}

CodeTable MakeCodeTable(const RecordTable& table, const Census& census) {
  CodeTable codes{};
  for (int i = 0; i < census.DistinctValues(); ++i) {
    const int value = census.FirstOccurrence()[i];
    codes[value] = LookUpCode(table, value);
  }
  return codes;
}

int PaddingBits(const CodeTable& codes, const Census& census) {
  // Only the bit count modulo 8 matters, so no product can overflow.
  std::uint64_t bits_mod_8 = 0;
  for (int value = 0; value < k_alphabet; ++value) {
    bits_mod_8 += (census.Count(value) % 8) * static_cast<std::uint64_t>(codes[value].length % 8);
  }
  return static_cast<int>((8 - bits_mod_8 % 8) % 8);
}

int HarmlessPadding(const CodeTable& codes, int padding_bits) {
  assert(padding_bits >= 1 && padding_bits <= 7);
  for (int candidate = 0; candidate < (1 << padding_bits); ++candidate) {
    bool completes_a_code = false;
    for (const Code& code : codes) {
      if (code.length == 0 || code.length > padding_bits) continue;
      const auto prefix = static_cast<std::uint64_t>(candidate) >> (padding_bits - code.length);
      if (prefix == code.words[0] >> (64 - code.length)) {
        completes_a_code = true;
        break;
      }
    }
    if (!completes_a_code) return candidate;
  }
  return -1;
}

Padding ChoosePadding(const CodeTable& codes, const Census& census) {
  Padding padding;
  padding.bits = PaddingBits(codes, census);
  if (padding.bits == 0) return padding;
  padding.value = HarmlessPadding(codes, padding.bits);
  padding.harmless = padding.value >= 0;
  return padding;
}

// Ordering, tree and renumbering; then the dead-end record where the last
// byte's padding could not otherwise avoid completing a code, and always for
// a single byte value, which would otherwise leave no record to decode with.
TreePlan PlanTree(const Census& census) {
  int count_chars = 0;
  SymbolList chars_List = MakeSymbolList(census, count_chars);
  OrderSymbols(chars_List, count_chars);
  TreePlan plan;
  BuildTree(chars_List, count_chars, plan.table);
  Renumber(plan.table, count_chars);
  plan.codes = MakeCodeTable(plan.table, census);
  plan.padding = ChoosePadding(plan.codes, census);
  if (count_chars == 1 || !plan.padding.harmless) {
    AddDeadEndRecord(plan.table);
    plan.codes = MakeCodeTable(plan.table, census);
    plan.padding = ChoosePadding(plan.codes, census);
  }
  return plan;
}

// Entry layout: bits 0..5 the code's length, bit 7 set for a byte value the
// census never saw (which then emits one harmless 0 bit, as the result is
// discarded), bits 8..63 the code right-aligned.  The length sits lowest so
// that a shift by the whole entry shifts by the length, and a bit count kept
// modulo 64 can add the whole entry.
constexpr std::uint64_t k_unknown_flag = 1 << 7;

Encoder::Encoder(const CodeTable& codes, std::uint64_t source_bytes) : codes(codes) {
  for (int value = 0; value < k_alphabet; ++value) {
    const Code& code = codes[value];
    max_length = std::max(max_length, code.length);
    if (code.length == 0) {
      entries[value] = k_unknown_flag | 1;
    } else if (code.length <= 56) {
      entries[value] = (code.words[0] >> (64 - code.length)) << 8 | static_cast<std::uint64_t>(code.length);
    }
  }
  // The pair table costs about as much to build as coding 64 KiB.
  if (source_bytes < k_pair_table_source_bytes || 2 * max_length > 56) return;
  pair_entries = std::make_unique<std::uint64_t[]>(k_alphabet * k_alphabet);
  for (int first = 0; first < k_alphabet; ++first) {
    for (int second = 0; second < k_alphabet; ++second) {
      const std::uint64_t a = entries[first];
      const std::uint64_t b = entries[second];
      const std::uint64_t length = (a & 63) + (b & 63);
      const std::uint64_t bits = (a >> 8) << (b & 63) | b >> 8;
      pair_entries[first | second << 8] = bits << 8 | length | ((a | b) & k_unknown_flag);
    }
  }
}

bool Encoder::Encode(std::span<const std::uint8_t> source, BitWriter& writer) const {
  // Up to k_codes_per_flush codes (or pairs of codes) are added before the
  // whole bytes are written: 7 pending bits plus that many must fit in 63.
  if (pair_entries != nullptr) {
    if (max_length <= 14) return EncodeShort<2, true>(source, writer);
    return EncodeShort<1, true>(source, writer);
  }
  if (max_length <= 14) return EncodeShort<4, false>(source, writer);
  if (max_length <= 18) return EncodeShort<3, false>(source, writer);
  if (max_length <= 28) return EncodeShort<2, false>(source, writer);
  if (max_length <= 56) return EncodeShort<1, false>(source, writer);
  return EncodeLong(source, writer);
}

template <int k_codes_per_flush, bool k_pairs>
bool Encoder::EncodeShort(std::span<const std::uint8_t> source, BitWriter& writer) const {
  constexpr int k_step = k_pairs ? 2 : 1;  // source bytes per entry
  std::uint64_t unknown = 0;
  for (std::size_t start = 0; start < source.size(); start += k_encode_chunk) {
    const std::size_t length = std::min(k_encode_chunk, source.size() - start);
    const std::uint8_t* in = source.data() + start;
    const std::uint8_t* const in_end = in + length;
    const std::uint8_t* const grouped_end = in + length / (k_step * k_codes_per_flush) * (k_step * k_codes_per_flush);
    BitCursor c = writer.Borrow(length * static_cast<std::size_t>(max_length) / 8 + 8);

    // Here the pending bits sit at the low end of `pending`, the newest
    // lowest, so adding a code needs no position arithmetic; `count` is their
    // number modulo 64 (never above 63).
    std::uint8_t* out = c.out;
    std::uint64_t count = static_cast<std::uint64_t>(c.writing_remain);
    std::uint64_t pending = count == 0 ? 0 : c.writing_bufor >> (64 - count);
    auto add_entry = [&](std::uint64_t e) {
      unknown |= e;
      pending = pending << (e & 63) | e >> 8;
      count += e;
    };
    auto flush = [&] {
      const std::uint64_t valid = count & 63;  // at least 1: a code was just added
      StoreBigEndian64(out, pending << (64 - valid));
      out += valid >> 3;
      count = valid & 7;
    };
    for (; in < grouped_end; in += k_step * k_codes_per_flush) {
      for (int k = 0; k < k_codes_per_flush; ++k) {
        if constexpr (k_pairs) {
          add_entry(pair_entries[in[2 * k] | in[2 * k + 1] << 8]);
        } else {
          add_entry(entries[in[k]]);
        }
      }
      flush();
    }
    for (; in < in_end; ++in) {
      add_entry(entries[*in]);
      flush();
    }

    c.out = out;
    c.writing_remain = static_cast<int>(count);
    c.writing_bufor = count == 0 ? 0 : pending << (64 - count);
    writer.GiveBack(c);
  }
  return (unknown & k_unknown_flag) == 0;
}

bool Encoder::EncodeLong(std::span<const std::uint8_t> source, BitWriter& writer) const {
  bool all_known = true;
  for (std::size_t start = 0; start < source.size(); start += k_encode_chunk) {
    const std::size_t length = std::min(k_encode_chunk, source.size() - start);
    BitCursor c = writer.Borrow(length * static_cast<std::size_t>(max_length) / 8 + 8);
    for (const std::uint8_t byte : source.subspan(start, length)) {
      const Code& code = codes[byte];
      all_known &= code.length != 0;
      // Pieces of at most 32 bits, each within one 64-bit word of the code.
      for (int piece = 0; piece < code.length; piece += 32) {
        const int count = std::min(code.length - piece, 32);
        PutBits(c, (code.words[piece / 64] << (piece % 64)) >> (64 - count), count);
      }
    }
    writer.GiveBack(c);
  }
  return all_known;
}

}  // namespace huffman
