#include "codec/operations.h"

#include <cerrno>

#include "codec/bit_writer.h"
#include "codec/block_source.h"
#include "codec/byte_sink.h"
#include "codec/census.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/format.h"
#include "codec/split_work.h"
#include "codec/worker.h"

namespace huffman {

namespace {

// Reports progress in input bytes; a no-op without a callback.
class ProgressCounter {
 public:
  ProgressCounter(const ProgressFn& report, std::uint64_t total) : report(report), total(total) {}
  void Add(std::uint64_t bytes) {
    done += bytes;
    if (report) report(done, total);
  }

 private:
  const ProgressFn& report;
  std::uint64_t total;
  std::uint64_t done = 0;
};

// A failed read or write, noting its errno where it failed (on the reader
// or writer thread, or here) in `system_error`.
template <typename Result>
Result Failure(CodecStatus status, int error, int& system_error) {
  system_error = error;
  return {.status = status};
}

// The caller tells a failed read or write by errno on return.  The error
// was recorded where it failed; the threads' ending may change this
// thread's errno, so it is set once everything is gone.
template <typename Result, typename Work>
Result SettingErrno(const Work& work) {
  int system_error = 0;
  const Result result = work(system_error);
  if (result.status == CodecStatus::read_failed || result.status == CodecStatus::write_failed) errno = system_error;
  return result;
}

CompressResult Compress(BlockSource& source, std::ostream& compressed, const ProgressFn& progress, int& system_error) {
  CompressResult result;
  ProgressCounter counter(progress, progress ? 2 * source.SizeAhead() : 0);
  WorkerSet workers;
  SplitWork split(workers);

  Census census;
  for (auto block = source.Next(); !block.empty(); block = source.Next()) {
    split.Count(census, block);
    counter.Add(block.size());
  }
  if (source.Failed()) return Failure<CompressResult>(CodecStatus::read_failed, source.SystemError(), system_error);
  result.source_bytes = census.TotalBytes();
  result.count_chars = census.DistinctValues();

  // An empty source gives an empty file: nothing to decode, nothing restored.
  if (census.TotalBytes() > 0) {
    const TreePlan plan = PlanTree(census);
    errno = 0;
    WriteDictionary(plan.table, WrittenRecords(plan.table), compressed);
    if (!compressed) return Failure<CompressResult>(CodecStatus::write_failed, errno, system_error);
    result.dictionary_bytes = DictionaryBytes(WrittenRecords(plan.table));

    if (!source.Rewind()) return Failure<CompressResult>(CodecStatus::read_failed, errno, system_error);
    ByteSink sink(compressed);
    BitWriter writer(sink);
    Encoder encoder(plan.codes, census.TotalBytes());
    std::uint64_t coded_bytes = 0;
    bool all_known = true;
    for (auto block = source.Next(); !block.empty(); block = source.Next()) {
      all_known &= split.Encode(encoder, block, writer);
      coded_bytes += block.size();
      counter.Add(block.size());
    }
    if (source.Failed()) return Failure<CompressResult>(CodecStatus::read_failed, source.SystemError(), system_error);
    // The padding was chosen for the bit count the census predicts; a source
    // that read otherwise the second time must not be reported as done.
    const bool padding_fits = (writer.BitsWritten() + static_cast<unsigned>(plan.padding.bits)) % 8 == 0;
    if (plan.padding.bits > 0) writer.Emit(static_cast<std::uint64_t>(plan.padding.value), plan.padding.bits);
    writer.Finish();
    sink.Flush();
    if (sink.Failed()) return Failure<CompressResult>(CodecStatus::write_failed, sink.SystemError(), system_error);
    if (!all_known || coded_bytes != census.TotalBytes() || !padding_fits) {
      return {.status = CodecStatus::source_changed};
    }
    result.compressed_bytes = result.dictionary_bytes + sink.BytesCommitted();
  }
  errno = 0;
  compressed.flush();
  if (!compressed) return Failure<CompressResult>(CodecStatus::write_failed, errno, system_error);
  return result;
}

DecompressResult Decompress(BlockSource& compressed, std::ostream& restored, const ProgressFn& progress,
                            int& system_error) {
  DecompressResult result;
  ProgressCounter counter(progress, progress ? compressed.SizeAhead() : 0);

  // A block holds any whole dictionary; only a file that ends inside its
  // dictionary has a shorter first block, and then nothing follows it.
  static_assert(k_decompress_block_bytes >= k_max_dictionary_bytes);
  auto block = compressed.Next();
  DictionaryTable table;
  const std::size_t dictionary_bytes = ReadDictionary(block, table);
  block = block.subspan(dictionary_bytes);

  WorkerSet workers;
  Decoder decoder(table, workers);
  ByteSink sink(restored, Decoder::MaxRestoredBytes(k_decompress_block_bytes));
  result.compressed_bytes = dictionary_bytes;
  counter.Add(dictionary_bytes);
  for (; !block.empty(); block = compressed.Next()) {
    decoder.Decode(block, sink);
    result.compressed_bytes += block.size();
    counter.Add(block.size());
  }
  if (compressed.Failed()) return Failure<DecompressResult>(CodecStatus::read_failed, compressed.SystemError(), system_error);
  sink.Flush();
  if (sink.Failed()) return Failure<DecompressResult>(CodecStatus::write_failed, sink.SystemError(), system_error);
  result.restored_bytes = sink.BytesCommitted();
  return result;
}

}  // namespace

CompressResult CompressStream(std::istream& source, std::ostream& compressed, const ProgressFn& progress) {
  return SettingErrno<CompressResult>([&](int& system_error) {
    StreamBlocks blocks(source, k_compress_block_bytes);
    return Compress(blocks, compressed, progress, system_error);
  });
}

CompressResult CompressBuffer(std::span<const std::uint8_t> source, std::ostream& compressed,
                              const ProgressFn& progress) {
  return SettingErrno<CompressResult>([&](int& system_error) {
    MemoryBlocks blocks(source, k_compress_block_bytes);
    return Compress(blocks, compressed, progress, system_error);
  });
}

DecompressResult DeCompressStream(std::istream& compressed, std::ostream& restored, const ProgressFn& progress) {
  return SettingErrno<DecompressResult>([&](int& system_error) {
    StreamBlocks blocks(compressed, k_decompress_block_bytes);
    return Decompress(blocks, restored, progress, system_error);
  });
}

DecompressResult DeCompressBuffer(std::span<const std::uint8_t> compressed, std::ostream& restored,
                                  const ProgressFn& progress) {
  return SettingErrno<DecompressResult>([&](int& system_error) {
    MemoryBlocks blocks(compressed, k_decompress_block_bytes);
    return Decompress(blocks, restored, progress, system_error);
  });
}

}  // namespace huffman
