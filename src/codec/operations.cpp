// The Codec's operations.  Pipeline of a compression: census -> order ->
// tree -> renumber -> dictionary -> encode (-> check trailer).  A restore
// reads the dictionary and walks the records, and verifies a checked file
// against its trailer.
#include "huffman/codec.h"

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <new>
#include <optional>

#include "codec/bit_writer.h"
#include "codec/block_source.h"
#include "codec/buffer_arena.h"
#include "codec/byte_sink.h"
#include "codec/census.h"
#include "codec/check_trailer.h"
#include "codec/checked_file.h"
#include "codec/checksum.h"
#include "codec/compress_passes.h"
#include "codec/cpu_features.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/format.h"
#include "codec/format_check.h"
#include "codec/span_restore.h"
#include "codec/split_work.h"
#include "codec/tree.h"
#include "codec/worker.h"
#include "platform/processors.h"

namespace huffman {

// What a Codec owns, made once and used by every operation, one at a time:
// its threads, and the objects that hold its large buffers, all of which
// come from its arena (declared first, so that it goes last).
struct CodecState {
  explicit CodecState(const CodecSettings& settings)
      : threads(std::clamp(settings.threads == 0 ? AvailableProcessors() : settings.threads, 1U, k_max_threads)),
        bmi2(settings.allow_bmi2 && ProcessorHasBmi2()),
        workers(threads),
        decoder(workers, bmi2, &arena) {}

  const unsigned threads;
  const bool bmi2;
  BufferArena arena;
  WorkerSet workers;
  BlockSource blocks{workers, &arena};
  ByteSink sink{workers, &arena};
  SplitWork split{workers, &arena};
  Encoder encoder{&arena};
  Decoder decoder;
  SpanRestore spans{workers, &arena, bmi2};  // checked files read at offsets
  ArenaArray<CensusPieces> census_pieces = MakeArenaArray<CensusPieces>(&arena, 1);
  PartOwners census_owners;
};

namespace {

// Every operation leaves the input and the output it was given, whichever
// way it returns: a read or write still handed on is made first, so that the
// next operation starts with nothing of this one's left on the threads.
// What such a task throws then is dropped: the operation is ending, and
// only one that fails (memory running out) leaves a task to run here.
class OperationEnd {
 public:
  explicit OperationEnd(CodecState& codec) : state(codec) {}
  ~OperationEnd() {
    state.blocks.Close();
    state.sink.Close();
    state.workers.SettleQuietly();
  }
  OperationEnd(const OperationEnd&) = delete;
  OperationEnd& operator=(const OperationEnd&) = delete;

 private:
  CodecState& state;
};

// Reports progress in input bytes; a no-op without a callback.
class ProgressCounter {
 public:
  ProgressCounter(const ProgressFn& callback, std::uint64_t whole) : report(callback), total(whole) {}
  void Add(std::uint64_t bytes) {
    done += bytes;
    if (report) report(done, total);
  }

 private:
  const ProgressFn& report;
  std::uint64_t total;
  std::uint64_t done = 0;
};

// Emits `code`'s bits, root first.
void EmitCode(BitWriter& writer, const Code& code) {
  constexpr int k_chunk_bits = 32;
  for (int at = 0; at < code.length; at += k_chunk_bits) {
    const int count = std::min(k_chunk_bits, code.length - at);
    const std::uint64_t word = code.words[static_cast<std::size_t>(at / 64)] << (at % 64);
    writer.Emit(word >> (64 - count), count);
  }
}

// Why a source with these counts gets a bare file.
BareReason BareReasonFor(const Census& census, const CompressOptions& options) {
  if (!options.checked) return BareReason::not_asked;
  if (census.TotalBytes() == 0) return BareReason::empty_source;
  if (census.DistinctValues() == k_alphabet) return BareReason::all_byte_values;
  if (census.TotalBytes() > k_max_checked_bytes) return BareReason::too_large;
  return BareReason::none;
}

CompressResult CompressFrom(CodecState& codec, Source& source, std::ostream& compressed, const ProgressFn& progress,
                            const CompressOptions& options) {
  const OperationEnd end(codec);
  BlockSource& blocks = codec.blocks;
  blocks.Open(source, k_compress_block_bytes, true);
  CompressResult result;
  ProgressCounter counter(progress, progress ? 2 * blocks.SizeAhead() : 0);
  const auto done = [&counter](std::uint64_t bytes) { counter.Add(bytes); };

  Census census;
  const PassStatus counted =
      CountPass(blocks, codec.workers, codec.census_pieces[0], codec.census_owners, census, done);
  if (counted.status != CodecStatus::ok) return {.status = counted.status, .system_error = counted.system_error};
  result.source_bytes = census.TotalBytes();
  result.count_chars = census.DistinctValues();
  result.bare_reason = BareReasonFor(census, options);
  result.checked = result.bare_reason == BareReason::none;
  // A checked file asked for and not possible still gives the checksum.
  const bool sums_wanted = options.checked || options.source_checksum;
  std::vector<std::uint64_t> span_offsets;
  std::vector<std::uint64_t> span_sums;

  // An empty source gives an empty file: nothing to decode, nothing restored.
  if (census.TotalBytes() > 0) {
    const TreePlan plan = PlanTree(census, result.checked);
    const std::vector<std::uint8_t> dictionary = DictionaryImage(plan.table, WrittenRecords(plan.table));
    errno = 0;
    compressed.write(reinterpret_cast<const char*>(dictionary.data()), static_cast<std::streamsize>(dictionary.size()));
    if (!compressed) return {.status = CodecStatus::write_failed, .system_error = errno};
    result.dictionary_bytes = dictionary.size();

    ByteSink& sink = codec.sink;
    sink.Open(compressed);
    BitWriter writer(sink);
    Encoder& encoder = codec.encoder;
    encoder.Prepare(plan.codes, census, &codec.workers, codec.bmi2);
    bool all_known = true;
    const SpanMarks marks{.bit_offsets = result.checked ? &span_offsets : nullptr, .checksums = &span_sums};
    const SpanMarks* const noted = sums_wanted ? &marks : nullptr;
    const PassStatus coded =
        CodePass(blocks, census.TotalBytes(), codec.split, encoder, writer, all_known, done, noted);
    if (coded.status == CodecStatus::read_failed) return {.status = coded.status, .system_error = coded.system_error};
    // The dictionary and the padding are those of the census's counts; a
    // source that coded to other bits the second time must not be reported
    // as done.
    const bool coded_as_counted = writer.BitsWritten() == PayloadBits(plan.codes, census);
    std::vector<std::uint8_t> trailer_bytes;
    if (result.checked) {
      // The codes end in the dead end, zero bits fill the byte, and the
      // trailer follows.
      EmitCode(writer, plan.dead_end);
      Trailer trailer{.length = census.TotalBytes(),
                      .whole_checksum = WholeChecksum(span_sums),
                      .span_bytes = k_span_bytes,
                      .payload_bits = writer.BitsWritten(),
                      .dictionary_checksum = Checksum(dictionary),
                      .spans = {}};
      if (span_offsets.size() == span_sums.size()) {
        for (std::size_t k = 0; k < span_sums.size(); ++k) trailer.spans.push_back({span_offsets[k], span_sums[k]});
      }
      trailer_bytes = EncodeTrailer(trailer);
    } else if (plan.padding.bits > 0) {
      writer.Emit(static_cast<std::uint64_t>(plan.padding.value), plan.padding.bits);
    }
    writer.Finish();
    sink.Write(trailer_bytes.data(), trailer_bytes.size());
    sink.Flush();
    if (sink.Failed()) return {.status = CodecStatus::write_failed, .system_error = sink.Error()};
    if (!all_known || coded.status == CodecStatus::source_changed || !coded_as_counted ||
        span_sums.size() != (sums_wanted ? SpanCount(census.TotalBytes()) : 0)) {
      return {.status = CodecStatus::source_changed};
    }
    result.compressed_bytes = result.dictionary_bytes + sink.BytesCommitted();
  }
  if (sums_wanted) {
    result.source_checksum_known = true;
    result.source_checksum = WholeChecksum(span_sums);
  }
  errno = 0;
  compressed.flush();
  if (!compressed) return {.status = CodecStatus::write_failed, .system_error = errno};
  return result;
}

// The last bytes of the input: from where the walk stepped into a dead end
// on, or from where the longest check data could start in an input whose
// size is known, every byte (a checked file's last payload byte, trailer and
// footer, up to k_bound); before that, in an input of unknown size, the
// last k_glimpse_bytes, enough for the check data of a source of up to
// 1 GiB: so a checked file whose dead end was damaged away is still known
// by its footer.
class KeptTail {
 public:
  static constexpr std::size_t k_bound = k_max_trailer_body_bytes + k_footer_bytes + 1;
  enum class Keeping { all, glimpse, none };

  void Keep(std::span<const std::uint8_t> block, std::uint64_t offset, Keeping keeping) {
    if (keeping == Keeping::none) return;
    const bool all = keeping == Keeping::all;
    if (!all && block.size() >= k_glimpse_bytes) {
      bytes.assign(block.end() - k_glimpse_bytes, block.end());
      start = offset + block.size() - k_glimpse_bytes;
      return;
    }
    if (bytes.empty()) start = offset;
    bytes.insert(bytes.end(), block.begin(), block.end());
    const std::size_t bound = all ? k_bound : k_glimpse_bytes;
    if (bytes.size() > (all ? 2 * bound : bound)) {
      const std::size_t drop = bytes.size() - bound;
      bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(drop));
      start += drop;
    }
  }
  // Where in an input of `size` bytes (0: unknown) check data may start: a
  // byte of the source takes at least a bit, so the trailer's spans are at
  // most those of 8 bytes per input byte.
  static std::uint64_t CheckDataFrom(std::uint64_t size) {
    if (size == 0) return 0;
    const std::uint64_t longest = std::min<std::uint64_t>(
        k_bound, k_trailer_head_bytes + k_span_entry_bytes * (SpanCount(8 * size) + 1) + k_footer_bytes + 1);
    return size > longest ? size - longest : 0;
  }
  std::span<const std::uint8_t> Bytes() const { return bytes; }
  // The byte at file offset `offset`, if kept.
  std::optional<std::uint8_t> At(std::uint64_t offset) const {
    if (offset < start || offset - start >= bytes.size()) return std::nullopt;
    return bytes[static_cast<std::size_t>(offset - start)];
  }

 private:
  static constexpr std::size_t k_glimpse_bytes = 64 * 1024;
  std::vector<std::uint8_t> bytes;
  std::uint64_t start = 0;
};

// Restores `source` on the codec's threads, which also read its blocks ahead.
Restore DecompressFrom(CodecState& codec, Source& source, std::ostream& restored, const ProgressFn& progress,
                       const DecompressOptions& options) {
  const OperationEnd end(codec);
  const bool check_format = options.check_format;
  BlockSource& compressed = codec.blocks;
  compressed.Open(source, k_decompress_block_bytes, false);
  Restore restore;
  DecompressResult& result = restore.result;
  auto refuse = [&restore](DecompressResult failure) {
    restore.result = failure;
    return restore;
  };
  // The input's size where it can tell it (0 for a pipe): the bytes where
  // check data may lie are then known before they are read.
  const std::uint64_t size_ahead = compressed.SizeAhead();
  ProgressCounter counter(progress, progress ? size_ahead : 0);

  // A block holds any whole dictionary; only a file that ends inside its
  // dictionary has a shorter first block, and then nothing follows it.
  static_assert(k_decompress_block_bytes >= k_max_dictionary_bytes);
  // A full block decoded short of its last byte is still large enough to be
  // shared among the threads.
  static_assert(k_decompress_block_bytes - 1 >= k_large_block_bytes);
  auto block = compressed.Next(k_decompress_block_bytes).bytes;
  DictionaryTable& table = restore.table;
  const std::size_t dictionary_bytes = ReadDictionary(block, table);
  if (compressed.Failed()) return refuse({.status = CodecStatus::read_failed, .system_error = compressed.Error()});
  CheckedRestore checked{.marked = CarriesCheckMark(table),
                         .dictionary_bytes = dictionary_bytes,
                         .dictionary_checksum = Checksum(block.first(std::min(dictionary_bytes, block.size()))),
                         .stopped = false,
                         .restored_spans = {}};
  if (check_format) {
    if (const FormatCheck check = CheckDictionary(table, dictionary_bytes); check.fault != FormatFault::none) {
      if (checked.marked) {
        DecompressResult damaged{.checked = true};
        SetDamage(damaged, Damage::dictionary);
        return refuse(damaged);
      }
      return refuse({.status = CodecStatus::not_compressed, .fault = check.fault, .fault_offset = check.offset});
    }
  }
  block = block.subspan(dictionary_bytes);

  Decoder& decoder = codec.decoder;
  decoder.Reset(table);
  ByteSink& sink = codec.sink;
  sink.Open(restored, Decoder::MaxRestoredBytes(k_decompress_block_bytes));
  // The restored bytes' span checksums, made as they are written out.
  std::optional<SpanChecksums> sums;
  if (checked.marked || options.restored_checksum) {
    sums.emplace(k_span_bytes);
    sink.Observe(&*sums);
  }
  KeptTail tail;
  const std::uint64_t check_data_from = KeptTail::CheckDataFrom(size_ahead);
  result.compressed_bytes = dictionary_bytes;
  counter.Add(dictionary_bytes);
  // Whether the last payload byte read completed a code: the check needs the
  // last code to end in the last byte. The last byte of each block is
  // decoded on its own to tell.
  bool last_byte_ends_code = false;
  for (; !block.empty(); block = compressed.Next(k_decompress_block_bytes).bytes) {
    if (check_format) {
      if (block.size() > 1) decoder.Decode(block.first(block.size() - 1), sink);
      const std::uint64_t before = sink.BytesCommitted();
      decoder.Decode(block.last(1), sink);
      last_byte_ends_code = sink.BytesCommitted() != before;
    } else {
      decoder.Decode(block, sink);
    }
    // From the block where the walk stepped into the dead end on, every
    // byte may be check data.
    const std::uint64_t block_end = result.compressed_bytes + block.size();
    const bool may_hold_check_data = size_ahead > 0 && block_end > check_data_from;
    tail.Keep(block, result.compressed_bytes,
              decoder.Stopped() || may_hold_check_data ? KeptTail::Keeping::all
              : size_ahead == 0                        ? KeptTail::Keeping::glimpse
                                                       : KeptTail::Keeping::none);
    result.compressed_bytes += block.size();
    counter.Add(block.size());
  }
  if (compressed.Failed()) return refuse({.status = CodecStatus::read_failed, .system_error = compressed.Error()});
  sink.Flush();
  if (sink.Failed()) return refuse({.status = CodecStatus::write_failed, .system_error = sink.Error()});
  result.restored_bytes = sink.BytesCommitted();
  if (sums) {
    checked.restored_spans = sums->Finish();
    result.restored_checksum_known = true;
    result.restored_checksum = WholeChecksum(checked.restored_spans);
  }
  std::uint64_t body_bytes = 0;
  const std::optional<Trailer> trailer = ReadTrailer(tail.Bytes(), body_bytes);
  if (checked.marked || trailer) {
    checked.stopped = decoder.Stopped();
    VerifyChecked(result, trailer, body_bytes, checked, [&tail](std::uint64_t offset) { return tail.At(offset); });
    return restore;
  }
  if (check_format && table.dictionary_lenght >= 1) {
    if (result.compressed_bytes == dictionary_bytes) {
      result.status = CodecStatus::not_compressed;
      result.fault = FormatFault::empty_payload;
      result.fault_offset = dictionary_bytes;
    } else if (!last_byte_ends_code) {
      result.status = CodecStatus::not_compressed;
      result.fault = FormatFault::trailing_bits;
      result.fault_offset = result.compressed_bytes - 1;
    }
  }
  return restore;
}

// Restores a checked file read at offsets span by span (span_restore.h),
// leaving the input and output as every operation does; nothing if the
// file is not one that restore takes.
std::optional<Restore> RestoreSpans(CodecState& codec, Source& source, std::ostream* restored,
                                    const ProgressFn& progress) {
  const OperationEnd end(codec);
  return codec.spans.Run(source, restored, progress);
}

// The result of an operation whose memory ran out.  A part on a helper
// thread that could not allocate is thrown again on this one once the
// helpers are out of the job (worker.h); each operation below catches
// std::bad_alloc (a function-try-block, the operation's input and output
// left by then: OperationEnd) and returns this.  Anything else thrown is a
// fault, not an outcome, and goes on up.
template <typename Result>
Result OutOfMemory() {
  Result result;
  result.status = CodecStatus::out_of_memory;
  return result;
}

// Takes every byte and keeps none: a test decodes into it.
class DiscardBuffer final : public std::streambuf {
 protected:
  std::streamsize xsputn(const char* /*bytes*/, std::streamsize count) override { return count; }
  int_type overflow(int_type byte) override { return traits_type::not_eof(byte); }
};

}  // namespace

Codec::Codec(const CodecSettings& settings) : state(std::make_unique<CodecState>(settings)) {}

Codec::~Codec() = default;

unsigned Codec::Threads() const { return state->threads; }

CompressResult Codec::Compress(Source& source, std::ostream& compressed, const ProgressFn& progress,
                               const CompressOptions& options) try {
  return CompressFrom(*state, source, compressed, progress, options);
} catch (const std::bad_alloc&) {
  return OutOfMemory<CompressResult>();
}

DecompressResult Codec::Decompress(Source& compressed, std::ostream& restored, const ProgressFn& progress,
                                   const DecompressOptions& options) try {
  if (std::optional<Restore> spans = RestoreSpans(*state, compressed, &restored, progress)) return spans->result;
  return DecompressFrom(*state, compressed, restored, progress, options).result;
} catch (const std::bad_alloc&) {
  return OutOfMemory<DecompressResult>();
}

TestResult Codec::Test(Source& compressed, const ProgressFn& progress) try {
  DiscardBuffer discard;
  std::ostream nowhere(&discard);
  std::optional<Restore> spans = RestoreSpans(*state, compressed, nullptr, progress);
  const Restore restore = spans ? *spans : DecompressFrom(*state, compressed, nowhere, progress, {});
  const DecompressResult& restored = restore.result;
  TestResult result{.status = restored.status,
                    .system_error = restored.system_error,
                    .fault = restored.fault,
                    .fault_offset = restored.fault_offset,
                    .compressed_bytes = restored.compressed_bytes,
                    .restored_bytes = restored.restored_bytes,
                    .dictionary_bytes = 0,
                    .leaves = 0,
                    .codes = {},
                    .checked = restored.checked,
                    .damage = restored.damage,
                    .damaged_from = restored.damaged_from,
                    .damaged_to = restored.damaged_to};
  if (result.status != CodecStatus::ok) return result;
  const int n = restore.table.dictionary_lenght;
  result.dictionary_bytes = n >= 0 ? DictionaryBytes(n) : 0;
  result.leaves = CountLeaves(restore.table);
  result.codes = ListCodes(restore.table);
  return result;
} catch (const std::bad_alloc&) {
  return OutOfMemory<TestResult>();
}

ChecksumResult ChecksumStream(std::istream& source) {
  ChecksumResult result;
  SpanChecksums sums(k_span_bytes);
  std::vector<char> buffer(1024 * 1024);
  std::streamsize got = 0;
  while ((got = source.rdbuf()->sgetn(buffer.data(), static_cast<std::streamsize>(buffer.size()))) > 0) {
    sums.Add({reinterpret_cast<const std::uint8_t*>(buffer.data()), static_cast<std::size_t>(got)});
  }
  result.bytes = sums.Bytes();
  result.checksum = WholeChecksum(sums.Finish());
  return result;
}

Summary Codec::Summarize(Source& compressed) try {
  const CheckData data = ReadCheckData(compressed);
  Summary summary{.status = data.status,
                  .system_error = data.system_error,
                  .checked = data.checked,
                  .ends_in_check_data = data.ends_in_check_data,
                  .compressed_bytes = data.size,
                  .original_bytes = 0,
                  .dictionary_bytes = 0,
                  .leaves = 0,
                  .codes = {}};
  if (!data.checked) return summary;
  summary.original_bytes = data.trailer.length;
  summary.dictionary_bytes = data.dictionary_bytes;
  summary.leaves = CountLeaves(data.table);
  summary.codes = ListCodes(data.table);
  return summary;
} catch (const std::bad_alloc&) {
  return OutOfMemory<Summary>();
}

}  // namespace huffman
