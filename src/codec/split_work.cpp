#include "codec/split_work.h"

#include <array>
#include <cassert>
#include <cstring>

#include "codec/big_endian.h"
#include "codec/block_source.h"
#include "codec/check_trailer.h"
#include "codec/checksum.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace huffman {

std::span<const std::uint8_t> Piece(std::span<const std::uint8_t> block, unsigned index, unsigned pieces) {
  const std::size_t start = block.size() * index / pieces;
  const std::size_t end = block.size() * (index + 1) / pieces;
  return block.subspan(start, end - start);
}

namespace {

// Spans in a block: blocks start at multiples of the span size.
constexpr unsigned k_compress_spans = k_compress_block_bytes / k_span_bytes;
static_assert(k_compress_block_bytes % k_span_bytes == 0);

// Codes `part`, which starts at `offset` in the source, noting in `starts`
// (unless null) the writer's bit count where each span starting in it
// starts.  With `sums`, `part` holds whole spans (the last may be short),
// and each span's checksum is made as soon as it is coded, from the cache.
bool EncodeNotingSpans(const Encoder& encoder, std::span<const std::uint8_t> part, std::uint64_t offset,
                       BitWriter& writer, std::vector<std::uint64_t>* starts, std::vector<std::uint64_t>* sums) {
  bool known = true;
  std::uint64_t next_span = (offset + k_span_bytes - 1) / k_span_bytes * k_span_bytes;
  while (!part.empty()) {
    if (next_span == offset) {
      if (starts != nullptr) starts->push_back(writer.BitsWritten());
      next_span += k_span_bytes;
    }
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(part.size(), next_span - offset));
    known &= encoder.Encode(part.first(take), writer);
    if (sums != nullptr) sums->push_back(Checksum(part.first(take)));
    part = part.subspan(take);
    offset += take;
  }
  return known;
}

}  // namespace

bool SplitWork::Encode(const Encoder& encoder, std::span<const std::uint8_t> block, BitWriter& writer,
                       const PieceFill& read, const SpanMarks* marks) {
  const unsigned pieces = workers.PartsFor(block.size());
  if (pieces > 1) return EncodePieces(encoder, block, pieces, writer, read, marks);
  // One piece: read and coded here, and its spans' checksums made as it is.
  if (!read(0, block)) return false;
  if (marks == nullptr) return encoder.Encode(block, writer);
  assert(marks->block_offset % k_span_bytes == 0);
  return EncodeNotingSpans(encoder, block, marks->block_offset, writer, marks->bit_offsets, marks->checksums);
}

void SplitWork::AddSpanChecksums(std::span<const std::uint8_t> block, const SpanMarks& marks) {
  assert(marks.block_offset % k_span_bytes == 0);
  const auto spans = static_cast<unsigned>((block.size() + k_span_bytes - 1) / k_span_bytes);
  std::array<std::uint64_t, k_compress_spans> sums{};
  assert(spans <= k_compress_spans);
  const auto sum = [&](unsigned span) {
    sums[span] = Checksum(
        block.subspan(span * k_span_bytes, std::min<std::size_t>(k_span_bytes, block.size() - span * k_span_bytes)));
  };
  if (spans > 1 && workers.ThreadsFor(block.size()) > 1) {
    workers.Run(spans, sum);
  } else {
    for (unsigned span = 0; span < spans; ++span) sum(span);
  }
  marks.checksums->insert(marks.checksums->end(), sums.begin(), sums.begin() + spans);
}

bool SplitWork::EncodePieces(const Encoder& encoder, std::span<const std::uint8_t> block, unsigned pieces,
                             BitWriter& writer, const PieceFill& read, const SpanMarks* marks) {
  const bool note_spans = marks != nullptr && marks->bit_offsets != nullptr;
  while (outputs.size() < pieces) outputs.push_back(std::make_unique<PieceOutput>(arena));
  std::array<bool, k_max_parts> known{};
  std::array<bool, k_max_parts> unread{};
  // Each piece best on the thread that coded it in the block before, whose
  // cache holds the piece's buffers.
  workers.RunOwned(
      pieces,
      [&](unsigned piece) {
        const auto part = Piece(block, piece, pieces);
        if (!read(piece, part)) {
          unread[piece] = true;
          return;
        }
        PieceOutput& output = *outputs[piece];
        output.sink.Clear();
        output.writer.Reset();
        output.span_bits.clear();
        if (note_spans) {
          const auto within = static_cast<std::uint64_t>(part.data() - block.data());
          known[piece] =
              EncodeNotingSpans(encoder, part, marks->block_offset + within, output.writer, &output.span_bits, nullptr);
        } else {
          known[piece] = encoder.Encode(part, output.writer);
        }
        output.bits = output.writer.BitsWritten();
        output.writer.Finish();
      },
      piece_owners);
  bool all_known = true;
  for (unsigned piece = 0; piece < pieces; ++piece) {
    if (unread[piece]) return false;
    all_known &= known[piece];
  }
  if (note_spans) {
    std::uint64_t piece_start = writer.BitsWritten();
    for (unsigned piece = 0; piece < pieces; ++piece) {
      for (const std::uint64_t bits : outputs[piece]->span_bits) marks->bit_offsets->push_back(piece_start + bits);
      piece_start += outputs[piece]->bits;
    }
  }
  AppendPieces(pieces, writer);
  if (marks != nullptr) AddSpanChecksums(block, *marks);
  return all_known;
}

namespace {

// `count` (1 to 8) bits of `bytes` from bit `at` on, in the top bits of a
// byte; bits past the end read as 0.
std::uint8_t BitsAt(std::span<const std::uint8_t> bytes, std::uint64_t at, int count) {
  const std::size_t index = at / 8;
  const unsigned high = index < bytes.size() ? bytes[index] : 0;
  const unsigned low = index + 1 < bytes.size() ? bytes[index + 1] : 0;
  const unsigned window = ((high << 8 | low) << (at % 8)) >> 8;
  return static_cast<std::uint8_t>(window & (0xFFU << (8 - count)));
}

// Writes `count` bytes to `out`: those of `bytes` from bit `shift` (0 to 7)
// of its first byte on.  Stores only within out[0, count).
void CopyShifted(std::span<const std::uint8_t> bytes, int shift, std::uint8_t* out, std::size_t count) {
  std::size_t i = 0;
  if (shift == 0) {
    std::memcpy(out, bytes.data(), count);
    return;
  }
#if defined(__SSE2__)
  // Sixteen bytes at a time: each is its own byte's low bits moved up and
  // the next byte's high bits moved down.  The shifts act on 16-bit lanes,
  // so each half is masked to the bits that stay within their byte.
  const __m128i up = _mm_cvtsi32_si128(shift);
  const __m128i down = _mm_cvtsi32_si128(8 - shift);
  const __m128i kept_up = _mm_set1_epi8(static_cast<char>(0xFFU << shift));
  const __m128i kept_down = _mm_set1_epi8(static_cast<char>(0xFFU >> (8 - shift)));
  for (; i + 17 <= bytes.size() && i + 16 <= count; i += 16) {
    const __m128i here = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i));
    const __m128i next = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + i + 1));
    const __m128i joined = _mm_or_si128(_mm_and_si128(_mm_sll_epi16(here, up), kept_up),
                                        _mm_and_si128(_mm_srl_epi16(next, down), kept_down));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), joined);
  }
#endif
  for (; i + 9 <= bytes.size() && i + 8 <= count; i += 8) {
    StoreBigEndian64(out + i, LoadBigEndian64(bytes.data() + i) << shift | bytes[i + 8] >> (8 - shift));
  }
  for (; i < count; ++i) out[i] = BitsAt(bytes, 8 * i + static_cast<unsigned>(shift), 8);
}

}  // namespace

void SplitWork::AppendPieces(unsigned pieces, BitWriter& writer) {
  // Each piece's bits go where the bits before them end.  Each piece alone
  // fills the whole bytes after the one where it starts; those are copied
  // on the threads, each piece's by one part.  The bytes where two pieces
  // meet are made here.  A large block is cut into at most k_max_parts
  // pieces, so each holds kilobytes of source and spans more than a byte
  // of codes.
  std::uint64_t whole_bytes = 0;
  for (unsigned piece = 0; piece < pieces; ++piece) whole_bytes += outputs[piece]->sink.Kept().size();
  BitCursor c = writer.Borrow(whole_bytes + 1);
  std::uint8_t* out = c.out;
  int pending_bits = c.writing_remain;
  auto pending = static_cast<std::uint8_t>(c.writing_bufor >> 56);
  for (unsigned piece = 0; piece < pieces; ++piece) {
    PieceOutput& output = *outputs[piece];
    const auto bytes = output.sink.Kept();
    assert(output.bits > 8);
    const int head_bits = (8 - pending_bits) % 8;
    assert(c.out_end.Holds(out, 1));
    if (pending_bits > 0) *out++ = static_cast<std::uint8_t>(pending | BitsAt(bytes, 0, head_bits) >> pending_bits);
    output.copy_to = out;
    output.copy_shift = head_bits;
    output.copy_bytes = (output.bits - static_cast<std::uint64_t>(head_bits)) / 8;
    assert(c.out_end.Holds(output.copy_to, output.copy_bytes));
    out += output.copy_bytes;
    const std::uint64_t tail_at = static_cast<std::uint64_t>(head_bits) + 8 * output.copy_bytes;
    pending_bits = static_cast<int>(output.bits - tail_at);
    pending = pending_bits > 0 ? BitsAt(bytes, tail_at, pending_bits) : 0;
  }
  // Each piece's codes are copied by the thread that made them, from its
  // own cache (WorkerSet::Run with owners).
  workers.Run(
      pieces,
      [this](unsigned part) {
        const PieceOutput& output = *outputs[part];
        CopyShifted(output.sink.Kept(), output.copy_shift, output.copy_to, output.copy_bytes);
      },
      true, piece_owners.Threads());
  c.out = out;
  c.writing_remain = pending_bits;
  c.writing_bufor = static_cast<std::uint64_t>(pending) << 56;
  writer.GiveBack(c);
}

}  // namespace huffman
