#include "codec/format.h"

#include <cassert>

namespace huffman {

namespace {

constexpr std::size_t k_block_bytes = 256 * 1024;

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

BitWriter::BitWriter(std::ostream& out) : out(out), block(k_block_bytes) {}

void BitWriter::SpillWord() {
  assert(writing_remain >= 32 && writing_remain <= 64);
  if (block_used + 4 > block.size()) WriteBlock();
  const auto word = static_cast<std::uint32_t>(writing_bufor >> 32);
  block[block_used + 0] = static_cast<std::uint8_t>(word >> 24);
  block[block_used + 1] = static_cast<std::uint8_t>(word >> 16);
  block[block_used + 2] = static_cast<std::uint8_t>(word >> 8);
  block[block_used + 3] = static_cast<std::uint8_t>(word);
  block_used += 4;
  bytes_out += 4;
  writing_bufor <<= 32;
  writing_remain -= 32;
}

void BitWriter::WriteBlock() {
  if (block_used == 0) return;
  out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block_used));
  if (!out) failed = true;
  block_used = 0;
}

void BitWriter::Finish() {
  // Pending bits past the last whole byte keep their zero fill.
  while (writing_remain > 0) {
    if (block_used == block.size()) WriteBlock();
    block[block_used++] = static_cast<std::uint8_t>(writing_bufor >> 56);
    ++bytes_out;
    writing_bufor <<= 8;
    writing_remain = writing_remain > 8 ? writing_remain - 8 : 0;
  }
  WriteBlock();
  out.flush();
  if (!out) failed = true;
}

}  // namespace huffman
