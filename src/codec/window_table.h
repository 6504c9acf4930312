// Window tables: the record walk's state machine stepped k_window_bits bits
// at a time.  For a state and the next k_window_bits payload bits, one entry
// gives the bytes the walk reaches (up to four), the bits they use, and the
// state after them, so one lookup replaces up to eleven record searches.
// Tables are built per state the first time a window starts there; a
// well-formed file needs the root state's alone unless a code is longer
// than the window.  One set serves all of a restore's threads: a table is
// built once, under a lock, and published whole, so memory does not grow
// with the thread count.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/window_table.h is private to the codec: include <huffman/codec.h>"
#endif

#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "codec/buffer_arena.h"
#include "codec/walk_machine.h"

namespace huffman {

// Entry layout, one 64-bit word, arranged so the hot loop spends the fewest
// operations per lookup:
//   bits  0..5   bits consumed (1 to k_window_bits).  Lowest, so the shift of
//                the bit buffer takes the word as it is, and a bit count
//                kept modulo 64 can subtract the whole word.
//   bit   6      set when the state after the window differs from this one
//   bits  8..39  up to four bytes reached, the first in bits 8..15
//   bits 40..52  the state after the consumed bits
//   bits 61..63  how many bytes were reached (0 to 4)
// An entry that reaches a byte consumes only up to its last byte reached, so
// the next window starts at the root state; one that reaches none consumes
// the whole window and names the state where the walk then stands.
inline constexpr int k_window_bits = 11;
inline constexpr int k_window_entries = 1 << k_window_bits;
inline constexpr int k_max_bytes_per_window = 4;

inline constexpr int k_entry_consumed_bits = 6;
inline constexpr std::uint64_t k_entry_consumed_mask = (1 << k_entry_consumed_bits) - 1;
inline constexpr std::uint64_t k_state_changes = std::uint64_t{1} << k_entry_consumed_bits;
inline constexpr int k_entry_bytes_shift = 8;
inline constexpr int k_entry_next_shift = k_entry_bytes_shift + 8 * k_max_bytes_per_window;
inline constexpr int k_entry_next_bits = 13;
inline constexpr int k_entry_count_shift = 61;
inline constexpr int k_entry_count_bits = 64 - k_entry_count_shift;

static_assert(k_entry_consumed_mask == 63, "a bit count kept modulo 64 subtracts whole entries");
static_assert(k_window_bits <= k_entry_consumed_mask, "the consumed field holds a whole window");
static_assert(k_state_changes < (std::uint64_t{1} << k_entry_bytes_shift), "the flag sits below the bytes");
static_assert(k_entry_next_shift == 40 && k_entry_next_shift + k_entry_next_bits <= k_entry_count_shift);
static_assert(k_max_bytes_per_window < (1 << k_entry_count_bits), "the count field holds every count");
static_assert(k_max_bytes_per_window == sizeof(std::uint32_t), "the bytes reached are stored as one 32-bit word");
static_assert(k_max_walk_states <= (1 << k_entry_next_bits), "a state must fit its field");
static_assert(std::endian::native == std::endian::little, "an entry's bytes are stored straight from its word");

inline int EntryConsumed(std::uint64_t e) { return static_cast<int>(e & k_entry_consumed_mask); }
inline std::uint32_t EntryBytes(std::uint64_t e) { return static_cast<std::uint32_t>(e >> k_entry_bytes_shift); }
inline int EntryNext(std::uint64_t e) {
  return static_cast<int>(e >> k_entry_next_shift) & ((1 << k_entry_next_bits) - 1);
}
inline int EntryCount(std::uint64_t e) { return static_cast<int>(e >> k_entry_count_shift); }

class WindowTables {
 public:
  // The tables come from `arena`.
  WindowTables(const WalkMachine& walk, BufferArena* arena)
      : machine(walk), buffers(arena), published(walk.StateCount()), tables(walk.StateCount()) {}

  // Starts afresh for the states `machine` has now (a new file's): no table
  // built yet, the slabs kept to be cut again.
  void Reset();

  // The table of `state`; safe to call from several threads at once.
  const std::uint64_t* For(int state) {
    const std::uint64_t* table = published[state].load(std::memory_order_acquire);
    return table != nullptr ? table : Build(state);
  }

 private:
  const std::uint64_t* Build(int state);

  // Tables are cut from slabs of this many, each slab mapped in advance
  // (platform/large_buffer.h): a file's code tree reaches dozens of states.
  static constexpr int k_tables_per_slab = 16;

  const WalkMachine& machine;
  BufferArena* buffers;
  std::vector<std::atomic<const std::uint64_t*>> published;  // null until built
  std::mutex building;
  // Under `building`: each state's table, and the slabs they are cut from.
  std::vector<std::uint64_t*> tables;
  std::vector<ArenaArray<std::uint64_t>> slabs;
  std::size_t slabs_used = 0;
  int free_in_slab = 0;
};

}  // namespace huffman
