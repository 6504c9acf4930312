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

TEST(DictionaryTest, ReadsBackWhatWasWritten) {
  RecordTable table;
  table.zero_Table = {{{1, 0}, {0, 'x'}, {0, 1}}};
  table.one_Table = {{{0, 1}, {'y', 0}, {0, 1}}};
  std::ostringstream out;
  WriteDictionary(table, 2, out);
  EXPECT_EQ(ToHex(out.str()), "02 01 00 00 00 78 01 00 79 00 01 00 01");
  EXPECT_EQ(out.str().size(), DictionaryBytes(2));

  const std::string file = out.str() + "payload";
  DictionaryTable read;
  EXPECT_EQ(ReadDictionary(AsBytes(file), read), 13u);
  EXPECT_EQ(read.dictionary_lenght, 2);
  EXPECT_EQ(read.zero_Table[k_value_row][1], 'x');
  EXPECT_EQ(read.one_Table[k_kind_row][1], 1);
  EXPECT_EQ(read.one_Table[k_value_row][0], 'y');
  EXPECT_EQ(file[13], 'p');
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
