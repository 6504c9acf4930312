// Both passes of a compression over a source that threads can read at
// offsets of their own (a regular file).  No reader thread hands blocks
// over: each thread reads the piece it is about to work on straight into a
// buffer, and works on it from the cache it was read into.
//   The census needs no order but that of first occurrences: each thread
// reads and counts the next chunk not yet taken; chunks are merged in
// order, and a chunk that holds values new to the census is read once more
// to find which comes first (after the first chunks, rare).
//   The coding reads the length the census counted, block by block, each
// piece of a block read by the part that codes it (SplitWork), then checks
// that the source ends there.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/positional_passes.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cstdint>
#include <functional>

#include "codec/bit_writer.h"
#include "codec/census.h"
#include "codec/encoder.h"
#include "codec/split_work.h"
#include "codec/worker.h"
#include "huffman/codec.h"

namespace huffman {

// How a pass went: ok, read_failed (with the system's errno) or
// source_changed (it read differently from one read to another).
struct PassStatus {
  CodecStatus status = CodecStatus::ok;
  int system_error = 0;
};

// Counts the source from its start to its end into `census`, on `workers`'
// threads; `done(bytes)` is called on this thread as the count goes on.
PassStatus CountAtOffsets(const Source& source, WorkerSet& workers, Census& census,
                          const std::function<void(std::uint64_t)>& done);

// Codes the census's `length` bytes of the source to `writer`; `all_known`
// turns false if a byte the census never saw is met.  With `marks`, notes
// the spans (SplitWork).
PassStatus CodeAtOffsets(const Source& source, std::uint64_t length, SplitWork& split, const Encoder& encoder,
                         BitWriter& writer, bool& all_known, const std::function<void(std::uint64_t)>& done,
                         const SpanMarks* marks = nullptr);

}  // namespace huffman
