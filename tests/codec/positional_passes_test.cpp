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
#include <memory>
#include <new>
#include <random>
#include <sstream>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::Bytes;
using testing::Compress;
using testing::RandomSource;

constexpr std::size_t k_chunk = 256 * 1024;    // what one thread reads at a time
constexpr std::size_t k_round = 64 * k_chunk;  // what is read between merges

using ReadAtFn = OffsetSource::ReadAtFn;

// Reads `source` at offsets, as a file's positional reads do.
ReadAtFn ReaderOver(const Bytes& source) {
  return [&source](std::uint64_t offset, std::span<std::uint8_t> into, int&) -> std::int64_t {
    if (offset >= source.size()) return 0;
    const std::size_t count = std::min<std::size_t>(into.size(), source.size() - offset);
    std::memcpy(into.data(), source.data() + offset, count);
    return static_cast<std::int64_t>(count);
  };
}

CompressResult CompressReadAt(Codec& codec, const Bytes& source, const ReadAtFn& read_at, Bytes& compressed) {
  OffsetSource at_offsets(read_at, source.size());
  std::ostringstream out;
  const CompressResult result = codec.Compress(at_offsets, out);
  compressed = out.str();
  return result;
}

TEST(PositionalPassesTest, SameFileAsTheStreamRead) {
  std::mt19937_64 rng(11);
  // Values first met at the very end of a later chunk, two of them in one
  // chunk in the order opposite to their values, one new in two chunks of a
  // round (each chunk's new values are found before the round's are added),
  // and lengths that end on a chunk, on a round and just past one.
  Bytes late = RandomSource(rng, k_round, 20, -1.0, 'a');
  late[2 * k_chunk + 50] = '~';
  late[3 * k_chunk + 10] = '~';
  late[5 * k_chunk - 1] = '!';
  late[9 * k_chunk + 100] = 'Z';
  late[9 * k_chunk + 7] = '#';
  late[k_round - 1] = '\x01';
  const Bytes sources[] = {"", "x", Bytes(k_chunk - 1, 'q') + "w", late, late + "tail!", late.substr(0, 3 * k_chunk)};
  for (const Bytes& source : sources) {
    const Bytes expected = Compress(source);
    for (const unsigned threads : {1U, 2U, 3U, 8U}) {
      Codec codec({.threads = threads});
      Bytes compressed;
      const CompressResult result = CompressReadAt(codec, source, ReaderOver(source), compressed);
      EXPECT_EQ(result.status, CodecStatus::ok);
      EXPECT_EQ(result.source_bytes, source.size());
      EXPECT_TRUE(compressed == expected) << source.size() << " bytes, " << threads << " threads";
    }
  }
}

TEST(PositionalPassesTest, SourceThatReadsDifferentlyIsRefused) {
  std::mt19937_64 rng(12);
  // The census reads whole chunks; the coding reads the pieces of 1 MiB
  // blocks, never a chunk's size here, and then one byte past the end.
  const Bytes source = RandomSource(rng, 6 * k_chunk + 10, 30, 0.0, 'a') + "^";
  const ReadAtFn plain = ReaderOver(source);
  const auto coding = [](std::span<std::uint8_t> into) { return into.size() != k_chunk; };
  const struct {
    const char* what;
    CodecStatus status;
    ReadAtFn read_at;
  } cases[] = {
      {"a census read fails", CodecStatus::read_failed,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         if (offset == 3 * k_chunk) {
           error = EIO;
           return -1;
         }
         return plain(offset, into, error);
       }},
      {"a coding read fails", CodecStatus::read_failed,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         if (coding(into) && offset + into.size() > 5 * k_chunk) {
           error = EIO;
           return -1;
         }
         return plain(offset, into, error);
       }},
      {"ends early, then reads on", CodecStatus::source_changed,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         return offset == 2 * k_chunk ? 10 : plain(offset, into, error);
       }},
      {"the last value another when coded", CodecStatus::source_changed,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         const std::int64_t got = plain(offset, into, error);
         if (coding(into) && got > 0 && offset + static_cast<std::uint64_t>(got) == source.size()) {
           into[static_cast<std::size_t>(got) - 1] = 'a';
         }
         return got;
       }},
      {"shorter when coded", CodecStatus::source_changed,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         return coding(into) && offset >= 4 * k_chunk ? 0 : plain(offset, into, error);
       }},
      // On a helper thread too, where the read is a part of a job.
      {"memory runs out in a census read", CodecStatus::out_of_memory,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         if (offset == 3 * k_chunk) throw std::bad_alloc();
         return plain(offset, into, error);
       }},
      {"memory runs out in a coding read", CodecStatus::out_of_memory,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         if (coding(into) && offset + into.size() > 5 * k_chunk) throw std::bad_alloc();
         return plain(offset, into, error);
       }},
      {"longer when coded", CodecStatus::source_changed,
       [&](std::uint64_t offset, std::span<std::uint8_t> into, int& error) -> std::int64_t {
         if (offset == source.size() && coding(into)) {
           into[0] = 'a';
           return 1;
         }
         return plain(offset, into, error);
       }},
  };
  for (const auto& c : cases) {
    for (const unsigned threads : {1U, 2U, 4U}) {
      Codec codec({.threads = threads});
      Bytes compressed;
      const CompressResult result = CompressReadAt(codec, source, c.read_at, compressed);
      EXPECT_EQ(result.status, c.status) << c.what << ", " << threads << " threads";
      if (c.status == CodecStatus::read_failed) {
        EXPECT_EQ(result.system_error, EIO) << c.what;
      }
    }
  }
}

}  // namespace
}  // namespace huffman
