// Shared by the fuzz targets: run the program's codec over memory streams and
// stop the run, with the input saved by libFuzzer, on the first disagreement.
// One Codec serves every input, as one serves every file of a run.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <sstream>
#include <string>

#include "huffman/codec.h"

namespace huffman::fuzz {

// abort() makes libFuzzer write the input as a crash file, which is what a
// finding must leave behind; the message says which property broke.
inline void Require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "fuzz property broken: %s\n", property);
  std::abort();
}

// The threads of the targets' codec: every core, unless a replay asks for
// a count (replay_main.cpp's --threads=N) before the first input.
inline unsigned& RequestedThreads() {
  static unsigned threads = 0;
  return threads;
}

inline Codec& TheCodec() {
  static Codec codec({.threads = RequestedThreads()});
  return codec;
}

inline std::span<const std::uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

inline std::string Compress(const std::string& source, CompressResult& result, const CompressOptions& options = {}) {
  std::istringstream in(source);
  StreamSource stream(in);
  std::ostringstream out;
  result = TheCodec().Compress(stream, out, {}, options);
  return out.str();
}

// Without `check_format`, any bytes are decoded as the record walk decodes them.
inline std::string Decompress(const std::string& compressed, DecompressResult& result, bool check_format) {
  std::istringstream in(compressed);
  StreamSource stream(in);
  std::ostringstream out;
  result = TheCodec().Decompress(stream, out, {}, {.check_format = check_format});
  return out.str();
}

// The source in memory, read in place.
inline std::string CompressBuffer(const std::string& source, CompressResult& result,
                                  const CompressOptions& options = {}) {
  MemorySource memory(Bytes(source));
  std::ostringstream out;
  result = TheCodec().Compress(memory, out, {}, options);
  return out.str();
}

// The source read at offsets, as a file being compressed is.
inline std::string CompressAt(const std::string& source, CompressResult& result, const CompressOptions& options = {}) {
  OffsetSource at_offsets(
      [&source](std::uint64_t offset, std::span<std::uint8_t> into, int&) -> std::int64_t {
        if (offset >= source.size()) return 0;
        const std::size_t count = std::min<std::size_t>(into.size(), source.size() - offset);
        std::memcpy(into.data(), source.data() + offset, count);
        return static_cast<std::int64_t>(count);
      },
      source.size());
  std::ostringstream out;
  result = TheCodec().Compress(at_offsets, out, {}, options);
  return out.str();
}

inline std::string DecompressBuffer(const std::string& compressed, DecompressResult& result) {
  MemorySource memory(Bytes(compressed));
  std::ostringstream out;
  result = TheCodec().Decompress(memory, out, {}, {.check_format = false});
  return out.str();
}

inline TestResult Test(const std::string& compressed) {
  std::istringstream in(compressed);
  StreamSource stream(in);
  return TheCodec().Test(stream);
}

// The summary of `compressed` read at offsets, as a file's is.
inline Summary Summarize(const std::string& compressed) {
  MemorySource memory(Bytes(compressed));
  return TheCodec().Summarize(memory);
}

}  // namespace huffman::fuzz
