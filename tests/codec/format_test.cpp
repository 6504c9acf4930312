#include "codec/format.h"

#include <gtest/gtest.h>

#include <sstream>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::FromHex;
using testing::ToHex;

std::string Packed(const std::vector<std::pair<std::uint64_t, int>>& pieces) {
  std::ostringstream out;
  BitWriter writer(out);
  for (const auto& [bits, count] : pieces) writer.Emit(bits, count);
  writer.Finish();
  EXPECT_FALSE(writer.Failed());
  EXPECT_EQ(writer.BitsWritten(), out.str().size() * 8);
  return out.str();
}

TEST(BitWriterTest, FirstBitGoesHighAndTheLastByteIsZeroFilled) {
  EXPECT_EQ(ToHex(Packed({{1, 1}, {1, 1}, {0, 1}})), "C0");
  EXPECT_EQ(ToHex(Packed({{0b1011, 4}, {0b0, 1}, {0b111, 3}, {0b1, 1}})), "B7 80");
  EXPECT_EQ(ToHex(Packed({})), "");
}

TEST(BitWriterTest, WholeBytesGetNoPaddingByte) {
  EXPECT_EQ(ToHex(Packed({{0xFE, 8}})), "FE");
  std::vector<std::pair<std::uint64_t, int>> pieces;
  for (int i = 0; i < 24; ++i) pieces.push_back({static_cast<std::uint64_t>(i & 1), 1});
  EXPECT_EQ(ToHex(Packed(pieces)), "55 55 55");
}

TEST(BitWriterTest, LongRunsCrossWordAndBlockBoundaries) {
  // 3-bit pieces never align with the 32-bit spill or the block size.
  std::vector<std::pair<std::uint64_t, int>> pieces(800'000, {0b101, 3});
  pieces.push_back({0xABCDEF01, 32});
  const std::string out = Packed(pieces);
  ASSERT_EQ(out.size(), 300'004u);
  // 101 repeated has period 24 bits: B6 DB 6D.
  EXPECT_EQ(ToHex(out.substr(0, 3)), "B6 DB 6D");
  EXPECT_EQ(ToHex(out.substr(299'997, 3)), "B6 DB 6D");
  EXPECT_EQ(ToHex(out.substr(300'000)), "AB CD EF 01");
}

TEST(DictionaryTest, ReadsBackWhatWasWritten) {
  RecordTable table;
  table.zero_Table = {{{1, 0}, {0, 'x'}, {0, 1}}};
  table.one_Table = {{{0, 1}, {'y', 0}, {0, 1}}};
  std::ostringstream out;
  WriteDictionary(table, 2, out);
  EXPECT_EQ(ToHex(out.str()), "02 01 00 00 00 78 01 00 79 00 01 00 01");
  EXPECT_EQ(out.str().size(), DictionaryBytes(2));

  std::istringstream in(out.str() + "payload");
  DictionaryTable read;
  EXPECT_EQ(ReadDictionary(in, read), 13u);
  EXPECT_EQ(read.dictionary_lenght, 2);
  EXPECT_EQ(read.zero_Table[k_value_row][1], 'x');
  EXPECT_EQ(read.one_Table[k_kind_row][1], 1);
  EXPECT_EQ(read.one_Table[k_value_row][0], 'y');
  EXPECT_EQ(in.get(), 'p');
}

TEST(DictionaryTest, BytesPastTheEndReadAsMinusOne) {
  {
    std::istringstream in(FromHex("02 00 61 00 01"));
    DictionaryTable read;
    EXPECT_EQ(ReadDictionary(in, read), 5u);
    EXPECT_EQ(read.dictionary_lenght, 2);
    EXPECT_EQ(read.zero_Table[k_value_row][0], 0x61);
    EXPECT_EQ(read.zero_Table[k_kind_row][1], 1);
    EXPECT_EQ(read.zero_Table[k_value_row][1], -1);
    EXPECT_EQ(read.one_Table[k_id_row][1], -1);
  }
  {
    std::istringstream in("");
    DictionaryTable read;
    EXPECT_EQ(ReadDictionary(in, read), 0u);
    EXPECT_EQ(read.dictionary_lenght, -1);
  }
}

}  // namespace
}  // namespace huffman
