#include "codec/encoder.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "platform/large_buffer.h"

namespace huffman {

namespace {

// Source bytes per borrowed output window: the window (the chunk's codes,
// plus the writer's and the stores' 8 bytes of slack each) stays within the
// sink's buffer even for 255-bit codes, so the sink never has to grow.
constexpr std::size_t k_encode_chunk = 16 * 1024;
static_assert(k_encode_chunk * k_max_code_bits / 8 + 8 + 8 <= k_sink_bytes);
// Sources from this size on are coded two bytes per table lookup: the pair
// table costs about as much to build as coding 64 KiB.
constexpr std::uint64_t k_pair_table_source_bytes = std::uint64_t{1} << 20;
// Groups of pairs over the flush limit take a slower, mispredicted branch;
// a group size is used only if the census says at most this share of
// groups goes over.
constexpr double k_max_slow_group_share = 0.1;

// Entry layout: bits 0..5 the code's length, bit 6 set in a pair entry
// whose codes together exceed the flush limit (such a group is coded a byte
// at a time), bit 7 set for a byte value the census never saw (which then
// emits one harmless 0 bit, as the result is discarded), bits 8..63 the code
// right-aligned.  The length sits lowest so that a shift by the whole entry
// shifts by the length, and a bit count kept modulo 64 can add the whole
// entry: every field above the length is a multiple of 64.
constexpr int k_entry_length_bits = 6;
constexpr std::uint64_t k_entry_length_mask = (1 << k_entry_length_bits) - 1;
constexpr std::uint64_t k_over_limit_flag = 1 << 6;
constexpr std::uint64_t k_unknown_flag = 1 << 7;
constexpr int k_entry_code_shift = 8;
constexpr int k_entry_code_bits = 64 - k_entry_code_shift;
static_assert(k_entry_length_mask == 63, "a bit count kept modulo 64 adds whole entries");
static_assert(k_over_limit_flag > k_entry_length_mask && k_unknown_flag > k_over_limit_flag &&
              k_unknown_flag < (1 << k_entry_code_shift));
static_assert(k_entry_code_bits <= k_entry_length_mask, "the length field holds any entry's length");

// Between flushes the hot loop keeps at most 7 carried bits plus the codes
// added since, and the count (modulo 64) must stay at or below 63: so
// `codes_per_flush` codes fit when each is at most this long.
constexpr int k_carried_bits = 7;
constexpr int MaxLengthForFlush(int codes_per_flush) { return (63 - k_carried_bits) / codes_per_flush; }
static_assert(MaxLengthForFlush(1) <= k_entry_code_bits, "one code per flush still fits an entry");
static_assert(MaxLengthForFlush(4) == 14 && MaxLengthForFlush(3) == 18 && MaxLengthForFlush(2) == 28);
constexpr int k_max_pairs_per_flush = 4;

// The most pairs per flush for which at most k_max_slow_group_share of the
// groups go over the limit, judged from the census as if the bytes were
// independent; 0 if even one pair per flush goes over too often.
int ChoosePairsPerFlush(const CodeTable& codes, const Census& census) {
  std::array<double, k_entry_code_bits + 1> share_of_length{};
  for (int value = 0; value < k_alphabet; ++value) {
    share_of_length[codes[value].length] +=
        static_cast<double>(census.Count(value)) / static_cast<double>(census.TotalBytes());
  }
  for (int pairs = k_max_pairs_per_flush; pairs >= 1; --pairs) {
    const int limit = MaxLengthForFlush(pairs);
    double over = 0;  // the share of pairs whose codes together exceed `limit`
    for (int first = 1; first <= k_entry_code_bits; ++first) {
      for (int second = std::max(1, limit + 1 - first); second <= k_entry_code_bits; ++second) {
        over += share_of_length[first] * share_of_length[second];
      }
    }
    if (1 - std::pow(1 - over, pairs) <= k_max_slow_group_share) return pairs;
  }
  return 0;
}

// A pair table's index: the two bytes as a little-endian 16-bit number.
int PairAt(int first, int second) { return first | second << 8; }
int PairAt(const std::uint8_t* in) { return PairAt(in[0], in[1]); }

// The slow path emits a code in pieces within one 64-bit word of it, each
// small enough for PutBits beside the carried bits.
constexpr int k_long_piece_bits = 32;
static_assert(64 % k_long_piece_bits == 0 && k_carried_bits + k_long_piece_bits <= 63);

}  // namespace

void Encoder::Prepare(const CodeTable& code_table, const Census& census, WorkerSet* workers, bool bmi2) {
  codes = &code_table;
  use_bmi2 = bmi2;
  entries.fill(0);
  pairs_per_flush = 0;
  max_length = 0;
  for (int value = 0; value < k_alphabet; ++value) {
    const Code& code = code_table[value];
    max_length = std::max(max_length, code.length);
    if (code.length == 0) {
      entries[value] = k_unknown_flag | 1;
    } else if (code.length <= k_entry_code_bits) {
      entries[value] =
          (code.words[0] >> (64 - code.length)) << k_entry_code_shift | static_cast<std::uint64_t>(code.length);
    }
  }
  if (census.TotalBytes() < k_pair_table_source_bytes || max_length > k_entry_code_bits) return;
  const int chosen = ChoosePairsPerFlush(code_table, census);
  if (chosen == 0) return;
  const auto limit = static_cast<std::uint64_t>(MaxLengthForFlush(chosen));
  // Every entry is written below, a part of the pairs' second bytes on each
  // thread (the table is half a megabyte; the coding waits for it).  The
  // table is made once and serves every file after.
  const bool made = !pair_entries;
  if (made) pair_entries = MakeArenaArray<std::uint64_t>(buffers, k_alphabet * k_alphabet);
  const unsigned parts = workers != nullptr ? workers->PartsFor(k_alphabet * k_alphabet * sizeof(std::uint64_t)) : 1;
  const auto fill = [&](unsigned part) {
    const auto begin = static_cast<int>(k_alphabet * part / parts);
    const auto end = static_cast<int>(k_alphabet * (part + 1) / parts);
    if (made) PrefillLargeBuffer(&pair_entries[PairAt(0, begin)], (end - begin) * k_alphabet * sizeof(std::uint64_t));
    for (int second = begin; second < end; ++second) {
      for (int first = 0; first < k_alphabet; ++first) {
        const std::uint64_t a = entries[first];
        const std::uint64_t b = entries[second];
        const std::uint64_t unknown = (a | b) & k_unknown_flag;
        const std::uint64_t length = (a & k_entry_length_mask) + (b & k_entry_length_mask);
        if (length > limit) {
          pair_entries[PairAt(first, second)] = k_over_limit_flag | unknown;
          continue;
        }
        const std::uint64_t bits = (a >> k_entry_code_shift) << (b & k_entry_length_mask) | b >> k_entry_code_shift;
        pair_entries[PairAt(first, second)] = bits << k_entry_code_shift | length | unknown;
      }
    }
  };
  if (parts == 1) {
    fill(0);
  } else {
    workers->Run(parts, fill);
  }
  pairs_per_flush = chosen;
}

bool Encoder::Encode(std::span<const std::uint8_t> source, BitWriter& writer) const {
  const bool bmi2 = use_bmi2;
  switch (pairs_per_flush) {
    case 4:
      return bmi2 ? EncodePairsBmi2<4>(source, writer) : EncodePairs<4>(source, writer);
    case 3:
      return bmi2 ? EncodePairsBmi2<3>(source, writer) : EncodePairs<3>(source, writer);
    case 2:
      return bmi2 ? EncodePairsBmi2<2>(source, writer) : EncodePairs<2>(source, writer);
    case 1:
      return bmi2 ? EncodePairsBmi2<1>(source, writer) : EncodePairs<1>(source, writer);
    default:
      break;
  }
  if (max_length <= MaxLengthForFlush(4)) return EncodeShort<4>(source, writer);
  if (max_length <= MaxLengthForFlush(3)) return EncodeShort<3>(source, writer);
  if (max_length <= MaxLengthForFlush(2)) return EncodeShort<2>(source, writer);
  if (max_length <= MaxLengthForFlush(1)) return EncodeShort<1>(source, writer);
  return EncodeLong(source, writer);
}

// The hot loops keep the pending bits at the low end of `pending`, the
// newest lowest, so adding a code needs no position arithmetic; `count` is
// their number modulo 64 (never above 63).  Adding an entry adds the whole
// word to the count: every field above the length is a multiple of 64.
class Encoder::Emitter {
 public:
  explicit Emitter(const BitCursor& c)
      : out(c.out),
        count(static_cast<std::uint64_t>(c.writing_remain)),
        pending(count == 0 ? 0 : c.writing_bufor >> (64 - count)),
        out_end(c.out_end) {}

  // Adds an entry's code.
  void Add(std::uint64_t e) {
    pending = pending << (e & k_entry_length_mask) | e >> k_entry_code_shift;
    count += e;
  }
  // Writes the whole bytes; a code was added since the last flush, so at
  // least one bit is pending.
  void Flush() {
    assert(out_end.Holds(out, 8));
    const std::uint64_t valid = count & k_entry_length_mask;
    StoreBigEndian64(out, pending << (64 - valid));
    out += valid >> 3;
    count = valid & 7;
  }
  // Notes an entry's flags (or several entries' flags OR-ed), for AllKnown.
  std::uint64_t Note(std::uint64_t flags) {
    unknown |= flags;
    return flags;
  }
  bool AllKnown() const { return (unknown & k_unknown_flag) == 0; }

  void GiveBack(BitCursor& c) const {
    c.out = out;
    c.writing_remain = static_cast<int>(count);
    c.writing_bufor = count == 0 ? 0 : pending << (64 - count);
  }

 private:
  std::uint8_t* out;
  std::uint64_t count;
  std::uint64_t pending;
  [[no_unique_address]] RoomEnd out_end;  // of the room borrowed
  std::uint64_t unknown = 0;
};

template <int k_group_bytes, typename CodeGroups>
inline bool Encoder::EncodeInChunks(std::span<const std::uint8_t> source, BitWriter& writer,
                                    CodeGroups code_groups) const {
  bool all_known = true;
  for (std::size_t start = 0; start < source.size(); start += k_encode_chunk) {
    const std::size_t length = std::min(k_encode_chunk, source.size() - start);
    const std::uint8_t* in = source.data() + start;
    const std::uint8_t* const in_end = in + length;
    const std::uint8_t* const grouped_end = in + length / k_group_bytes * k_group_bytes;
    BitCursor c = writer.Borrow(length * static_cast<std::size_t>(max_length) / 8 + 8);
    Emitter emit(c);
    for (; in < grouped_end; in += k_group_bytes) code_groups(emit, in);
    for (; in < in_end; ++in) {
      emit.Add(emit.Note(entries[*in]));
      emit.Flush();
    }
    emit.GiveBack(c);
    writer.GiveBack(c);
    all_known &= emit.AllKnown();
  }
  return all_known;
}

template <int k_codes_per_flush>
bool Encoder::EncodeShort(std::span<const std::uint8_t> source, BitWriter& writer) const {
  return EncodeInChunks<k_codes_per_flush>(source, writer, [this](Emitter& emit, const std::uint8_t* in) {
    for (int k = 0; k < k_codes_per_flush; ++k) emit.Add(emit.Note(entries[in[k]]));
    emit.Flush();
  });
}

template <int k_pairs_per_flush>
bool Encoder::EncodePairsBmi2(std::span<const std::uint8_t> source, BitWriter& writer) const {
  return EncodePairs<k_pairs_per_flush>(source, writer);
}

template <int k_pairs_per_flush>
inline bool Encoder::EncodePairs(std::span<const std::uint8_t> source, BitWriter& writer) const {
  // A local copy: the stores through the output pointer could otherwise
  // alias the member and force a reload per pair.
  const std::uint64_t* const pairs = pair_entries.get();
  return EncodeInChunks<2 * k_pairs_per_flush>(source, writer, [this, pairs](Emitter& emit, const std::uint8_t* in) {
    std::array<std::uint64_t, k_pairs_per_flush> group;
    std::uint64_t flags = 0;
    for (int k = 0; k < k_pairs_per_flush; ++k) {
      group[k] = pairs[PairAt(in + 2 * k)];
      flags |= group[k];
    }
    if (flags & k_over_limit_flag) [[unlikely]] {
      for (int k = 0; k < 2 * k_pairs_per_flush; ++k) {
        emit.Add(emit.Note(entries[in[k]]));
        emit.Flush();
      }
      return;
    }
    emit.Note(flags);
    for (int k = 0; k < k_pairs_per_flush; ++k) emit.Add(group[k]);
    emit.Flush();
  });
}

bool Encoder::EncodeLong(std::span<const std::uint8_t> source, BitWriter& writer) const {
  bool all_known = true;
  for (std::size_t start = 0; start < source.size(); start += k_encode_chunk) {
    const std::size_t length = std::min(k_encode_chunk, source.size() - start);
    BitCursor c = writer.Borrow(length * static_cast<std::size_t>(max_length) / 8 + 8);
    for (const std::uint8_t byte : source.subspan(start, length)) {
      const Code& code = (*codes)[byte];
      all_known &= code.length != 0;
      for (int piece = 0; piece < code.length; piece += k_long_piece_bits) {
        const int count = std::min(code.length - piece, k_long_piece_bits);
        PutBits(c, (code.words[piece / 64] << (piece % 64)) >> (64 - count), count);
      }
    }
    writer.GiveBack(c);
  }
  return all_known;
}

}  // namespace huffman
