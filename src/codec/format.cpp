#include "codec/format.h"

#include <cassert>
#include <vector>

namespace huffman {

namespace {

void WriteSides(const SideTable<std::uint64_t>& side, int record_count, std::vector<char>& bytes) {
  for (int k = 0; k < record_count; ++k) {
    for (int row = 0; row < k_rows; ++row) bytes.push_back(static_cast<char>(side[row][k] & 0xFF));
  }
}

void ReadSides(std::istream& in, SideTable<std::int32_t>& side, int record_count, std::uint64_t& consumed) {
  for (int k = 0; k < record_count; ++k) {
    for (int row = 0; row < k_rows; ++row) {
      const int byte = in.get();
      side[row][k] = byte == std::char_traits<char>::eof() ? -1 : byte;
      if (byte != std::char_traits<char>::eof()) ++consumed;
    }
  }
}

}  // namespace

void WriteDictionary(const RecordTable& table, int record_count, std::ostream& out) {
  assert(record_count >= 0 && record_count < k_max_records);
  std::vector<char> bytes;
  bytes.reserve(DictionaryBytes(record_count));
  bytes.push_back(static_cast<char>(record_count));
  WriteSides(table.zero_Table, record_count, bytes);
  WriteSides(table.one_Table, record_count, bytes);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::uint64_t ReadDictionary(std::istream& in, DictionaryTable& table) {
  table = DictionaryTable{};
  const int first = in.get();
  if (first == std::char_traits<char>::eof()) {
    table.dictionary_lenght = -1;
    return 0;
  }
  table.dictionary_lenght = first;
  std::uint64_t consumed = 1;
  ReadSides(in, table.zero_Table, first, consumed);
  ReadSides(in, table.one_Table, first, consumed);
  return consumed;
}

}  // namespace huffman
