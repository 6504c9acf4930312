// A large block's coding shared among the operation's threads: the block is
// cut into pieces (WorkerSet::PartsFor), which the threads take in turn.
// Each piece's codes go to a buffer of its own, which is then copied, again on the
// threads, to the bit where the codes before it end: a part never writes to
// the operation's output, whose full buffers the threads write out beside
// the coding (byte_sink.h).  The result is exactly
// the one-thread result for every thread count.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/split_work.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "codec/bit_writer.h"
#include "codec/byte_sink.h"
#include "codec/encoder.h"
#include "codec/worker.h"

namespace huffman {

// What the coding of a block notes for a checked file: where each span of
// the source that starts in the block starts in the payload, and each span's
// checksum (check_trailer.h).  Blocks start at multiples of the span size.
struct SpanMarks {
  std::uint64_t block_offset = 0;                     // the block's offset in the source
  std::vector<std::uint64_t>* bit_offsets = nullptr;  // appended to, unless null
  std::vector<std::uint64_t>* checksums = nullptr;    // appended to
};

class SplitWork {
 public:
  // The pieces' own outputs come from `buffers`.
  SplitWork(WorkerSet& set, BufferArena* buffers) : workers(set), arena(buffers) {}

  // As Encoder::Encode; with `marks`, noting the block's spans.  First
  // `read(index, piece)` makes piece `index` of `block` (k_max_parts at
  // most) ready, on the thread that then codes it, from the cache it was
  // read into (BlockSource::ReadPiece).  A piece whose read returns false is
  // not coded, and nothing of the block is then written; the caller learns
  // why from its reads.
  using PieceFill = std::function<bool(unsigned index, std::span<const std::uint8_t> piece)>;
  bool Encode(const Encoder& encoder, std::span<const std::uint8_t> block, BitWriter& writer, const PieceFill& read,
              const SpanMarks* marks = nullptr);

 private:
  // One piece's own output: its codes, the last byte zero-filled, and where
  // they are copied to.
  struct PieceOutput {
    explicit PieceOutput(BufferArena* arena) : sink(std::size_t{1} << 16, arena), writer(sink) {}
    ByteSink sink;
    BitWriter writer;
    std::uint64_t bits = 0;
    std::uint8_t* copy_to = nullptr;
    int copy_shift = 0;  // the bits of the first byte that go elsewhere
    std::size_t copy_bytes = 0;
    std::vector<std::uint64_t> span_bits;  // where the spans starting in the piece start in its codes
  };

  // Codes `block` in `pieces` pieces, each read first by `read`.
  bool EncodePieces(const Encoder& encoder, std::span<const std::uint8_t> block, unsigned pieces, BitWriter& writer,
                    const PieceFill& read, const SpanMarks* marks);
  // The checksums of the block's spans, on the threads.
  void AddSpanChecksums(std::span<const std::uint8_t> block, const SpanMarks& marks);
  // Appends the pieces' codes to `writer`.
  void AppendPieces(unsigned pieces, BitWriter& writer);

  WorkerSet& workers;
  BufferArena* arena;
  std::vector<std::unique_ptr<PieceOutput>> outputs;
  // Which thread coded each piece of the block.
  PartOwners piece_owners;
};

// Piece `index` of `block` cut into `pieces` nearly equal pieces.
std::span<const std::uint8_t> Piece(std::span<const std::uint8_t> block, unsigned index, unsigned pieces);

}  // namespace huffman
