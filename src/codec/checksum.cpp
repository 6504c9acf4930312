// The xxHash library compiled into this one file (XXH_INLINE_ALL): the
// static Windows build then needs no library of it, and no other file sees
// its names.
#include "codec/checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cassert>

namespace huffman {

struct SpanChecksums::State {
  XXH3_state_t* xxh = XXH3_createState();
  ~State() { XXH3_freeState(xxh); }
};

std::uint64_t Checksum(std::span<const std::uint8_t> bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

std::uint64_t WholeChecksum(std::span<const std::uint64_t> spans) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(8 * spans.size());
  for (const std::uint64_t sum : spans) {
    for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<std::uint8_t>(sum >> (8 * k)));
  }
  return Checksum(bytes);
}

SpanChecksums::SpanChecksums(std::uint64_t span_bytes) : state(std::make_unique<State>()), span_bytes(span_bytes) {
  assert(span_bytes > 0);
  XXH3_64bits_reset(state->xxh);
}

SpanChecksums::~SpanChecksums() = default;

void SpanChecksums::Add(std::span<const std::uint8_t> bytes) {
  total += bytes.size();
  while (!bytes.empty()) {
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), span_bytes - in_span));
    XXH3_64bits_update(state->xxh, bytes.data(), take);
    in_span += take;
    bytes = bytes.subspan(take);
    if (in_span == span_bytes) {
      sums.push_back(XXH3_64bits_digest(state->xxh));
      XXH3_64bits_reset(state->xxh);
      in_span = 0;
    }
  }
}

const std::vector<std::uint64_t>& SpanChecksums::Finish() {
  if (in_span > 0) {
    sums.push_back(XXH3_64bits_digest(state->xxh));
    XXH3_64bits_reset(state->xxh);
    in_span = 0;
  }
  return sums;
}

}  // namespace huffman
