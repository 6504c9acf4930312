// The restore of a checked file whose source reads at offsets and knows
// its size (a regular file, memory).  Its check data comes first, from the
// file's end; then its spans in groups, each span's payload read by the
// thread that decodes it, decoded from its sync point and checked against
// its checksum there (span_decoder.h), while the group before is written
// beside the decoding (WorkerSet::Beside).  What it finds is
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
#include "codec/byte_sink.h"
#include "codec/checked_file.h"
#include "codec/raw_buffer.h"
#include "codec/worker.h"
#include "huffman/codec.h"

namespace huffman {

// Part of a Codec: its threads, its sink and its arena serve every file, and
// the payload buffers it reads into are kept from file to file.
class SpanRestore {
 public:
  // On `workers`' threads, writing through `sink`, buffers from `arena`,
  // with the BMI2 loops if `bmi2`.
  SpanRestore(WorkerSet& workers, ByteSink& sink, BufferArena* arena, bool bmi2)
      : workers(workers), sink(sink), arena(arena), bmi2(bmi2) {}

  // Restores `compressed` to `restored` (none: decodes and verifies it,
  // writing nothing); nothing if it is not a file this restore takes.
  // Output stops before the first damaged group of spans.  The caller
  // leaves the sink and the threads once it returns (a read or write still
  // handed on), as after any operation.
  std::optional<Restore> Run(Source& compressed, std::ostream* restored, const ProgressFn& progress);

 private:
  WorkerSet& workers;
  ByteSink& sink;
  BufferArena* arena;
  bool bmi2;
  // Each lane's room for the payload of the span it decodes, and where a
  // test decodes a group.
  std::vector<RawBuffer> lane_payloads;
  RawBuffer unwritten;
};

}  // namespace huffman
