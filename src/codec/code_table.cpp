#include "codec/code_table.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace huffman {

namespace {

// What the leaf search and the upward pass find, found once per table: the
// first leaf of each byte value (0-side before 1-side, records in ascending
// order), and for each record the step the upward pass takes from it: the
// first real record after it with an inner side that names its label (the
// 0-side where both do), or none at the root. The pass from a record depends
// on that record alone, so a code then costs one step per bit.
class CodeIndex {
 public:
  explicit CodeIndex(const RecordTable& table) {
    const auto& zero_Table = table.zero_Table;
    const auto& one_Table = table.one_Table;
    for (int i = 0; i < table.created_nodes; ++i) {
      for (const auto* side : {&zero_Table, &one_Table}) {
        const std::uint64_t value = (*side)[k_value_row][i];
        if ((*side)[k_kind_row][i] == k_leaf && value < k_alphabet && leaves[value].record < 0) {
          leaves[value] = {.record = i, .bit = side == &one_Table ? 1 : 0};
        }
      }
    }
    // Every inner side of a real record, by the label it names, then by record.
    std::array<Step, 2 * k_max_records> references{};
    std::array<std::uint64_t, 2 * k_max_records> named{};
    int count = 0;
    for (int i = 0; i <= table.created_nodes - 2; ++i) {
      const bool zero_inner = zero_Table[k_kind_row][i] == k_inner;
      if (zero_inner) references[count++] = {.record = i, .bit = 0};
      if (one_Table[k_kind_row][i] == k_inner &&
          !(zero_inner && zero_Table[k_value_row][i] == one_Table[k_value_row][i])) {
        references[count++] = {.record = i, .bit = 1};
      }
    }
    auto label = [&](const Step& step) {
      return (step.bit == 0 ? zero_Table : one_Table)[k_value_row][static_cast<std::size_t>(step.record)];
    };
    std::sort(references.begin(), references.begin() + count, [&](const Step& a, const Step& b) {
      return label(a) != label(b) ? label(a) < label(b) : a.record < b.record;
    });
    for (int k = 0; k < count; ++k) named[k] = label(references[k]);
    for (int i = 0; i < table.created_nodes; ++i) {
      const std::uint64_t own = zero_Table[k_id_row][i];
      const auto* first = std::lower_bound(named.data(), named.data() + count, own);
      for (auto k = first - named.data(); k < count && named[k] == own; ++k) {
        if (references[k].record > i) {
          up[i] = references[k];
          break;
        }
      }
    }
  }

  Code Of(int selected_char) const {
    const Step leaf = leaves[static_cast<std::size_t>(selected_char)];
    if (leaf.record < 0) return Code{};
    // Bits leaf end first, as the upward pass collects them: count them,
    // then set each from the code's end.
    int length = 1;
    for (int i = leaf.record; up[i].record >= 0; i = up[i].record) ++length;
    assert(length <= k_max_code_bits);
    Code code;
    code.length = length;
    int position = length - 1;
    SetBit(code, position--, leaf.bit);
    for (int i = leaf.record; up[i].record >= 0; i = up[i].record) SetBit(code, position--, up[i].bit);
    return code;
  }

 private:
  struct Step {
    int record = -1;  // -1: none
    int bit = 0;
  };

  static void SetBit(Code& code, int position, int bit) {
    assert(position >= 0 && position < k_max_code_bits);
    const auto at = static_cast<unsigned>(position);
    if (bit != 0) code.words[at / 64] |= std::uint64_t{1} << (63 - at % 64);
  }

  std::array<Step, k_alphabet> leaves{};
  std::array<Step, k_max_records> up{};
};

}  // namespace

Code LookUpCode(const RecordTable& table, int selected_char) { return CodeIndex(table).Of(selected_char); }

CodeTable MakeCodeTable(const RecordTable& table, const Census& census) {
  const CodeIndex index(table);
  CodeTable codes{};
  for (int i = 0; i < census.DistinctValues(); ++i) {
    const int value = census.FirstOccurrence()[i];
    codes[value] = index.Of(value);
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
