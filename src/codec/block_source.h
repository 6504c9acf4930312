// Where an operation's input comes from, a block at a time: a stream read
// ahead into a small ring of reused buffers (the program's files), or memory
// that already holds the whole input and is handed out in place.  Both give
// full blocks until the last, so a block boundary never depends on how the
// input arrived.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <istream>
#include <mutex>
#include <span>
#include <thread>

#include "codec/raw_buffer.h"

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

// The first block is read on the caller's thread; when it is full, a reader
// thread reads the following ones while the caller codes, at most
// k_read_ahead blocks ahead, so memory stays flat.  Between a Rewind (or
// the start) and the first Next the caller alone uses the stream.
class StreamBlocks final : public BlockSource {
 public:
  StreamBlocks(std::istream& input, std::size_t block_bytes);
  ~StreamBlocks() override;
  StreamBlocks(const StreamBlocks&) = delete;
  StreamBlocks& operator=(const StreamBlocks&) = delete;

  std::span<const std::uint8_t> Next() override;
  bool Rewind() override;
  bool Failed() const override;
  int Error() const override;
  std::uint64_t SizeAhead() override;

 private:
  // Blocks read but not yet handed out, besides the one the caller holds.
  static constexpr std::uint64_t k_read_ahead = 2;

  // Reads the block numbered `filled` into its slot; false at the end of
  // the input or after a read error.  Only one thread reads at a time.
  bool ReadOne();
  void ReaderLoop();
  void StopReader();

  std::istream& in;
  std::size_t block_bytes;
  std::array<RawBuffer, k_read_ahead + 1> slots;
  std::array<std::size_t, k_read_ahead + 1> lengths{};
  bool first_read = false;  // the caller's own, read on its thread only

  // Under `mutex` while the reader runs.  Blocks are numbered from the start
  // of the pass; block n lives in slots[n % slots.size()].
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t filled = 0;  // blocks read
  std::uint64_t taken = 0;   // blocks handed out; all but the last are done with
  bool ended = false;        // no block follows block `filled`
  bool stopping = false;
  bool failed = false;
  int error = 0;
  std::thread reader;
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
