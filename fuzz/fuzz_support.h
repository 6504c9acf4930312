// Shared by the fuzz targets: run the program's codec over memory streams and
// stop the run, with the input saved by libFuzzer, on the first disagreement.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

inline std::string Compress(const std::string& source, CompressResult& result, const CompressOptions& options = {}) {
  std::istringstream in(source);
  std::ostringstream out;
  result = CompressStream(in, out, {}, options);
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

inline std::string CompressBuffer(const std::string& source, CompressResult& result,
                                  const CompressOptions& options = {}) {
  std::ostringstream out;
  result = huffman::CompressBuffer(Bytes(source), out, {}, options);
  return out.str();
}

// The source read at offsets, as a file being compressed is.
inline std::string CompressAt(const std::string& source, CompressResult& result, const CompressOptions& options = {}) {
  std::ostringstream out;
  const ReadAtFn read_at = [&source](std::uint64_t offset, std::span<std::uint8_t> into, int&) -> std::int64_t {
    if (offset >= source.size()) return 0;
    const std::size_t count = std::min<std::size_t>(into.size(), source.size() - offset);
    std::memcpy(into.data(), source.data() + offset, count);
    return static_cast<std::int64_t>(count);
  };
  result = huffman::CompressAt(read_at, source.size(), out, {}, options);
  return out.str();
}

inline std::string DecompressBuffer(const std::string& compressed, DecompressResult& result) {
  std::ostringstream out;
  result = huffman::DeCompressBuffer(Bytes(compressed), out, {}, false);
  return out.str();
}

}  // namespace huffman::fuzz
