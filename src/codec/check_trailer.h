// The check data at the end of a checked file: the trailer (the original's
// length and checksums, the span table of sync points) and the fixed-size
// footer after it, by which a reader finds the trailer from the file's end.
// All numbers are little-endian.  The README's format section lays out every
// byte; the codes before the trailer end in the dead end, so any decoder of
// the format reads past all of this without restoring a byte of it.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/check_trailer.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace huffman {

// The original is checked in spans of this many bytes.  A restore decodes
// 256 KiB compressed blocks, and a later restore may decode several spans
// at once from their sync points, a few interleaved on each thread: spans
// of a block's size keep each span's output within a few such buffers (a
// megabyte or two per thread), while the table costs 16 bytes per span,
// 0.006% of the original.  Fixed, so that a restore knows where to cut its
// output before it has read the trailer at the end.
inline constexpr std::uint64_t k_span_bytes = 256 * 1024;
// Longer sources are written bare: their trailer would pass 16 MiB, which a
// restore holds in memory at the end.
inline constexpr std::uint64_t k_max_checked_bytes = std::uint64_t{1} << 38;  // 256 GiB

inline constexpr std::size_t k_trailer_head_bytes = 40;
inline constexpr std::size_t k_span_entry_bytes = 16;
inline constexpr std::size_t k_footer_bytes = 28;
inline constexpr std::uint32_t k_trailer_version = 1;
// "HUFCHECK" as the 8 bytes read little-endian.
inline constexpr std::uint64_t k_footer_magic = 0x4B43454843465548ULL;
inline constexpr std::uint64_t k_max_trailer_body_bytes =
    k_trailer_head_bytes + k_span_entry_bytes * ((k_max_checked_bytes + k_span_bytes - 1) / k_span_bytes);

struct SpanEntry {
  std::uint64_t bit_offset = 0;  // in the payload, bit 0 = bit 7 of its first byte
  std::uint64_t checksum = 0;    // XXH3-64 of the span's original bytes
};

struct Trailer {
  std::uint64_t length = 0;          // of the original
  std::uint64_t whole_checksum = 0;  // WholeChecksum of the spans' checksums
  std::uint64_t span_bytes = k_span_bytes;
  std::uint64_t payload_bits = 0;         // the codes and the path into the dead end
  std::uint64_t dictionary_checksum = 0;  // XXH3-64 of the dictionary's bytes
  std::vector<SpanEntry> spans;
};

// Spans of a source of `length` bytes.
inline std::uint64_t SpanCount(std::uint64_t length) { return (length + k_span_bytes - 1) / k_span_bytes; }

// The trailer's body followed by its footer.
std::vector<std::uint8_t> EncodeTrailer(const Trailer& trailer);

// The trailer whose footer ends `tail` (the last bytes of a file), if the
// footer is one (magic and version), its body lies within `tail`, and the
// footer's checksum matches; `body_bytes` is then the body's length.  The
// body's fields are not checked against each other (ConsistentTrailer).
std::optional<Trailer> ReadTrailer(std::span<const std::uint8_t> tail, std::uint64_t& body_bytes);

// Whether a trailer's fields agree: the span size this reader cuts at, one
// entry per span of the length.
bool ConsistentTrailer(const Trailer& trailer);

}  // namespace huffman
