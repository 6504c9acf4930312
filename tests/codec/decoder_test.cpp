#include "codec/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <sstream>
#include <utility>

#include "codec/block_source.h"
#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::Decompress;
using testing::FromHex;

TEST(DecompressTest, RestoresWhatTheWalkReaches) {
  struct Case {
    const char* name;
    std::string compressed;
    std::string restored;
  };
  const Case cases[] = {
      {"whole byte, no padding", FromHex("01 00 62 00 00 61 00 FE"), "aaaaaaab"},
      // Zero-padded files (the format allows any padding): the padding decodes as
      // the walk says.
      {"zero-padded abracadabra",
       FromHex("04 00 63 00 01 00 01 00 72 02 00 61 03 00 64 00 00 62 01 01 01 02 01 02 03 79 8D 78"), "abracadabraa"},
      {"zero-padded aab", FromHex("01 00 62 00 00 61 00 C0"), "aabbbbbb"},
      {"empty file", "", ""},
      {"count byte alone, dictionary missing", FromHex("FF"), ""},
      {"dictionary cut short", FromHex("02 00 61 00 01"), ""},
      {"no record, no root", FromHex("00 00 FF"), ""},
      // Kind 2 never matches, so 0 bits do nothing and each 1 bit reaches b.
      {"unknown kind", FromHex("01 02 61 00 00 62 00 0F"), "bbbb"},
      // Inner child 7 names no record: the walk stays there for good.
      {"label that links nowhere", FromHex("02 00 61 00 01 07 01 00 62 00 00 63 01 DF FF"), "cc"},
      // A child labelled like its own parent: the search goes on below the
      // parent only, so the walk sticks instead of looping.
      {"child labelled as its parent", FromHex("02 00 78 05 01 09 09 00 79 05 00 7A 09 FF 7F FF"), "zzzzzzzz"},
  };
  for (const auto& c : cases) {
    DecompressResult result;
    EXPECT_EQ(Decompress(c.compressed, &result), c.restored) << c.name;
    EXPECT_EQ(result.status, CodecStatus::ok) << c.name;
    EXPECT_EQ(result.compressed_bytes, c.compressed.size()) << c.name;
    EXPECT_EQ(result.restored_bytes, c.restored.size()) << c.name;
  }
}

TEST(DecompressTest, RandomBytesNeverCrashOrOverproduce) {
  std::mt19937_64 rng(11);
  for (int trial = 0; trial < 2000; ++trial) {
    std::string file(rng() % 300, '\0');
    std::generate(file.begin(), file.end(), [&] { return static_cast<char>(rng()); });
    if (!file.empty() && trial % 3 == 0) file[0] = static_cast<char>(rng() % 8);  // small, walkable dictionaries
    DecompressResult result;
    const std::string restored = Decompress(file, &result);
    ASSERT_EQ(result.status, CodecStatus::ok);
    ASSERT_EQ(result.compressed_bytes, file.size());
    // Each payload bit reaches at most one leaf.
    ASSERT_LE(restored.size(), 8 * file.size());
  }
}

// Large blocks are decoded in lanes on every thread, and the threads share
// one set of window tables: a state's table is built under a lock when the
// walk first meets the state, and published whole.  Here the long codes
// (longer than a window, so their walk stops between windows in other
// states) first appear blocks into the file, so tables are built mid-file
// while other threads read the set: under ThreadSanitizer (make
// test-thread) a table read before it was published whole is reported.
TEST(DecompressTest, LongCodesFirstMetInALaterLargeBlock) {
  std::mt19937_64 rng(11);
  std::string source = testing::RandomSource(rng, 2'000'000, 16, 0.0, 'a');
  // Rare values with Fibonacci counts sit deep in the tree, all in the
  // second half of the source: its first blocks hold short codes only.
  std::uint64_t count = 1;
  std::uint64_t next = 1;
  for (int value = 0; value < 20; ++value) {
    for (std::uint64_t i = 0; i < count; ++i) {
      source[1'200'000 + rng() % 800'000] = static_cast<char>(0x80 + value);
    }
    count = std::exchange(next, count + next);
  }
  const std::string compressed = testing::Compress(source);
  const TestResult tree = testing::TestFile(compressed);
  ASSERT_EQ(tree.status, CodecStatus::ok);
  std::size_t longest = 0;
  for (const CodeEntry& code : tree.codes) longest = std::max(longest, code.bits.size());
  ASSERT_GT(longest, static_cast<std::size_t>(k_window_bits));
  ASSERT_GT(compressed.size(), 3 * k_decompress_block_bytes);

  EXPECT_TRUE(Decompress(compressed) == source);
}

TEST(DecompressTest, UnwritableOutputIsAnError) {
  std::istringstream in(FromHex("01 00 62 00 00 61 00 FE"));
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(testing::DecompressStream(in, out).status, CodecStatus::write_failed);
}

}  // namespace
}  // namespace huffman
