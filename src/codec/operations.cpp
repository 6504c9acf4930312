#include "codec/operations.h"

#include <cerrno>
#include <functional>
#include <memory>

#include "codec/bit_writer.h"
#include "codec/block_operations.h"
#include "codec/block_source.h"
#include "codec/byte_sink.h"
#include "codec/census.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/format.h"
#include "codec/format_check.h"
#include "codec/positional_passes.h"
#include "codec/split_work.h"
#include "codec/tree.h"
#include "codec/worker.h"

namespace huffman {

namespace {

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

// The census pass over blocks read in order.
PassStatus CountBlocks(BlockSource& source, SplitWork& split, Census& census,
                       const std::function<void(std::uint64_t)>& done) {
  for (auto block = source.Next(); !block.empty(); block = source.Next()) {
    split.Count(census, block);
    done(block.size());
  }
  if (source.Failed()) return {.status = CodecStatus::read_failed, .system_error = source.Error()};
  return {};
}

// The coding pass over the same blocks read again from the start.
PassStatus CodeBlocks(BlockSource& source, std::uint64_t length, SplitWork& split, const Encoder& encoder,
                      BitWriter& writer, bool& all_known, const std::function<void(std::uint64_t)>& done) {
  if (!source.Rewind()) return {.status = CodecStatus::read_failed, .system_error = source.Error()};
  std::uint64_t coded_bytes = 0;
  for (auto block = source.Next(); !block.empty(); block = source.Next()) {
    all_known &= split.Encode(encoder, block, writer);
    coded_bytes += block.size();
    done(block.size());
  }
  if (source.Failed()) return {.status = CodecStatus::read_failed, .system_error = source.Error()};
  if (coded_bytes != length) return {.status = CodecStatus::source_changed};
  return {};
}

// Where a compression reads its source: blocks in order, twice, or reads at
// offsets of their own.
struct SourceAccess {
  BlockSource* blocks = nullptr;
  const ReadAtFn* read_at = nullptr;
};

// `workers` also read the source's blocks ahead where it is a stream.
CompressResult Compress(const SourceAccess& access, WorkerSet& workers, std::uint64_t size_ahead,
                        std::ostream& compressed, const ProgressFn& progress) {
  CompressResult result;
  ProgressCounter counter(progress, progress ? 2 * size_ahead : 0);
  const auto done = [&counter](std::uint64_t bytes) { counter.Add(bytes); };
  SplitWork split(workers);

  Census census;
  const PassStatus counted = access.read_at != nullptr ? CountAtOffsets(*access.read_at, workers, census, done)
                                                       : CountBlocks(*access.blocks, split, census, done);
  if (counted.status != CodecStatus::ok) return {.status = counted.status, .system_error = counted.system_error};
  result.source_bytes = census.TotalBytes();
  result.count_chars = census.DistinctValues();

  // An empty source gives an empty file: nothing to decode, nothing restored.
  if (census.TotalBytes() > 0) {
    const TreePlan plan = PlanTree(census);
    errno = 0;
    WriteDictionary(plan.table, WrittenRecords(plan.table), compressed);
    if (!compressed) return {.status = CodecStatus::write_failed, .system_error = errno};
    result.dictionary_bytes = DictionaryBytes(WrittenRecords(plan.table));

    ByteSink sink(compressed, workers);
    BitWriter writer(sink);
    Encoder encoder(plan.codes, census, &workers);
    bool all_known = true;
    const PassStatus coded =
        access.read_at != nullptr
            ? CodeAtOffsets(*access.read_at, census.TotalBytes(), split, encoder, writer, all_known, done)
            : CodeBlocks(*access.blocks, census.TotalBytes(), split, encoder, writer, all_known, done);
    if (coded.status == CodecStatus::read_failed) return {.status = coded.status, .system_error = coded.system_error};
    // The dictionary and the padding are those of the census's counts; a
    // source that coded to other bits the second time must not be reported
    // as done.
    const bool coded_as_counted = writer.BitsWritten() == PayloadBits(plan.codes, census);
    if (plan.padding.bits > 0) writer.Emit(static_cast<std::uint64_t>(plan.padding.value), plan.padding.bits);
    writer.Finish();
    sink.Flush();
    if (sink.Failed()) return {.status = CodecStatus::write_failed, .system_error = sink.Error()};
    if (!all_known || coded.status == CodecStatus::source_changed || !coded_as_counted) {
      return {.status = CodecStatus::source_changed};
    }
    result.compressed_bytes = result.dictionary_bytes + sink.BytesCommitted();
  }
  errno = 0;
  compressed.flush();
  if (!compressed) return {.status = CodecStatus::write_failed, .system_error = errno};
  return result;
}

// The parts of a restore a test also needs: the dictionary as read.
struct Restore {
  DecompressResult result;
  DictionaryTable table;
};

// `workers` also read `compressed`'s blocks ahead where it is a stream.
Restore Decompress(BlockSource& compressed, WorkerSet& workers, std::ostream& restored, const ProgressFn& progress,
                   bool check_format) {
  Restore restore;
  DecompressResult& result = restore.result;
  auto refuse = [&restore](DecompressResult failure) {
    restore.result = failure;
    return restore;
  };
  ProgressCounter counter(progress, progress ? compressed.SizeAhead() : 0);

  // A block holds any whole dictionary; only a file that ends inside its
  // dictionary has a shorter first block, and then nothing follows it.
  static_assert(k_decompress_block_bytes >= k_max_dictionary_bytes);
  // A full block decoded short of its last byte is still large enough to be
  // shared among the threads.
  static_assert(k_decompress_block_bytes - 1 >= k_large_block_bytes);
  auto block = compressed.Next();
  DictionaryTable& table = restore.table;
  const std::size_t dictionary_bytes = ReadDictionary(block, table);
  if (compressed.Failed()) return refuse({.status = CodecStatus::read_failed, .system_error = compressed.Error()});
  if (check_format) {
    if (const FormatCheck check = CheckDictionary(table, dictionary_bytes); check.fault != FormatFault::none) {
      return refuse({.status = CodecStatus::not_compressed, .fault = check.fault, .fault_offset = check.offset});
    }
  }
  block = block.subspan(dictionary_bytes);

  Decoder decoder(table, workers);
  ByteSink sink(restored, workers, Decoder::MaxRestoredBytes(k_decompress_block_bytes));
  result.compressed_bytes = dictionary_bytes;
  counter.Add(dictionary_bytes);
  // Whether the last payload byte read completed a code: the check needs the
  // last code to end in the last byte. The last byte of each block is
  // decoded on its own to tell.
  bool last_byte_ends_code = false;
  for (; !block.empty(); block = compressed.Next()) {
    if (check_format) {
      if (block.size() > 1) decoder.Decode(block.first(block.size() - 1), sink);
      const std::uint64_t before = sink.BytesCommitted();
      decoder.Decode(block.last(1), sink);
      last_byte_ends_code = sink.BytesCommitted() != before;
    } else {
      decoder.Decode(block, sink);
    }
    result.compressed_bytes += block.size();
    counter.Add(block.size());
  }
  if (compressed.Failed()) return refuse({.status = CodecStatus::read_failed, .system_error = compressed.Error()});
  sink.Flush();
  if (sink.Failed()) return refuse({.status = CodecStatus::write_failed, .system_error = sink.Error()});
  result.restored_bytes = sink.BytesCommitted();
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

// Takes every byte and keeps none: a test decodes into it.
class DiscardBuffer final : public std::streambuf {
 protected:
  std::streamsize xsputn(const char* /*bytes*/, std::streamsize count) override { return count; }
  int_type overflow(int_type byte) override { return traits_type::not_eof(byte); }
};

}  // namespace

CompressResult CompressStream(std::istream& source, std::ostream& compressed, const ProgressFn& progress) {
  WorkerSet workers;
  StreamBlocks blocks(source, k_compress_block_bytes, workers);
  const std::uint64_t size_ahead = progress ? blocks.SizeAhead() : 0;
  return Compress({.blocks = &blocks}, workers, size_ahead, compressed, progress);
}

CompressResult CompressAt(const ReadAtFn& read_at, std::uint64_t size, std::ostream& compressed,
                          const ProgressFn& progress) {
  WorkerSet workers;
  return Compress({.read_at = &read_at}, workers, size, compressed, progress);
}

CompressResult CompressBlocks(BlockSource& source, std::ostream& compressed, const ProgressFn& progress) {
  const std::uint64_t size_ahead = progress ? source.SizeAhead() : 0;
  WorkerSet workers;
  return Compress({.blocks = &source}, workers, size_ahead, compressed, progress);
}

DecompressResult DeCompressStream(std::istream& compressed, std::ostream& restored, const ProgressFn& progress,
                                  bool check_format) {
  WorkerSet workers;
  StreamBlocks blocks(compressed, k_decompress_block_bytes, workers);
  return Decompress(blocks, workers, restored, progress, check_format).result;
}

DecompressResult DeCompressBlocks(BlockSource& compressed, std::ostream& restored, const ProgressFn& progress,
                                  bool check_format) {
  WorkerSet workers;
  return Decompress(compressed, workers, restored, progress, check_format).result;
}

CompressResult CompressBuffer(std::span<const std::uint8_t> source, std::ostream& compressed,
                              const ProgressFn& progress) {
  MemoryBlocks blocks(source, k_compress_block_bytes);
  return CompressBlocks(blocks, compressed, progress);
}

TestResult TestStream(std::istream& compressed, const ProgressFn& progress) {
  WorkerSet workers;
  StreamBlocks blocks(compressed, k_decompress_block_bytes, workers);
  DiscardBuffer discard;
  std::ostream nowhere(&discard);
  const Restore restore = Decompress(blocks, workers, nowhere, progress, true);
  const DecompressResult& restored = restore.result;
  TestResult result{.status = restored.status,
                    .system_error = restored.system_error,
                    .fault = restored.fault,
                    .fault_offset = restored.fault_offset,
                    .compressed_bytes = restored.compressed_bytes,
                    .restored_bytes = restored.restored_bytes,
                    .dictionary_bytes = 0,
                    .leaves = 0,
                    .codes = {}};
  if (result.status != CodecStatus::ok) return result;
  const int n = restore.table.dictionary_lenght;
  result.dictionary_bytes = n >= 0 ? DictionaryBytes(n) : 0;
  result.leaves = CountLeaves(restore.table);
  result.codes = ListCodes(restore.table);
  return result;
}

}  // namespace huffman
