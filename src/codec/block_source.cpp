#include "codec/block_source.h"

#include <algorithm>

namespace huffman {

BlockSource::BlockSource(Source& input, std::size_t block_bytes, WorkerSet& workers)
    : in(input), held(input.Held()), block_bytes(block_bytes), workers(workers) {}

// A read still handed on is made before its buffer goes.
BlockSource::~BlockSource() {
  if (reading) workers.SettleQuietly();
}

void BlockSource::ReadInto(std::size_t slot) {
  if (slots[slot].size() == 0) slots[slot] = RawBuffer(block_bytes);
  const std::int64_t got = in.Read({slots[slot].data(), block_bytes}, error);
  failed = got < 0;
  const std::size_t length = got > 0 ? static_cast<std::size_t>(got) : 0;
  lengths[slot] = length;
  ended = length < block_bytes;
}

std::span<const std::uint8_t> BlockSource::Next() {
  if (held.data() != nullptr) {
    const std::size_t length = std::min(block_bytes, held.size() - held_position);
    const auto block = held.subspan(held_position, length);
    held_position += length;
    return block;
  }
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

bool BlockSource::Rewind() {
  if (reading) workers.Settle();
  held_position = 0;
  next_slot = 0;
  started = ended = failed = false;
  error = 0;
  if (held.data() != nullptr) return true;
  if (!in.Rewind(error)) {
    failed = true;
    return false;
  }
  return true;
}

}  // namespace huffman
