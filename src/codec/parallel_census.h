// The census of a source that threads can read at offsets of their own (a
// regular file).  The census needs no order but that of first occurrences,
// so each thread reads the next chunk not yet taken straight into a buffer
// of its own, still in its cache, and counts it there: no reader thread, no
// hand-over per block, and both cores count.  Chunks are merged in order; a
// chunk that holds values new to the census is read once more to find
// which comes first, which after the first chunks is rare.
#pragma once

#include <cstdint>
#include <functional>

#include "codec/census.h"
#include "codec/operations.h"
#include "codec/worker.h"

namespace huffman {

enum class CensusReadStatus {
  ok,
  read_failed,
  source_changed,  // it read differently from one chunk or one read to the next
};

struct CensusRead {
  CensusReadStatus status = CensusReadStatus::ok;
  int system_error = 0;  // with read_failed
};

// Counts the source `read_at` reads from its start to its end into `census`, on `workers`'
// threads; `counted(bytes)` is called on this thread as the count goes on.
CensusRead CountInParallel(const ReadAtFn& read_at, WorkerSet& workers, Census& census,
                           const std::function<void(std::uint64_t)>& counted);

}  // namespace huffman
