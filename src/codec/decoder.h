// The decoder: the record walk, exact for any dictionary, run as a state
// machine (walk_machine.h).  Small payloads step it a bit at a time; larger
// ones a window of bits per table lookup (window_table.h).
//
// One lookup's result decides where the next one reads, so a single stream
// of lookups waits on memory at every step.  A large block is therefore cut
// in two lanes decoded in lockstep, which the processor overlaps: the first
// from the true state, the second from the root state at the block's middle,
// as a guess.  Huffman decoding falls back into step quickly, so the first
// lane, once past the middle, soon stands where the second stood, in the same
// state: from there on both decode alike and the second lane's output is
// taken.  If they never meet, the first lane decodes the rest itself, so the
// result is exact whatever the file.  The walk's state carries across blocks.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "codec/byte_sink.h"
#include "codec/walk_machine.h"
#include "codec/window_table.h"

namespace huffman {

class Decoder {
 public:
  explicit Decoder(const DictionaryTable& table);
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Decodes every bit of `payload`, bit 7 of each byte first, writing the
  // bytes reached to `restored`, whose capacity must be at least
  // MaxRestoredBytes(payload.size()).
  void Decode(std::span<const std::uint8_t> payload, ByteSink& restored);
  static std::size_t MaxRestoredBytes(std::size_t payload_bytes);

 private:
  struct Lane {
    const std::uint8_t* in;  // next payload byte not yet in bitbuf
    std::uint64_t bitbuf;    // pending bits, the next one in bit 63
    std::uint64_t bitcount;  // how many of them are valid, modulo 64
    std::uint8_t* out;       // where the next byte reached goes
    int state;
    const std::uint64_t* table;  // the window table of `state`
  };

  void DecodeTwoLanes(std::span<const std::uint8_t> payload, Lane& first);
  void StepBits(Lane& lane, std::uint64_t bits, int count) const;
  void Finish(Lane& lane, const std::uint8_t* end) const;
  void Lookup(Lane& lane);
  bool StepWindow(Lane& lane, const std::uint8_t* end);
  void RunFast(Lane& lane, const std::uint8_t* end);
  void RunLockstep(Lane& first, const std::uint8_t* first_end, Lane& second, const std::uint8_t* second_end);

  WalkMachine machine;
  WindowTables windows;
  bool windows_used = false;
  int state = WalkMachine::k_root_state;
  std::vector<std::uint8_t> second_out;
  struct Checkpoint {
    std::uint64_t bit_position;  // in the payload block
    std::size_t out_offset;      // in second_out
  };
  std::vector<Checkpoint> checkpoints;
};

}  // namespace huffman
