#include "codec/window_table.h"

#include "codec/memory_pages.h"

namespace huffman {

namespace {

std::uint64_t Entry(int from, std::uint32_t bytes, int count, int consumed, int next) {
  return static_cast<std::uint64_t>(consumed) | (next != from ? k_state_changes : 0) |
         static_cast<std::uint64_t>(bytes) << k_entry_bytes_shift |
         static_cast<std::uint64_t>(next) << k_entry_next_shift |
         static_cast<std::uint64_t>(count) << k_entry_count_shift;
}

}  // namespace

const std::uint64_t* WindowTables::Build(int from_state) {
  std::lock_guard lock(building);
  std::uint64_t*& table = tables[from_state];
  if (table != nullptr) return table;  // built by another thread meanwhile
  if (free_in_slab == 0) {
    constexpr std::size_t k_slab_entries = std::size_t{k_window_entries} * k_tables_per_slab;
    slabs.push_back(MakePageArray<std::uint64_t>(k_slab_entries));
    PrefaultPages(slabs.back().get(), k_slab_entries * sizeof(std::uint64_t));
    free_in_slab = k_tables_per_slab;
  }
  table =
      slabs.back().get() + std::size_t{k_window_entries} * static_cast<std::size_t>(k_tables_per_slab - free_in_slab--);
  for (int window = 0; window < k_window_entries; ++window) {
    int state = from_state;
    std::uint32_t bytes = 0;
    int count = 0;
    int consumed_to_last_byte = 0;
    for (int i = 0; i < k_window_bits && count < k_max_bytes_per_window; ++i) {
      const WalkMachine::Move& move = machine.Step(state, (window >> (k_window_bits - 1 - i)) & 1);
      state = move.next;
      if (move.emitted >= 0) {
        bytes |= static_cast<std::uint32_t>(move.emitted) << (8 * count++);
        consumed_to_last_byte = i + 1;
      }
    }
    table[window] = count > 0 ? Entry(from_state, bytes, count, consumed_to_last_byte, WalkMachine::k_root_state)
                              : Entry(from_state, 0, 0, k_window_bits, state);
  }
  published[from_state].store(table, std::memory_order_release);
  return table;
}

}  // namespace huffman
