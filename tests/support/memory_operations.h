// A restore of input already in memory, which is read in place in the blocks
// the stream operation reads: for tests, fuzz targets and benchmarks, which
// hold their inputs in memory and time the codec alone. (The compression
// over memory is one of the codec's operations.)
#pragma once

#include <cstdint>
#include <ostream>
#include <span>

#include "codec/operations.h"

namespace huffman {

DecompressResult DeCompressBuffer(std::span<const std::uint8_t> compressed, std::ostream& restored,
                                  const ProgressFn& progress = {}, bool check_format = true);

}  // namespace huffman
