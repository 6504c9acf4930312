// The checksum of checked files: XXH3-64 of the xxHash library, used
// header-only in checksum.cpp alone, behind this small interface.  A span
// checksum is the XXH3-64 of one fixed span of the original; the whole
// checksum is the XXH3-64 of the span checksums, so that the threads that
// code or restore the spans make it without a pass of its own.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/checksum.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace huffman {

// XXH3-64 (seed 0) of `bytes`.
std::uint64_t Checksum(std::span<const std::uint8_t> bytes);

// The whole checksum of a source whose span checksums are `spans`: XXH3-64
// of them written one after the other as 8-byte little-endian numbers.
std::uint64_t WholeChecksum(std::span<const std::uint64_t> spans);

// The checksum of bytes given in order, in pieces cut anywhere: Checksum of
// them all, without holding them.
class RunningChecksum {
 public:
  RunningChecksum();
  ~RunningChecksum();
  RunningChecksum(const RunningChecksum&) = delete;
  RunningChecksum& operator=(const RunningChecksum&) = delete;

  // Starts again with no bytes.
  void Reset();
  void Add(std::span<const std::uint8_t> bytes);
  std::uint64_t Digest() const;

 private:
  struct State;
  std::unique_ptr<State> state;
};

// The span checksums of bytes given in order, in pieces cut anywhere: each
// span of `span_bytes` bytes, and a shorter last one, gets its own.
class SpanChecksums {
 public:
  explicit SpanChecksums(std::uint64_t span_bytes);

  void Add(std::span<const std::uint8_t> bytes);
  // Closes the span begun, if any, and returns every span's checksum.
  const std::vector<std::uint64_t>& Finish();
  std::uint64_t Bytes() const { return total; }

 private:
  void CloseSpan();

  RunningChecksum open_span;
  std::uint64_t span_bytes;
  std::uint64_t in_span = 0;  // bytes of the open span added so far
  std::uint64_t total = 0;
  std::vector<std::uint64_t> sums;
};

}  // namespace huffman
