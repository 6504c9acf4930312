// The decoder of a checked file's spans.  The trailer gives, for every span
// of the original (check_trailer.h), the payload bit where its first code
// starts, so each span is decoded from a known code start (the root state)
// straight into its own place in the output, to exactly its length: no
// lane starts on a guess and none is joined to another (decoder.h).
// Several spans run side by side on one thread, independent chains of
// lookups that the processor overlaps.  A span that does not decode to its
// length, or whose codes do not end where the next span starts, is
// reported, never taken.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/span_decoder.h is private to the codec: include <huffman/codec.h>"
#endif

#include <array>
#include <atomic>
#include <cstdint>
#include <span>
#include <vector>

#include "codec/cpu_features.h"
#include "codec/walk_machine.h"
#include "codec/window_table.h"

namespace huffman {

// One span to decode: the bytes that hold its codes (bit 0 = bit 7 of the
// first), where in them its codes lie, and where its bytes go.
struct SpanTask {
  std::span<const std::uint8_t> payload;  // none: it could not be had
  std::uint64_t first_bit = 0;
  // Where its codes end: the next span's sync point.  For the file's last
  // span, whose codes are followed by the path into the dead end, only a
  // bound: the payload's last bit.
  std::uint64_t end_bit = 0;
  bool ends_at_sync_point = true;
  std::uint8_t* out = nullptr;
  std::size_t bytes = 0;
};

struct SpanOutcome {
  // Exactly `bytes` bytes decoded, the last code ending at the task's
  // end_bit (within it, for the last span).
  bool whole = false;
  std::uint64_t end_bit = 0;   // where the codes decoded ended, in the span's bytes
  std::uint64_t checksum = 0;  // of the span's bytes (checksum.h), when whole
};

class SpanDecoder {
 public:
  // Spans decoded side by side on one thread: as many as keep each one's
  // bits and output in registers.
  static constexpr int k_side_by_side = 6;

  // The root table of the machine `walk` is built here.  With `bmi2`, the
  // loops for processors with BMI2 run.
  SpanDecoder(const WalkMachine& walk, bool bmi2);

  // Whether a task may start now; a task is taken in order, and one that
  // must wait keeps its lane until it may.
  enum class Admission { now, later, never };

  // What Decode asks of the restore that drives it, on the thread that
  // decodes; several threads may ask at once.
  class Feed {
   public:
    // Whether task `task` may start: `never` for it and every task after.
    virtual Admission Admit(std::size_t task) = 0;
    // Task `task` for lane `lane`, its payload read then (so that it is in
    // the cache as the lane decodes it).
    virtual SpanTask Take(std::size_t task, int lane) = 0;
    // How task `task` went: its outcome, with the checksum of what it
    // decoded, taken as it was decoded.
    virtual void Done(std::size_t task, const SpanOutcome& outcome) = 0;
    // Between batches of rounds; `waiting`: no lane of this thread has a
    // task that may start, so the call returns once one may be admitted
    // (or after a short while).
    virtual void Between(bool waiting) = 0;

    virtual ~Feed() = default;
    Feed() = default;
    Feed(const Feed&) = delete;
    Feed& operator=(const Feed&) = delete;
  };

  // Decodes tasks 0 .. task_count - 1, each into its place, and tells
  // `feed` how each went: k_side_by_side at a time, each lane taking the
  // task `next_task` names and moving it on, until no task is left.
  // Several threads may decode the same tasks at once, sharing
  // `next_task`, each task then decoded by one of them.  Writes nothing
  // outside the tasks' places, whatever the bits.
  void Decode(std::size_t task_count, std::atomic<std::size_t>& next_task, Feed& feed) const;

  // The root state's window of k_root_window_bits bits: the bytes reached
  // (up to four, the first lowest), how many, and the bits up to the last
  // of them, fields the hot loop reads as they are, with no shift.  A
  // window in which no code ends has both counts 0 and names the state the
  // walk stands in after it.
  static constexpr int k_root_window_bits = 12;
  struct RootWindow {
    std::uint32_t bytes = 0;
    std::uint8_t consumed = 0;
    std::uint8_t count = 0;
    std::uint16_t state_after = WalkMachine::k_root_state;
  };
  static_assert(sizeof(RootWindow) == 8);

 private:
  struct Lane;
  template <int k_lanes>
  void RunLockstep(Lane* lanes) const;
  template <int k_lanes>
  HUFFMAN_TARGET_BMI2 void RunLockstepBmi2(Lane* lanes) const;
  template <int k_lanes>
  [[gnu::always_inline]] void LockstepBody(Lane* lanes) const;
  bool LongCode(Lane& lane) const;
  void FillCodeEnds();
  void Finish(Lane& lane, std::uint64_t end_bit) const;

  const WalkMachine& machine;
  bool use_bmi2;
  std::array<RootWindow, std::size_t{1} << k_root_window_bits> root;
  // For each state a root window can end in, the next k_code_end_bits
  // bits' first code end: its byte and its bits, 0 where no code ends in
  // them.  Placed at code_ends_of[state] * 2^k_code_end_bits, -1 for the
  // other states.
  static constexpr int k_code_end_bits = 8;
  struct CodeEnd {
    std::uint8_t byte = 0;
    std::uint8_t consumed = 0;
  };
  std::vector<std::int16_t> code_ends_of;
  std::vector<CodeEnd> code_ends;
};

}  // namespace huffman
