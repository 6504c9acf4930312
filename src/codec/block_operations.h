// The two operations over any block source, for callers that hold their
// input in some other form than a stream: the tests, fuzz targets and
// benchmarks run them over memory read in place (memory_operations.h in
// tests/support/). The program itself uses the stream operations.
#pragma once

#include <ostream>

#include "codec/block_source.h"
#include "codec/operations.h"

namespace huffman {

CompressResult CompressBlocks(BlockSource& source, std::ostream& compressed, const ProgressFn& progress,
                              const CompressOptions& options = {});

DecompressResult DeCompressBlocks(BlockSource& compressed, std::ostream& restored, const ProgressFn& progress,
                                  bool check_format, bool restored_checksum = false);

}  // namespace huffman
