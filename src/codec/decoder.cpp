#include "codec/decoder.h"

#include <algorithm>
#include <bit>
#include <cassert>
#include <cstring>

#include "codec/big_endian.h"
#include "codec/code_table.h"

namespace huffman {

namespace {

// Payloads below this many bytes are walked bit by bit: a window table would
// cost more to build than it saves.
constexpr std::size_t k_window_payload_bytes = 16 * 1024;
// Blocks from this size on are decoded in lanes, k_lanes_per_part of them,
// and large blocks in that many lanes per part (WorkerSet::PartsFor).
constexpr std::size_t k_lane_bytes = 64 * 1024;
static_assert(k_lane_bytes <= k_large_block_bytes);
// Windows of a guessing lane at which the lane before may join it.  Decoding
// usually falls into step within a few windows (on text and binaries, all
// but a fraction of a percent of lanes within 32); the rest is margin, and
// noting each window costs as the slow path does.
constexpr int k_checkpoint_windows = 128;
// A lane notes where it starts and then at most one checkpoint a window.
constexpr int k_checkpoint_places = k_checkpoint_windows + 1;
// A refill loads 8 bytes and keeps whole bytes only, so it leaves between
// 56 and 63 valid bits (see Refill); that many windows run per refill.
constexpr int k_refill_load_bytes = 8;
constexpr int k_min_valid_after_refill = 8 * (k_refill_load_bytes - 1);
constexpr int k_windows_per_refill = k_min_valid_after_refill / k_window_bits;
static_assert(k_min_valid_after_refill == 56 && k_windows_per_refill == 5);
static_assert(k_window_bits <= k_min_valid_after_refill);

// The lane rooms.  Lane 0 writes into the sink, which has room for the
// whole block (MaxRestoredBytes); lane k from 1 on writes into a room of its
// own, and so does the decode that joins it, from where it joins (a
// checkpoint, the lane's output before it kept) or, if it walks past all
// the lane's checkpoints, from the room's start (the lane's output unused).
// So each byte in room k was reached by the one decode, in order, from a
// bit at or after lane k's cut, and each by a bit of its own: a byte
// reached ends a code, and a code takes at least a bit.  That decode stops
// writing there when it meets lane k + 1 or has walked past all of its
// checkpoints; these lie within lane k + 1's first k_checkpoint_windows
// windows, each of at most k_window_bits bits, and the join walks up to
// them whole windows only while a window cannot pass the next, then single
// bits.  So every byte in the room was reached by a bit from lane k's cut
// to lane k + 1's last checkpoint, that one included, but for:
//   - one, where the join, past the last checkpoint, steps to the end of
//     the code it stands in (a code that may be long, but reaches one
//     byte: a byte reached returns the walk to the root);
//   - those of lane k's own last round of lookups in lockstep, which
//     starts before its end, but after a walk back to the root from a code
//     longer than a window (a walk that may run far, reaching a window's
//     bytes at its end) reads on from there: at most every window of the
//     round walks back, each window and each walk reaching up to
//     k_max_bytes_per_window bytes.  No round follows one that read past
//     the lane's end.
// A lookup stores all k_max_bytes_per_window bytes of its window, reached
// or not, so a room ends that many bytes after its last byte reached.  The
// hot loops assert this bound in debug builds (make test-sanitize), and
// there each room is an allocation of its own (lane_rooms.h).
constexpr std::size_t k_lockstep_overrun_bytes = 2 * k_windows_per_refill * k_max_bytes_per_window;
constexpr std::size_t k_join_room_bytes = std::size_t{k_checkpoint_windows} * k_window_bits +
                                          1 /* the last checkpoint's bit */ + 1 /* the code the join ends in */ +
                                          k_lockstep_overrun_bytes;
// The room of a lane whose share of the block is at most `share_bytes`.
constexpr std::size_t RoomBytes(std::size_t share_bytes) {
  return 8 * share_bytes + k_join_room_bytes + k_max_bytes_per_window;
}

// Valid bits in the bit buffer.  The count is kept modulo 64 so that a
// lookup can subtract a whole entry from it (window_table.h); it is never
// above 63.
int Valid(std::uint64_t bitcount) { return static_cast<int>(bitcount & k_entry_consumed_mask); }

// Tops the bit buffer up from the 8 bytes at `in`.  With v valid bits
// (v = 8q + r, r below 8), the load shifted right by v puts the stream's next
// bits right after them.  Of the 64 - v places, (63 - v) >> 3 = 7 - q whole
// bytes are taken: the most that keep the count below 64, which the modulo
// count cannot hold.  The count becomes 8q + r + 8(7 - q) = 56 + r, and since
// 56 is bits 3..5 set and q sits in exactly those bits, that is v | 56:
// always 56 to 63.  Bits loaded past the new count are the stream's own next
// bits, so OR-ing them again at the next refill changes nothing.
inline void Refill(const std::uint8_t*& in, std::uint64_t& bitbuf, std::uint64_t& bitcount) {
  const int valid = Valid(bitcount);
  bitbuf |= LoadBigEndian64(in) >> valid;
  in += (63 - valid) >> 3;
  bitcount = static_cast<std::uint64_t>(valid | k_min_valid_after_refill);
}

std::uint64_t BitPosition(const std::uint8_t* base, const std::uint8_t* in, std::uint64_t bitcount) {
  return static_cast<std::uint64_t>(in - base) * 8 - static_cast<std::uint64_t>(Valid(bitcount));
}

}  // namespace

Decoder::Decoder(WorkerSet& workers, bool bmi2, BufferArena* arena)
    : windows(machine, arena), workers(workers), use_bmi2(bmi2), buffers(arena) {}

void Decoder::Reset(const DictionaryTable& table) {
  machine = WalkMachine(table);
  windows.Reset();
  windows_used = false;
  state = WalkMachine::k_root_state;
}

std::size_t Decoder::MaxRestoredBytes(std::size_t payload_bytes) {
  // Each bit reaches at most one byte; a window always stores all of its
  // k_max_bytes_per_window bytes, so up to that many past the last reached.
  constexpr std::size_t k_store_slack_bytes = 8;
  static_assert(k_max_bytes_per_window <= k_store_slack_bytes);
  return 8 * payload_bytes + k_store_slack_bytes;
}

void Decoder::Decode(std::span<const std::uint8_t> payload, ByteSink& restored) {
  const std::uint8_t* const end = payload.data() + payload.size();
  Lane lane;
  lane.in = payload.data();
  lane.out = restored.Reserve(MaxRestoredBytes(payload.size()));
  lane.out_end = RoomEnd(lane.out + MaxRestoredBytes(payload.size()));
  lane.state = state;

  if (!windows_used && payload.size() < k_window_payload_bytes) {
    Finish(lane, end);
  } else {
    windows_used = true;
    StepToRoot(lane, end);
    lane.table = windows.For(lane.state);
    const unsigned parts = workers.PartsFor(payload.size());
    if (parts > 1) {
      state = DecodeLanes(payload, lane, restored, static_cast<int>(k_lanes_per_part * parts));
      return;
    }
    if (payload.size() >= k_lane_bytes) {
      state = DecodeLanes(payload, lane, restored, k_lanes_per_part);
      return;
    }
    RunFast(lane, end, windows);
    Finish(lane, end);
  }
  state = lane.state;
  restored.Commit(lane.out);
}

int Decoder::DecodeLanes(std::span<const std::uint8_t> payload, const Lane& first, ByteSink& restored, int lane_count) {
  assert(lane_count % k_lanes_per_part == 0 && lane_count <= k_max_lanes);
  const std::uint8_t* const base = payload.data();
  const std::uint8_t* const end = base + payload.size();
  for (int k = 0; k <= lane_count; ++k) cuts[k] = base + payload.size() * static_cast<std::size_t>(k) / lane_count;
  lanes[0] = first;
  // Rooms for the lanes after the first (RoomBytes).  A room grows with the
  // block, so the rooms made for a block serve any block no larger cut into
  // as many lanes: they are made for the next power of two, which a
  // restore's first block (shorter by the dictionary) and its full blocks
  // share.  No cut of a block of up to `bytes` bytes gives a lane more
  // share than bytes / lane_count + 1.
  const std::size_t bytes = std::bit_ceil(payload.size());
  rooms.Fit(static_cast<std::size_t>(lane_count - 1), RoomBytes(bytes / static_cast<std::size_t>(lane_count) + 1),
            buffers);
  const auto checkpoint_places = static_cast<std::size_t>(lane_count) * k_checkpoint_places;
  if (checkpoint_places > checkpoints_made) {
    checkpoint_space.reset();  // given back first, for the new places to take its place
    checkpoints_made = 0;
    checkpoint_space = MakeArenaArray<Checkpoint>(buffers, checkpoint_places);
    checkpoints_made = checkpoint_places;
  }
  for (int k = 1; k < lane_count; ++k) {
    lanes[k] = Lane{};
    lanes[k].in = cuts[k];
    lanes[k].out = RoomOf(k).begin;
    lanes[k].out_end = RoomEnd(RoomOf(k).end);
  }

  // Lanes k_lanes_per_part·k onwards as part k, each part best on the
  // thread that ran it in the block before, whose cache holds its lanes'
  // buffers.
  workers.RunOwned(
      static_cast<unsigned>(lane_count / k_lanes_per_part),
      [this, base, lane_count](unsigned part) {
        RunLaneGroup(base, static_cast<int>(part) * k_lanes_per_part, lane_count);
      },
      part_owners);

  // Each lane in turn is met by the decode so far, which then goes on in
  // that lane's room, or is decoded by it, in its room.  The output is the
  // segments so made, one per lane, in order; the first is already in place
  // in `restored`.
  Lane current = lanes[0];
  std::array<Segment, k_max_lanes> segments{};
  const std::uint8_t* segment_start = first.out;
  for (int k = 1; k < lane_count; ++k) {
    RunFast(current, cuts[k], windows);
    const std::uint8_t* segment_end = nullptr;
    const std::uint8_t* const taken_from = Join(current, k, base, end, segment_end);
    segments[k - 1] = {{segment_start, segment_end}, k - 1};
    segment_start = taken_from;
  }
  RunFast(current, end, windows);
  Finish(current, end);
  segments[lane_count - 1] = {{segment_start, current.out}, lane_count - 1};
  const int segment_count = lane_count;

  restored.Commit(segments[0].bytes.data() + segments[0].bytes.size());
  CopySegments({segments.data() + 1, static_cast<std::size_t>(segment_count - 1)}, restored,
               lane_count > k_lanes_per_part);
  return current.state;
}

// Appends `segments` to `restored`.  Where the block was `shared` among
// threads, each part's segments are copied by the thread that decoded them,
// from its own cache: the decoded bytes need not cross to another
// processor, which would make the next block's decoding there fetch its
// output lines back.
void Decoder::CopySegments(std::span<const Segment> segments, ByteSink& restored, bool shared) {
  std::array<std::size_t, k_max_lanes + 1> offsets{};
  for (std::size_t k = 0; k < segments.size(); ++k) offsets[k + 1] = offsets[k] + segments[k].bytes.size();
  const std::size_t total = offsets[segments.size()];
  if (!shared || segments.empty()) {
    for (const Segment& segment : segments) restored.Write(segment.bytes.data(), segment.bytes.size());
    return;
  }
  std::uint8_t* const to = restored.Reserve(total);
  // One copy part per decode part that made segments: segments[first[p]]
  // up to segments[first[p + 1]], owned by the thread that decoded them.
  std::array<std::size_t, k_max_parts + 1> first{};
  std::array<std::uint8_t, k_max_parts> owners{};
  unsigned copy_parts = 0;
  int last_part = -1;
  for (std::size_t k = 0; k < segments.size(); ++k) {
    const int part = segments[k].lane / k_lanes_per_part;
    if (part != last_part) {
      first[copy_parts] = k;
      owners[copy_parts++] = part_owners.Threads()[part];
      last_part = part;
    }
  }
  first[copy_parts] = segments.size();
  workers.Run(
      copy_parts,
      [&](unsigned part) {
        for (std::size_t k = first[part]; k < first[part + 1]; ++k) {
          std::memcpy(to + offsets[k], segments[k].bytes.data(), segments[k].bytes.size());
        }
      },
      true, owners.data());
  restored.Commit(to + total);
}

// Runs the k_lanes_per_part lanes from `first_lane` on in lockstep, each to
// the next lane's cut.  A guessing lane first notes its checkpoints.
void Decoder::RunLaneGroup(const std::uint8_t* base, int first_lane, int lane_count) {
  WindowTables& tables = windows;
  const std::uint8_t* const end = cuts[lane_count];
  for (int k = first_lane; k < first_lane + k_lanes_per_part; ++k) {
    if (k == 0) continue;
    Lane& lane = lanes[k];
    lane.table = tables.For(lane.state);
    Checkpoint* const notes = CheckpointsOf(k);
    int& count = checkpoint_counts[k];
    count = 0;
    const std::uint8_t* const room = lane.out;
    notes[count++] = {BitPosition(base, lane.in, 0), 0};
    for (int window = 0; window < k_checkpoint_windows && StepWindow(lane, end, tables); ++window) {
      if (lane.state == WalkMachine::k_root_state) {
        notes[count++] = {BitPosition(base, lane.in, lane.bitcount), static_cast<std::size_t>(lane.out - room)};
      }
    }
  }
  RunLockstep(&lanes[first_lane], &cuts[first_lane + 1], base, end, tables);
  for (int k = first_lane; k < first_lane + k_lanes_per_part; ++k) RunFast(lanes[k], cuts[k + 1], tables);
}

Decoder::Checkpoint* Decoder::CheckpointsOf(int lane) {
  return &checkpoint_space[static_cast<std::size_t>(lane) * k_checkpoint_places];
}

// Walks `current` on until it stands at one of the lane's checkpoints in the
// root state, and from there becomes the lane: same position, state and
// room.  If it walks past every checkpoint, it steps to the end of the code
// it stands in and goes on from there in the lane's room, from its start
// (the lane's own output is then unused).  Returns where in the lane's room
// `current`'s output continues, and sets `left_at` to where its output in
// the room before stopped.
const std::uint8_t* Decoder::Join(Lane& current, int lane, const std::uint8_t* base, const std::uint8_t* end,
                                  const std::uint8_t*& left_at) {
  const std::span<const Checkpoint> notes(CheckpointsOf(lane), static_cast<std::size_t>(checkpoint_counts[lane]));
  std::size_t next = 0;
  for (;;) {
    const std::uint64_t position = BitPosition(base, current.in, current.bitcount);
    while (next < notes.size() && notes[next].bit_position < position) ++next;
    if (next == notes.size()) break;
    if (notes[next].bit_position == position && current.state == WalkMachine::k_root_state) {
      left_at = current.out;
      current = lanes[lane];
      return RoomOf(lane).begin + notes[next].out_offset;
    }
    // Whole windows from the root state while they cannot pass the
    // checkpoint, else single bits: the two decodes need not start their
    // windows at the same bits (a run of one short code keeps them apart
    // for good), but once in step both stand at the root state at every
    // code boundary.  A bit step leaves the lane's table behind its state.
    if (current.state == WalkMachine::k_root_state &&
        notes[next].bit_position - position > static_cast<std::uint64_t>(k_window_bits)) {
      current.table = windows.For(current.state);
      if (!StepWindow(current, end, windows)) break;
    } else if (!StepBit(current, end)) {
      break;
    }
  }
  StepToRoot(current, end);
  current.table = windows.For(current.state);
  left_at = current.out;
  current.out = RoomOf(lane).begin;
  current.out_end = RoomEnd(RoomOf(lane).end);
  return current.out;
}

// Walks the low `count` bits of `bits`, the highest first.
void Decoder::StepBits(Lane& lane, std::uint64_t bits, int count) const {
  for (int position = count - 1; position >= 0; --position) {
    const WalkMachine::Move& move = machine.Step(lane.state, static_cast<int>(bits >> position) & 1);
    assert(move.emitted < 0 || lane.out_end.Holds(lane.out, 1));
    if (move.emitted >= 0) *lane.out++ = static_cast<std::uint8_t>(move.emitted);
    lane.state = move.next;
  }
}

// One bit, taking the next byte first if no bit is pending; false when no
// bit is left before `end`.  The lane's table is left as it was.
bool Decoder::StepBit(Lane& lane, const std::uint8_t* end) const {
  if (Valid(lane.bitcount) == 0) {
    if (lane.in == end) return false;
    lane.bitbuf = static_cast<std::uint64_t>(*lane.in++) << 56;
    lane.bitcount = 8;
  }
  StepBits(lane, lane.bitbuf >> 63, 1);
  lane.bitbuf <<= 1;
  lane.bitcount -= 1;
  return true;
}

// Bits one at a time until the lane stands at the root state, or none is
// left before `end`.  A state met inside a code gets a window table only
// where a window ends in it; one met elsewhere (where a block starts, or
// where decodes join) would otherwise cost a table for a few bits.
void Decoder::StepToRoot(Lane& lane, const std::uint8_t* end) const {
  while (lane.state != WalkMachine::k_root_state && StepBit(lane, end)) {
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

inline void Decoder::Lookup(Lane& lane, WindowTables& tables) const {
  assert(lane.out_end.Holds(lane.out, k_max_bytes_per_window));
  const std::uint64_t e = lane.table[lane.bitbuf >> (64 - k_window_bits)];
  const std::uint32_t reached = EntryBytes(e);
  std::memcpy(lane.out, &reached, 4);
  lane.out += EntryCount(e);
  lane.bitbuf <<= EntryConsumed(e);
  lane.bitcount -= e;  // only its low 6 bits matter: see Valid
  // Well-formed files stay at the root state from window to window.
  if (e & k_state_changes) [[unlikely]] {
    lane.state = EntryNext(e);
    lane.table = tables.For(lane.state);
  }
}

// One window, refilling first if needed; false when too few bits are left
// before `end` for a whole window.
bool Decoder::StepWindow(Lane& lane, const std::uint8_t* end, WindowTables& tables) const {
  if (Valid(lane.bitcount) < k_window_bits) {
    if (end - lane.in < k_refill_load_bytes) return false;
    Refill(lane.in, lane.bitbuf, lane.bitcount);
  }
  Lookup(lane, tables);
  return true;
}

// Whole refills while 8 bytes can be read before `end`.
void Decoder::RunFast(Lane& lane, const std::uint8_t* end, WindowTables& tables) const {
  Lane l = lane;  // a local copy stays in registers
  while (end - l.in >= k_refill_load_bytes) {
    Refill(l.in, l.bitbuf, l.bitcount);
#pragma GCC unroll k_windows_per_refill
    for (int window = 0; window < k_windows_per_refill; ++window) Lookup(l, tables);
  }
  lane = l;
}

// A lane of the lockstep loop (see RunLockstep).
struct Decoder::QuickLane {
  std::uint64_t position;  // in bits from the block's start
  std::uint8_t* out;
  [[no_unique_address]] RoomEnd out_end;  // of the room `out` is in
};

namespace {

// The next 57 or more bits from `position` on, the first in bit 63.
std::uint64_t LoadBits(const std::uint8_t* base, std::uint64_t position) {
  return LoadBigEndian64(base + position / 8) << (position % 8);
}

// Positions from which 8 bytes can be loaded before `end`.
std::uint64_t LoadLimit(const std::uint8_t* base, const std::uint8_t* end) {
  return end - base >= k_refill_load_bytes ? static_cast<std::uint64_t>(end - base - k_refill_load_bytes + 1) * 8 : 0;
}

}  // namespace

// Walks `lane` on from `state` until it is back at the root state; false,
// with `state` where it stands, if `limit` comes first.
bool Decoder::WalkBack(QuickLane& lane, int& state, const std::uint8_t* base, std::uint64_t limit,
                       WindowTables& tables) const {
  while (state != WalkMachine::k_root_state) {
    if (lane.position >= limit) return false;
    const std::uint64_t e = tables.For(state)[LoadBits(base, lane.position) >> (64 - k_window_bits)];
    assert(lane.out_end.Holds(lane.out, k_max_bytes_per_window));
    const std::uint32_t reached = EntryBytes(e);
    std::memcpy(lane.out, &reached, 4);
    lane.out += EntryCount(e);
    lane.position += static_cast<std::uint64_t>(EntryConsumed(e));
    if (e & k_state_changes) state = EntryNext(e);
  }
  return true;
}

// Several lanes at once: independent chains of lookups for the processor
// to overlap.  Here a lane is only its bit position and its output, its
// bits loaded afresh at each round, so that all the lanes stay in
// registers; and all stand at the root state, so they share its table.  A
// lane that leaves the root state (a code longer than a window) walks back
// to it at once.  Lane k runs while a round's load stays before `ends[k]`;
// it may pass its end by the rest of a long code, up to `block_end`.
void Decoder::RunLockstep(Lane* group, const std::uint8_t* const* ends, const std::uint8_t* base,
                          const std::uint8_t* block_end, WindowTables& tables) const {
  if (use_bmi2) {
    RunLockstepBmi2(group, ends, base, block_end, tables);
  } else {
    RunLockstepBody(group, ends, base, block_end, tables);
  }
}

void Decoder::RunLockstepBmi2(Lane* group, const std::uint8_t* const* ends, const std::uint8_t* base,
                              const std::uint8_t* block_end, WindowTables& tables) const {
  RunLockstepBody(group, ends, base, block_end, tables);
}

inline void Decoder::RunLockstepBody(Lane* group, const std::uint8_t* const* ends, const std::uint8_t* base,
                                     const std::uint8_t* block_end, WindowTables& tables) const {
  std::array<QuickLane, k_lanes_per_part> l;
  std::array<std::uint64_t, k_lanes_per_part> limits;
  for (int k = 0; k < k_lanes_per_part; ++k) {
    // A lane inside a code (a guessing lane, or a block that starts so)
    // first walks to the root state on its own.
    while (group[k].state != WalkMachine::k_root_state && StepWindow(group[k], ends[k], tables)) {
    }
    if (group[k].state != WalkMachine::k_root_state) return;
    l[k] = {BitPosition(base, group[k].in, group[k].bitcount), group[k].out, group[k].out_end};
    limits[k] = LoadLimit(base, ends[k]);
  }
  const std::uint64_t block_limit = LoadLimit(base, block_end);
  const std::uint64_t* const root = tables.For(WalkMachine::k_root_state);
  // Lanes whose walk back met the block's end, or ended too near it for
  // another load: where each stopped.  Their remaining lookups of the round
  // go to `scratch`, and no round follows.
  std::array<bool, k_lanes_per_part> stopped{};
  std::array<int, k_lanes_per_part> stopped_state{};
  std::array<QuickLane, k_lanes_per_part> stopped_at{};
  std::array<std::uint8_t, 4 * k_windows_per_refill + 8> scratch;

  auto all_may_start = [&] {
    bool all = true;
#pragma GCC unroll k_lanes_per_part
    for (int k = 0; k < k_lanes_per_part; ++k) all &= l[k].position < limits[k];
    return all;
  };
  while (all_may_start()) {
    std::array<std::uint64_t, k_lanes_per_part> bits;
#pragma GCC unroll k_lanes_per_part
    for (int k = 0; k < k_lanes_per_part; ++k) bits[k] = LoadBits(base, l[k].position);
#pragma GCC unroll k_windows_per_refill
    for (int window = 0; window < k_windows_per_refill; ++window) {
#pragma GCC unroll k_lanes_per_part
      for (int k = 0; k < k_lanes_per_part; ++k) {
        const std::uint64_t e = root[bits[k] >> (64 - k_window_bits)];
        const std::uint32_t reached = EntryBytes(e);
        assert(l[k].out_end.Holds(l[k].out, k_max_bytes_per_window));
        std::memcpy(l[k].out, &reached, 4);
        l[k].out += EntryCount(e);
        bits[k] <<= EntryConsumed(e);
        l[k].position += static_cast<std::uint64_t>(EntryConsumed(e));
        if (e & k_state_changes && !stopped[k]) [[unlikely]] {
          int walk_state = EntryNext(e);
          if (WalkBack(l[k], walk_state, base, block_limit, tables) && l[k].position < block_limit) {
            bits[k] = LoadBits(base, l[k].position);
          } else {
            stopped[k] = true;
            stopped_state[k] = walk_state;
            stopped_at[k] = l[k];
            l[k].out = scratch.data();
            l[k].out_end = RoomEnd(scratch.data() + scratch.size());
            limits[k] = 0;
          }
        }
      }
    }
  }

  for (int k = 0; k < k_lanes_per_part; ++k) {
    const QuickLane& quick = stopped[k] ? stopped_at[k] : l[k];
    Lane& lane = group[k];
    lane.out = quick.out;
    lane.in = base + quick.position / 8;
    const int skip = static_cast<int>(quick.position % 8);
    lane.bitbuf = skip == 0 ? 0 : static_cast<std::uint64_t>(*lane.in++) << (56 + skip);
    lane.bitcount = skip == 0 ? 0 : static_cast<std::uint64_t>(8 - skip);
    lane.state = stopped[k] ? stopped_state[k] : WalkMachine::k_root_state;
    lane.table = tables.For(lane.state);
  }
}

}  // namespace huffman
