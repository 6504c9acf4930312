#include "memory_operations.h"

#include "codec/block_operations.h"
#include "codec/block_source.h"

namespace huffman {

DecompressResult DeCompressBuffer(std::span<const std::uint8_t> compressed, std::ostream& restored,
                                  const ProgressFn& progress, bool check_format) {
  MemoryBlocks blocks(compressed, k_decompress_block_bytes);
  return DeCompressBlocks(blocks, restored, progress, check_format);
}

}  // namespace huffman
