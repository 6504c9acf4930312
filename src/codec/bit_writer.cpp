#include "codec/bit_writer.h"

#include <algorithm>

namespace huffman {

void BitWriter::Append(std::span<const std::uint8_t> bytes, const BitWriter& pending_from) {
  if (writing_remain == 0) {
    sink.Write(bytes.data(), bytes.size());
  } else {
    // Off a byte boundary every byte is shifted: seven at a time, through a
    // cursor, in pieces the sink always has room for.
    constexpr std::size_t k_piece = 64 * 1024;
    for (std::size_t start = 0; start < bytes.size(); start += k_piece) {
      const auto piece = bytes.subspan(start, std::min(k_piece, bytes.size() - start));
      BitCursor c = Borrow(piece.size());
      std::size_t i = 0;
      for (; i + 8 <= piece.size(); i += 7) PutBits(c, LoadBigEndian64(piece.data() + i) >> 8, 56);
      for (; i < piece.size(); ++i) PutBits(c, piece[i], 8);
      GiveBack(c);
    }
  }
  if (pending_from.writing_remain > 0) {
    Emit(pending_from.writing_bufor >> (64 - pending_from.writing_remain), pending_from.writing_remain);
  }
}

}  // namespace huffman
