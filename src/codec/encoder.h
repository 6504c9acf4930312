// The encoder: emission of the codes of a table built once per file
// (code_table.h), packed one entry per byte value so that emitting is a
// shift and an OR per byte, two bytes per lookup for large sources.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/encoder.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/bit_writer.h"
#include "codec/buffer_arena.h"
#include "codec/census.h"
#include "codec/code_table.h"
#include "codec/cpu_features.h"
#include "codec/worker.h"

namespace huffman {

// Emits codes from a table built once per file.  Each entry packs a code of
// up to 56 bits with its length (see Encoder::Encoder), so emission is one
// load, a shift and an OR per byte; longer codes (only on very skewed
// sources) take a slower path.
class Encoder {
 public:
  // An encoder made once, Prepared for each file: its pair table, from
  // `arena`, serves them all.
  explicit Encoder(BufferArena* arena) : buffers(arena) {}
  Encoder(const CodeTable& code_table, const Census& census, WorkerSet* workers = nullptr, bool bmi2 = false) {
    Prepare(code_table, census, workers, bmi2);
  }
  Encoder(const Encoder&) = delete;
  Encoder& operator=(const Encoder&) = delete;

  // Codes with `code_table` from here on, which must outlive the coding.
  // `census` is the whole source's: a large source pays for a table of byte
  // pairs, and its counts choose how many pairs go per flush.  The table is
  // made on `workers`' threads where given.  With `bmi2`, the loops built
  // for processors with BMI2 run (cpu_features.h).
  void Prepare(const CodeTable& code_table, const Census& census, WorkerSet* workers = nullptr, bool bmi2 = false);

  // Appends the codes of `source` to `writer`.  Returns false if a byte had
  // no code: the source is not what the census saw.  Safe to call from two
  // threads at once with different writers.
  bool Encode(std::span<const std::uint8_t> source, BitWriter& writer) const;

 private:
  class Emitter;
  // Codes `source` a chunk at a time, each into a window borrowed from
  // `writer`: `code_groups(emit, in)` codes the k_group_bytes bytes at `in`,
  // and the bytes after the last whole group go one at a time.
  template <int k_group_bytes, typename CodeGroups>
  [[gnu::always_inline]] bool EncodeInChunks(std::span<const std::uint8_t> source, BitWriter& writer,
                                             CodeGroups code_groups) const;
  template <int k_codes_per_flush>
  bool EncodeShort(std::span<const std::uint8_t> source, BitWriter& writer) const;
  template <int k_pairs_per_flush>
  [[gnu::always_inline]] bool EncodePairs(std::span<const std::uint8_t> source, BitWriter& writer) const;
  // EncodePairs compiled for processors with BMI2.
  template <int k_pairs_per_flush>
  HUFFMAN_TARGET_BMI2 bool EncodePairsBmi2(std::span<const std::uint8_t> source, BitWriter& writer) const;
  bool EncodeLong(std::span<const std::uint8_t> source, BitWriter& writer) const;

  const CodeTable* codes = nullptr;
  std::array<std::uint64_t, k_alphabet> entries{};
  // Two bytes' codes in one entry, indexed by the pair as a little-endian
  // 16-bit number; pairs over the flush limit are only flagged.
  BufferArena* buffers = nullptr;
  ArenaArray<std::uint64_t> pair_entries;
  int pairs_per_flush = 0;  // 0: no pair table
  bool use_bmi2 = false;
  int max_length = 0;
};

}  // namespace huffman
