#include "codec/walk_machine.h"

#include <cassert>
#include <unordered_map>

namespace huffman {

namespace {

struct WalkState {
  std::int32_t current_node;
  std::int32_t checking_node;
};

std::uint64_t Key(const WalkState& state) {
  return static_cast<std::uint64_t>(static_cast<std::uint32_t>(state.current_node)) << 32 |
         static_cast<std::uint32_t>(state.checking_node);
}

}  // namespace

WalkMachine::WalkMachine(const DictionaryTable& table) {
  const int n = table.dictionary_lenght;
  // With no record there is no root: every bit finds nothing.
  const WalkState root{n >= 1 ? table.zero_Table[k_id_row][n - 1] : 0, n - 1 >= 0 ? n - 1 : -1};

  std::vector<WalkState> states{root};
  std::unordered_map<std::uint64_t, std::uint16_t> index_of{{Key(root), k_root_state}};
  auto state_index = [&](const WalkState& state) {
    const auto [it, inserted] = index_of.try_emplace(Key(state), static_cast<std::uint16_t>(states.size()));
    if (inserted) states.push_back(state);
    return it->second;
  };

  // Breadth-first over the reachable states; `states` grows as they are found.
  for (std::size_t s = 0; s < states.size(); ++s) {
    std::array<Move, 2> state_moves{};
    for (int bit = 0; bit < 2; ++bit) {
      const WalkState from = states[s];
      const auto& side = bit == 0 ? table.zero_Table : table.one_Table;
      Move move{static_cast<std::uint16_t>(s), -1};
      for (int j = from.checking_node; j >= 0; --j) {
        if (side[k_id_row][j] != from.current_node) continue;
        if (side[k_kind_row][j] == 1) {
          move.next = state_index({side[k_value_row][j], j - 1});
          break;
        }
        if (side[k_kind_row][j] == 0) {
          move.next = k_root_state;
          move.emitted = static_cast<std::int16_t>(side[k_value_row][j] & 0xFF);
          break;
        }
      }
      state_moves[bit] = move;
    }
    moves.push_back(state_moves);
  }
  assert(StateCount() <= k_max_walk_states);
}

}  // namespace huffman
