#include "codec/split_work.h"

#include <array>

namespace huffman {

std::span<const std::uint8_t> Piece(std::span<const std::uint8_t> block, unsigned index, unsigned pieces) {
  const std::size_t start = block.size() * index / pieces;
  const std::size_t end = block.size() * (index + 1) / pieces;
  return block.subspan(start, end - start);
}

void SplitWork::Count(Census& census, std::span<const std::uint8_t> block) {
  const unsigned pieces = workers.PartsFor(block.size());
  if (pieces == 1) {
    census.Add(block);
    return;
  }
  std::array<Histogram, k_max_parts> counts;
  workers.Run(pieces, [&](unsigned piece) { counts[piece] = CountBytes(Piece(block, piece, pieces)); });
  for (unsigned piece = 0; piece < pieces; ++piece) census.AddCounted(Piece(block, piece, pieces), counts[piece]);
}

bool SplitWork::Encode(const Encoder& encoder, std::span<const std::uint8_t> block, BitWriter& writer) {
  const unsigned pieces = workers.PartsFor(block.size());
  if (pieces == 1) return encoder.Encode(block, writer);
  while (outputs.size() < pieces) outputs.push_back(std::make_unique<PieceOutput>());
  std::array<bool, k_max_parts> known{};
  workers.Run(pieces, [&](unsigned piece) {
    const auto part = Piece(block, piece, pieces);
    if (piece == 0) {
      known[0] = encoder.Encode(part, writer);
      return;
    }
    PieceOutput& output = *outputs[piece];
    output.sink.Clear();
    output.writer.Reset();
    known[piece] = encoder.Encode(part, output.writer);
  });
  bool all_known = known[0];
  for (unsigned piece = 1; piece < pieces; ++piece) {
    writer.Append(outputs[piece]->sink.Kept(), outputs[piece]->writer);
    all_known &= known[piece];
  }
  return all_known;
}

}  // namespace huffman
