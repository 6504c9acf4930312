// Where an operation's input comes from, a block at a time: a Source read
// a block ahead into two reused buffers, or, where the source holds its
// bytes in memory, handed out in place.  Both give full blocks until the
// last, so a block boundary never depends on how the input arrived.
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

// The first block is read on the caller's thread; when it is full, the
// next one is handed to the operation's threads to be read beside the
// coding of this one (WorkerSet::Beside), into a second buffer, so memory
// stays flat.  A block handed out stays valid until the next call.
class BlockSource {
 public:
  BlockSource(Source& input, std::size_t block_bytes, WorkerSet& workers);
  ~BlockSource();
  BlockSource(const BlockSource&) = delete;
  BlockSource& operator=(const BlockSource&) = delete;

  // The next block; empty at the end of the input or after a read error.
  std::span<const std::uint8_t> Next();
  // Back to the start; false if the input cannot go back.
  bool Rewind();
  // True if a read failed (as opposed to the input ending); final once
  // Next() returned an empty block.
  bool Failed() const { return failed; }
  // The errno recorded where the read failed (on whichever thread read);
  // 0 if none did, or if the source failed without a system error.
  int Error() const { return error; }

 private:
  // Reads the next block into slots[slot]; a short read ends the input.
  void ReadInto(std::size_t slot);

  Source& in;
  // The source's bytes where it holds them, and how far they were handed out.
  std::span<const std::uint8_t> held;
  std::size_t held_position = 0;
  std::size_t block_bytes;
  WorkerSet& workers;
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
