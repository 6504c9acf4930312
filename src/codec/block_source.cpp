#include "codec/block_source.h"

#include <algorithm>

namespace huffman {

void BlockSource::Open(Source& source, std::size_t bytes, bool at_offsets) {
  Close();
  in = &source;
  held = source.Held();
  way = held.data() != nullptr ? Way::in_place : at_offsets && source.ReadsAtOffsets() ? Way::by_pieces : Way::ahead;
  size_ahead = source.Size().value_or(0);
  block_bytes = bytes;
  if (way != Way::in_place) slots[0].Reserve(block_bytes, arena);
  offset = 0;
  next_slot = 0;
  started = ended = failed = false;
  error = 0;
}

void BlockSource::Close() {
  if (reading) workers.SettleQuietly();
  reading = false;  // made, or dropped with a job that failed
  in = nullptr;
  held = {};
}

void BlockSource::ReadInto(std::size_t slot) {
  slots[slot].Reserve(block_bytes, arena);
  const std::int64_t got = in->Read({slots[slot].data(), block_bytes}, error);
  failed = got < 0;
  lengths[slot] = got > 0 ? static_cast<std::size_t>(got) : 0;
  ended = lengths[slot] < block_bytes;
}

Block BlockSource::Next(std::size_t at_most) {
  Block block;
  block.offset = offset;
  switch (way) {
    case Way::in_place:
      if (offset < held.size()) {
        const auto at = static_cast<std::size_t>(offset);
        block.bytes = held.subspan(at, std::min(block_bytes, held.size() - at));
      }
      break;
    case Way::by_pieces: {
      block.bytes = {slots[0].data(), std::min(block_bytes, at_most)};
      block.unread = true;
      // The part of the block the size told ahead covers: what the threads
      // share; a source that said nothing is taken to fill the block.
      block.expected = in->Size() ? static_cast<std::size_t>(std::min<std::uint64_t>(
                                        block.bytes.size(), size_ahead > offset ? size_ahead - offset : 0))
                                  : block.bytes.size();
      break;
    }
    case Way::ahead: {
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
      block.bytes = {slots[slot].data(), lengths[slot]};
      break;
    }
  }
  offset += block.bytes.size();
  return block;
}

PieceRead BlockSource::ReadPiece(const Block& block, std::span<const std::uint8_t> piece) {
  PieceRead read{.count = static_cast<std::int64_t>(piece.size())};
  if (!block.unread) return read;
  // The piece lies in the slot the block was handed out from.
  const auto within = static_cast<std::size_t>(piece.data() - block.bytes.data());
  read.count = in->ReadAt(block.offset + within, {slots[0].data() + within, piece.size()}, read.error);
  return read;
}

PieceRead BlockSource::Beyond() {
  switch (way) {
    case Way::in_place:
      return {.count = offset < held.size() ? 1 : 0};
    case Way::by_pieces: {
      std::uint8_t byte = 0;
      PieceRead read;
      read.count = in->ReadAt(offset, {&byte, 1}, read.error);
      return read;
    }
    case Way::ahead:
      break;
  }
  const Block next = Next(block_bytes);
  if (failed) return {.count = -1, .error = error};
  return {.count = static_cast<std::int64_t>(next.bytes.size())};
}

bool BlockSource::Rewind() {
  if (reading) workers.Settle();
  offset = 0;
  next_slot = 0;
  started = ended = failed = false;
  error = 0;
  if (way == Way::in_place) return true;
  if (!in->Rewind(error)) {
    failed = true;
    return false;
  }
  return true;
}

}  // namespace huffman
