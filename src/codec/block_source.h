// Where an operation's input comes from, a block at a time, in one of three
// ways chosen by what the Source can do: memory is handed out in place; a
// source that reads at offsets hands out room for the block, whose pieces
// the threads then read themselves (ReadPiece), each the piece it works on,
// from the cache it was read into; any other source is read a block ahead
// into a second buffer, beside the coding.  The passes take every block the
// same way.  The buffers belong to the Codec and serve every file.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/block_source.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>
#include <span>

#include "codec/raw_buffer.h"
#include "codec/worker.h"
#include "huffman/codec.h"

namespace huffman {

// Compression reads larger blocks than decompression, whose output per block
// can be eight times its input: a larger block pays for the hand-over to a
// second thread more often than it costs memory.
inline constexpr std::size_t k_compress_block_bytes = 1024 * 1024;
inline constexpr std::size_t k_decompress_block_bytes = 256 * 1024;

// One block: its bytes, at `offset` in the source.  Where `unread`, the
// bytes are room for the block, filled a piece at a time by ReadPiece, and
// `expected` is how many the source is expected to hold there (its size
// as told ahead); otherwise they are the block itself.  Empty at the end.
struct Block {
  std::span<const std::uint8_t> bytes;
  std::uint64_t offset = 0;
  bool unread = false;
  std::size_t expected = 0;
};

// What ReadPiece found: the count read, or -1 with the errno.
struct PieceRead {
  std::int64_t count = 0;
  int error = 0;
};

class BlockSource {
 public:
  // Reads beside the coding on `set`'s threads, into buffers from `buffers`.
  BlockSource(WorkerSet& set, BufferArena* buffers) : workers(set), arena(buffers) {}
  ~BlockSource() { Close(); }
  BlockSource(const BlockSource&) = delete;
  BlockSource& operator=(const BlockSource&) = delete;

  // Reads `source` from its start in blocks of `block_bytes`; with
  // `at_offsets`, by ReadPiece where the source reads at offsets.
  void Open(Source& source, std::size_t block_bytes, bool at_offsets);
  // Lets go of the source, a read handed on made first (what it throws
  // dropped: worker.h).
  void Close();

  // The next block.  Where blocks are read by pieces, it holds at most
  // `at_most` bytes; every other block holds what the source gave.  A block
  // handed out stays valid until the next call.
  Block Next(std::size_t at_most);
  // Reads `piece` of an unread `block` (a span within its bytes); any other
  // block's pieces are there already.  Called on several threads at once,
  // each for a piece of its own.
  PieceRead ReadPiece(const Block& block, std::span<const std::uint8_t> piece);
  // Whether the source holds bytes past the blocks handed out: the count
  // found there (0 where it ends), or -1 with the errno.
  PieceRead Beyond();
  // Back to the start; false if the input cannot go back.
  bool Rewind();
  // True if a read of whole blocks failed (as opposed to the input ending);
  // final once Next() returned an empty block.  ReadPiece reports its own.
  bool Failed() const { return failed; }
  // The errno recorded where the read failed (on whichever thread read);
  // 0 if none did, or if the source failed without a system error.
  int Error() const { return error; }
  // The source's size as told ahead; 0 when it cannot tell.
  std::uint64_t SizeAhead() const { return size_ahead; }

 private:
  enum class Way { in_place, by_pieces, ahead };
  // Reads the next block into slots[slot]; a short read ends the input.
  void ReadInto(std::size_t slot);

  WorkerSet& workers;
  BufferArena* arena;
  Source* in = nullptr;
  Way way = Way::ahead;
  std::span<const std::uint8_t> held;
  std::uint64_t size_ahead = 0;
  std::size_t block_bytes = 0;
  std::uint64_t offset = 0;  // of the next block
  std::array<RawBuffer, 2> slots;
  std::array<std::size_t, 2> lengths{};
  std::size_t next_slot = 0;  // where the block Next hands out is read
  bool started = false;
  bool reading = false;  // a read handed on has not run yet
  // Set by the reads, which may run on any of the workers' threads; the
  // caller reads them once the read has run (Settle, or a job's end).
  bool ended = false;  // no block follows the last one read
  bool failed = false;
  int error = 0;
};

}  // namespace huffman
