// A byte buffer whose bytes start uninitialised.  The codec's buffers are
// always written before they are read, and zero-filling megabytes for every
// operation would cost a small file more than coding it.  A buffer comes
// from its Codec's arena (buffer_arena.h), or from new without one; one made
// at its size is mapped in advance (platform/large_buffer.h): the codec
// fills those; one grown on demand is not.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/raw_buffer.h is private to the codec: include <huffman/codec.h>"
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codec/buffer_arena.h"
#include "platform/large_buffer.h"

namespace huffman {

class RawBuffer {
 public:
  RawBuffer() = default;
  explicit RawBuffer(std::size_t size, BufferArena* arena = nullptr)
      : bytes(MakeArenaArray<std::uint8_t>(arena, size)), length(size) {
    PrefillLargeBuffer(bytes.get(), size);
  }

  std::uint8_t* data() { return bytes.get(); }
  const std::uint8_t* data() const { return bytes.get(); }
  std::size_t size() const { return length; }

  // At least `size` bytes, their content not kept: made anew at that size
  // from `arena` (mapped in advance, as the constructor's) only where it is
  // smaller.
  void Reserve(std::size_t size, BufferArena* arena) {
    if (size <= length) return;
    bytes.reset();  // given back first, for the new one to take its place
    *this = RawBuffer(size, arena);
  }

  // Grows to at least `size` bytes, keeping the first `keep` of them.
  void Grow(std::size_t size, std::size_t keep = 0) {
    if (size <= length) return;
    auto larger = MakeArenaArray<std::uint8_t>(bytes.get_deleter().arena, size);
    if (keep > 0) std::memcpy(larger.get(), bytes.get(), std::min(keep, length));
    bytes = std::move(larger);
    length = size;
  }

 private:
  ArenaArray<std::uint8_t> bytes;
  std::size_t length = 0;
};

}  // namespace huffman
