#include "codec/bit_writer.h"

#include <algorithm>

namespace huffman {

void BitWriter::Append(std::span<const std::uint8_t> bytes, const BitWriter& pending_from) {
  if (writing_remain == 0) {
    sink.Write(bytes.data(), bytes.size());
  } else {
    // Off a byte boundary every byte is shifted by the pending bit count:
    // eight at a time, each word's low bits carried into the next, in pieces
    // the sink always has room for.
    constexpr std::size_t k_piece = 64 * 1024;
    const int shift = writing_remain;
    for (std::size_t start = 0; start < bytes.size(); start += k_piece) {
      const auto piece = bytes.subspan(start, std::min(k_piece, bytes.size() - start));
      BitCursor c = Borrow(piece.size());
      std::size_t i = 0;
      for (; i + 8 <= piece.size(); i += 8) {
        const std::uint64_t word = LoadBigEndian64(piece.data() + i);
        StoreBigEndian64(c.out, c.writing_bufor | word >> shift);
        c.out += 8;
        c.writing_bufor = word << (64 - shift);
      }
      for (; i < piece.size(); ++i) PutBits(c, piece[i], 8);
      GiveBack(c);
    }
  }
  if (pending_from.writing_remain > 0) {
    Emit(pending_from.writing_bufor >> (64 - pending_from.writing_remain), pending_from.writing_remain);
  }
}

}  // namespace huffman
