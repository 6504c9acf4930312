#include "codec/encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <random>
#include <utility>

#include "codec/byte_sink.h"
#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::Compress;
using testing::ToHex;

TEST(CompressTest, WrittenFilesMatchTheWorkedExamples) {
  struct Case {
    std::string source;
    std::string compressed;
  };
  const Case cases[] = {
      // Zero padding would decode as b; 0100 walks into the dead end.
      {"aab", "02 00 62 00 01 00 01 01 FF 00 00 61 01 C4"},
      // One value: one record, the leaf x on its 0-side.
      {"aaaa", "01 00 61 00 01 FF 00 08"},
      // The padding bit 1 is harmless where 0 would decode as a.
      {"abracadabra", "04 00 63 00 01 00 01 00 72 02 00 61 03 00 64 00 00 62 01 01 01 02 01 02 03 79 8D 79"},
      // Eight code bits fill the byte: nothing to pad, nothing changes.
      {"aaaaaaab", "01 00 62 00 00 61 00 FE"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ToHex(Compress(c.source)), c.compressed) << c.source;
}

TEST(CompressTest, ResultCarriesTheSummaryFigures) {
  CompressResult result;
  const std::string file = Compress("abracadabra", &result);
  EXPECT_EQ(result.status, CodecStatus::ok);
  EXPECT_EQ(result.source_bytes, 11u);
  EXPECT_EQ(result.compressed_bytes, file.size());
  EXPECT_EQ(result.dictionary_bytes, 25u);
  EXPECT_EQ(result.count_chars, 5);

  Compress("aab", &result);
  EXPECT_EQ(result.dictionary_bytes, 13u);  // the dead-end record counts
  EXPECT_EQ(result.count_chars, 2);

  Compress("", &result);
  EXPECT_EQ(result.status, CodecStatus::ok);
  EXPECT_EQ(result.compressed_bytes, 0u);
  EXPECT_EQ(result.dictionary_bytes, 0u);
  EXPECT_EQ(result.count_chars, 0);
}

TEST(CompressTest, AllByteValuesGiveTheLargestDictionary) {
  std::string source;
  for (int i = 0; i < 256; ++i) source.append(static_cast<std::size_t>(i % 5 + 1), static_cast<char>(i));
  CompressResult result;
  const std::string file = Compress(source, &result);
  EXPECT_EQ(static_cast<unsigned char>(file[0]), 255);
  EXPECT_EQ(result.dictionary_bytes, 1531u);
  EXPECT_EQ(result.count_chars, 256);
}

TEST(PaddingTest, SmallestStringThatCompletesNoCode) {
  CodeTable codes{};
  auto set = [&](int value, std::uint64_t bits, int length) {
    codes[value].words[0] = bits << (64 - length);
    codes[value].length = length;
  };
  set('a', 0b0, 1);
  set('r', 0b10, 2);
  set('b', 0b111, 3);
  set('c', 0b1100, 4);
  set('d', 0b1101, 4);
  EXPECT_EQ(HarmlessPadding(codes, 1), 1);
  EXPECT_EQ(HarmlessPadding(codes, 2), 0b11);
  EXPECT_EQ(HarmlessPadding(codes, 3), 0b110);
  EXPECT_EQ(HarmlessPadding(codes, 4), -1);
}

// A source whose content is replaced by `second_pass` when it is sought
// back to its start for coding (the operation's rewind).
class SourceChangingBuffer : public std::stringbuf {
 public:
  SourceChangingBuffer(const std::string& first_pass, std::string then)
      : std::stringbuf(first_pass, std::ios::in), second_pass(std::move(then)) {}

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    if (off == 0 && dir == std::ios_base::beg) str(second_pass);
    return std::stringbuf::seekoff(off, dir, which);
  }

 private:
  std::string second_pass;
};

TEST(CompressTest, SourceChangedBetweenPassesIsAnError) {
  // "aab" codes a as 1, b as 00 and pads 4 bits.
  const struct {
    const char* what;
    const char* second_pass;
  } cases[] = {
      {"a byte the census never saw", "abz"},
      {"shrunk", "aa"},
      {"grown", "aabab"},
      {"same length, other counts", "abb"},
  };
  for (const auto& c : cases) {
    SourceChangingBuffer buffer("aab", c.second_pass);
    std::istream source(&buffer);
    std::ostringstream out;
    EXPECT_EQ(testing::CompressStream(source, out).status, CodecStatus::source_changed) << c.what;
  }
}

// Reads `good` bytes, then fails as a system read error does: errno set, and
// the failure thrown to the stream, which turns it into badbit.
class FailingInput : public std::streambuf {
 public:
  explicit FailingInput(std::string readable) : good(std::move(readable)) {
    setg(good.data(), good.data(), good.data() + good.size());
  }

 protected:
  int_type underflow() override {
    errno = EIO;
    throw std::ios_base::failure("read error");
  }

 private:
  std::string good;
};

// Accepts `room` bytes, then refuses as a full disk does.
class FailingOutput : public std::streambuf {
 public:
  explicit FailingOutput(std::size_t capacity) : room(capacity) {}

 protected:
  std::streamsize xsputn(const char*, std::streamsize count) override {
    const auto taken = std::min<std::streamsize>(count, static_cast<std::streamsize>(room));
    room -= static_cast<std::size_t>(taken);
    if (taken < count) errno = ENOSPC;
    return taken;
  }
  int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }

 private:
  std::size_t room;
};

TEST(OperationErrorTest, FailedReadOrWriteCarriesItsSystemError) {
  std::mt19937_64 rng(8);
  const std::string source = testing::RandomSource(rng, 3'000'000, 200);
  const std::string compressed = Compress(source);
  // Each error recorded where its call failed, then errno is scrambled the
  // way any later call may scramble it; the result must still tell.
  const ProgressFn scramble = [](std::uint64_t, std::uint64_t) { errno = EINTR; };
  {
    FailingInput input(source.substr(0, 100'000));
    std::istream in(&input);
    std::ostringstream out;
    const CompressResult r = testing::CompressStream(in, out, scramble);
    EXPECT_EQ(r.status, CodecStatus::read_failed);
    EXPECT_EQ(r.system_error, EIO);
  }
  {
    FailingInput input(compressed.substr(0, 600'000));
    std::istream in(&input);
    std::ostringstream out;
    const DecompressResult r = testing::DecompressStream(in, out, scramble);
    EXPECT_EQ(r.status, CodecStatus::read_failed);
    EXPECT_EQ(r.system_error, EIO);
  }
  for (const std::size_t room : {std::size_t{0}, std::size_t{5000}, compressed.size() - 1}) {
    std::istringstream in(source);
    FailingOutput output(room);
    std::ostream out(&output);
    const CompressResult r = testing::CompressStream(in, out, scramble);
    EXPECT_EQ(r.status, CodecStatus::write_failed) << room;
    EXPECT_EQ(r.system_error, ENOSPC) << room;
  }
  for (const std::size_t room : {std::size_t{0}, std::size_t{1'500'000}, source.size() - 1}) {
    std::istringstream in(compressed);
    FailingOutput output(room);
    std::ostream out(&output);
    const DecompressResult r = testing::DecompressStream(in, out, scramble);
    EXPECT_EQ(r.status, CodecStatus::write_failed) << room;
    EXPECT_EQ(r.system_error, ENOSPC) << room;
  }
  // A checked file read at offsets is restored span by span, read and
  // written on whichever thread takes or finishes a span: each failure is
  // still its own call's, and nothing past the failed write goes out.
  const std::string checked = testing::CompressChecked(source);
  Codec two_threads({.threads = 2});
  // Its dictionary and check data (at its two ends) read, a payload read
  // that reaches past `readable` fails.
  for (const std::uint64_t readable : {std::uint64_t{2000}, std::uint64_t{1'000'000}, checked.size() - 5000}) {
    testing::OffsetsOver in(checked, [&checked, readable](int, std::uint64_t offset, std::span<std::uint8_t> into,
                                                          std::int64_t count, int& error) -> std::int64_t {
      if (offset > 0 && offset < checked.size() - 4096 && offset + into.size() > readable) {
        error = EIO;
        return -1;
      }
      return count;
    });
    std::ostringstream out;
    const DecompressResult r = two_threads.Decompress(in, out, scramble);
    EXPECT_EQ(r.status, CodecStatus::read_failed) << readable;
    EXPECT_EQ(r.system_error, EIO) << readable;
  }
  for (const std::size_t room : {std::size_t{0}, std::size_t{1'500'000}, source.size() - 1}) {
    MemorySource in(testing::AsBytes(checked));
    FailingOutput output(room);
    std::ostream out(&output);
    const DecompressResult r = two_threads.Decompress(in, out, scramble);
    EXPECT_EQ(r.status, CodecStatus::write_failed) << room;
    EXPECT_EQ(r.system_error, ENOSPC) << room;
  }
  // A stream that fails without a system error reports none.
  std::istringstream in("some text to compress");
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  const CompressResult r = testing::CompressStream(in, out);
  EXPECT_EQ(r.status, CodecStatus::write_failed);
  EXPECT_EQ(r.system_error, 0);
}

// Random codes of the given lengths for values 0, 1, ..., all other values
// without a code.
CodeTable HandMadeCodes(std::mt19937_64& rng, std::span<const int> lengths) {
  CodeTable codes{};
  for (std::size_t value = 0; value < lengths.size(); ++value) {
    Code& code = codes[value];
    std::generate(code.words.begin(), code.words.end(), std::ref(rng));
    code.length = lengths[value];
    const int tail = code.length % 64;
    if (tail != 0) code.words[code.length / 64] &= ~std::uint64_t{0} << (64 - tail);
    for (int w = (code.length + 63) / 64; w < k_code_words; ++w) code.words[w] = 0;
  }
  return codes;
}

// The bits `codes` give `source`, against what the encoder emits for it.
void ExpectEmittedBits(const CodeTable& codes, const std::string& source) {
  std::string expected_bits;
  for (const char c : source) expected_bits += testing::CodeBits(codes[static_cast<std::uint8_t>(c)]);
  const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(source.data()), source.size());
  Census census;
  census.Add(bytes);
  ByteSink sink(std::size_t{1024});
  BitWriter writer(sink);
  ASSERT_TRUE(Encoder(codes, census).Encode(bytes, writer));
  writer.Finish();
  std::string got_bits;
  for (const std::uint8_t byte : sink.Kept()) {
    for (int k = 7; k >= 0; --k) got_bits.push_back(static_cast<char>('0' + ((byte >> k) & 1)));
  }
  expected_bits.resize(got_bits.size(), '0');  // the last byte's zero fill
  EXPECT_TRUE(got_bits == expected_bits);
}

// Real trees of test size never get long codes, so the tables are made by
// hand.  Codes longer than an entry holds (over 56 bits) take the slow
// emission path: long codes whose later words differ from their first.
// A large source whose code lengths spread from 1 to 56 bits is coded by
// pairs in groups, some of them over the flush limit, some pairs longer
// than an entry holds, and an odd last byte.
TEST(EncoderTest, HandMadeCodesEmitExactly) {
  std::mt19937_64 rng(56);
  const int long_codes[] = {57, 64, 65, 100, 128, 129, 200, 255, 1, 3};
  std::string source;
  for (int i = 0; i < 40'000; ++i) source.push_back(static_cast<char>(rng() % 10));
  ExpectEmittedBits(HandMadeCodes(rng, long_codes), source);

  const int spread_codes[] = {2, 3, 3, 4, 5, 6, 7, 9, 14, 15, 19, 28, 29, 40, 56};
  std::discrete_distribution<int> mostly_short({30, 20, 20, 10, 8, 4, 3, 2, 1, 1, 0.5, 0.2, 0.2, 0.1, 0.1});
  source.clear();
  for (int i = 0; i < (1 << 20) + 3; ++i) source.push_back(static_cast<char>(mostly_short(rng)));
  ExpectEmittedBits(HandMadeCodes(rng, spread_codes), source);
}

}  // namespace
}  // namespace huffman
