// The encoder on arbitrary sources: the file it writes equals the literal
// per-byte encoder's, the literal record walk restores the source from it
// exactly, and so does the program's own decoder.
//
// The first input byte picks how the rest becomes the source:
//   bit 0 clear: the rest is the source itself;
//   bit 0 set:   the rest is (byte value, run length) pairs, each run 1 to
//                4096 bytes long, so that few input bytes give the lopsided
//                counts of deep trees and long codes;
//   bits 0 and 1 set: as above, but the next byte gives a size from 256 KiB
//                to about 1.3 MiB and the runs repeat until the source has
//                it.  The program splits sources from 256 KiB between two
//                threads and codes them by pairs of bytes from 1 MiB on.
// Built twice: encoder_fuzz takes the third form like the second (fast), and
// encoder_large_fuzz, built with HUFFMAN_FUZZ_GROW, makes the large sources.
// The literal encoder looks every byte's code up again, which is too slow
// for large sources; those are checked by the two decoders instead (the
// literal walk, capped by the alphabet's size), and the small ones, which
// take the same dictionary and padding paths, against the literal encoder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "literal_codec.h"

#ifndef HUFFMAN_FUZZ_GROW
#define HUFFMAN_FUZZ_GROW 0
#endif

namespace {

constexpr std::size_t k_max_run_source_bytes = 16 * 1024;
constexpr std::size_t k_large_source_bytes = 256 * 1024;
constexpr std::size_t k_large_step_bytes = 4 * 1024;
// Record checks the literal walk may spend on a large source, as source
// bytes times (distinct values + 1): about 1.2 MiB of 20 values.
constexpr std::uint64_t k_walk_budget = std::uint64_t{26} << 20;

// A run length from one byte: 1..16 linearly, then growing by about 1/16 per
// step, so both short and long runs are a single mutation away.
std::size_t RunLength(std::uint8_t code) {
  std::size_t length = 1;
  for (int i = 0; i < code; ++i) length += std::max<std::size_t>(1, length / 16);
  return std::min<std::size_t>(length, 4096);
}

int DistinctValues(const std::string& source) {
  bool seen[256] = {};
  int distinct = 0;
  for (const char c : source) {
    bool& s = seen[static_cast<unsigned char>(c)];
    distinct += s ? 0 : 1;
    s = true;
  }
  return distinct;
}

std::string Runs(const std::uint8_t* pairs, std::size_t size, std::size_t limit) {
  std::string source;
  for (std::size_t i = 0; i + 1 < size && source.size() < limit; i += 2) {
    source.append(std::min(RunLength(pairs[i + 1]), limit - source.size()), static_cast<char>(pairs[i]));
  }
  return source;
}

std::string LargeSource(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return {};
  const std::string unit = Runs(data + 2, size - 2, k_large_source_bytes);
  if (unit.empty()) return {};
  const std::size_t wanted = k_large_source_bytes + data[1] * k_large_step_bytes;
  const std::size_t budget = k_walk_budget / (static_cast<std::size_t>(DistinctValues(unit)) + 1);
  std::string source;
  const std::size_t length = std::min(wanted, budget);
  while (source.size() < length) source.append(unit, 0, length - source.size());
  return source;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace huffman;
  if (size == 0) return 0;
  std::string source;
  switch (data[0] & 3) {
    case 1:
      source = Runs(data + 1, size - 1, k_max_run_source_bytes);
      break;
    case 3:
      source = HUFFMAN_FUZZ_GROW ? LargeSource(data, size) : Runs(data + 1, size - 1, k_max_run_source_bytes);
      break;
    default:
      source.assign(reinterpret_cast<const char*>(data) + 1, size - 1);
      break;
  }
  const bool large = source.size() > k_max_run_source_bytes;

  CompressResult compress_result;
  const std::string compressed = fuzz::Compress(source, compress_result);
  fuzz::Require(compress_result.status == CodecStatus::ok, "a memory stream never fails, so the status is ok");
  if (!large) fuzz::Require(compressed == reference::LiteralCompress(source), "the file equals the per-byte encoder's");
  fuzz::Require(reference::LiteralDecompress(compressed) == source, "the record walk restores the source");

  DecompressResult decompress_result;
  fuzz::Require(fuzz::Decompress(compressed, decompress_result, true) == source,
                "the decoder restores the source, and the file passes the structural checks");
  fuzz::Require(decompress_result.status == CodecStatus::ok, "restoring from memory succeeds");

  // Reading the source in place gives the same file.
  CompressResult buffer_result;
  fuzz::Require(fuzz::CompressBuffer(source, buffer_result) == compressed, "compressing in place gives the same file");
  CompressResult offsets_result;
  fuzz::Require(fuzz::CompressAt(source, offsets_result) == compressed && offsets_result.status == CodecStatus::ok,
                "reading the source at offsets gives the same file");

  // The summary figures describe the file actually written.
  fuzz::Require(compress_result.source_bytes == source.size(), "source size");
  fuzz::Require(compress_result.compressed_bytes == compressed.size(), "compressed size");
  fuzz::Require(compress_result.count_chars == DistinctValues(source), "distinct byte values");
  const std::uint64_t dictionary_bytes =
      source.empty() ? 0 : 1 + 6 * std::uint64_t{static_cast<unsigned char>(compressed[0])};
  fuzz::Require(compress_result.dictionary_bytes == dictionary_bytes, "dictionary size is 1 + 6N");
  fuzz::Require(
      buffer_result.compressed_bytes == compressed.size() && buffer_result.count_chars == DistinctValues(source),
      "the in-place figures agree");

  // The checked file: any decoder's walk restores the source, the restore
  // verifies it, and every way of reading the source writes the same file.
  const CompressOptions check{.checked = true};
  CompressResult checked_result;
  const std::string checked = fuzz::Compress(source, checked_result, check);
  fuzz::Require(checked_result.checked == (!source.empty() && DistinctValues(source) < 256),
                "every source but the empty one and one of all 256 values gets check data");
  fuzz::Require(checked_result.checked || checked == compressed, "a source without check data gets the bare file");
  fuzz::Require(reference::LiteralDecompress(checked) == source, "the record walk restores the checked file's source");
  DecompressResult verified;
  fuzz::Require(fuzz::Decompress(checked, verified, true) == source && verified.status == CodecStatus::ok &&
                    verified.checked == checked_result.checked,
                "the decoder restores and verifies the checked file");
  fuzz::Require(!checked_result.checked || verified.restored_checksum == checked_result.source_checksum,
                "the restored checksum is the source's");
  CompressResult other;
  fuzz::Require(
      fuzz::CompressBuffer(source, other, check) == checked && fuzz::CompressAt(source, other, check) == checked,
      "every way of reading the source writes the same checked file");
  return 0;
}
