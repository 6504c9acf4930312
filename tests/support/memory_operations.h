// The two operations over input already in memory, which is read in place
// in the blocks the stream operations read: for tests, fuzz targets and
// benchmarks, which hold their inputs in memory and time the codec alone.
#pragma once

#include <cstdint>
#include <ostream>
#include <span>

#include "codec/operations.h"

namespace huffman {

CompressResult CompressBuffer(std::span<const std::uint8_t> source, std::ostream& compressed,
                              const ProgressFn& progress = {});
DecompressResult DeCompressBuffer(std::span<const std::uint8_t> compressed, std::ostream& restored,
                                  const ProgressFn& progress = {}, bool check_format = true);

}  // namespace huffman
