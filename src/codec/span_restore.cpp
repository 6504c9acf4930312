#include "codec/span_restore.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <numeric>
#include <vector>

#include "codec/checksum.h"
#include "codec/span_decoder.h"
#include "codec/walk_machine.h"

namespace huffman {

namespace {

// A group's job has a part per thread, each of which decodes spans
// k_side_by_side at a time (SpanDecoder::Decode), every lane taking the
// group's next span not yet taken and reading its payload then: a thread
// that first writes the group before, or that the system holds back, takes
// fewer spans, and lanes run side by side until the group's last spans.
// The most spans a group holds: this many a thread, up to
// k_max_group_spans, so that at most four threads decode at once.  A
// restore's memory is a group's output twice (one decoded into, the one
// before written out), 12 MiB at most, and a room for a span's payload for
// each lane, 24 at most: with the rest of the program, within 32 MiB.
constexpr std::size_t k_group_spans_per_thread = 2 * SpanDecoder::k_side_by_side;
constexpr std::size_t k_max_group_spans = 24;
// A span whose codes take more than this (10 bits a byte, which a source
// of 255 byte values or fewer rarely reaches) is left to the restore in
// order, which holds no span whole: so the lanes' rooms take 7.5 MiB at
// most.
constexpr std::uint64_t k_max_span_payload_bytes = k_span_bytes * 10 / 8;

// Spans [first, first + count), whose output takes `out_bytes`.
struct Group {
  std::size_t first = 0;
  std::size_t count = 0;
  std::uint64_t out_bytes = 0;
};

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
  // The group from span `first` on, of `most` spans at most, before span
  // `usable` (none from there on).
  Group GroupFrom(std::size_t first, std::size_t most, std::size_t usable) const {
    Group group{.first = first};
    for (; group.count < most && first + group.count < usable; ++group.count) {
      group.out_bytes += Bytes(first + group.count);
    }
    return group;
  }

 private:
  const Trailer& trailer;
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
  const std::size_t group_spans = std::min(k_max_group_spans, k_group_spans_per_thread * threads);
  // A part per thread, as far as each has a lane's worth of spans.
  const auto parts = static_cast<unsigned>(
      std::min<std::size_t>(threads, (group_spans + SpanDecoder::k_side_by_side - 1) / SpanDecoder::k_side_by_side));
  const WalkMachine machine(data.table);
  const SpanDecoder decoder(machine, bmi2);

  // The largest group's output and span's payload: what the buffers take,
  // so that a small file costs only its own size.
  std::size_t most_out_bytes = 0;
  for (std::size_t first = 0; first < usable;) {
    const Group group = layout.GroupFrom(first, group_spans, usable);
    most_out_bytes = std::max(most_out_bytes, static_cast<std::size_t>(group.out_bytes));
    first += group.count;
  }
  std::size_t most_span_payload_bytes = 0;
  for (std::size_t k = 0; k < usable; ++k) {
    most_span_payload_bytes =
        std::max(most_span_payload_bytes, static_cast<std::size_t>(layout.EndByte(k) - layout.StartByte(k)));
  }
  // Each span's payload where the source holds it, else read by the lane
  // that decodes it, into a room of the lane's, when it takes the span.
  const std::span<const std::uint8_t> held = compressed.Held();
  if (held.empty()) {
    if (lane_payloads.size() < parts * SpanDecoder::k_side_by_side) {
      lane_payloads.resize(parts * SpanDecoder::k_side_by_side);
    }
    for (RawBuffer& room : lane_payloads) room.Reserve(most_span_payload_bytes, arena);
  }
  struct ReadFailure {
    bool failed = false;
    int error = 0;
  };
  std::vector<ReadFailure> read_failures(parts);
  // The bytes of span k's codes, for lane `lane` of part `part`.
  const auto payload_of = [&](std::size_t k, unsigned part, int lane) -> std::span<const std::uint8_t> {
    const std::uint64_t first = layout.StartByte(k);
    const auto bytes = static_cast<std::size_t>(layout.EndByte(k) - first);
    if (!held.empty()) return held.subspan(static_cast<std::size_t>(dictionary_bytes + first), bytes);
    RawBuffer& room = lane_payloads[part * SpanDecoder::k_side_by_side + static_cast<std::size_t>(lane)];
    int error = 0;
    const std::int64_t got = compressed.ReadAt(dictionary_bytes + first, {room.data(), bytes}, error);
    if (got >= 0 && static_cast<std::size_t>(got) == bytes) return {room.data(), bytes};
    read_failures[part] = {.failed = true, .error = got < 0 ? error : 0};
    return {};
  };

  if (restored != nullptr) {
    sink.Open(*restored, most_out_bytes);
  } else {
    unwritten.Reserve(most_out_bytes, arena);
  }
  std::vector<std::uint64_t> sums(usable);
  std::vector<SpanTask> tasks(group_spans);
  std::vector<std::size_t> span_of(group_spans);  // each task's span
  std::vector<SpanOutcome> outcomes(group_spans);
  std::vector<char> whole(group_spans);

  // The first span found damaged (`usable` if none), and where the last
  // span's codes ended.
  std::size_t damaged = usable;
  std::uint64_t codes_end = 0;
  std::uint64_t verified_bytes = 0;
  for (Group group = layout.GroupFrom(0, group_spans, usable); group.count > 0;
       group = layout.GroupFrom(group.first + group.count, group_spans, usable)) {
    std::uint8_t* const out = restored != nullptr ? sink.Reserve(group.out_bytes) : unwritten.data();
    // The spans with the most bits first: the lanes then end the group
    // with short ones, close together, rather than with one long span
    // decoded alone.
    std::iota(span_of.begin(), span_of.begin() + static_cast<std::ptrdiff_t>(group.count), group.first);
    std::stable_sort(span_of.begin(), span_of.begin() + static_cast<std::ptrdiff_t>(group.count),
                     [&layout](std::size_t a, std::size_t b) {
                       return layout.EndBit(a) - layout.StartBit(a) > layout.EndBit(b) - layout.StartBit(b);
                     });
    for (std::size_t t = 0; t < group.count; ++t) {
      const std::size_t k = span_of[t];
      const std::uint64_t base_bit = layout.StartByte(k) * 8;
      tasks[t] = {.first_bit = layout.StartBit(k) - base_bit,
                  .end_bit = layout.EndBit(k) - base_bit,
                  .ends_at_sync_point = k + 1 < layout.Count(),
                  .out = out + (k - group.first) * k_span_bytes,
                  .bytes = static_cast<std::size_t>(layout.Bytes(k))};
    }
    std::atomic<std::size_t> next_task{0};
    workers.Run(parts, [&](unsigned part) {
      decoder.Decode(
          std::span(tasks).first(group.count), std::span(outcomes).first(group.count), next_task,
          [&payload_of, &span_of, part](std::size_t t, int lane) { return payload_of(span_of[t], part, lane); });
    });
    for (const ReadFailure& failure : read_failures) {
      if (failure.failed) {
        restore.result = {.status = CodecStatus::read_failed, .system_error = failure.error};
        return restore;
      }
    }
    std::uint64_t last_end_bit = 0;  // where the group's last span's codes ended
    for (std::size_t t = 0; t < group.count; ++t) {
      const std::size_t k = span_of[t];
      sums[k] = outcomes[t].checksum;
      whole[k - group.first] = static_cast<char>(outcomes[t].whole && sums[k] == trailer.spans[k].checksum);
      if (k == group.first + group.count - 1) last_end_bit = outcomes[t].end_bit;
    }
    const auto first_broken = static_cast<std::size_t>(
        std::find(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(group.count), 0) - whole.begin());
    if (first_broken < group.count) {
      damaged = group.first + first_broken;
      break;
    }
    if (restored != nullptr) {
      sink.Commit(out + group.out_bytes);
      if (sink.Failed()) break;
    }
    const std::size_t last = group.first + group.count - 1;
    codes_end = layout.StartByte(last) * 8 + last_end_bit;
    verified_bytes += group.out_bytes;
    report(dictionary_bytes + layout.EndByte(last));
  }
  workers.Settle();
  if (restored != nullptr) {
    sink.Flush();
    if (sink.Failed()) {
      restore.result = {.status = CodecStatus::write_failed, .system_error = sink.Error()};
      return restore;
    }
  }

  // After the last span's codes, the walk goes on as a restore in order
  // goes on, over the rest of the file (the path into the dead end, the
  // zero fill, the check data) until it is in the dead end, so that the
  // verification sees what that restore would: whether the walk stopped,
  // and any bytes restored past the original's length.  The payload's last
  // bytes, from where the codes ended, and its last byte at least:
  const std::uint64_t payload_bytes = (trailer.payload_bits + 7) / 8;
  const std::uint64_t tail_from = std::min(codes_end / 8, payload_bytes - 1);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(payload_bytes - tail_from));
  int tail_error = 0;
  if (static_cast<std::uint64_t>(compressed.ReadAt(dictionary_bytes + tail_from, tail, tail_error)) != tail.size()) {
    restore.result = {.status = CodecStatus::read_failed, .system_error = tail_error};
    return restore;
  }
  bool stopped = false;
  std::uint64_t beyond = 0;
  const bool all_whole = damaged == layout.Count();
  if (all_whole) {
    int state = WalkMachine::k_root_state;
    const auto walk = [&](std::span<const std::uint8_t> bytes, std::uint64_t from_bit) {
      for (std::uint64_t at = from_bit; at < 8 * bytes.size() && !stopped; ++at) {
        const WalkMachine::Move& move =
            machine.Step(state, bytes[static_cast<std::size_t>(at / 8)] >> (7 - at % 8) & 1);
        if (move.emitted >= 0) ++beyond;
        state = move.next;
        stopped = machine.Absorbing(state);
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
                               .restored_spans = std::span(sums).first(std::min(damaged, usable))};
  VerifyChecked(result, trailer, data.body_bytes, checked, [&](std::uint64_t offset) -> std::optional<std::uint8_t> {
    const std::uint64_t first = dictionary_bytes + tail_from;
    if (offset < first || offset - first >= tail.size()) return std::nullopt;
    return tail[static_cast<std::size_t>(offset - first)];
  });
  if (all_whole) {
    result.restored_checksum_known = true;
    result.restored_checksum = WholeChecksum(sums);
  }
  // The bytes restored are those written: on damage, the groups before the
  // damaged span's.
  result.restored_bytes = verified_bytes;
  report(data.size);
  return restore;
}

}  // namespace huffman
