#include "codec/decoder.h"

namespace huffman {

namespace {

int RootLabel(const DictionaryTable& table) {
  const int n = table.dictionary_lenght;
  return n >= 1 ? table.zero_Table[k_id_row][n - 1] : 0;
}

}  // namespace

RecordWalk::RecordWalk(const DictionaryTable& table)
    : table(table), current_node(RootLabel(table)), checking_node(table.dictionary_lenght - 1) {}

void RecordWalk::Decode(std::span<const std::uint8_t> payload, std::vector<std::uint8_t>& restored) {
  for (const std::uint8_t byte : payload) {
    for (int position = 7; position >= 0; --position) DecodeBit((byte >> position) & 1, restored);
  }
}

void RecordWalk::DecodeBit(int bit, std::vector<std::uint8_t>& restored) {
  const auto& side = bit == 0 ? table.zero_Table : table.one_Table;
  for (int j = checking_node; j >= 0; --j) {
    if (side[k_id_row][j] != current_node) continue;
    if (side[k_kind_row][j] == 1) {
      current_node = side[k_value_row][j];
      checking_node = j - 1;
      return;
    }
    if (side[k_kind_row][j] == 0) {
      restored.push_back(static_cast<std::uint8_t>(side[k_value_row][j]));
      checking_node = table.dictionary_lenght - 1;
      current_node = RootLabel(table);
      return;
    }
  }
}

}  // namespace huffman
