// The structural checks: each fault named at the first place it shows, and
// every file that can be restored, this program's and zero-padded ones,
// passing and restoring as before.
#include <gtest/gtest.h>

#include <sstream>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::Compress;
using testing::Decompress;
using testing::FromHex;
using testing::TestFile;

TEST(FormatCheckTest, NamesTheFirstFaultAndWhereItIs) {
  struct Case {
    const char* name;
    std::string file;
    FormatFault fault;
    std::uint64_t offset;
  };
  const Case cases[] = {
      {"one repeated byte, zero-padded: nothing stored", FromHex("00 00"), FormatFault::single_value, 0},
      {"count byte alone", FromHex("FF"), FormatFault::truncated_dictionary, 1},
      {"dictionary cut short", FromHex("02 00 61 00 01"), FormatFault::truncated_dictionary, 5},
      {"kind 2", FromHex("01 02 61 00 00 62 00 0F"), FormatFault::bad_kind, 1},
      {"record 0 labelled 1", FromHex("01 00 61 01 00 62 01 C0"), FormatFault::bad_label, 3},
      {"child 7 links nowhere", FromHex("02 00 61 00 01 07 01 00 62 00 00 63 01 DF"), FormatFault::child_not_below, 5},
      {"cycle: record 0 names record 1", FromHex("02 01 01 00 00 61 01 00 62 00 01 00 01 80"),
       FormatFault::child_not_below, 2},
      {"record 1 names itself", FromHex("02 00 61 00 01 01 01 00 62 00 00 63 01 80"), FormatFault::child_not_below, 5},
      {"record 1 reached twice", FromHex("03 00 61 00 00 63 01 01 01 02 00 62 00 00 64 01 01 01 02 80"),
       FormatFault::not_one_tree, 17},
      {"byte value on two leaves", FromHex("01 00 61 00 00 61 00 80"), FormatFault::duplicate_value, 5},
      {"dictionary, no payload", FromHex("01 00 62 00 00 61 00"), FormatFault::empty_payload, 7},
      // The dead end absorbs every bit after the padding: a byte added after
      // it holds no code.
      {"a byte after the last code's byte", Compress("a") + "\x55", FormatFault::trailing_bits, Compress("a").size()},
  };
  for (const auto& c : cases) {
    const TestResult tested = TestFile(c.file);
    EXPECT_EQ(tested.status, CodecStatus::not_compressed) << c.name;
    EXPECT_EQ(tested.fault, c.fault) << c.name;
    EXPECT_EQ(tested.fault_offset, c.offset) << c.name;
    // A checked restore refuses the same file for the same reason.
    DecompressResult restored;
    Decompress(c.file, &restored, /*check_format=*/true);
    EXPECT_EQ(restored.fault, c.fault) << c.name;
  }
}

TEST(FormatCheckTest, RestorableFilesPassAndRestoreAsTheWalkDoes) {
  const std::string files[] = {
      "",
      FromHex("01 00 62 00 00 61 00 FE"),
      FromHex("01 00 62 00 00 61 00 C0"),  // zero-padded: "aab" and five more b
      FromHex("04 00 63 00 01 00 01 00 72 02 00 61 03 00 64 00 00 62 01 01 01 02 01 02 03 79 8D 78"),
      Compress("a"),
      Compress(std::string(1000, 'x') + "yz"),
  };
  for (const auto& file : files) {
    DecompressResult checked;
    const std::string restored = Decompress(file, &checked, /*check_format=*/true);
    EXPECT_EQ(checked.status, CodecStatus::ok) << testing::ToHex(file);
    EXPECT_EQ(restored, Decompress(file)) << testing::ToHex(file);
  }
}

TEST(FormatCheckTest, ListsTheTreeLeavesAndCodesWithoutTheDeadEnd) {
  const TestResult two = TestFile(FromHex("01 00 62 00 00 61 00 FE"));
  ASSERT_EQ(two.status, CodecStatus::ok);
  EXPECT_EQ(two.restored_bytes, 8U);
  EXPECT_EQ(two.dictionary_bytes, 7U);
  EXPECT_EQ(two.leaves, 2);
  ASSERT_EQ(two.codes.size(), 2U);
  EXPECT_EQ(two.codes[0].value, 'b');
  EXPECT_EQ(two.codes[0].bits, "0");
  EXPECT_EQ(two.codes[1].value, 'a');
  EXPECT_EQ(two.codes[1].bits, "1");

  const TestResult one = TestFile(Compress("aaaa"));
  ASSERT_EQ(one.status, CodecStatus::ok);
  EXPECT_EQ(one.restored_bytes, 4U);
  EXPECT_EQ(one.leaves, 1);
  ASSERT_EQ(one.codes.size(), 1U);
  EXPECT_EQ(one.codes[0].value, 'a');
}

}  // namespace
}  // namespace huffman
