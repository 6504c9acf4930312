// The compressed file format: the node record table that is both the code
// tree in memory and the stored dictionary.  The payload's bit packing is in
// bit_writer.h.
//
// File layout (no magic, no length, no checksum):
//   byte 0          N, the number of records written
//   1 .. 3N         0-sides of records 0..N-1, each (kind, value, label)
//   1+3N .. 6N      1-sides of records 0..N-1, each (kind, value, label)
//   1+6N ..         payload: codes root first, first bit in bit 7 of a byte
// Each stored byte is the low 8 bits of its table entry.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/format.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>
#include <ostream>
#include <span>
#include <vector>

namespace huffman {

inline constexpr int k_max_records = 256;
inline constexpr int k_rows = 3;
inline constexpr int k_kind_row = 0;   // 0 = leaf, 1 = inner node
inline constexpr int k_value_row = 1;  // leaf: byte value; inner: the child's id
inline constexpr int k_id_row = 2;     // the record's own id, same on both sides
inline constexpr std::uint64_t k_leaf = 0;
inline constexpr std::uint64_t k_inner = 1;

// One side of every record: rows indexed by the k_*_row constants, columns by
// record index.  Column k of zero_Table and one_Table together is record k.
template <typename Entry>
using SideTable = std::array<std::array<Entry, k_max_records>, k_rows>;

// The encoder's tree.  Ids are weights until renumbering, hence 64 bits.
// Records 0..created_nodes-2 are real; record created_nodes-1 is the extra
// record holding the root as its 0-child, which is never written.
struct RecordTable {
  SideTable<std::uint64_t> zero_Table{};
  SideTable<std::uint64_t> one_Table{};
  int created_nodes = 0;
};

// Records written to the file: all but the extra record.
inline int WrittenRecords(const RecordTable& table) { return table.created_nodes - 1; }

// The decoder's view of a dictionary as read: any byte values at all, and -1
// where the file ended inside the dictionary.
struct DictionaryTable {
  SideTable<std::int32_t> zero_Table{};
  SideTable<std::int32_t> one_Table{};
  int dictionary_lenght = -1;  // N, or -1 for an empty file
};

inline constexpr std::uint64_t DictionaryBytes(int record_count) {
  return 1 + 6 * static_cast<std::uint64_t>(record_count);
}

// N = record_count and the two sides of records 0..N-1, as written.
std::vector<std::uint8_t> DictionaryImage(const RecordTable& table, int record_count);

// Writes DictionaryImage.
void WriteDictionary(const RecordTable& table, int record_count, std::ostream& out);

// Reads N and N records from the start of `bytes`; bytes past its end read
// as -1 (a file that ends inside its dictionary).  Returns how many bytes
// were used.
std::size_t ReadDictionary(std::span<const std::uint8_t> bytes, DictionaryTable& table);

// The most bytes a dictionary takes: N is one byte, so at most 255 records
// are written (a source has at most 256 distinct values, one record fewer).
inline constexpr int k_max_written_records = k_max_records - 1;
static_assert(k_max_written_records == 255, "N is stored in one byte");
inline constexpr std::size_t k_max_dictionary_bytes = DictionaryBytes(k_max_written_records);

}  // namespace huffman
