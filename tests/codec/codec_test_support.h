// Shared helpers for the codec tests: run the two operations over memory
// streams, and spell byte strings as hex for readable expectations.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "codec/code_table.h"
#include "codec/cpu_features.h"
#include "codec/operations.h"

namespace huffman::testing {

using Bytes = std::string;

inline Bytes Compress(const Bytes& source, CompressResult* result = nullptr) {
  std::istringstream in(source);
  std::ostringstream out;
  const CompressResult r = CompressStream(in, out);
  if (result != nullptr) *result = r;
  return out.str();
}

// A checked file where the source allows one (CompressOptions::checked).
inline Bytes CompressChecked(const Bytes& source, CompressResult* result = nullptr) {
  std::istringstream in(source);
  std::ostringstream out;
  const CompressResult r = CompressStream(in, out, {}, {.checked = true});
  if (result != nullptr) *result = r;
  return out.str();
}

// Decodes as the record walk does, without the structural checks, unless
// `check_format`.
inline Bytes Decompress(const Bytes& compressed, DecompressResult* result = nullptr, bool check_format = false) {
  std::istringstream in(compressed);
  std::ostringstream out;
  const DecompressResult r = DeCompressStream(in, out, {}, check_format);
  if (result != nullptr) *result = r;
  return out.str();
}

// The two restores with one signature, for SameAtEveryThreadCount: as the
// record walk decodes any bytes, and with the structural checks.
inline Bytes DecompressWalk(const Bytes& compressed, DecompressResult* result) {
  return Decompress(compressed, result, false);
}
inline Bytes DecompressChecked(const Bytes& compressed, DecompressResult* result) {
  return Decompress(compressed, result, true);
}

// The settings every differential check runs at, whatever the machine: one
// thread, the two-thread split, an odd split, and more threads than cores;
// and the loops for processors without BMI2 as well as those with it (where
// the machine has it).
struct CodecSettings {
  unsigned threads;
  bool bmi2;
};
inline constexpr CodecSettings k_codec_settings[] = {{1, true},  {1, false}, {2, true},
                                                     {3, false}, {4, true},  {8, true}};

// Runs `operation` (Compress or Decompress) over `input` at each of those
// settings and compares each output with `expected`.  Leaves the defaults
// set.
template <typename Operation>
::testing::AssertionResult SameAtEveryThreadCount(Operation operation, const Bytes& input, const Bytes& expected) {
  for (const auto [threads, bmi2] : k_codec_settings) {
    SetThreadCount(threads);
    AllowBmi2(bmi2);
    const Bytes output = operation(input, nullptr);
    SetThreadCount(0);
    AllowBmi2(true);
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

}  // namespace huffman::testing
