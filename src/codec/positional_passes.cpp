#include "codec/positional_passes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cassert>
#include <vector>

#include "codec/block_source.h"
#include "codec/memory_pages.h"
#include "codec/raw_buffer.h"

namespace huffman {

namespace {

// A chunk stays in a core's own cache between its read and its count.
constexpr std::size_t k_chunk_bytes = 256 * 1024;
// Chunks read between two merges: what the census keeps per round stays
// small (a histogram each), and progress is reported every 16 MiB.
constexpr unsigned k_chunks_per_round = 64;

// Uninitialised until read: a round's chunks take some hundred kilobytes.
struct Chunk {
  Histogram counts;
  // The values in it the census had not met when it was counted.
  FirstOccurrences new_values;
  std::int64_t length;  // -1: the read failed
  int error;
};

// Lowers `at` to `value` if it is higher.
void LowerTo(std::atomic<unsigned>& at, unsigned value) {
  unsigned seen = at.load();
  while (value < seen && !at.compare_exchange_weak(seen, value)) {
  }
}

}  // namespace

PassStatus CountAtOffsets(const Source& source, WorkerSet& workers, Census& census,
                          const std::function<void(std::uint64_t)>& done) {
  // One buffer per thread, made when first used.
  std::vector<RawBuffer> buffers(1);
  const PageArray<Chunk> chunks = MakePageArray<Chunk>(k_chunks_per_round);
  for (std::uint64_t round_start = 0;; round_start += std::uint64_t{k_chunks_per_round} * k_chunk_bytes) {
    for (unsigned index = 0; index < k_chunks_per_round; ++index) chunks[index].length = 0;
    // No chunk past the first one found short is taken.
    std::atomic<unsigned> end{k_chunks_per_round};
    // A chunk's values new to the census are found while it is still in the
    // cache it was read into; the census is not changed until the round's
    // reads are done.
    const auto read_chunk = [&](unsigned index, RawBuffer& buffer) {
      if (buffer.size() == 0) buffer = RawBuffer(k_chunk_bytes);
      Chunk& chunk = chunks[index];
      chunk.length = source.ReadAt(round_start + index * k_chunk_bytes, {buffer.data(), k_chunk_bytes}, chunk.error);
      if (chunk.length > 0) {
        const std::span<const std::uint8_t> bytes(buffer.data(), static_cast<std::size_t>(chunk.length));
        chunk.counts = CountBytes(bytes);
        [[maybe_unused]] const bool all_found = census.FindNew(bytes, chunk.counts, chunk.new_values);
        assert(all_found);  // counted from the same bytes
      }
      if (chunk.length != static_cast<std::int64_t>(k_chunk_bytes)) LowerTo(end, index);
    };
    // In order: the first short chunk ends the source, and any chunk after
    // it that read bytes means the source grew while it was counted.
    std::uint64_t round_bytes = 0;
    bool ended = false;
    const auto add_chunk = [&](const Chunk& chunk) -> PassStatus {
      if (chunk.length < 0) return {.status = CodecStatus::read_failed, .system_error = chunk.error};
      if (ended) {
        if (chunk.length > 0) return {.status = CodecStatus::source_changed};
        return {};
      }
      const auto length = static_cast<std::size_t>(chunk.length);
      ended = length < k_chunk_bytes;
      if (length == 0) return {};
      census.AddFound(chunk.counts, length, chunk.new_values);
      round_bytes += length;
      return {};
    };
    // The first chunk is read and added on this thread alone: a source that
    // ends within it starts no thread, and the chunks after it find few
    // values the census has not met.
    unsigned first = 0;
    if (round_start == 0) {
      read_chunk(first, buffers[0]);
      const PassStatus added = add_chunk(chunks[first++]);
      if (added.status != CodecStatus::ok) return added;
    }
    if (!ended) {
      // One part per thread, each reading the next chunk not yet taken
      // until none is left in the round, into the buffer of the thread it
      // runs on: a buffer stays in one processor's cache.
      const unsigned parts = workers.ThreadsFor(k_large_block_bytes);
      buffers.resize(parts);
      std::atomic<unsigned> next{first};
      workers.Run(parts, [&](unsigned /*part*/) {
        RawBuffer& buffer = buffers[WorkerSet::ThisThread()];
        for (unsigned index = next++; index < end.load(); index = next++) read_chunk(index, buffer);
      });
    }
    for (unsigned index = first; index < k_chunks_per_round; ++index) {
      const PassStatus added = add_chunk(chunks[index]);
      if (added.status != CodecStatus::ok) return added;
    }
    done(round_bytes);
    if (ended) return {};
  }
}

PassStatus CodeAtOffsets(const Source& source, std::uint64_t length, SplitWork& split, const Encoder& encoder,
                         BitWriter& writer, bool& all_known, const std::function<void(std::uint64_t)>& done,
                         const SpanMarks* marks) {
  RawBuffer buffer(static_cast<std::size_t>(std::min<std::uint64_t>(k_compress_block_bytes, length)));
  // What each piece's read found, for the first piece in order that read
  // short or failed.
  std::array<PassStatus, k_max_parts> reads{};
  std::uint64_t offset = 0;
  while (offset < length) {
    const auto block_bytes = static_cast<std::size_t>(std::min<std::uint64_t>(k_compress_block_bytes, length - offset));
    const std::span<std::uint8_t> block(buffer.data(), block_bytes);
    reads.fill({});
    const auto read = [&](unsigned index, std::span<std::uint8_t> piece) {
      const auto within = static_cast<std::size_t>(piece.data() - block.data());
      PassStatus& status = reads[index];
      const std::int64_t got = source.ReadAt(offset + within, piece, status.system_error);
      if (got < 0) status.status = CodecStatus::read_failed;
      if (got >= 0 && static_cast<std::size_t>(got) != piece.size()) status.status = CodecStatus::source_changed;
      return status.status == CodecStatus::ok;
    };
    SpanMarks block_marks;
    if (marks != nullptr) {
      block_marks = *marks;
      block_marks.block_offset = offset;
    }
    all_known &= split.ReadAndEncode(encoder, block, writer, read, marks != nullptr ? &block_marks : nullptr);
    const auto failed =
        std::find_if(reads.begin(), reads.end(), [](const PassStatus& read) { return read.status != CodecStatus::ok; });
    if (failed != reads.end()) return *failed;
    offset += block_bytes;
    done(block_bytes);
  }
  // A source that grew since the census ends later.
  std::uint8_t beyond = 0;
  int error = 0;
  const std::int64_t got = source.ReadAt(length, {&beyond, 1}, error);
  if (got < 0) return {.status = CodecStatus::read_failed, .system_error = error};
  if (got > 0) return {.status = CodecStatus::source_changed};
  return {};
}

}  // namespace huffman
