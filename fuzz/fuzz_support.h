// Shared by the fuzz targets: run the program's codec over memory streams and
// stop the run, with the input saved by libFuzzer, on the first disagreement.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <sstream>
#include <string>

#include "codec/operations.h"
#include "memory_operations.h"

namespace huffman::fuzz {

// abort() makes libFuzzer write the input as a crash file, which is what a
// finding must leave behind; the message says which property broke.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", property);
  std::abort();
}

inline std::string Compress(const std::string& source, CompressResult& result) {
  std::istringstream in(source);
  std::ostringstream out;
  result = CompressStream(in, out);
  return out.str();
}

// Without `check_format`, any bytes are decoded as the record walk decodes them.
inline std::string Decompress(const std::string& compressed, DecompressResult& result, bool check_format) {
  std::istringstream in(compressed);
  std::ostringstream out;
  result = DeCompressStream(in, out, {}, check_format);
  return out.str();
}

inline std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

inline std::string CompressBuffer(const std::string& source, CompressResult& result) {
  std::ostringstream out;
  result = huffman::CompressBuffer(Bytes(source), out);
  return out.str();
}

inline std::string DecompressBuffer(const std::string& compressed, DecompressResult& result) {
  std::ostringstream out;
  result = huffman::DeCompressBuffer(Bytes(compressed), out, {}, false);
  return out.str();
}

}  // namespace huffman::fuzz
