#include "codec/span_restore.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <vector>

#include "codec/checksum.h"
#include "codec/span_decoder.h"
#include "codec/walk_machine.h"

namespace huffman {

namespace {

// A group's job has a part per thread, each of which decodes spans
// k_side_by_side at a time (SpanDecoder::Decode), every lane taking the
// group's next span not yet taken: a thread that first writes the group
// before or reads the next one, or that the system holds back, takes fewer
// spans, and lanes run side by side until the group's last spans.  The most
// spans a group holds: this many a thread, up to k_max_group_spans.
constexpr std::size_t k_group_spans_per_thread = 2 * SpanDecoder::k_side_by_side;
// A group takes spans while its payload
// stays within k_group_payload_bits per original byte, one span at least.
// A restore's memory is a group's output twice (one decoded into, the one
// before written out) and its payload twice (one decoded, the next read):
// 20 MiB for text (5.3 bits a byte), 21 MiB at most: with the rest of the
// program, within 32 MiB.
constexpr std::size_t k_max_group_spans = 24;
constexpr std::uint64_t k_group_payload_bits = 6;
// A span whose codes take more than this is left to the restore in order.
constexpr std::uint64_t k_max_span_payload_bytes = 4 * k_span_bytes;

// Spans [first, first + count), whose codes lie in payload bytes
// [first_byte, end_byte).
struct Group {
  std::size_t first = 0;
  std::size_t count = 0;
  std::uint64_t first_byte = 0;
  std::uint64_t end_byte = 0;
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
    if (first >= usable) return {.first = first};
    Group group{.first = first, .first_byte = StartBit(first) / 8};
    const std::uint64_t budget = most * k_span_bytes * k_group_payload_bits / 8;
    while (group.count < most && first + group.count < usable) {
      const std::uint64_t end_byte = (EndBit(first + group.count) + 7) / 8;
      if (group.count > 0 && end_byte - group.first_byte > budget) break;
      group.end_byte = end_byte;
      group.out_bytes += Bytes(first + group.count);
      ++group.count;
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
  const WalkMachine machine(data.table);
  const SpanDecoder decoder(machine, bmi2);

  // The largest group's payload and output: what the buffers take, so
  // that a small file costs only its own size.
  std::uint64_t most_payload_bytes = 0;
  std::size_t most_out_bytes = 0;
  for (std::size_t first = 0; first < usable;) {
    const Group group = layout.GroupFrom(first, group_spans, usable);
    most_payload_bytes = std::max(most_payload_bytes, group.end_byte - group.first_byte);
    most_out_bytes = std::max(most_out_bytes, static_cast<std::size_t>(group.out_bytes));
    first += group.count;
  }
  // The payload where the source holds it, else read a group at a time.
  const std::span<const std::uint8_t> held = compressed.Held();
  if (held.empty()) {
    for (RawBuffer& payload : payloads) payload.Reserve(static_cast<std::size_t>(most_payload_bytes), arena);
  }
  // A group's read, on whichever thread takes it: what it uses outlives
  // this call, for a read still handed on when it ends.
  const auto read_group = [this, &compressed, dictionary_bytes](const Group& group, std::size_t slot) {
    const std::span<std::uint8_t> into(payloads[slot].data(), group.end_byte - group.first_byte);
    reads[slot].error = 0;
    reads[slot].got = compressed.ReadAt(dictionary_bytes + group.first_byte, into, reads[slot].error);
  };
  const auto payload_of = [&](const Group& group, std::size_t slot) -> std::span<const std::uint8_t> {
    const auto bytes = static_cast<std::size_t>(group.end_byte - group.first_byte);
    if (!held.empty()) return held.subspan(static_cast<std::size_t>(dictionary_bytes + group.first_byte), bytes);
    return {payloads[slot].data(), bytes};
  };

  if (restored != nullptr) {
    sink.Open(*restored, most_out_bytes);
  } else {
    unwritten.Reserve(most_out_bytes, arena);
  }
  std::vector<std::uint64_t> sums(usable);
  std::vector<SpanTask> tasks(group_spans);
  std::vector<SpanOutcome> outcomes(group_spans);
  std::vector<char> whole(group_spans);

  // The first span found damaged (`usable` if none), where the last
  // span's codes ended, and the payload they lie in.
  std::size_t damaged = usable;
  std::uint64_t codes_end = 0;
  std::uint64_t verified_bytes = 0;
  std::span<const std::uint8_t> last_payload;
  std::uint64_t last_first_byte = 0;
  std::size_t slot = 0;
  Group group = layout.GroupFrom(0, group_spans, usable);
  if (held.empty() && usable > 0) read_group(group, slot);
  while (group.count > 0) {
    const Read& read = reads[slot];
    if (held.empty() && static_cast<std::uint64_t>(read.got) != group.end_byte - group.first_byte) {
      workers.Settle();
      restore.result = {.status = CodecStatus::read_failed, .system_error = read.got < 0 ? read.error : 0};
      return restore;
    }
    const Group next = layout.GroupFrom(group.first + group.count, group_spans, usable);
    if (next.count > 0 && held.empty()) workers.Beside([read_group, next, slot] { read_group(next, 1 - slot); });
    std::uint8_t* const out = restored != nullptr ? sink.Reserve(group.out_bytes) : unwritten.data();
    const std::span<const std::uint8_t> payload = payload_of(group, slot);
    const std::uint64_t base_bit = group.first_byte * 8;
    for (std::size_t j = 0; j < group.count; ++j) {
      const std::size_t k = group.first + j;
      tasks[j] = {.first_bit = layout.StartBit(k) - base_bit,
                  .end_bit = layout.EndBit(k) - base_bit,
                  .ends_at_sync_point = k + 1 < layout.Count(),
                  .out = out + j * k_span_bytes,
                  .bytes = static_cast<std::size_t>(layout.Bytes(k))};
    }
    std::atomic<std::size_t> next_span{0};
    workers.Run(threads, [&](unsigned /*part*/) {
      decoder.Decode(payload, std::span(tasks).first(group.count), std::span(outcomes).first(group.count), next_span);
    });
    for (std::size_t j = 0; j < group.count; ++j) {
      const std::size_t k = group.first + j;
      sums[k] = outcomes[j].checksum;
      whole[j] = static_cast<char>(outcomes[j].whole && sums[k] == trailer.spans[k].checksum);
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
    codes_end = base_bit + outcomes[group.count - 1].end_bit;
    verified_bytes += group.out_bytes;
    last_payload = payload;
    last_first_byte = group.first_byte;
    report(dictionary_bytes + group.end_byte);
    group = next;
    slot = 1 - slot;
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
  // and any bytes restored past the original's length.
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
    walk(last_payload, codes_end - last_first_byte * 8);
    walk(data.check_bytes, 0);
  }
  result.restored_bytes = all_whole ? trailer.length + beyond : damaged * k_span_bytes;
  const CheckedRestore checked{.marked = true,
                               .dictionary_bytes = dictionary_bytes,
                               .dictionary_checksum = data.dictionary_checksum,
                               .stopped = stopped,
                               .restored_spans = std::span(sums).first(std::min(damaged, usable))};
  VerifyChecked(result, trailer, data.body_bytes, checked, [&](std::uint64_t offset) -> std::optional<std::uint8_t> {
    const std::uint64_t first = dictionary_bytes + last_first_byte;
    if (offset < first || offset - first >= last_payload.size()) return std::nullopt;
    return last_payload[static_cast<std::size_t>(offset - first)];
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
