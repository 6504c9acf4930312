#include "codec/block_source.h"

#include <algorithm>
#include <cerrno>

namespace huffman {

StreamBlocks::StreamBlocks(std::istream& input, std::size_t block_bytes, WorkerSet& workers)
    : in(input), block_bytes(block_bytes), workers(workers) {
  slots[0] = RawBuffer(block_bytes);
}

// A read still handed on is made before its buffer goes.
StreamBlocks::~StreamBlocks() {
  if (reading) workers.SettleQuietly();
}

void StreamBlocks::ReadInto(std::size_t slot) {
  if (slots[slot].size() == 0) slots[slot] = RawBuffer(block_bytes);
  errno = 0;
  in.read(reinterpret_cast<char*>(slots[slot].data()), static_cast<std::streamsize>(block_bytes));
  lengths[slot] = static_cast<std::size_t>(in.gcount());
  if (lengths[slot] < block_bytes) {
    ended = true;
    failed = in.bad();
    // Read at once: the call that failed set it, and any later call may not.
    error = failed ? errno : 0;
  }
}

std::span<const std::uint8_t> StreamBlocks::Next() {
  if (!started) {
    started = true;
    ReadInto(next_slot);
  } else if (reading) {
    workers.Settle();  // the read handed on, if no job ran it
  }
  const std::size_t slot = next_slot;
  next_slot = 1 - slot;
  if (ended) {
    lengths[next_slot] = 0;
  } else {
    reading = true;
    workers.Beside([this] {
      ReadInto(next_slot);
      reading = false;
    });
  }
  return {slots[slot].data(), lengths[slot]};
}

bool StreamBlocks::Rewind() {
  if (reading) workers.Settle();
  next_slot = 0;
  started = ended = failed = false;
  error = 0;
  in.clear();
  errno = 0;
  in.seekg(0, std::ios::beg);
  if (!in) error = errno;
  return static_cast<bool>(in);
}

std::uint64_t StreamBlocks::SizeAhead() {
  if (reading) workers.Settle();
  const auto here = in.tellg();
  if (here < 0 || !in.seekg(0, std::ios::end)) {
    in.clear();
    return 0;
  }
  const auto end = in.tellg();
  in.seekg(here);
  return end > here ? static_cast<std::uint64_t>(end - here) : 0;
}

std::span<const std::uint8_t> MemoryBlocks::Next() {
  const std::size_t length = std::min(block_bytes, bytes.size() - position);
  const auto block = bytes.subspan(position, length);
  position += length;
  return block;
}

}  // namespace huffman
