#include "codec/bit_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <vector>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::ToHex;

std::string Packed(const std::vector<std::pair<std::uint64_t, int>>& pieces) {
  std::ostringstream out;
  {
    ByteSink sink(out, 4096);  // small, so long runs cross many flushes
    BitWriter writer(sink);
    for (const auto& [bits, count] : pieces) writer.Emit(bits, count);
    writer.Finish();
    sink.Flush();
    EXPECT_FALSE(sink.Failed());
    EXPECT_EQ(writer.BitsWritten(), out.str().size() * 8);
  }
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
  pieces.reserve(24);
  for (int i = 0; i < 24; ++i) pieces.emplace_back(static_cast<std::uint64_t>(i & 1), 1);
  EXPECT_EQ(ToHex(Packed(pieces)), "55 55 55");
}

TEST(BitWriterTest, LongRunsCrossWordAndBlockBoundaries) {
  // 3-bit pieces fall at every offset of a byte and of the 64-bit pending
  // word, and never align with the sink's 4096-byte flushes.
  std::vector<std::pair<std::uint64_t, int>> pieces(800'000, {0b101, 3});
  pieces.emplace_back(0xABCDEF01, 32);
  const std::string out = Packed(pieces);
  ASSERT_EQ(out.size(), 300'004u);
  // 101 repeated has period 24 bits: B6 DB 6D.
  EXPECT_EQ(ToHex(out.substr(0, 3)), "B6 DB 6D");
  EXPECT_EQ(ToHex(out.substr(299'997, 3)), "B6 DB 6D");
  EXPECT_EQ(ToHex(out.substr(300'000)), "AB CD EF 01");
}

TEST(BitWriterTest, FailedWritesAreLatched) {
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  ByteSink sink(out, 16);
  BitWriter writer(sink);
  for (int i = 0; i < 100; ++i) writer.Emit(0xFF, 8);
  writer.Finish();
  sink.Flush();
  EXPECT_TRUE(sink.Failed());
}

}  // namespace
}  // namespace huffman
