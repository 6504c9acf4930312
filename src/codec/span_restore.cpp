#include "codec/span_restore.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <ostream>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "codec/checksum.h"
#include "codec/span_decoder.h"
#include "codec/walk_machine.h"

namespace huffman {

namespace {

// The threads that decode at once, each k_side_by_side spans at a time
// (SpanDecoder::Decode), every lane taking the next span not yet taken and
// reading its payload then.
constexpr unsigned k_most_parts = 4;
// Spans are decoded into a ring of this many spans' output, each written out
// as soon as it and every span before it are decoded and found whole: a
// lane takes a span only once its place in the ring is written out.  At
// least four lanes' worth for each thread, so that a long span holds up no
// lane; 12 MiB, and a room for a span's payload for each lane (24 at most,
// 7.5 MiB): with the rest of the program, within 32 MiB.
constexpr std::size_t k_ring_spans = 48;
static_assert(k_ring_spans >= 2 * k_most_parts * SpanDecoder::k_side_by_side);
// A span whose codes take more than this (10 bits a byte, which a source
// of 255 byte values or fewer rarely reaches) is left to the restore in
// order, which holds no span whole: so the lanes' rooms take 7.5 MiB at
// most.
constexpr std::uint64_t k_max_span_payload_bytes = k_span_bytes * 10 / 8;
// The most spans written out at once (1 MiB): the ring's places are free
// again as soon as they are written, so that no lane waits for a long write.
constexpr std::size_t k_spans_per_write = 4;
// How long a thread whose lanes all wait for the ring sleeps at most before
// it looks again (it is woken sooner as spans are written out).
constexpr std::chrono::milliseconds k_wait_for_ring{1};

// Where the codes of the spans lie: span k from its sync point to the next
// span's, the last to the payload's end.
class SpanLayout {
 public:
  explicit SpanLayout(const Trailer& trailer) : trailer(trailer) {}
  std::size_t Count() const { return trailer.spans.size(); }
  std::uint64_t StartBit(std::size_t k) const { return trailer.spans[k].bit_offset; }
  std::uint64_t EndBit(std::size_t k) const {
    return k + 1 < Count() ? trailer.spans[k + 1].bit_offset : trailer.payload_bits;
  }
  std::uint64_t Bytes(std::size_t k) const { return std::min(k_span_bytes, trailer.length - k * k_span_bytes); }
  // The payload bytes that hold span k's codes.
  std::uint64_t StartByte(std::size_t k) const { return StartBit(k) / 8; }
  std::uint64_t EndByte(std::size_t k) const { return (EndBit(k) + 7) / 8; }
  // Whether span k's codes can hold it where the table puts them: from bit
  // 0 for the first span, within the payload, and at least a bit a byte.
  bool Holds(std::size_t k) const {
    const std::uint64_t start = StartBit(k);
    const std::uint64_t end = EndBit(k);
    return (k > 0 || start == 0) && start <= end && end <= trailer.payload_bits && end - start >= Bytes(k);
  }

 private:
  const Trailer& trailer;
};

// The spans of one restore as its threads decode them: which may start,
// where each goes in the ring, what each came to, and the writing out of
// the ring in order.  Every thread decodes through a Feed of its own
// (below); what they share is here.
class SpanPipeline {
 public:
  struct Setup {
    const SpanLayout& layout;
    const Trailer& trailer;
    std::size_t usable;  // spans decoded: those before the first whose sync points cannot hold it
    Source& compressed;
    std::uint64_t dictionary_bytes;
    std::span<const std::uint8_t> held;  // the file in memory, if its source lends it
    std::vector<RawBuffer>& lane_rooms;  // else each lane's room for a span's payload
    std::uint8_t* ring;
    std::size_t ring_spans;
    std::ostream* restored;  // none: nothing is written
    std::vector<std::uint64_t>& sums;
  };
  explicit SpanPipeline(const Setup& setup)
      : setup(setup), layout(setup.layout), stop_at(setup.usable), slots(setup.ring_spans) {}

  SpanDecoder::Admission Admit(std::size_t task) const {
    if (task >= stop_at.load()) return SpanDecoder::Admission::never;
    return task < written.load(std::memory_order_acquire) + setup.ring_spans ? SpanDecoder::Admission::now
                                                                              : SpanDecoder::Admission::later;
  }

  SpanTask Take(std::size_t k, unsigned part, int lane) {
    const std::uint64_t first = layout.StartByte(k);
    const auto bytes = static_cast<std::size_t>(layout.EndByte(k) - first);
    SpanTask task{.payload = {},
                  .first_bit = layout.StartBit(k) - first * 8,
                  .end_bit = layout.EndBit(k) - first * 8,
                  .ends_at_sync_point = k + 1 < layout.Count(),
                  .out = setup.ring + (k % setup.ring_spans) * k_span_bytes,
                  .bytes = static_cast<std::size_t>(layout.Bytes(k))};
    if (!setup.held.empty()) {
      task.payload = setup.held.subspan(static_cast<std::size_t>(setup.dictionary_bytes + first), bytes);
      return task;
    }
    RawBuffer& room = setup.lane_rooms[part * SpanDecoder::k_side_by_side + static_cast<std::size_t>(lane)];
    int error = 0;
    const std::int64_t got = setup.compressed.ReadAt(setup.dictionary_bytes + first, {room.data(), bytes}, error);
    if (got >= 0 && static_cast<std::size_t>(got) == bytes) {
      task.payload = {room.data(), bytes};
    } else {
      std::lock_guard lock(mutex);
      if (!read_failed) {
        read_failed = true;
        read_error = got < 0 ? error : 0;
      }
    }
    return task;
  }

  void Done(std::size_t k, const SpanOutcome& outcome) {
    setup.sums[k] = outcome.checksum;
    if (k + 1 == layout.Count()) last_end_bit = outcome.end_bit;
    const bool whole = outcome.whole && outcome.checksum == setup.trailer.spans[k].checksum;
    // A span found damaged (or not read): no span after it is taken.
    if (!whole) StopAt(k + 1);
    slots[k % setup.ring_spans].store(whole ? Slot::whole : Slot::broken);
    WriteOut();
  }

  // Writes out what may be, and on the thread that runs the restore,
  // reports it; a thread with nothing to decode waits for the ring.
  void Between(bool waiting, const std::function<void(std::size_t)>& report) {
    WriteOut();
    if (report) report(written.load(std::memory_order_acquire));
    if (!waiting) return;
    const std::size_t seen = written.load();
    std::unique_lock lock(mutex);
    moved.wait_for(lock, k_wait_for_ring, [&] { return written.load() != seen || stop_at.load() <= seen; });
  }

  // Ends the restore early: the spans not yet taken are not decoded.
  void Stop() {
    StopAt(0);
    std::lock_guard lock(mutex);
    moved.notify_all();
  }

  // Once every thread is done: the spans written out (the first not found
  // whole, if any), where the last span's codes ended, and what failed.
  std::size_t Written() const { return written.load(); }
  std::uint64_t LastEndBit() const { return last_end_bit; }
  bool ReadFailed(int& error) const {
    error = read_error;
    return read_failed;
  }
  bool WriteFailed(int& error) const {
    error = write_error;
    return write_failed;
  }

 private:
  enum class Slot : std::uint8_t { pending, whole, broken };

  void StopAt(std::size_t task) {
    std::size_t now = stop_at.load();
    while (task < now && !stop_at.compare_exchange_weak(now, task)) {
    }
  }

  // Writes out, in order, the spans decoded whole since the last write, on
  // whichever thread finds the writer's place free.  A span that turns whole
  // while another thread writes finds the place taken, so the writer looks
  // again once it lets the place go.
  void WriteOut() {
    while (!writer_busy.exchange(true)) {
      const std::size_t from = written.load();
      std::size_t to = from;
      while (to < setup.usable && to - from < k_spans_per_write && slots[to % setup.ring_spans].load() == Slot::whole) {
        ++to;
      }
      if (to > from) {
        Write(from, to);
        for (std::size_t k = from; k < to; ++k) slots[k % setup.ring_spans].store(Slot::pending);
        written.store(to);
        std::lock_guard lock(mutex);
        moved.notify_all();
      }
      writer_busy.store(false);
      const std::size_t next = written.load();
      if (next >= setup.usable || slots[next % setup.ring_spans].load() != Slot::whole) return;
    }
  }

  // Spans [from, to) of the ring to the output: one write, or two where
  // they wrap around its end.
  void Write(std::size_t from, std::size_t to) {
    if (setup.restored == nullptr || write_failed) return;
    std::size_t k = from;
    while (k < to) {
      const std::size_t slot = k % setup.ring_spans;
      const std::size_t run = std::min(to - k, setup.ring_spans - slot);
      std::uint64_t bytes = 0;
      for (std::size_t j = k; j < k + run; ++j) bytes += layout.Bytes(j);
      const auto* const first = reinterpret_cast<const char*>(setup.ring + slot * k_span_bytes);
      errno = 0;
      // At least one span's bytes: `run` is at least 1, and every span holds
      // a byte.
      // cppcheck-suppress invalidFunctionArg
      setup.restored->write(first, static_cast<std::streamsize>(bytes));
      if (!*setup.restored) {
        write_failed = true;
        write_error = errno;  // read at once, on the thread whose call failed
        Stop();
        return;
      }
      k += run;
    }
  }

  const Setup& setup;
  const SpanLayout& layout;
  std::atomic<std::size_t> stop_at;
  std::atomic<std::size_t> written{0};
  std::vector<std::atomic<Slot>> slots;
  std::atomic<bool> writer_busy{false};
  std::uint64_t last_end_bit = 0;
  // What the writer found, only it writes them.
  bool write_failed = false;
  int write_error = 0;
  // Wakes the threads that wait for the ring; and the first read failure.
  std::mutex mutex;
  std::condition_variable moved;
  bool read_failed = false;
  int read_error = 0;
};

// A thread's view of the pipeline: its lanes' rooms, and the progress
// reports when it is the thread that runs the restore.
class PartFeed final : public SpanDecoder::Feed {
 public:
  PartFeed(SpanPipeline& pipeline, unsigned part, const std::function<void(std::size_t)>& report)
      : pipeline(pipeline), part(part), report(report) {}
  SpanDecoder::Admission Admit(std::size_t task) override { return pipeline.Admit(task); }
  SpanTask Take(std::size_t task, int lane) override { return pipeline.Take(task, part, lane); }
  void Done(std::size_t task, const SpanOutcome& outcome) override { pipeline.Done(task, outcome); }
  void Between(bool waiting) override { pipeline.Between(waiting, report); }

 private:
  SpanPipeline& pipeline;
  unsigned part;
  const std::function<void(std::size_t)>& report;
};

}  // namespace

std::optional<Restore> SpanRestore::Run(Source& compressed, std::ostream* restored, const ProgressFn& progress) {
  CheckData data = ReadCheckData(compressed);
  if (!data.checked) return std::nullopt;
  const Trailer& trailer = data.trailer;
  const SpanLayout layout(trailer);
  // The spans before the first whose sync points cannot hold it: that one
  // is damaged, once those before it are found whole.
  std::size_t usable = 0;
  while (usable < layout.Count() && layout.Holds(usable)) {
    if ((layout.EndBit(usable) - layout.StartBit(usable)) / 8 + 1 > k_max_span_payload_bytes) return std::nullopt;
    ++usable;
  }

  Restore restore{.result = {.compressed_bytes = data.size}, .table = data.table};
  DecompressResult& result = restore.result;
  const std::uint64_t dictionary_bytes = data.dictionary_bytes;
  const auto report = [&progress, &data](std::uint64_t done) {
    if (progress) progress(done, data.size);
  };
  report(dictionary_bytes);

  const unsigned threads =
      workers.ThreadsFor(static_cast<std::size_t>(std::min<std::uint64_t>(trailer.length, k_large_block_bytes)));
  // A part per thread, as far as each has a lane's worth of spans.
  const auto parts = static_cast<unsigned>(std::min<std::size_t>(
      {threads, k_most_parts, (usable + SpanDecoder::k_side_by_side - 1) / SpanDecoder::k_side_by_side}));
  // Before any span can start, the decoder's tables are built and the ring
  // and the lanes' rooms are made, their pages mapped: for a large file
  // about a millisecond each, so a ring the Codec does not have yet is
  // made on a second thread meanwhile.
  std::optional<WalkMachine> machine;
  std::optional<SpanDecoder> decoder;
  const std::size_t ring_spans = std::max<std::size_t>(1, std::min(k_ring_spans, usable));
  const auto ring_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(ring_spans * k_span_bytes, trailer.length));
  const auto make_ring = [&] { ring.Reserve(ring_bytes, arena); };
  // Each lane's room for a span's payload, where the source does not hold
  // it: no larger than the file needs.
  const std::span<const std::uint8_t> held = compressed.Held();
  const auto make_decoder_and_rooms = [&] {
    machine.emplace(data.table);
    decoder.emplace(*machine, bmi2);
    if (!held.empty()) return;
    std::size_t most_span_payload_bytes = 0;
    for (std::size_t k = 0; k < usable; ++k) {
      most_span_payload_bytes =
          std::max(most_span_payload_bytes, static_cast<std::size_t>(layout.EndByte(k) - layout.StartByte(k)));
    }
    if (lane_rooms.size() < parts * SpanDecoder::k_side_by_side) lane_rooms.resize(parts * SpanDecoder::k_side_by_side);
    for (RawBuffer& room : lane_rooms) room.Reserve(most_span_payload_bytes, arena);
  };
  if (parts > 1 && ring.size() < ring_bytes) {
    workers.Run(2, [&](unsigned job) {
      if (job == 0) {
        make_decoder_and_rooms();
      } else {
        make_ring();
      }
    });
  } else {
    make_decoder_and_rooms();
    make_ring();
  }
  std::vector<std::uint64_t> sums(usable);
  const SpanPipeline::Setup setup{.layout = layout,
                                  .trailer = trailer,
                                  .usable = usable,
                                  .compressed = compressed,
                                  .dictionary_bytes = dictionary_bytes,
                                  .held = held,
                                  .lane_rooms = lane_rooms,
                                  .ring = ring.data(),
                                  .ring_spans = ring_spans,
                                  .restored = restored,
                                  .sums = sums};
  SpanPipeline pipeline(setup);
  // Progress is reported on this thread, as spans are written out.
  const std::thread::id caller = std::this_thread::get_id();
  std::size_t reported = 0;
  const std::function<void(std::size_t)> report_written = [&](std::size_t written) {
    if (written == reported) return;
    reported = written;
    report(dictionary_bytes + layout.EndByte(written - 1));
  };
  const std::function<void(std::size_t)> no_report;
  std::atomic<std::size_t> next_task{0};
  if (usable > 0) {
    workers.Run(parts, [&](unsigned part) {
      PartFeed feed(pipeline, part, std::this_thread::get_id() == caller ? report_written : no_report);
      try {
        decoder->Decode(usable, next_task, feed);
      } catch (...) {
        // No thread waits for the spans this one held.
        pipeline.Stop();
        throw;
      }
    });
  }
  if (int error = 0; pipeline.ReadFailed(error)) {
    restore.result = {.status = CodecStatus::read_failed, .system_error = error};
    return restore;
  }
  if (restored != nullptr) {
    errno = 0;
    restored->flush();
    if (int error = 0; pipeline.WriteFailed(error) || !*restored) {
      restore.result = {.status = CodecStatus::write_failed, .system_error = error != 0 ? error : errno};
      return restore;
    }
  }

  // The first span found damaged (`usable` if none), and where the last
  // span's codes ended.
  const std::size_t damaged = pipeline.Written();
  const bool all_whole = damaged == layout.Count();
  const std::uint64_t codes_end = all_whole && usable > 0 ? layout.StartByte(usable - 1) * 8 + pipeline.LastEndBit() : 0;

  // After the last span's codes, the walk goes on as a restore in order
  // goes on, over the rest of the file (the path into the dead end, the
  // zero fill, the check data) until it is in the dead end, so that the
  // verification sees what that restore would: whether the walk stopped,
  // and any bytes restored past the original's length.  The payload's last
  // bytes, from where the codes ended, and its last byte at least.  A
  // damaged span ends the verification before the walk would count: none
  // is read then.
  const std::uint64_t payload_bytes = (trailer.payload_bits + 7) / 8;
  const std::uint64_t tail_from = std::min(codes_end / 8, payload_bytes - 1);
  std::vector<std::uint8_t> tail(all_whole ? static_cast<std::size_t>(payload_bytes - tail_from) : 0);
  int tail_error = 0;
  if (!tail.empty() &&
      static_cast<std::uint64_t>(compressed.ReadAt(dictionary_bytes + tail_from, tail, tail_error)) != tail.size()) {
    restore.result = {.status = CodecStatus::read_failed, .system_error = tail_error};
    return restore;
  }
  bool stopped = false;
  std::uint64_t beyond = 0;
  if (all_whole) {
    int state = WalkMachine::k_root_state;
    const auto walk = [&](std::span<const std::uint8_t> bytes, std::uint64_t from_bit) {
      for (std::uint64_t at = from_bit; at < 8 * bytes.size() && !stopped; ++at) {
        const WalkMachine::Move& move =
            machine->Step(state, bytes[static_cast<std::size_t>(at / 8)] >> (7 - at % 8) & 1);
        if (move.emitted >= 0) ++beyond;
        state = move.next;
        stopped = machine->Absorbing(state);
      }
    };
    walk(tail, codes_end - tail_from * 8);
    walk(data.check_bytes, 0);
  }
  result.restored_bytes = all_whole ? trailer.length + beyond : damaged * k_span_bytes;
  const CheckedRestore checked{.marked = true,
                               .dictionary_bytes = dictionary_bytes,
                               .dictionary_checksum = data.dictionary_checksum,
                               .stopped = stopped,
                               .restored_spans = std::span(sums).first(damaged)};
  VerifyChecked(result, trailer, data.body_bytes, checked, [&](std::uint64_t offset) -> std::optional<std::uint8_t> {
    const std::uint64_t first = dictionary_bytes + tail_from;
    if (offset < first || offset - first >= tail.size()) return std::nullopt;
    return tail[static_cast<std::size_t>(offset - first)];
  });
  if (all_whole) {
    result.restored_checksum_known = true;
    result.restored_checksum = WholeChecksum(sums);
  }
  // The bytes restored are those written: on damage, the spans before the
  // damaged one.
  result.restored_bytes = std::min<std::uint64_t>(damaged * k_span_bytes, trailer.length);
  report(data.size);
  return restore;
}

}  // namespace huffman
