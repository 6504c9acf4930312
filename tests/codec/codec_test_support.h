// Shared helpers for the codec tests: run the operations over memory
// streams, on a Codec of the test's settings or on one shared by the tests
// that need none, and spell byte strings as hex for readable expectations.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "codec/code_table.h"
#include "huffman/codec.h"

namespace huffman::testing {

using Bytes = std::string;

// The codec of the tests that run at the defaults.
inline Codec& SharedCodec() {
  static Codec codec;
  return codec;
}

inline Bytes Compress(const Bytes& source, CompressResult* result = nullptr, Codec& codec = SharedCodec()) {
  std::istringstream in(source);
  StreamSource stream(in);
  std::ostringstream out;
  const CompressResult r = codec.Compress(stream, out);
  if (result != nullptr) *result = r;
  return out.str();
}

// A checked file where the source allows one (CompressOptions::checked).
inline Bytes CompressChecked(const Bytes& source, CompressResult* result = nullptr, Codec& codec = SharedCodec()) {
  std::istringstream in(source);
  StreamSource stream(in);
  std::ostringstream out;
  const CompressResult r = codec.Compress(stream, out, {}, {.checked = true});
  if (result != nullptr) *result = r;
  return out.str();
}

// Decodes as the record walk does, without the structural checks, unless
// `check_format`.
inline Bytes Decompress(const Bytes& compressed, DecompressResult* result = nullptr, bool check_format = false,
                        Codec& codec = SharedCodec()) {
  std::istringstream in(compressed);
  StreamSource stream(in);
  std::ostringstream out;
  const DecompressResult r = codec.Decompress(stream, out, {}, {.check_format = check_format});
  if (result != nullptr) *result = r;
  return out.str();
}

// A byte string as the bytes a MemorySource reads in place.
inline std::span<const std::uint8_t> AsBytes(const Bytes& bytes) {
  return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

// The operations over streams a test makes (failing ones among them).
inline CompressResult CompressStream(std::istream& in, std::ostream& out, const ProgressFn& progress = {},
                                     Codec& codec = SharedCodec()) {
  StreamSource source(in);
  return codec.Compress(source, out, progress);
}
inline DecompressResult DecompressStream(std::istream& in, std::ostream& out, const ProgressFn& progress = {},
                                         Codec& codec = SharedCodec()) {
  StreamSource source(in);
  return codec.Decompress(source, out, progress);
}

// Tests `file` (Codec::Test).
inline TestResult TestFile(const Bytes& file, Codec& codec = SharedCodec()) {
  std::istringstream in(file);
  StreamSource stream(in);
  return codec.Test(stream);
}

// The two restores with one signature, for SameAtEveryThreadCount: as the
// record walk decodes any bytes, and with the structural checks.
inline Bytes DecompressWalk(const Bytes& compressed, DecompressResult* result, Codec& codec) {
  return Decompress(compressed, result, false, codec);
}
inline Bytes DecompressChecked(const Bytes& compressed, DecompressResult* result, Codec& codec) {
  return Decompress(compressed, result, true, codec);
}

// The settings every differential check runs at, whatever the machine: one
// thread, the two-thread split, an odd split, and more threads than cores;
// and the loops for processors without BMI2 as well as those with it (where
// the machine has it).
inline constexpr CodecSettings k_codec_settings[] = {{1, true},  {1, false}, {2, true},
                                                     {3, false}, {4, true},  {8, true}};

// Runs `operation(input, result, codec)` (Compress or Decompress) over
// `input` on a Codec of each of those settings and compares each output with
// `expected`.
template <typename Operation>
::testing::AssertionResult SameAtEveryThreadCount(Operation operation, const Bytes& input, const Bytes& expected) {
  for (const CodecSettings& settings : k_codec_settings) {
    const auto [threads, bmi2] = settings;
    Codec codec(settings);
    const Bytes output = operation(input, nullptr, codec);
    if (output != expected) {
      return ::testing::AssertionFailure()
             << "output differs with " << threads << " threads, BMI2 " << (bmi2 ? "allowed" : "off") << " ("
             << output.size() << " bytes, " << expected.size() << " expected)";
    }
  }
  return ::testing::AssertionSuccess();
}

// "02 00 62" -> the three bytes.
inline Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  std::istringstream in(hex);
  std::string pair;
  while (in >> pair) bytes.push_back(static_cast<char>(std::stoi(pair, nullptr, 16)));
  return bytes;
}

inline std::string ToHex(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string hex;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (!hex.empty()) hex.push_back(' ');
    hex.push_back(digits[byte >> 4]);
    hex.push_back(digits[byte & 15]);
  }
  return hex;
}

// A code's bits as '0'/'1', root first.
inline std::string CodeBits(const Code& code) {
  std::string bits;
  for (int i = 0; i < code.length; ++i) {
    bits.push_back(static_cast<char>('0' + ((code.words[i / 64] >> (63 - i % 64)) & 1)));
  }
  return bits;
}

// `length` bytes drawn from the first `alphabet` byte values (starting at
// `first`), value i with weight proportional to (i + 1)^skew.
inline Bytes RandomSource(std::mt19937_64& rng, std::size_t length, int alphabet, double skew = 0.0, int first = 0) {
  std::vector<double> weights;
  weights.reserve(static_cast<std::size_t>(alphabet));
  for (int i = 0; i < alphabet; ++i) weights.push_back(std::pow(i + 1.0, skew));
  std::discrete_distribution<int> pick(weights.begin(), weights.end());
  Bytes source(length, '\0');
  std::generate(source.begin(), source.end(), [&] { return static_cast<char>((first + pick(rng)) & 0xFF); });
  return source;
}

// Reads `source` at offsets, as a file's positional reads do.  `fault(pass,
// offset, into, count)` may change what a read gives (pass 0 is the census,
// pass 1 the coding: the source is rewound between them).
class OffsetsOver final : public Source {
 public:
  using Fault = std::function<std::int64_t(int pass, std::uint64_t offset, std::span<std::uint8_t> into,
                                           std::int64_t count, int& error)>;
  explicit OffsetsOver(const Bytes& source, Fault change = {}) : bytes(source), fault(std::move(change)) {}

  std::int64_t Read(std::span<std::uint8_t> into, int& error) override {
    const std::int64_t got = ReadAt(position, into, error);
    if (got > 0) position += static_cast<std::uint64_t>(got);
    return got;
  }
  bool Rewind(int& /*error*/) override {
    position = 0;
    ++pass;
    return true;
  }
  std::optional<std::uint64_t> Size() const override { return bytes.size(); }
  bool ReadsAtOffsets() const override { return true; }
  std::int64_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const override {
    std::int64_t count = 0;
    if (offset < bytes.size()) {
      count = static_cast<std::int64_t>(std::min<std::size_t>(into.size(), bytes.size() - offset));
      std::memcpy(into.data(), bytes.data() + offset, static_cast<std::size_t>(count));
    }
    return fault ? fault(pass.load(), offset, into, count, error) : count;
  }

 private:
  const Bytes& bytes;
  Fault fault;
  std::uint64_t position = 0;
  std::atomic<int> pass{0};
};

}  // namespace huffman::testing
