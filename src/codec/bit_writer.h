// The payload's bit packing: codes go out root first, the first bit of the
// stream in bit 7 of the first byte.  A whole byte is written as soon as it
// is complete; the last byte's unused low bits are 0 unless the encoder
// fills them with chosen padding first.
//
// Hot loops borrow a BitCursor (pending bits plus a raw output pointer),
// keep it in registers, and give it back; see PutBits for what it assumes.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/bit_writer.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cassert>
#include <cstdint>

#include "codec/big_endian.h"
#include "codec/byte_sink.h"
#include "codec/room_end.h"

namespace huffman {

struct BitCursor {
  std::uint8_t* out;
  std::uint64_t writing_bufor;  // pending bits, the oldest in bit 63
  int writing_remain;           // how many are pending: 0 to 7 between calls
  // The end of the room borrowed, for the debug build's asserts.
  [[no_unique_address]] RoomEnd out_end;
};

// Adds `count` bits (1 to 64 - writing_remain) without writing anything.
inline void AddBits(BitCursor& c, std::uint64_t bits, int count) {
  assert(count >= 1 && c.writing_remain + count <= 64 && (count == 64 || bits >> count == 0));
  c.writing_bufor |= bits << (64 - c.writing_remain - count);
  c.writing_remain += count;
}

// Writes the whole pending bytes; always stores 8 bytes, so the cursor needs
// 8 bytes of room.  writing_remain must be below 64.
inline void FlushBytes(BitCursor& c) {
  assert(c.writing_remain < 64 && c.out_end.Holds(c.out, 8));
  StoreBigEndian64(c.out, c.writing_bufor);
  c.out += c.writing_remain >> 3;
  c.writing_bufor <<= c.writing_remain & ~7;
  c.writing_remain &= 7;
}

// Adds 1 to 56 bits and writes what became whole bytes.
inline void PutBits(BitCursor& c, std::uint64_t bits, int count) {
  AddBits(c, bits, count);
  FlushBytes(c);
}

class BitWriter {
 public:
  explicit BitWriter(ByteSink& output) : sink(output) {}

  // A cursor with room for `bytes` whole bytes of output plus the slack the
  // 8-byte stores need; give it back before any other call.
  BitCursor Borrow(std::size_t bytes) {
    std::uint8_t* const out = sink.Reserve(bytes + 8);
    return {out, writing_bufor, writing_remain, RoomEnd(out + bytes + 8)};
  }
  void GiveBack(const BitCursor& c) {
    sink.Commit(c.out);
    writing_bufor = c.writing_bufor;
    writing_remain = c.writing_remain;
  }

  // Appends 1 to 56 bits.
  void Emit(std::uint64_t bits, int count) {
    BitCursor c = Borrow(8);
    PutBits(c, bits, count);
    GiveBack(c);
  }

  // Writes the last partial byte, zero-filled.
  void Finish() {
    if (writing_remain == 0) return;
    BitCursor c = Borrow(1);
    c.writing_remain = 8;
    FlushBytes(c);
    GiveBack(c);
  }

  // Drops the pending bits, for a writer that starts over on a cleared sink.
  void Reset() {
    writing_bufor = 0;
    writing_remain = 0;
  }

  // Bits accepted so far; after Finish, the padding is included.
  std::uint64_t BitsWritten() const { return (sink.BytesCommitted()) * 8 + writing_remain; }

 private:
  ByteSink& sink;
  std::uint64_t writing_bufor = 0;
  int writing_remain = 0;
};

}  // namespace huffman
