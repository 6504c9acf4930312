#include "codec/code_table.h"

#include <cassert>

namespace huffman {

namespace {

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

std::uint64_t PayloadBits(const CodeTable& codes, const Census& census) {
  std::uint64_t bits = 0;
  for (int value = 0; value < k_alphabet; ++value) {
    bits += census.Count(value) * static_cast<std::uint64_t>(codes[value].length);
  }
  return bits;
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

}  // namespace huffman
