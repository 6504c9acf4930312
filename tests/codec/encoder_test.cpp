#include "codec/encoder.h"

#include <gtest/gtest.h>

#include "codec_test_support.h"

namespace huffman {
namespace {

using testing::Compress;
using testing::FromHex;
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

class SourceChangingBuffer : public std::stringbuf {
 public:
  using std::stringbuf::stringbuf;

 protected:
  // The second pass (after the rewind) sees other content.
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    str("zzzz");
    return std::stringbuf::seekpos(pos, which);
  }
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode which) override {
    str("abz");
    return std::stringbuf::seekoff(off, dir, which);
  }
};

TEST(CompressTest, SourceChangedBetweenPassesIsAnError) {
  SourceChangingBuffer buffer("aab", std::ios::in);
  std::istream source(&buffer);
  std::ostringstream out;
  EXPECT_EQ(CompressStream(source, out).status, CodecStatus::source_changed);
}

TEST(CompressTest, UnwritableOutputIsAnError) {
  std::istringstream source("some text to compress");
  std::ostringstream out;
  out.setstate(std::ios::badbit);
  EXPECT_EQ(CompressStream(source, out).status, CodecStatus::write_failed);
}

}  // namespace
}  // namespace huffman
