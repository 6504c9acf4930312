#include "codec/encoder.h"

#include <algorithm>
#include <cassert>

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

// Entry layout: bits 0..5 the code's length, bit 7 set for a byte value the
// census never saw (which then emits one harmless 0 bit, as the result is
// discarded), bits 8..63 the code right-aligned.  The length sits lowest so
// that a shift by the whole entry shifts by the length, and a bit count kept
// modulo 64 can add the whole entry: every field above the length is a
// multiple of 64.
constexpr int k_entry_length_bits = 6;
constexpr std::uint64_t k_entry_length_mask = (1 << k_entry_length_bits) - 1;
constexpr std::uint64_t k_unknown_flag = 1 << 7;
constexpr int k_entry_code_shift = 8;
constexpr int k_entry_code_bits = 64 - k_entry_code_shift;
static_assert(k_entry_length_mask == 63, "a bit count kept modulo 64 adds whole entries");
static_assert(k_unknown_flag > k_entry_length_mask && k_unknown_flag < (1 << k_entry_code_shift));
static_assert(k_entry_code_bits <= k_entry_length_mask, "the length field holds any entry's length");

// Between flushes the hot loop keeps at most 7 carried bits plus the codes
// added since, and the count (modulo 64) must stay at or below 63: so
// `codes_per_flush` codes fit when each is at most this long.
constexpr int k_carried_bits = 7;
constexpr int MaxLengthForFlush(int codes_per_flush) { return (63 - k_carried_bits) / codes_per_flush; }
static_assert(MaxLengthForFlush(1) <= k_entry_code_bits, "one code per flush still fits an entry");
static_assert(MaxLengthForFlush(4) == 14 && MaxLengthForFlush(3) == 18 && MaxLengthForFlush(2) == 28);

// The slow path emits a code in pieces within one 64-bit word of it, each
// small enough for PutBits beside the carried bits.
constexpr int k_long_piece_bits = 32;
static_assert(64 % k_long_piece_bits == 0 && k_carried_bits + k_long_piece_bits <= 63);

}  // namespace

Encoder::Encoder(const CodeTable& code_table, std::uint64_t source_bytes) : codes(code_table) {
  for (int value = 0; value < k_alphabet; ++value) {
    const Code& code = codes[value];
    max_length = std::max(max_length, code.length);
    if (code.length == 0) {
      entries[value] = k_unknown_flag | 1;
    } else if (code.length <= k_entry_code_bits) {
      entries[value] =
          (code.words[0] >> (64 - code.length)) << k_entry_code_shift | static_cast<std::uint64_t>(code.length);
    }
  }
  if (source_bytes < k_pair_table_source_bytes || 2 * max_length > MaxLengthForFlush(1)) return;
  pair_entries = std::make_unique<std::uint64_t[]>(k_alphabet * k_alphabet);
  for (int first = 0; first < k_alphabet; ++first) {
    for (int second = 0; second < k_alphabet; ++second) {
      const std::uint64_t a = entries[first];
      const std::uint64_t b = entries[second];
      const std::uint64_t length = (a & k_entry_length_mask) + (b & k_entry_length_mask);
      const std::uint64_t bits = (a >> k_entry_code_shift) << (b & k_entry_length_mask) | b >> k_entry_code_shift;
      pair_entries[first | second << 8] = bits << k_entry_code_shift | length | ((a | b) & k_unknown_flag);
    }
  }
}

bool Encoder::Encode(std::span<const std::uint8_t> source, BitWriter& writer) const {
  // Up to k_codes_per_flush entries (single codes, or pairs of codes) are
  // added before the whole bytes are written (see MaxLengthForFlush).
  if (pair_entries != nullptr) {
    if (max_length <= MaxLengthForFlush(2 * 2)) return EncodeShort<2, true>(source, writer);
    return EncodeShort<1, true>(source, writer);  // the table exists only for pairs that fit
  }
  if (max_length <= MaxLengthForFlush(4)) return EncodeShort<4, false>(source, writer);
  if (max_length <= MaxLengthForFlush(3)) return EncodeShort<3, false>(source, writer);
  if (max_length <= MaxLengthForFlush(2)) return EncodeShort<2, false>(source, writer);
  if (max_length <= MaxLengthForFlush(1)) return EncodeShort<1, false>(source, writer);
  return EncodeLong(source, writer);
}

template <int k_codes_per_flush, bool k_pairs>
bool Encoder::EncodeShort(std::span<const std::uint8_t> source, BitWriter& writer) const {
  constexpr int k_step = k_pairs ? 2 : 1;  // source bytes per entry
  std::uint64_t unknown = 0;
  for (std::size_t start = 0; start < source.size(); start += k_encode_chunk) {
    const std::size_t length = std::min(k_encode_chunk, source.size() - start);
    const std::uint8_t* in = source.data() + start;
    const std::uint8_t* const in_end = in + length;
    const std::uint8_t* const grouped_end = in + length / (k_step * k_codes_per_flush) * (k_step * k_codes_per_flush);
    BitCursor c = writer.Borrow(length * static_cast<std::size_t>(max_length) / 8 + 8);

    // Here the pending bits sit at the low end of `pending`, the newest
    // lowest, so adding a code needs no position arithmetic; `count` is their
    // number modulo 64 (never above 63).
    std::uint8_t* out = c.out;
    std::uint64_t count = static_cast<std::uint64_t>(c.writing_remain);
    std::uint64_t pending = count == 0 ? 0 : c.writing_bufor >> (64 - count);
    auto add_entry = [&](std::uint64_t e) {
      unknown |= e;
      pending = pending << (e & k_entry_length_mask) | e >> k_entry_code_shift;
      count += e;
    };
    auto flush = [&] {
      const std::uint64_t valid = count & 63;  // at least 1: a code was just added
      StoreBigEndian64(out, pending << (64 - valid));
      out += valid >> 3;
      count = valid & 7;
    };
    for (; in < grouped_end; in += k_step * k_codes_per_flush) {
      for (int k = 0; k < k_codes_per_flush; ++k) {
        if constexpr (k_pairs) {
          add_entry(pair_entries[in[2 * k] | in[2 * k + 1] << 8]);
        } else {
          add_entry(entries[in[k]]);
        }
      }
      flush();
    }
    for (; in < in_end; ++in) {
      add_entry(entries[*in]);
      flush();
    }

    c.out = out;
    c.writing_remain = static_cast<int>(count);
    c.writing_bufor = count == 0 ? 0 : pending << (64 - count);
    writer.GiveBack(c);
  }
  return (unknown & k_unknown_flag) == 0;
}

bool Encoder::EncodeLong(std::span<const std::uint8_t> source, BitWriter& writer) const {
  bool all_known = true;
  for (std::size_t start = 0; start < source.size(); start += k_encode_chunk) {
    const std::size_t length = std::min(k_encode_chunk, source.size() - start);
    BitCursor c = writer.Borrow(length * static_cast<std::size_t>(max_length) / 8 + 8);
    for (const std::uint8_t byte : source.subspan(start, length)) {
      const Code& code = codes[byte];
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
