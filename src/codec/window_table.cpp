#include "codec/window_table.h"

#include <algorithm>
#include <array>

#include "platform/large_buffer.h"

namespace huffman {

namespace {

std::uint64_t Entry(int from, std::uint32_t bytes, int count, int consumed, int next) {
  return static_cast<std::uint64_t>(consumed) | (next != from ? k_state_changes : 0) |
         static_cast<std::uint64_t>(bytes) << k_entry_bytes_shift |
         static_cast<std::uint64_t>(next) << k_entry_next_shift |
         static_cast<std::uint64_t>(count) << k_entry_count_shift;
}

// The walk from a table's state over the first bits of a window.
struct Walked {
  int state;
  std::uint32_t bytes;  // the bytes reached, the first lowest
  int count;
  int consumed_to_last_byte;
};

// Fills `table` by walking the windows' bits depth first: windows that share
// a prefix share its steps, so a table takes about two steps per entry
// rather than a window's bits.  A window stops at its last bit or at its last
// byte, so every window that begins with the bits walked to there has that
// entry.
void FillWindows(const WalkMachine& machine, int from_state, std::uint64_t* table) {
  struct Prefix {
    int depth;  // bits walked
    int bits;   // those bits, the first highest
    Walked walked;
  };
  // One prefix waits at each depth at most, beside the one being walked.
  std::array<Prefix, k_window_bits + 2> waiting;
  int count = 0;
  waiting[count++] = {0, 0, {from_state, 0, 0, 0}};
  while (count > 0) {
    const Prefix at = waiting[--count];
    const Walked& walked = at.walked;
    if (at.depth == k_window_bits || walked.count == k_max_bytes_per_window) {
      const std::uint64_t entry = walked.count > 0 ? Entry(from_state, walked.bytes, walked.count,
                                                           walked.consumed_to_last_byte, WalkMachine::k_root_state)
                                                   : Entry(from_state, 0, 0, k_window_bits, walked.state);
      const int free_bits = k_window_bits - at.depth;
      std::fill_n(table + (at.bits << free_bits), 1 << free_bits, entry);
      continue;
    }
    for (int bit = 0; bit < 2; ++bit) {
      const WalkMachine::Move& move = machine.Step(walked.state, bit);
      Walked next{move.next, walked.bytes, walked.count, walked.consumed_to_last_byte};
      if (move.emitted >= 0) {
        next.bytes |= static_cast<std::uint32_t>(move.emitted) << (8 * next.count++);
        next.consumed_to_last_byte = at.depth + 1;
      }
      waiting[count++] = {at.depth + 1, at.bits << 1 | bit, next};
    }
  }
}

}  // namespace

void WindowTables::Reset() {
  std::vector<std::atomic<const std::uint64_t*>> none(static_cast<std::size_t>(machine.StateCount()));
  published.swap(none);
  tables.assign(static_cast<std::size_t>(machine.StateCount()), nullptr);
  slabs_used = 0;
  free_in_slab = 0;
}

const std::uint64_t* WindowTables::Build(int from_state) {
  std::lock_guard lock(building);
  std::uint64_t*& table = tables[from_state];
  if (table != nullptr) return table;  // built by another thread meanwhile
  if (free_in_slab == 0) {
    if (slabs_used == slabs.size()) {
      constexpr std::size_t k_slab_entries = std::size_t{k_window_entries} * k_tables_per_slab;
      slabs.push_back(MakeArenaArray<std::uint64_t>(buffers, k_slab_entries));
      PrefillLargeBuffer(slabs.back().get(), k_slab_entries * sizeof(std::uint64_t));
    }
    ++slabs_used;
    free_in_slab = k_tables_per_slab;
  }
  // `table` is the state's entry in `tables`, not a local: storing to it is the point.
  // cppcheck-suppress redundantAssignment
  table = slabs[slabs_used - 1].get() +
          std::size_t{k_window_entries} * static_cast<std::size_t>(k_tables_per_slab - free_in_slab--);
  FillWindows(machine, from_state, table);
  published[from_state].store(table, std::memory_order_release);
  return table;
}

}  // namespace huffman
