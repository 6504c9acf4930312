#include "codec/decoder.h"

#include <cassert>
#include <cstring>

namespace huffman {

namespace {

// Payloads below this many bytes are walked bit by bit: a window table would
// cost more to build than it saves.
constexpr std::size_t k_window_payload_bytes = 16 * 1024;
// Blocks from this size on are decoded in two lanes.
constexpr std::size_t k_two_lane_bytes = 64 * 1024;
// Windows of the second lane at which the first may join it.  Decoding
// usually falls into step within a few dozen bits; the rest is margin.
constexpr int k_checkpoint_windows = 512;
// Windows per refill: a refill leaves at least 56 valid bits.
constexpr int k_windows_per_refill = 5;
static_assert(k_windows_per_refill * k_window_bits <= 56);

std::uint64_t LoadBigEndian64(const std::uint8_t* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return __builtin_bswap64(word);
}

// Valid bits in the bit buffer.  The count is kept modulo 64 so that a
// lookup can subtract a whole entry from it (window_table.h); it is never
// above 63.
int Valid(std::uint64_t bitcount) { return static_cast<int>(bitcount & 63); }

// Tops the bit buffer up to at least 56 valid bits from the 8 bytes at `in`.
// Bits past the valid ones are the stream's own next bits, so OR-ing them
// again later changes nothing.
inline void Refill(const std::uint8_t*& in, std::uint64_t& bitbuf, std::uint64_t& bitcount) {
  const int valid = Valid(bitcount);
  bitbuf |= LoadBigEndian64(in) >> valid;
  in += (63 - valid) >> 3;
  bitcount = static_cast<std::uint64_t>(valid | 56);
}

std::uint64_t BitPosition(const std::uint8_t* base, const std::uint8_t* in, std::uint64_t bitcount) {
  return static_cast<std::uint64_t>(in - base) * 8 - static_cast<std::uint64_t>(Valid(bitcount));
}

}  // namespace

Decoder::Decoder(const DictionaryTable& table) : machine(table), windows(machine) {}

std::size_t Decoder::MaxRestoredBytes(std::size_t payload_bytes) {
  // Each bit reaches at most one byte; a window always stores four.
  return 8 * payload_bytes + 8;
}

void Decoder::Decode(std::span<const std::uint8_t> payload, ByteSink& restored) {
  const std::uint8_t* const end = payload.data() + payload.size();
  std::uint8_t* const out = restored.Reserve(MaxRestoredBytes(payload.size()));
  Lane lane{payload.data(), 0, 0, out, state, nullptr};

  if (!windows_used && payload.size() < k_window_payload_bytes) {
    Finish(lane, end);
  } else {
    windows_used = true;
    lane.table = windows.For(lane.state);
    if (payload.size() >= k_two_lane_bytes) {
      DecodeTwoLanes(payload, lane);
    } else {
      RunFast(lane, end);
      Finish(lane, end);
    }
  }
  state = lane.state;
  restored.Commit(lane.out);
}

void Decoder::DecodeTwoLanes(std::span<const std::uint8_t> payload, Lane& first) {
  const std::uint8_t* const base = payload.data();
  const std::uint8_t* const end = base + payload.size();
  const std::uint8_t* const middle = base + payload.size() / 2;
  const std::size_t second_bytes = static_cast<std::size_t>(end - middle);
  if (second_out.size() < MaxRestoredBytes(second_bytes)) second_out.resize(MaxRestoredBytes(second_bytes));

  // The second lane guesses the root state at the middle, and notes where it
  // stands at the root, window by window, for the first lane to meet it.
  Lane second{middle, 0, 0, second_out.data(), WalkMachine::k_root_state, windows.For(WalkMachine::k_root_state)};
  checkpoints.clear();
  checkpoints.push_back({BitPosition(base, middle, 0), 0});
  for (int window = 0; window < k_checkpoint_windows && StepWindow(second, end); ++window) {
    if (second.state == WalkMachine::k_root_state) {
      checkpoints.push_back({BitPosition(base, second.in, second.bitcount),
                             static_cast<std::size_t>(second.out - second_out.data())});
    }
  }

  RunLockstep(first, middle, second, end);
  RunFast(second, end);
  Finish(second, end);

  // The first lane walks on until it stands at a checkpoint in the root
  // state: from there it would decode exactly what the second lane did.
  std::size_t next = 0;
  for (;;) {
    const std::uint64_t position = BitPosition(base, first.in, first.bitcount);
    while (next < checkpoints.size() && checkpoints[next].bit_position < position) ++next;
    if (next == checkpoints.size()) break;
    if (checkpoints[next].bit_position == position && first.state == WalkMachine::k_root_state) {
      const std::size_t taken = static_cast<std::size_t>(second.out - second_out.data()) - checkpoints[next].out_offset;
      std::memcpy(first.out, second_out.data() + checkpoints[next].out_offset, taken);
      first.out += taken;
      first.state = second.state;
      return;
    }
    if (!StepWindow(first, end)) break;
  }
  // Never met: the first lane decodes the rest itself.
  RunFast(first, end);
  Finish(first, end);
}

// Walks the low `count` bits of `bits`, the highest first.
void Decoder::StepBits(Lane& lane, std::uint64_t bits, int count) const {
  for (int position = count - 1; position >= 0; --position) {
    const WalkMachine::Move& move = machine.Step(lane.state, static_cast<int>(bits >> position) & 1);
    if (move.emitted >= 0) *lane.out++ = static_cast<std::uint8_t>(move.emitted);
    lane.state = move.next;
  }
}

// The pending bits and every byte left before `end`, a bit at a time.
void Decoder::Finish(Lane& lane, const std::uint8_t* end) const {
  const int valid = Valid(lane.bitcount);
  if (valid > 0) StepBits(lane, lane.bitbuf >> (64 - valid), valid);
  lane.bitbuf = 0;
  lane.bitcount = 0;
  for (; lane.in < end; ++lane.in) StepBits(lane, *lane.in, 8);
}

inline void Decoder::Lookup(Lane& lane) {
  const std::uint64_t e = lane.table[lane.bitbuf >> (64 - k_window_bits)];
  const std::uint32_t reached = EntryBytes(e);
  std::memcpy(lane.out, &reached, 4);
  lane.out += EntryCount(e);
  lane.bitbuf <<= EntryConsumed(e);
  lane.bitcount -= e;  // only its low 6 bits matter: see Valid
  // Well-formed files stay at the root state from window to window.
  if (e & k_state_changes) [[unlikely]] {
    lane.state = EntryNext(e);
    lane.table = windows.For(lane.state);
  }
}

// One window, refilling first if needed; false when too few bits are left
// before `end` for a whole window.
bool Decoder::StepWindow(Lane& lane, const std::uint8_t* end) {
  if (Valid(lane.bitcount) < k_window_bits) {
    if (end - lane.in < 8) return false;
    Refill(lane.in, lane.bitbuf, lane.bitcount);
  }
  Lookup(lane);
  return true;
}

// Whole refills while 8 bytes can be read before `end`.
void Decoder::RunFast(Lane& lane, const std::uint8_t* end) {
  Lane l = lane;  // a local copy stays in registers
  while (end - l.in >= 8) {
    Refill(l.in, l.bitbuf, l.bitcount);
#pragma GCC unroll 5
    for (int window = 0; window < k_windows_per_refill; ++window) Lookup(l);
  }
  lane = l;
}

// Both lanes at once: two independent chains of lookups for the processor
// to overlap.
void Decoder::RunLockstep(Lane& first, const std::uint8_t* first_end, Lane& second, const std::uint8_t* second_end) {
  Lane a = first;
  Lane b = second;
  while (first_end - a.in >= 8 && second_end - b.in >= 8) {
    Refill(a.in, a.bitbuf, a.bitcount);
    Refill(b.in, b.bitbuf, b.bitcount);
#pragma GCC unroll 5
    for (int window = 0; window < k_windows_per_refill; ++window) {
      Lookup(a);
      Lookup(b);
    }
  }
  first = a;
  second = b;
}

}  // namespace huffman
