#include "codec/format.h"

#include <gtest/gtest.h>

#include <sstream>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::FromHex;
using testing::ToHex;

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(DictionaryTest, WritesLowBytesInOrderAndReadsEveryFieldBack) {
  // Entries above 255 (weights before renumbering) are written as their low
  // byte; record 2 is the extra record, which is never written.
  RecordTable table;
  table.zero_Table = {{{1, 0, 1}, {0, 'x', 1}, {0x100, 0x301, 7}}};
  table.one_Table = {{{0, 1, 0}, {'y', 0x200, 0}, {0x100, 0x301, 7}}};
  table.created_nodes = 3;
  std::ostringstream out;
  WriteDictionary(table, WrittenRecords(table), out);
  // N, the 0-sides of records 0 and 1, then their 1-sides; each kind, value, label.
  EXPECT_EQ(ToHex(out.str()), "02 01 00 00 00 78 01 00 79 00 01 00 01");
  EXPECT_EQ(out.str().size(), DictionaryBytes(2));

  const std::string file = out.str() + "payload";
  DictionaryTable read;
  EXPECT_EQ(ReadDictionary(AsBytes(file), read), DictionaryBytes(2));
  EXPECT_EQ(read.dictionary_lenght, 2);
  for (int k = 0; k < 2; ++k) {
    for (int row = 0; row < k_rows; ++row) {
      EXPECT_EQ(read.zero_Table[row][k], static_cast<std::int32_t>(table.zero_Table[row][k] & 0xFF)) << k << row;
      EXPECT_EQ(read.one_Table[row][k], static_cast<std::int32_t>(table.one_Table[row][k] & 0xFF)) << k << row;
    }
  }
  // Nothing beyond the N records is taken from the payload.
  EXPECT_EQ(read.zero_Table[k_id_row][2], 0);
}

TEST(DictionaryTest, BytesPastTheEndReadAsMinusOne) {
  {
    const std::string file = FromHex("02 00 61 00 01");
    DictionaryTable read;
    EXPECT_EQ(ReadDictionary(AsBytes(file), read), 5u);
    EXPECT_EQ(read.dictionary_lenght, 2);
    EXPECT_EQ(read.zero_Table[k_value_row][0], 0x61);
    EXPECT_EQ(read.zero_Table[k_kind_row][1], 1);
    EXPECT_EQ(read.zero_Table[k_value_row][1], -1);
    EXPECT_EQ(read.one_Table[k_id_row][1], -1);
  }
  {
    DictionaryTable read;
    EXPECT_EQ(ReadDictionary({}, read), 0u);
    EXPECT_EQ(read.dictionary_lenght, -1);
  }
}

}  // namespace
}  // namespace huffman
