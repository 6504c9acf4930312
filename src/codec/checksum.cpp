// The xxHash library compiled into this file (XXH_INLINE_ALL), and its
// loops once more for AVX2 into checksum_avx2.cpp, taken where the
// processor has AVX2: the static Windows build then needs no library of it,
// and no other file sees its names.
#include "codec/checksum.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

#include <algorithm>
#include <cassert>

#include "codec/checksum_avx2.h"

namespace huffman {

namespace {

bool UseAvx2() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  static const bool has = k_checksum_avx2_built && __builtin_cpu_supports("avx2");
  return has;
#else
  return false;
#endif
}

void Update(XXH3_state_t* state, const std::uint8_t* bytes, std::size_t count) {
  if (UseAvx2()) {
    ChecksumUpdateAvx2(state, bytes, count);
  } else {
    XXH3_64bits_update(state, bytes, count);
  }
}

}  // namespace

struct RunningChecksum::State {
  XXH3_state_t* xxh = XXH3_createState();
  ~State() { XXH3_freeState(xxh); }
};

RunningChecksum::RunningChecksum() : state(std::make_unique<State>()) { XXH3_64bits_reset(state->xxh); }

RunningChecksum::~RunningChecksum() = default;

void RunningChecksum::Reset() { XXH3_64bits_reset(state->xxh); }

void RunningChecksum::Add(std::span<const std::uint8_t> bytes) {
  if (!bytes.empty()) Update(state->xxh, bytes.data(), bytes.size());
}

std::uint64_t RunningChecksum::Digest() const { return XXH3_64bits_digest(state->xxh); }

std::uint64_t Checksum(std::span<const std::uint8_t> bytes) {
  return UseAvx2() ? ChecksumAvx2(bytes.data(), bytes.size()) : XXH3_64bits(bytes.data(), bytes.size());
}

std::uint64_t WholeChecksum(std::span<const std::uint64_t> spans) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(8 * spans.size());
  for (const std::uint64_t sum : spans) {
    for (int k = 0; k < 8; ++k) bytes.push_back(static_cast<std::uint8_t>(sum >> (8 * k)));
  }
  return Checksum(bytes);
}

SpanChecksums::SpanChecksums(std::uint64_t span_bytes) : span_bytes(span_bytes) { assert(span_bytes > 0); }

void SpanChecksums::Add(std::span<const std::uint8_t> bytes) {
  total += bytes.size();
  while (!bytes.empty()) {
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), span_bytes - in_span));
    open_span.Add(bytes.first(take));
    in_span += take;
    bytes = bytes.subspan(take);
    if (in_span == span_bytes) CloseSpan();
  }
}

const std::vector<std::uint64_t>& SpanChecksums::Finish() {
  if (in_span > 0) CloseSpan();
  return sums;
}

void SpanChecksums::CloseSpan() {
  sums.push_back(open_span.Digest());
  open_span.Reset();
  in_span = 0;
}

}  // namespace huffman
