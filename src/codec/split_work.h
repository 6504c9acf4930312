// A large block's work shared between the calling thread and a worker: the
// block is cut in two halves, the worker takes the second.  Counting merges
// the halves' histograms in order; coding writes the second half's codes to
// a buffer of its own, which is then appended at the bit where the first
// half's codes end.  The result is exactly the one-thread result.
#pragma once

#include <span>

#include "codec/bit_writer.h"
#include "codec/byte_sink.h"
#include "codec/census.h"
#include "codec/encoder.h"
#include "codec/worker.h"

namespace huffman {

class SplitWork {
 public:
  explicit SplitWork(Worker& helper);

  void Count(Census& census, std::span<const std::uint8_t> block);
  // As Encoder::Encode.
  bool Encode(const Encoder& encoder, std::span<const std::uint8_t> block, BitWriter& writer);

 private:
  Worker& worker;
  ByteSink second_sink;
  BitWriter second_writer;
};

}  // namespace huffman
