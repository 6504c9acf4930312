// The two codec operations the console drives: compress a source stream into
// a compressed stream, and restore a compressed stream. They own no files and
// never touch the console; the caller opens, names and commits the streams.
//
// Pipeline of a compression: census -> order -> tree -> renumber ->
// dictionary -> encode. A restore reads the dictionary and walks the records.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <span>

namespace huffman {

enum class CodecStatus {
  ok,
  read_failed,     // the input stream reported an error (not just its end)
  write_failed,    // the output stream refused bytes
  source_changed,  // the source read differently on its second pass
};

struct CompressResult {
  CodecStatus status = CodecStatus::ok;
  std::uint64_t source_bytes = 0;
  std::uint64_t compressed_bytes = 0;
  std::uint64_t dictionary_bytes = 0;  // 1 + 6 * N, or 0 for an empty source
  int count_chars = 0;                 // distinct byte values in the source
};

struct DecompressResult {
  CodecStatus status = CodecStatus::ok;
  std::uint64_t compressed_bytes = 0;
  std::uint64_t restored_bytes = 0;
};

// Called after each block with the work done so far and the whole work, in
// input bytes read (a compression reads its source twice).  `total` is 0
// when the input's size cannot be told in advance.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Reads `source` twice (census, then coding), so it must be seekable to its
// start. Writes the whole compressed file to `compressed` and flushes it.
CompressResult CompressStream(std::istream& source, std::ostream& compressed, const ProgressFn& progress = {});

// Reads `compressed` once from its current position to its end.
DecompressResult DeCompressStream(std::istream& compressed, std::ostream& restored, const ProgressFn& progress = {});

// The same over input already in memory, which is read in place.
CompressResult CompressBuffer(std::span<const std::uint8_t> source, std::ostream& compressed,
                              const ProgressFn& progress = {});
DecompressResult DeCompressBuffer(std::span<const std::uint8_t> compressed, std::ostream& restored,
                                  const ProgressFn& progress = {});

// Threads the codec may use for the coding of large blocks, for every
// operation started after the call: 0 = every core this process may run on
// (the default), 1 = one thread, N = N.  Reading and writing proceed beside
// the coding on threads of their own whatever the count.
void SetThreadCount(unsigned threads);

}  // namespace huffman
