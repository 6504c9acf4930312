// The decoder: the record walk, exact for any dictionary, run as a state
// machine (walk_machine.h).  Small payloads step it a bit at a time; larger
// ones a window of bits per table lookup (window_table.h).
//
// One lookup's result decides where the next one reads, so a single stream
// of lookups waits on memory at every step.  A large block is therefore cut
// into lanes decoded side by side: four in lockstep, which the processor
// overlaps, as one part of the work the operation's threads share.
// The first lane starts from the true state; every other lane starts from
// the root state at its cut, as a guess, and notes where it stands at the
// root for its first windows.  Huffman decoding falls back into step
// quickly, so the lane before, once past the cut, soon stands where the
// guessing lane stood, in the same state: from there on both decode alike
// and the guessing lane's output is taken.  If they never meet, the lane
// before decodes on by itself, so the result is exact whatever the file.
// The walk's state carries across blocks.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/decoder.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/byte_sink.h"
#include "codec/cpu_features.h"
#include "codec/lane_rooms.h"
#include "codec/raw_buffer.h"
#include "codec/room_end.h"
#include "codec/walk_machine.h"
#include "codec/window_table.h"
#include "codec/worker.h"

namespace huffman {

class Decoder {
 public:
  // Large blocks are shared among `workers`' threads; with `bmi2`, the loops
  // built for processors with BMI2 run (cpu_features.h).  Made once, Reset
  // for each file: its window tables, lane rooms and checkpoints serve them
  // all.
  Decoder(WorkerSet& workers, bool bmi2, BufferArena* arena);
  // Starts on a file of dictionary `table`, at the walk's root state.
  void Reset(const DictionaryTable& table);
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Decodes every bit of `payload`, bit 7 of each byte first, writing the
  // bytes reached to `restored`, whose capacity must be at least
  // MaxRestoredBytes(payload.size()).
  void Decode(std::span<const std::uint8_t> payload, ByteSink& restored);
  static std::size_t MaxRestoredBytes(std::size_t payload_bytes);
  // Whether the walk so far has stepped into a dead end, which no later bit
  // leaves.
  bool Stopped() const { return machine.Absorbing(state); }

 private:
  struct Lane {
    const std::uint8_t* in = nullptr;  // next payload byte not yet in bitbuf
    std::uint64_t bitbuf = 0;          // pending bits, the next one in bit 63
    std::uint64_t bitcount = 0;        // how many of them are valid, modulo 64
    std::uint8_t* out = nullptr;       // where the next byte reached goes
    // The end of the room `out` is in, for the debug build's asserts.
    [[no_unique_address]] RoomEnd out_end;
    int state = WalkMachine::k_root_state;
    const std::uint64_t* table = nullptr;  // the window table of `state`
  };
  struct Checkpoint {
    std::uint64_t bit_position;  // in the block
    std::size_t out_offset;      // in the lane's own output
  };
  // Lanes decoded side by side as one part of the work.
  static constexpr int k_lanes_per_part = 4;
  static constexpr int k_max_lanes = k_lanes_per_part * k_max_parts;

  // Decodes the block in lanes and commits it to `restored`; returns the
  // state at the block's end.
  int DecodeLanes(std::span<const std::uint8_t> payload, const Lane& first, ByteSink& restored, int lane_count);
  void RunLaneGroup(const std::uint8_t* base, int first_lane, int lane_count);
  // Where `lane` notes its checkpoints.
  Checkpoint* CheckpointsOf(int lane);
  // Where lane `lane` (1 and on) writes.
  Room RoomOf(int lane) const { return rooms.At(static_cast<std::size_t>(lane - 1)); }
  // Output of the joined decode taken from one lane's room.
  struct Segment {
    std::span<const std::uint8_t> bytes;
    int lane = 0;
  };
  void CopySegments(std::span<const Segment> segments, ByteSink& restored, bool shared);
  const std::uint8_t* Join(Lane& current, int lane, const std::uint8_t* base, const std::uint8_t* end,
                           const std::uint8_t*& left_at);
  void StepBits(Lane& lane, std::uint64_t bits, int count) const;
  bool StepBit(Lane& lane, const std::uint8_t* end) const;
  void StepToRoot(Lane& lane, const std::uint8_t* end) const;
  void Finish(Lane& lane, const std::uint8_t* end) const;
  void Lookup(Lane& lane, WindowTables& tables) const;
  bool StepWindow(Lane& lane, const std::uint8_t* end, WindowTables& tables) const;
  void RunFast(Lane& lane, const std::uint8_t* end, WindowTables& tables) const;
  struct QuickLane;
  bool WalkBack(QuickLane& lane, int& state, const std::uint8_t* base, std::uint64_t limit, WindowTables& tables) const;
  void RunLockstep(Lane* group, const std::uint8_t* const* ends, const std::uint8_t* base,
                   const std::uint8_t* block_end, WindowTables& tables) const;
  // RunLockstep's loop, compiled for processors with and without BMI2.
  HUFFMAN_TARGET_BMI2 void RunLockstepBmi2(Lane* group, const std::uint8_t* const* ends, const std::uint8_t* base,
                                           const std::uint8_t* block_end, WindowTables& tables) const;
  [[gnu::always_inline]] void RunLockstepBody(Lane* group, const std::uint8_t* const* ends, const std::uint8_t* base,
                                              const std::uint8_t* block_end, WindowTables& tables) const;

  WalkMachine machine;
  // The window tables, filled as states are met, shared by the threads.
  WindowTables windows;
  // Set once a block was decoded through the window tables: from then on
  // every block is, small ones too, since the cost of building the tables
  // (what keeps small payloads on the bit-at-a-time walk) is already paid.
  bool windows_used = false;
  int state = WalkMachine::k_root_state;
  WorkerSet& workers;
  bool use_bmi2;
  // Where the window tables, lane rooms and checkpoints come from.
  BufferArena* buffers;

  // The block's lanes, where they start, what the guessing ones reached, and
  // where they stood at the root.
  std::array<Lane, k_max_lanes> lanes;
  std::array<const std::uint8_t*, k_max_lanes + 1> cuts{};
  // Where each lane but the first writes (the first writes into the
  // sink), sized in DecodeLanes.
  LaneRooms rooms;
  // Which thread decoded each part of the block.
  PartOwners part_owners;
  // Each lane's checkpoints: as many as a lane may note, for each of
  // `checkpoints_made` / k_checkpoint_places lanes.
  ArenaArray<Checkpoint> checkpoint_space;
  std::size_t checkpoints_made = 0;
  std::array<int, k_max_lanes> checkpoint_counts{};
};

}  // namespace huffman
