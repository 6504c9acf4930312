// The compressed file format: the node record table that is both the code
// tree in memory and the stored dictionary, and the bit writer of the payload.
//
// File layout (no magic, no length, no checksum):
//   byte 0          N, the number of records written
//   1 .. 3N         0-sides of records 0..N-1, each (kind, value, label)
//   1+3N .. 6N      1-sides of records 0..N-1, each (kind, value, label)
//   1+6N ..         payload: codes root first, first bit in bit 7 of a byte
// Each stored byte is the low 8 bits of its table entry.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <ostream>
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

// Writes N = record_count and the two sides of records 0..N-1.
void WriteDictionary(const RecordTable& table, int record_count, std::ostream& out);

// Reads N and N records; bytes past the end of the stream read as -1.
// Returns the number of bytes consumed.
std::uint64_t ReadDictionary(std::istream& in, DictionaryTable& table);

// Packs bits MSB-first into a block buffer written to `out` in large pieces.
// `writing_bufor` holds the pending bits left-aligned; `writing_remain`
// counts them and stays below 32 between calls, so any code piece of up to
// 32 bits fits without a check inside Emit.
class BitWriter {
 public:
  explicit BitWriter(std::ostream& out);
  BitWriter(const BitWriter&) = delete;
  BitWriter& operator=(const BitWriter&) = delete;

  // Appends the low `count` bits of `bits`, most significant first; count <= 32.
  void Emit(std::uint64_t bits, int count) {
    writing_bufor |= bits << (64 - writing_remain - count);
    writing_remain += count;
    if (writing_remain >= 32) SpillWord();
  }
  // Zero-fills the last byte, writes everything out and flushes the stream.
  void Finish();
  // Bits accepted so far, padding included once finished.
  std::uint64_t BitsWritten() const { return bytes_out * 8 + writing_remain; }
  bool Failed() const { return failed; }

 private:
  void SpillWord();
  void WriteBlock();

  std::ostream& out;
  std::vector<std::uint8_t> block;
  std::size_t block_used = 0;
  std::uint64_t writing_bufor = 0;
  int writing_remain = 0;
  std::uint64_t bytes_out = 0;
  bool failed = false;
};

}  // namespace huffman
