#include "codec/block_source.h"

#include <algorithm>
#include <cerrno>

namespace huffman {

StreamBlocks::StreamBlocks(std::istream& input, std::size_t block_bytes) : in(input), block_bytes(block_bytes) {
  slots[0] = RawBuffer(block_bytes);
}

StreamBlocks::~StreamBlocks() { StopReader(); }

bool StreamBlocks::ReadOne() {
  RawBuffer& slot = slots[filled % slots.size()];
  if (slot.size() == 0) slot = RawBuffer(block_bytes);
  errno = 0;
  in.read(reinterpret_cast<char*>(slot.data()), static_cast<std::streamsize>(block_bytes));
  const auto length = static_cast<std::size_t>(in.gcount());
  // Read at once: the call that failed set it, and any later call may not.
  const int read_error = in.bad() ? errno : 0;
  std::lock_guard lock(mutex);
  lengths[filled % slots.size()] = length;
  if (length > 0) ++filled;
  if (length < block_bytes) {
    ended = true;
    failed = in.bad();
    error = read_error;
  }
  changed.notify_all();
  return !ended;
}

void StreamBlocks::ReaderLoop() {
  for (;;) {
    {
      std::unique_lock lock(mutex);
      // The slot of block `filled` is free once the caller is past the
      // block it last held.
      changed.wait(lock, [this] { return stopping || filled < taken + k_read_ahead; });
      if (stopping) return;
    }
    if (!ReadOne()) return;
  }
}

std::span<const std::uint8_t> StreamBlocks::Next() {
  if (!first_read) {
    // The first block here: a small input never starts the reader.
    first_read = true;
    if (ReadOne()) reader = std::thread([this] { ReaderLoop(); });
  }
  std::unique_lock lock(mutex);
  changed.wait(lock, [this] { return ended || filled > taken; });
  if (filled == taken) return {};
  const std::size_t slot = taken++ % slots.size();
  changed.notify_all();
  return {slots[slot].data(), lengths[slot]};
}

bool StreamBlocks::Failed() const {
  std::lock_guard lock(mutex);
  return failed;
}

int StreamBlocks::Error() const {
  std::lock_guard lock(mutex);
  return error;
}

void StreamBlocks::StopReader() {
  if (!reader.joinable()) return;
  {
    std::lock_guard lock(mutex);
    stopping = true;
  }
  changed.notify_all();
  reader.join();
}

bool StreamBlocks::Rewind() {
  StopReader();
  filled = taken = 0;
  first_read = ended = stopping = failed = false;
  error = 0;
  in.clear();
  errno = 0;
  in.seekg(0, std::ios::beg);
  if (!in) error = errno;
  return static_cast<bool>(in);
}

std::uint64_t StreamBlocks::SizeAhead() {
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
