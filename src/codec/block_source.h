// Where an operation's input comes from, a block at a time: a stream read
// a block ahead into two reused buffers (the program's files), or memory
// that already holds the whole input and is handed out in place.  Both give
// full blocks until the last, so a block boundary never depends on how the
// input arrived.
#pragma once

#include <array>
#include <cstdint>
#include <istream>
#include <span>

#include "codec/raw_buffer.h"
#include "codec/worker.h"

namespace huffman {

// Compression reads larger blocks than decompression, whose output per block
// can be eight times its input: a larger block pays for the hand-over to a
// second thread more often than it costs memory.
inline constexpr std::size_t k_compress_block_bytes = 1024 * 1024;
inline constexpr std::size_t k_decompress_block_bytes = 256 * 1024;

class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // The next block; empty at the end of the input or after a read error.
  virtual std::span<const std::uint8_t> Next() = 0;
  // Back to the start; false if the input cannot go back.
  virtual bool Rewind() = 0;
  // True if a read failed (as opposed to the input ending); final once
  // Next() returned an empty block.
  virtual bool Failed() const = 0;
  // The errno recorded where the read failed (on whichever thread read);
  // 0 if none did, or if the stream failed without a system error.
  virtual int Error() const = 0;
  // Bytes from here to the end, or 0 if that cannot be told in advance.
  virtual std::uint64_t SizeAhead() = 0;
};

// The first block is read on the caller's thread; when it is full, the
// next one is handed to the operation's threads to be read beside the
// coding of this one (WorkerSet::Beside), into a second buffer, so memory
// stays flat.  A block handed out stays valid until the next call.
class StreamBlocks final : public BlockSource {
 public:
  StreamBlocks(std::istream& input, std::size_t block_bytes, WorkerSet& workers);
  ~StreamBlocks() override;
  StreamBlocks(const StreamBlocks&) = delete;
  StreamBlocks& operator=(const StreamBlocks&) = delete;

  std::span<const std::uint8_t> Next() override;
  bool Rewind() override;
  bool Failed() const override { return failed; }
  int Error() const override { return error; }
  std::uint64_t SizeAhead() override;

 private:
  // Reads the next block into slots[slot]; a short read ends the input.
  void ReadInto(std::size_t slot);

  std::istream& in;
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

class MemoryBlocks final : public BlockSource {
 public:
  MemoryBlocks(std::span<const std::uint8_t> input, std::size_t block_size) : bytes(input), block_bytes(block_size) {}
  std::span<const std::uint8_t> Next() override;
  bool Rewind() override {
    position = 0;
    return true;
  }
  bool Failed() const override { return false; }
  int Error() const override { return 0; }
  std::uint64_t SizeAhead() override { return bytes.size() - position; }

 private:
  std::span<const std::uint8_t> bytes;
  std::size_t block_bytes;
  std::size_t position = 0;
};

}  // namespace huffman
