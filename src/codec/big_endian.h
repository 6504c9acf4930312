// Whole 64-bit words to and from the payload, most significant byte first,
// which is the payload's bit order.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/big_endian.h is private to the codec: include <huffman/codec.h>"
#endif

#include <bit>
#include <cstdint>
#include <cstring>

namespace huffman {

inline std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t word = 0;
  std::memcpy(&word, p, sizeof word);
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  return word;
}

inline void StoreBigEndian64(std::uint8_t* p, std::uint64_t word) {
  if constexpr (std::endian::native == std::endian::little) word = __builtin_bswap64(word);
  std::memcpy(p, &word, sizeof word);
}

}  // namespace huffman
