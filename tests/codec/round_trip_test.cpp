// Lossless on every input: whatever the source, decoding its compressed
// file gives back exactly the source, padding never adds a byte.
#include <gtest/gtest.h>

#include <random>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::Compress;
using testing::Decompress;
using testing::RandomSource;

void ExpectRoundTrip(const std::string& source, const std::string& what, Codec& codec = testing::SharedCodec()) {
  CompressResult compressed_result;
  const std::string compressed = Compress(source, &compressed_result, codec);
  ASSERT_EQ(compressed_result.status, CodecStatus::ok) << what;
  ASSERT_EQ(compressed_result.compressed_bytes, compressed.size()) << what;
  DecompressResult restored_result;
  const std::string restored = Decompress(compressed, &restored_result, /*check_format=*/true, codec);
  ASSERT_EQ(restored_result.status, CodecStatus::ok) << what;
  ASSERT_EQ(restored.size(), source.size()) << what;
  ASSERT_TRUE(restored == source) << what;
}

TEST(RoundTripTest, EveryLengthAcrossByteBoundaries) {
  // Lengths 0..40 with one, two and three values give every padding length
  // 0 to 7 and both the plain and the dead-end files.
  for (const std::string pattern : {"a", "ab", "aab", "abc", "abcd", "aaaaaaab"}) {
    for (std::size_t length = 0; length <= 40; ++length) {
      std::string source;
      for (std::size_t i = 0; i < length; ++i) source.push_back(pattern[i % pattern.size()]);
      ExpectRoundTrip(source, pattern + " x" + std::to_string(length));
    }
  }
}

TEST(RoundTripTest, SingleByteValuesOfEveryKind) {
  for (int value = 0; value < 256; value += 51) {
    for (std::size_t length : {1u, 7u, 8u, 9u, 1000u}) {
      ExpectRoundTrip(std::string(length, static_cast<char>(value)), "value " + std::to_string(value));
    }
  }
}

TEST(RoundTripTest, GeneratedAlphabetsAndSkews) {
  std::mt19937_64 rng(2026);
  for (int trial = 0; trial < 300; ++trial) {
    const int alphabet = 1 + static_cast<int>(rng() % 256);
    const double skew = static_cast<double>(rng() % 60) / 10.0 - 3.0;
    const int first = static_cast<int>(rng() % 256);
    const std::size_t length = 1 + rng() % (trial % 10 == 0 ? 20000 : 300);
    ExpectRoundTrip(RandomSource(rng, length, alphabet, skew, first), "trial " + std::to_string(trial));
  }
}

TEST(RoundTripTest, AllByteValuesAndExtremeSkew) {
  std::string all;
  for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
  ExpectRoundTrip(all, "256 values once");
  // Fibonacci-like counts give the deepest trees the weights allow.
  std::string deep;
  std::uint64_t a = 1, b = 1;
  for (int value = 0; value < 26; ++value) {
    deep.append(a, static_cast<char>('A' + value));
    const std::uint64_t next = a + b;
    a = b;
    b = next;
  }
  ExpectRoundTrip(deep, "deep tree");
}

// A Codec keeps its buffers, window tables, pair table and threads from file
// to file: a smaller file of another alphabet after a larger one, through
// the same Codec, is the file a fresh Codec writes, and restores exactly.
TEST(RoundTripTest, SeveralMegabytesThenASmallerFileThroughOneCodec) {
  std::mt19937_64 rng(5);
  const std::string larger = RandomSource(rng, 3'000'000, 90, -1.2, 32);
  const std::string smaller = RandomSource(rng, 300'000, 256, 0.0);
  for (const unsigned threads : {1U, 2U, 3U, 8U}) {
    Codec codec({.threads = threads});
    for (const std::string* source : {&larger, &smaller}) {
      const std::string what = std::to_string(source->size()) + " bytes, " + std::to_string(threads) + " threads";
      ExpectRoundTrip(*source, what, codec);
      Codec fresh({.threads = threads});
      EXPECT_TRUE(Compress(*source, nullptr, codec) == Compress(*source, nullptr, fresh)) << what;
    }
  }
}

TEST(ProgressTest, ReportsEveryBlockUpToTheWholeWork) {
  std::mt19937_64 rng(3);
  const std::string source = RandomSource(rng, 3'000'000, 50, 1.0);
  std::vector<std::pair<std::uint64_t, std::uint64_t>> reports;
  const ProgressFn record = [&](std::uint64_t done, std::uint64_t total) { reports.emplace_back(done, total); };

  std::istringstream in(source);
  std::ostringstream out;
  ASSERT_EQ(testing::CompressStream(in, out, record).status, CodecStatus::ok);
  ASSERT_GE(reports.size(), 4u);  // both passes, block by block
  for (std::size_t i = 1; i < reports.size(); ++i) EXPECT_GT(reports[i].first, reports[i - 1].first);
  EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{6'000'000}, std::uint64_t{6'000'000}));

  reports.clear();
  const std::string compressed = out.str();
  std::istringstream compressed_in(compressed);
  std::ostringstream restored;
  ASSERT_EQ(testing::DecompressStream(compressed_in, restored, record).status, CodecStatus::ok);
  ASSERT_GE(reports.size(), 2u);
  // cppcheck-suppress containerOutOfBounds ; the ASSERT above returns when it is empty
  EXPECT_EQ(reports.back(), std::make_pair(std::uint64_t{compressed.size()}, std::uint64_t{compressed.size()}));
  EXPECT_TRUE(restored.str() == source);
}

}  // namespace
}  // namespace huffman
