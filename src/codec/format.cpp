#include "codec/format.h"

#include <cassert>
#include <vector>

namespace huffman {

namespace {

void WriteSides(const SideTable<std::uint64_t>& side, int record_count, std::vector<std::uint8_t>& bytes) {
  for (int k = 0; k < record_count; ++k) {
    for (int row = 0; row < k_rows; ++row) bytes.push_back(static_cast<std::uint8_t>(side[row][k] & 0xFF));
  }
}

void ReadSides(std::span<const std::uint8_t> bytes, std::size_t& used, SideTable<std::int32_t>& side,
               int record_count) {
  for (int k = 0; k < record_count; ++k) {
    for (int row = 0; row < k_rows; ++row) side[row][k] = used < bytes.size() ? bytes[used++] : -1;
  }
}

}  // namespace

std::vector<std::uint8_t> DictionaryImage(const RecordTable& table, int record_count) {
  assert(record_count >= 0 && record_count < k_max_records);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(DictionaryBytes(record_count));
  bytes.push_back(static_cast<std::uint8_t>(record_count));
  WriteSides(table.zero_Table, record_count, bytes);
  WriteSides(table.one_Table, record_count, bytes);
  return bytes;
}

void WriteDictionary(const RecordTable& table, int record_count, std::ostream& out) {
  const std::vector<std::uint8_t> bytes = DictionaryImage(table, record_count);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::size_t ReadDictionary(std::span<const std::uint8_t> bytes, DictionaryTable& table) {
  table = DictionaryTable{};
  if (bytes.empty()) {
    table.dictionary_lenght = -1;
    return 0;
  }
  table.dictionary_lenght = bytes[0];
  std::size_t used = 1;
  ReadSides(bytes, used, table.zero_Table, table.dictionary_lenght);
  ReadSides(bytes, used, table.one_Table, table.dictionary_lenght);
  return used;
}

}  // namespace huffman
