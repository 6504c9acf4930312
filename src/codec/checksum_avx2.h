// XXH3-64 compiled for AVX2 (checksum_avx2.cpp), for checksum.cpp alone: it
// calls these only where the processor has AVX2, else its own loops.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/checksum_avx2.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cstddef>
#include <cstdint>

namespace huffman {

// Whether this build has the AVX2 loops (x86-64 with GCC or Clang).
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
inline constexpr bool k_checksum_avx2_built = true;
#else
inline constexpr bool k_checksum_avx2_built = false;
#endif

std::uint64_t ChecksumAvx2(const void* bytes, std::size_t count);
// `xxh3_state` is an XXH3_state_t.
void ChecksumUpdateAvx2(void* xxh3_state, const void* bytes, std::size_t count);

}  // namespace huffman
