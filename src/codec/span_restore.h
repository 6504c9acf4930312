// The restore of a checked file whose source reads at offsets and knows
// its size (a regular file, memory).  Its check data comes first, from the
// file's end; then its payload in groups of spans, each span decoded from
// its sync point and checked against its checksum on the thread that
// decoded it (span_decoder.h), while the next group is read and the last
// one written beside the decoding (WorkerSet::Beside).  What it finds is
// verified by the rules every restore follows (checked_file.h).  A file it
// does not take (a stream, a bare file, check data that does not verify)
// is the restore in order's, unchanged.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/span_restore.h is private to the codec: include <huffman/codec.h>"
#endif

#include <optional>
#include <ostream>

#include "codec/checked_file.h"
#include "codec/worker.h"
#include "huffman/codec.h"

namespace huffman {

// Restores `compressed` to `restored` (none: decodes and verifies it,
// writing nothing) on `workers`' threads, with the BMI2 loops if `bmi2`;
// nothing if it is not a file this restore takes.  Output stops before the
// first damaged group of spans.
std::optional<Restore> RestoreSpans(Source& compressed, WorkerSet& workers, bool bmi2, std::ostream* restored,
                                    const ProgressFn& progress);

}  // namespace huffman
