// A byte buffer whose bytes start uninitialised.  The codec's buffers are
// always written before they are read, and zero-filling megabytes for every
// operation would cost a small file more than coding it.  A buffer made at
// its size is mapped in advance (memory_pages.h): the codec fills those; one
// grown on demand is not.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/raw_buffer.h is private to the codec: include <huffman/codec.h>"
#endif

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codec/memory_pages.h"

namespace huffman {

class RawBuffer {
 public:
  explicit RawBuffer(std::size_t size = 0) : bytes(MakePageArray<std::uint8_t>(size)), length(size) {
    PrefaultPages(bytes.get(), size);
  }

  std::uint8_t* data() { return bytes.get(); }
  const std::uint8_t* data() const { return bytes.get(); }
  std::size_t size() const { return length; }

  // Grows to at least `size` bytes, keeping the first `keep` of them.
  void Grow(std::size_t size, std::size_t keep = 0) {
    if (size <= length) return;
    auto larger = MakePageArray<std::uint8_t>(size);
    if (keep > 0) std::memcpy(larger.get(), bytes.get(), std::min(keep, length));
    bytes = std::move(larger);
    length = size;
  }

 private:
  PageArray<std::uint8_t> bytes;
  std::size_t length;
};

}  // namespace huffman
