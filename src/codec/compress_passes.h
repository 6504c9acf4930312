// Both passes of a compression, over the source's blocks (block_source.h),
// the same way whatever the source: each block is cut into pieces that the
// threads take in turn, each reading its piece first where the blocks are
// read by pieces.
//   The census needs no order but that of first occurrences: each piece is
// counted, and the values in it new to the census are found while it is
// still in the cache it was read into; the pieces are then merged in order.
// A piece read short ends the source there.
//   The coding reads the length the census counted, each piece coded by the
// part that read it (SplitWork), then checks that the source ends there.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/compress_passes.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>
#include <functional>

#include "codec/bit_writer.h"
#include "codec/block_source.h"
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

// What the census keeps of each piece of a block between its count on the
// threads and the merge: made once, with the Codec.  Uninitialised until
// counted.
struct CensusPieces {
  std::array<Histogram, k_max_parts> counts;
  // The values in each piece the census had not met when it was counted.
  std::array<FirstOccurrences, k_max_parts> new_values;
};

// Counts the source from its start to its end into `census`, on `workers`'
// threads, each piece best on the thread that counted it in the block before
// (`owners`); `done(bytes)` is called on this thread as the count goes on.
PassStatus CountPass(BlockSource& blocks, WorkerSet& workers, CensusPieces& pieces, PartOwners& owners, Census& census,
                     const std::function<void(std::uint64_t)>& done);

// Codes the census's `length` bytes of the source, read again from its
// start, to `writer`; `all_known` turns false if a byte the census never saw
// is met.  With `marks`, notes the spans (SplitWork).
PassStatus CodePass(BlockSource& blocks, std::uint64_t length, SplitWork& split, const Encoder& encoder,
                    BitWriter& writer, bool& all_known, const std::function<void(std::uint64_t)>& done,
                    const SpanMarks* marks);

}  // namespace huffman
