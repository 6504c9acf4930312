// Where an operation's input comes from, a block at a time: a stream read
// into one reused buffer (the program's files), or memory that already holds
// the whole input and is handed out in place.  Both give full blocks until
// the last, so a block boundary never depends on how the input arrived.
#pragma once

#include <cstdint>
#include <istream>
#include <span>

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
  // True if a read failed (as opposed to the input ending).
  virtual bool Failed() const = 0;
  // The errno recorded where the read failed; 0 if none did, or if the
  // stream failed without a system error.
  virtual int Error() const = 0;
  // Bytes from here to the end, or 0 if that cannot be told in advance.
  virtual std::uint64_t SizeAhead() = 0;
};

class StreamBlocks final : public BlockSource {
 public:
  StreamBlocks(std::istream& in, std::size_t block_bytes) : in(in), buffer(block_bytes) {}
  std::span<const std::uint8_t> Next() override;
  bool Rewind() override;
  bool Failed() const override { return in.bad(); }
  int Error() const override { return error; }
  std::uint64_t SizeAhead() override;

 private:
  std::istream& in;
  RawBuffer buffer;
  int error = 0;
};

class MemoryBlocks final : public BlockSource {
 public:
  MemoryBlocks(std::span<const std::uint8_t> bytes, std::size_t block_bytes) : bytes(bytes), block_bytes(block_bytes) {}
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
