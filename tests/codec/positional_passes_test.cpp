// A compression that reads its source at offsets on every thread (a regular
// file's positional reads, here over memory) against one that reads a
// stream in order: the same file, whatever the thread count; and a source
// that reads differently from one read to the next is refused, never coded
// from a census it does not match; memory that runs out in a read, on any
// thread, is the operation's error.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <random>
#include <sstream>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::Bytes;
using testing::Compress;
using testing::OffsetsOver;
using testing::RandomSource;

// A compression's block, cut into pieces among the threads: 1 MiB at one
// thread, 128 KiB at two, 32 KiB at eight.
constexpr std::size_t k_block = 1024 * 1024;

CompressResult CompressAtOffsets(Codec& codec, Source& source, Bytes& compressed) {
  std::ostringstream out;
  const CompressResult result = codec.Compress(source, out);
  compressed = out.str();
  return result;
}

TEST(PositionalPassesTest, SameFileAsTheStreamRead) {
  std::mt19937_64 rng(11);
  // Values first met at the very end of a piece of a later block, two of
  // them in one piece in the order opposite to their values, one new in
  // two pieces of one block, and lengths that end on a block and just past
  // one.
  Bytes late = RandomSource(rng, 4 * k_block, 20, -1.0, 'a');
  late[k_block + k_block / 4 - 1] = '!';
  late[2 * k_block + k_block / 4 + 100] = 'Z';
  late[2 * k_block + k_block / 4 + 7] = '#';
  late[2 * k_block + k_block / 2] = '%';
  late[2 * k_block + 3 * k_block / 4] = '%';
  late[4 * k_block - 1] = '\x01';
  const Bytes sources[] = {
      "", "x", Bytes(k_block - 1, 'q') + "w", late, late + "tail!", late.substr(0, 3 * k_block / 2)};
  // One thread reads each block as one piece.
  Codec one_thread({.threads = 1});
  for (const Bytes& source : sources) {
    const Bytes expected = Compress(source, nullptr, one_thread);
    for (const unsigned threads : {1U, 2U, 3U, 8U}) {
      Codec codec({.threads = threads});
      OffsetsOver at_offsets(source);
      Bytes compressed;
      const CompressResult result = CompressAtOffsets(codec, at_offsets, compressed);
      EXPECT_EQ(result.status, CodecStatus::ok);
      EXPECT_EQ(result.source_bytes, source.size());
      EXPECT_TRUE(compressed == expected) << source.size() << " bytes, " << threads << " threads";
    }
  }
}

TEST(PositionalPassesTest, SourceThatReadsDifferentlyIsRefused) {
  std::mt19937_64 rng(12);
  const Bytes source = RandomSource(rng, k_block + k_block / 2 + 10, 30, 0.0, 'a') + "^";
  // Whether a read of `count` bytes at `offset` covers byte `at`.
  const auto covers = [](std::uint64_t offset, std::int64_t count, std::uint64_t at) {
    return offset <= at && at < offset + static_cast<std::uint64_t>(count);
  };
  const struct {
    const char* what;
    CodecStatus status;
    OffsetsOver::Fault fault;
  } cases[] = {
      {"a census read fails", CodecStatus::read_failed,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t>, std::int64_t count, int& error) -> std::int64_t {
         if (pass == 0 && covers(offset, count, k_block / 2)) {
           error = EIO;
           return -1;
         }
         return count;
       }},
      {"a coding read fails", CodecStatus::read_failed,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t>, std::int64_t count, int& error) -> std::int64_t {
         if (pass == 1 && covers(offset, count, k_block + 100)) {
           error = EIO;
           return -1;
         }
         return count;
       }},
      {"ends early, then reads on", CodecStatus::source_changed,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t>, std::int64_t count, int&) -> std::int64_t {
         if (pass == 0 && covers(offset, count, k_block / 2)) return static_cast<std::int64_t>(k_block / 2 - offset);
         return count;
       }},
      {"the last value another when coded", CodecStatus::source_changed,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t> into, std::int64_t count, int&) -> std::int64_t {
         if (pass == 1 && covers(offset, count, source.size() - 1)) into[static_cast<std::size_t>(count) - 1] = 'a';
         return count;
       }},
      {"shorter when coded", CodecStatus::source_changed,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t>, std::int64_t count, int&) -> std::int64_t {
         return pass == 1 && offset >= k_block ? 0 : count;
       }},
      // On a helper thread too, where the read is a part of a job.
      {"memory runs out in a census read", CodecStatus::out_of_memory,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t>, std::int64_t count, int&) -> std::int64_t {
         if (pass == 0 && covers(offset, count, k_block / 2)) throw std::bad_alloc();
         return count;
       }},
      {"memory runs out in a coding read", CodecStatus::out_of_memory,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t>, std::int64_t count, int&) -> std::int64_t {
         if (pass == 1 && covers(offset, count, k_block + 100)) throw std::bad_alloc();
         return count;
       }},
      {"longer when coded", CodecStatus::source_changed,
       [&](int pass, std::uint64_t offset, std::span<std::uint8_t> into, std::int64_t count, int&) -> std::int64_t {
         if (pass == 1 && offset == source.size()) {
           into[0] = 'a';
           return 1;
         }
         return count;
       }},
  };
  const Bytes expected = Compress(source);
  for (const auto& c : cases) {
    for (const unsigned threads : {1U, 2U, 4U}) {
      Codec codec({.threads = threads});
      OffsetsOver at_offsets(source, c.fault);
      Bytes compressed;
      const CompressResult result = CompressAtOffsets(codec, at_offsets, compressed);
      EXPECT_EQ(result.status, c.status) << c.what << ", " << threads << " threads";
      if (c.status == CodecStatus::read_failed) {
        EXPECT_EQ(result.system_error, EIO) << c.what;
      }
      // The Codec's next file is as a fresh Codec's.
      OffsetsOver plain(source);
      EXPECT_EQ(CompressAtOffsets(codec, plain, compressed).status, CodecStatus::ok) << c.what;
      EXPECT_TRUE(compressed == expected) << c.what << ", then the next file, " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace huffman
