// The XXH3-64 loops compiled a second time for processors with AVX2 (this
// file alone is built with -mavx2); checksum.cpp calls them only where the
// processor has AVX2.  The hash is the same whichever loops make it.
#include "codec/checksum_avx2.h"

#define XXH_INLINE_ALL
#define XXH_VECTOR XXH_AVX2
#include <xxhash.h>

namespace huffman {

std::uint64_t ChecksumAvx2(const void* bytes, std::size_t count) { return XXH3_64bits(bytes, count); }

void ChecksumUpdateAvx2(void* xxh3_state, const void* bytes, std::size_t count) {
  XXH3_64bits_update(static_cast<XXH3_state_t*>(xxh3_state), bytes, count);
}

}  // namespace huffman
