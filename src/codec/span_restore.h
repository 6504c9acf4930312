// The restore of a checked file whose source reads at offsets and knows
// its size (a regular file, memory).  Its check data comes first, from the
// file's end; then its spans, which the threads take one after another,
// each span's payload read by the thread that decodes it, decoded from its
// sync point into a ring of spans' output and checked against its checksum
// there (span_decoder.h); each span is written out, by whichever thread
// finds it ready, once it and every span before it are found whole, with
// no thread waiting for the others between spans.  What it finds is
// verified by the rules every restore follows (checked_file.h).  A file it
// does not take (a stream, a bare file, check data that does not verify)
// is the restore in order's, unchanged.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/span_restore.h is private to the codec: include <huffman/codec.h>"
#endif

#include <optional>
#include <ostream>
#include <vector>

#include "codec/buffer_arena.h"
#include "codec/checked_file.h"
#include "codec/raw_buffer.h"
#include "codec/worker.h"
#include "huffman/codec.h"

namespace huffman {

// Part of a Codec: its threads and its arena serve every file, and the
// buffers it decodes and reads into are kept from file to file.
class SpanRestore {
 public:
  // On `workers`' threads, buffers from `arena`, with the BMI2 loops if
  // `bmi2`.
  SpanRestore(WorkerSet& workers, BufferArena* arena, bool bmi2) : workers(workers), arena(arena), bmi2(bmi2) {}

  // Restores `compressed` to `restored` (none: decodes and verifies it,
  // writing nothing); nothing if it is not a file this restore takes.
  // Output stops before the first damaged span: what was written is the
  // original's start.
  std::optional<Restore> Run(Source& compressed, std::ostream* restored, const ProgressFn& progress);

 private:
  WorkerSet& workers;
  BufferArena* arena;
  bool bmi2;
  // Each lane's room for the payload of the span it decodes, and the ring
  // of spans' output.
  std::vector<RawBuffer> lane_rooms;
  RawBuffer ring;
};

}  // namespace huffman
