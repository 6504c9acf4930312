// The record walk compiled into a state machine.  The walk's whole state is
// the pair (current_node, checking_node), and a dictionary admits only a
// bounded set of them: the root state, and one state per record side that
// steps into a child, each reached as (child value, record index - 1).  A
// bit's effect on a state is fixed: step into a child, reach a leaf (emit its
// byte and return to the root state), or nothing.  So the walk over any
// dictionary, malformed ones included, is exactly a table of 2 moves per state.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/walk_machine.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>
#include <vector>

#include "codec/format.h"

namespace huffman {

inline constexpr int k_max_walk_states = 1 + 2 * k_max_records;

class WalkMachine {
 public:
  static constexpr std::uint16_t k_root_state = 0;

  struct Move {
    std::uint16_t next = 0;
    std::int16_t emitted = -1;  // the leaf's byte, or -1 when no leaf is reached
  };

  // No state at all, until one made from a dictionary is assigned.
  WalkMachine() = default;
  explicit WalkMachine(const DictionaryTable& table);

  const Move& Step(int state, int bit) const { return moves[state][bit]; }
  int StateCount() const { return static_cast<int>(moves.size()); }
  // Whether no bit leads out of `state` or reaches a leaf from it: the dead
  // end, once the walk is in it, for good.
  bool Absorbing(int state) const {
    const auto& from = moves[static_cast<std::size_t>(state)];
    return from[0].next == state && from[1].next == state && from[0].emitted < 0 && from[1].emitted < 0;
  }

 private:
  std::vector<std::array<Move, 2>> moves;
};

}  // namespace huffman
