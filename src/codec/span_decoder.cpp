#include "codec/span_decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#include "codec/big_endian.h"
#include "codec/checksum.h"

namespace huffman {

namespace {

// A round loads 8 bytes once per lane and runs this many root windows from
// them: the load, shifted to its first bit, holds at least 57 valid bits.
constexpr int k_round_windows = 4;
static_assert(k_round_windows * SpanDecoder::k_root_window_bits <= 64 - 7);
// A window in which no code ends (a code longer than the window, or the
// path into the dead end) leaves the lane where it stands for the rest of
// the round; after the round the code is walked on from the state the
// window ends in, a bit at a time, this many bits at most, before the lane
// leaves the lockstep.
constexpr int k_long_code_bits = 36;
static_assert(SpanDecoder::k_root_window_bits + k_long_code_bits <= 64 - 7, "one load holds a long code");
// The most a round reads and writes past where it starts.  Each window
// stores all k_max_bytes_per_window bytes of its entry where its first
// byte goes and moves on by the bytes it reached, and a long code's walk
// writes one byte, so a lane runs a round only with k_round_most_bytes of
// room left (libdeflate's FASTLOOP_MAX_BYTES_WRITTEN), and only where a
// load at any bit the round may reach stays within the payload.
constexpr std::uint64_t k_round_most_bits =
    k_round_windows * SpanDecoder::k_root_window_bits + SpanDecoder::k_root_window_bits + k_long_code_bits;
constexpr std::size_t k_round_most_bytes = k_round_windows * k_max_bytes_per_window + 1;
constexpr std::size_t k_load_bytes = 8;
// The lockstep returns after this many rounds, at most 16 KiB of each
// lane's output, so that its spans' checksums take those bytes while they
// are in the cache.
constexpr std::size_t k_rounds_per_run = 1024;
// Each round's load waits for the one before (its position is where the
// last window ended), so a load that misses the cache holds its lane up:
// each round asks for the payload this far ahead, a few hundred rounds,
// which the processor's own prefetch does not do for six streams at once.
constexpr std::size_t k_prefetch_bytes = 1024;

// A lane's bits are counted from address 0, the byte at address a holding
// bits 8a to 8a + 7, so that lanes whose payloads lie anywhere share one
// loop with no base each (user-space addresses are far below 2^61).
std::uint64_t BitAddress(const std::uint8_t* byte) { return std::uint64_t{reinterpret_cast<std::uintptr_t>(byte)} * 8; }
const std::uint8_t* ByteAt(std::uint64_t bit_address) {
  // The address BitAddress took apart, made again.
  return reinterpret_cast<const std::uint8_t*>(  // NOLINT(performance-no-int-to-ptr)
      static_cast<std::uintptr_t>(bit_address / 8));
}

std::uint64_t LoadBits(std::uint64_t bit_address) { return LoadBigEndian64(ByteAt(bit_address)) << (bit_address % 8); }

// The same where fewer than 8 bytes may follow: bytes past the payload read
// as zero.
std::uint64_t LoadBitsNearEnd(std::span<const std::uint8_t> payload, std::uint64_t position) {
  std::uint64_t word = 0;
  for (std::size_t k = 0; k < k_load_bytes; ++k) {
    const std::size_t at = position / 8 + k;
    word = word << 8 | (at < payload.size() ? payload[at] : 0U);
  }
  return word << (position % 8);
}

// A round's bits with a marker in their lowest bit, which no round reaches:
// as the bits shift out, the marker's place counts them.
std::uint64_t LoadMarked(std::uint64_t bit_address) { return LoadBits(bit_address) | 1; }
std::uint64_t ShiftedOut(std::uint64_t marked) { return static_cast<std::uint64_t>(std::countr_zero(marked)); }

}  // namespace

// Fills the root table depth first over the window's bits, as
// window_table.cpp fills the walk's tables: windows that share a prefix
// share its steps.
SpanDecoder::SpanDecoder(const WalkMachine& walk, bool bmi2) : machine(walk), use_bmi2(bmi2) {
  struct Prefix {
    int depth;  // bits walked
    int bits;   // those bits, the first highest
    int state;
    RootWindow window;
  };
  std::array<Prefix, k_root_window_bits + 2> waiting;
  int count = 0;
  waiting[count++] = {0, 0, WalkMachine::k_root_state, {}};
  while (count > 0) {
    const Prefix at = waiting[--count];
    if (at.depth == k_root_window_bits || at.window.count == k_max_bytes_per_window) {
      RootWindow window = at.window;
      if (window.count == 0) window.state_after = static_cast<std::uint16_t>(at.state);
      const int free_bits = k_root_window_bits - at.depth;
      std::fill_n(root.begin() + (at.bits << free_bits), 1 << free_bits, window);
      continue;
    }
    for (int bit = 0; bit < 2; ++bit) {
      const WalkMachine::Move& move = machine.Step(at.state, bit);
      Prefix next{at.depth + 1, at.bits << 1 | bit, move.next, at.window};
      if (move.emitted >= 0) {
        next.window.bytes |= static_cast<std::uint32_t>(move.emitted) << (8 * next.window.count++);
        next.window.consumed = static_cast<std::uint8_t>(next.depth);
      }
      waiting[count++] = next;
    }
  }
  FillCodeEnds();
}

// The code ends after the root windows in which no code ends: a code a
// little longer than a root window then takes one lookup more.
void SpanDecoder::FillCodeEnds() {
  code_ends_of.assign(static_cast<std::size_t>(machine.StateCount()), -1);
  for (const RootWindow& window : root) {
    const int from = window.state_after;
    if (window.count > 0 || code_ends_of[from] >= 0 || machine.Absorbing(from)) continue;
    code_ends_of[from] = static_cast<std::int16_t>(code_ends.size() >> k_code_end_bits);
    for (int bits = 0; bits < 1 << k_code_end_bits; ++bits) {
      CodeEnd end;
      int state = from;
      for (int depth = 1; depth <= k_code_end_bits && end.consumed == 0; ++depth) {
        const WalkMachine::Move& move = machine.Step(state, bits >> (k_code_end_bits - depth) & 1);
        state = move.next;
        if (move.emitted >= 0) end = {static_cast<std::uint8_t>(move.emitted), static_cast<std::uint8_t>(depth)};
      }
      code_ends.push_back(end);
    }
  }
}

// A span being decoded.  In the lockstep a lane stands at the root state
// between windows; one whose code outlasts its lookups stops where it
// stands, and is finished on its own (Finish).
struct SpanDecoder::Lane {
  std::uint64_t position = 0;  // the next bit's address
  std::uint8_t* out = nullptr;
  int state = WalkMachine::k_root_state;
  bool stopped = false;
  std::uint8_t* out_end = nullptr;
  std::span<const std::uint8_t> payload;  // the bytes its bits lie in
  std::uint64_t load_limit = 0;           // positions below it can load 8 bytes

  // Rounds the lane can run with no check.
  std::size_t Rounds() const {
    if (stopped || position + k_round_most_bits > load_limit) return 0;
    const auto by_bits = static_cast<std::size_t>((load_limit - position) / k_round_most_bits);
    return std::min(by_bits, static_cast<std::size_t>(out_end - out) / k_round_most_bytes);
  }
};

template <int k_lanes>
void SpanDecoder::RunLockstep(Lane* lanes) const {
  if (use_bmi2) {
    RunLockstepBmi2<k_lanes>(lanes);
  } else {
    LockstepBody<k_lanes>(lanes);
  }
}

template <int k_lanes>
void SpanDecoder::RunLockstepBmi2(Lane* lanes) const {
  LockstepBody<k_lanes>(lanes);
}

// The lanes in lockstep, all at the root state between windows, sharing
// its table.  While a round runs a lane is only its bits and its output,
// so that all stay in registers, and its window is a load, a store, an add
// and a shift: no branch.  Rounds run in batches that every lane's bounds
// allow (Lane::Rounds), so the loop checks nothing else but, once a round,
// whether a lane's last window reached no byte: the lane then stands at
// the start of a code longer than a window (or of the dead end), which
// LongCode walks.  Returns when some lane has no round left, or stopped,
// or after k_rounds_per_run rounds.
template <int k_lanes>
inline void SpanDecoder::LockstepBody(Lane* lanes) const {
  const RootWindow* const table = root.data();
  for (std::size_t left = k_rounds_per_run; left > 0;) {
    std::size_t rounds = left;
    for (int k = 0; k < k_lanes; ++k) rounds = std::min(rounds, lanes[k].Rounds());
    if (rounds == 0) return;
    left -= rounds;
    std::array<std::uint64_t, k_lanes> position;
    std::array<std::uint8_t*, k_lanes> out;
    for (int k = 0; k < k_lanes; ++k) {
      position[k] = lanes[k].position;
      out[k] = lanes[k].out;
    }
    bool stopped = false;
    do {
      std::array<std::uint64_t, k_lanes> bits;
      std::array<unsigned, k_lanes> last_count;
#pragma GCC unroll 8
      for (int k = 0; k < k_lanes; ++k) {
        bits[k] = LoadMarked(position[k]);
        __builtin_prefetch(ByteAt(position[k]) + k_prefetch_bytes);
      }
#pragma GCC unroll k_round_windows
      for (int window = 0; window < k_round_windows; ++window) {
#pragma GCC unroll 8
        for (int k = 0; k < k_lanes; ++k) {
          const RootWindow& entry = table[bits[k] >> (64 - k_root_window_bits)];
          std::memcpy(out[k], &entry.bytes, sizeof entry.bytes);
          out[k] += entry.count;
          bits[k] <<= entry.consumed;
          last_count[k] = entry.count;
        }
      }
      unsigned long_codes = 0;  // a bit per lane
#pragma GCC unroll 8
      for (int k = 0; k < k_lanes; ++k) {
        position[k] += ShiftedOut(bits[k]);
        long_codes |= static_cast<unsigned>(last_count[k] == 0) << k;
      }
      if (long_codes != 0) [[unlikely]] {
        for (int k = 0; k < k_lanes; ++k) {
          if ((long_codes >> k & 1U) == 0) continue;
          lanes[k].position = position[k];
          lanes[k].out = out[k];
          stopped |= !LongCode(lanes[k]);
          position[k] = lanes[k].position;
          out[k] = lanes[k].out;
        }
      }
    } while (--rounds > 0 && !stopped);
    for (int k = 0; k < k_lanes; ++k) {
      lanes[k].position = position[k];
      lanes[k].out = out[k];
    }
    if (stopped) return;
  }
}

// Walks the code that starts at `lane`'s position, at the root state,
// where its first root window reached no byte: from the state that window
// ends in, a bit at a time, until the code's byte is reached; false, with
// the lane stopped where it stands, if k_long_code_bits do not reach one
// (a longer code, or the dead end).
bool SpanDecoder::LongCode(Lane& lane) const {
  std::uint64_t bits = LoadBits(lane.position);
  int state = root[bits >> (64 - k_root_window_bits)].state_after;
  bits <<= k_root_window_bits;
  lane.position += k_root_window_bits;
  if (const int at = code_ends_of[static_cast<std::size_t>(state)]; at >= 0) {
    const CodeEnd& end =
        code_ends[(static_cast<std::size_t>(at) << k_code_end_bits) + (bits >> (64 - k_code_end_bits))];
    if (end.consumed > 0) {
      *lane.out++ = end.byte;
      lane.position += end.consumed;
      return true;
    }
  }
  for (int step = 0; step < k_long_code_bits && !machine.Absorbing(state); ++step) {
    const WalkMachine::Move& move = machine.Step(state, static_cast<int>(bits >> 63));
    bits <<= 1;
    ++lane.position;
    state = move.next;
    if (move.emitted >= 0) {
      *lane.out++ = static_cast<std::uint8_t>(move.emitted);
      return true;
    }
  }
  lane.state = state;
  lane.stopped = true;
  return false;
}

// Decodes the rest of `lane`'s span from wherever it stands: root windows
// where their bytes fit the span and their bits end within `end_bit`, else
// single bits, until the span is full, its bits run out or the walk is in
// a dead end.
void SpanDecoder::Finish(Lane& lane, std::uint64_t end_bit) const {
  const std::uint64_t base = BitAddress(lane.payload.data());
  std::uint64_t position = lane.position;
  std::uint8_t* out = lane.out;
  int state = lane.state;
  while (out < lane.out_end && position < end_bit && !machine.Absorbing(state)) {
    const std::uint64_t bits =
        position < lane.load_limit ? LoadBits(position) : LoadBitsNearEnd(lane.payload, position - base);
    if (state == WalkMachine::k_root_state) {
      const RootWindow& window = root[bits >> (64 - k_root_window_bits)];
      if (window.count > 0 && window.count <= lane.out_end - out && position + window.consumed <= end_bit) {
        for (int k = 0; k < window.count; ++k) *out++ = static_cast<std::uint8_t>(window.bytes >> (8 * k));
        position += window.consumed;
        continue;
      }
    }
    const WalkMachine::Move& move = machine.Step(state, static_cast<int>(bits >> 63));
    if (move.emitted >= 0) *out++ = static_cast<std::uint8_t>(move.emitted);
    state = move.next;
    ++position;
  }
  lane.position = position;
  lane.out = out;
  lane.state = state;
}

void SpanDecoder::Decode(std::size_t task_count, std::atomic<std::size_t>& next_task, Feed& feed) const {
  std::array<Lane, k_side_by_side> lanes;
  // Each lane's task: its number and what the feed gave for it.
  std::array<std::size_t, k_side_by_side> task_of{};
  std::array<SpanTask, k_side_by_side> spans;
  // Each lane's checksum so far, and the output it has taken: bytes before
  // a lane's `out` are never written again.
  std::array<RunningChecksum, k_side_by_side> sums;
  std::array<const std::uint8_t*, k_side_by_side> summed_to{};
  const auto sum = [&](int k) {
    sums[k].Add({summed_to[k], lanes[k].out});
    summed_to[k] = lanes[k].out;
  };
  // Finishes lane k's task on its own and tells the feed how it went.
  const auto conclude = [&](int k) {
    const SpanTask& task = spans[k];
    Lane& lane = lanes[k];
    const std::uint64_t base = BitAddress(lane.payload.data());
    const std::uint64_t end_bit = base + task.end_bit;
    Finish(lane, end_bit);
    const bool whole =
        lane.out == lane.out_end && (task.ends_at_sync_point ? lane.position == end_bit : lane.position <= end_bit);
    if (whole) sum(k);
    feed.Done(task_of[k], {.whole = whole, .end_bit = lane.position - base, .checksum = whole ? sums[k].Digest() : 0});
  };
  // Starts task `taken` on lane k; false if it ended at once (too short for
  // a round, or its payload could not be had).
  const auto start = [&](int k, std::size_t taken) {
    const SpanTask task = feed.Take(taken, k);
    task_of[k] = taken;
    if (task.payload.empty()) {
      feed.Done(taken, {});
      return false;
    }
    const std::uint64_t base = BitAddress(task.payload.data());
    const std::size_t payload_bytes = task.payload.size();
    lanes[k] = {.position = base + task.first_bit,
                .out = task.out,
                .state = WalkMachine::k_root_state,
                .stopped = false,
                .out_end = task.out + task.bytes,
                .payload = task.payload,
                .load_limit = base + (payload_bytes >= k_load_bytes ? (payload_bytes - k_load_bytes + 1) * 8 : 0)};
    spans[k] = task;
    sums[k].Reset();
    summed_to[k] = task.out;
    if (lanes[k].Rounds() > 0) return true;
    conclude(k);
    return false;
  };
  // Each lane runs, waits for the task it holds to be admitted, or is done.
  enum class State { running, waiting, done };
  std::array<std::size_t, k_side_by_side> held{};  // a waiting lane's task
  const auto fill = [&](int k) {
    for (;;) {
      const std::size_t taken = next_task.fetch_add(1, std::memory_order_relaxed);
      if (taken >= task_count) return State::done;
      switch (feed.Admit(taken)) {
        case Admission::never:
          return State::done;
        case Admission::later:
          held[k] = taken;
          return State::waiting;
        case Admission::now:
          if (start(k, taken)) return State::running;
      }
    }
  };
  const auto resume = [&](int k) {
    switch (feed.Admit(held[k])) {
      case Admission::never:
        return State::done;
      case Admission::later:
        return State::waiting;
      case Admission::now:
        break;
    }
    return start(k, held[k]) ? State::running : fill(k);
  };
  // The lanes in lockstep while every one has rounds left; one that has
  // none (near its span's end, or stopped) is concluded and takes the next
  // task, and when no task is left the rest go on side by side.
  std::array<State, k_side_by_side> state{};
  for (int k = 0; k < k_side_by_side; ++k) state[k] = fill(k);
  for (;;) {
    std::array<int, k_side_by_side> active{};
    int active_count = 0;
    bool waiting = false;
    for (int k = 0; k < k_side_by_side; ++k) {
      if (state[k] == State::running) active[active_count++] = k;
      waiting |= state[k] == State::waiting;
    }
    if (active_count == 0 && !waiting) return;
    if (active_count > 0) {
      std::array<Lane, k_side_by_side> group;
      for (int j = 0; j < active_count; ++j) group[j] = lanes[active[j]];
      // The loop built for exactly active_count lanes, so that each keeps
      // its bits and output in registers.
      [&]<int... k_lanes_less_one>(std::integer_sequence<int, k_lanes_less_one...>) {
        (void)((active_count == k_lanes_less_one + 1 && (RunLockstep<k_lanes_less_one + 1>(group.data()), true)) || ...);
      }(std::make_integer_sequence<int, k_side_by_side>{});
      for (int j = 0; j < active_count; ++j) {
        const int k = active[j];
        lanes[k] = group[j];
        sum(k);
        if (lanes[k].Rounds() > 0) continue;
        conclude(k);
        state[k] = fill(k);
      }
    }
    feed.Between(active_count == 0);
    for (int k = 0; k < k_side_by_side; ++k) {
      if (state[k] == State::waiting) state[k] = resume(k);
    }
  }
}

}  // namespace huffman
