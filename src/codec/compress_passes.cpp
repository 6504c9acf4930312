#include "codec/compress_passes.h"

#include <algorithm>
#include <cassert>

namespace huffman {

namespace {

// A census piece stays in a core's own cache between its read and its
// count: a block is cut at least this fine, on one thread too.
constexpr std::size_t k_census_piece_bytes = 256 * 1024;
static_assert(k_compress_block_bytes / k_census_piece_bytes <= k_max_parts);

}  // namespace

PassStatus CountPass(BlockSource& blocks, WorkerSet& workers, CensusPieces& pieces, PartOwners& owners, Census& census,
                     const std::function<void(std::uint64_t)>& done) {
  std::array<PieceRead, k_max_parts> reads{};
  bool ended = false;
  while (!ended) {
    const Block block = blocks.Next(k_compress_block_bytes);
    if (block.bytes.empty()) break;
    const std::size_t expected = block.unread ? block.expected : block.bytes.size();
    const auto cached_parts = static_cast<unsigned>((expected + k_census_piece_bytes - 1) / k_census_piece_bytes);
    const unsigned parts = std::max(workers.PartsFor(expected), cached_parts);
    // The census is not changed until the block's pieces are all counted.
    workers.RunOwned(
        parts,
        [&](unsigned part) {
          const auto piece = Piece(block.bytes, part, parts);
          PieceRead& read = reads[part];
          read = blocks.ReadPiece(block, piece);
          if (read.count <= 0) return;
          const auto bytes = piece.first(static_cast<std::size_t>(read.count));
          pieces.counts[part] = CountBytes(bytes);
          [[maybe_unused]] const bool all_found = census.FindNew(bytes, pieces.counts[part], pieces.new_values[part]);
          assert(all_found);  // counted from the same bytes
        },
        owners);
    // In order: the first short piece ends the source, and any piece after
    // it that read bytes means the source grew while it was counted.
    std::uint64_t block_bytes = 0;
    for (unsigned part = 0; part < parts; ++part) {
      const PieceRead& read = reads[part];
      if (read.count < 0) return {.status = CodecStatus::read_failed, .system_error = read.error};
      if (ended) {
        if (read.count > 0) return {.status = CodecStatus::source_changed};
        continue;
      }
      const auto length = static_cast<std::size_t>(read.count);
      ended = length < Piece(block.bytes, part, parts).size();
      if (length == 0) continue;
      census.AddFound(pieces.counts[part], length, pieces.new_values[part]);
      block_bytes += length;
    }
    done(block_bytes);
  }
  if (blocks.Failed()) return {.status = CodecStatus::read_failed, .system_error = blocks.Error()};
  return {};
}

PassStatus CodePass(BlockSource& blocks, std::uint64_t length, SplitWork& split, const Encoder& encoder,
                    BitWriter& writer, bool& all_known, const std::function<void(std::uint64_t)>& done,
                    const SpanMarks* marks) {
  if (!blocks.Rewind()) return {.status = CodecStatus::read_failed, .system_error = blocks.Error()};
  // What each piece's read found, for the first piece in order that read
  // short or failed.
  std::array<PassStatus, k_max_parts> reads{};
  std::uint64_t coded_bytes = 0;
  while (coded_bytes < length) {
    const Block block =
        blocks.Next(static_cast<std::size_t>(std::min<std::uint64_t>(k_compress_block_bytes, length - coded_bytes)));
    if (block.bytes.empty()) break;
    reads.fill({});
    const auto read = [&](unsigned index, std::span<const std::uint8_t> piece) {
      const PieceRead got = blocks.ReadPiece(block, piece);
      PassStatus& status = reads[index];
      if (got.count < 0) status = {.status = CodecStatus::read_failed, .system_error = got.error};
      if (got.count >= 0 && static_cast<std::size_t>(got.count) != piece.size()) {
        status.status = CodecStatus::source_changed;
      }
      return status.status == CodecStatus::ok;
    };
    SpanMarks block_marks;
    if (marks != nullptr) {
      block_marks = *marks;
      block_marks.block_offset = coded_bytes;
    }
    all_known &= split.Encode(encoder, block.bytes, writer, read, marks != nullptr ? &block_marks : nullptr);
    const auto failed = std::find_if(reads.begin(), reads.end(),
                                     [](const PassStatus& status) { return status.status != CodecStatus::ok; });
    if (failed != reads.end()) return *failed;
    coded_bytes += block.bytes.size();
    done(block.bytes.size());
  }
  if (blocks.Failed()) return {.status = CodecStatus::read_failed, .system_error = blocks.Error()};
  if (coded_bytes != length) return {.status = CodecStatus::source_changed};
  // A source that grew since the census ends later.
  const PieceRead beyond = blocks.Beyond();
  if (beyond.count < 0) return {.status = CodecStatus::read_failed, .system_error = beyond.error};
  if (beyond.count > 0) return {.status = CodecStatus::source_changed};
  return {};
}

}  // namespace huffman
