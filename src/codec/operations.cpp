#include "codec/operations.h"

#include <span>
#include <vector>

#include "codec/bit_writer.h"
#include "codec/byte_sink.h"
#include "codec/census.h"
#include "codec/decoder.h"
#include "codec/encoder.h"
#include "codec/format.h"

namespace huffman {

namespace {

constexpr std::size_t k_read_block_bytes = 256 * 1024;

// Reads up to a block; an empty result is the end of the stream or an error,
// which the caller tells apart with `in.bad()`.
std::span<const std::uint8_t> ReadBlock(std::istream& in, std::vector<std::uint8_t>& block) {
  in.read(reinterpret_cast<char*>(block.data()), static_cast<std::streamsize>(block.size()));
  return {block.data(), static_cast<std::size_t>(in.gcount())};
}

// Bytes from the current position to the end, or 0 if the stream cannot tell.
std::uint64_t BytesAhead(std::istream& in) {
  const auto here = in.tellg();
  if (here < 0 || !in.seekg(0, std::ios::end)) {
    in.clear();
    return 0;
  }
  const auto end = in.tellg();
  in.seekg(here);
  return end > here ? static_cast<std::uint64_t>(end - here) : 0;
}

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

bool Rewind(std::istream& in) {
  in.clear();
  in.seekg(0, std::ios::beg);
  return static_cast<bool>(in);
}

}  // namespace

CompressResult CompressStream(std::istream& source, std::ostream& compressed, const ProgressFn& progress) {
  CompressResult result;
  std::vector<std::uint8_t> block(k_read_block_bytes);
  ProgressCounter counter(progress, progress ? 2 * BytesAhead(source) : 0);

  Census census;
  for (auto piece = ReadBlock(source, block); !piece.empty(); piece = ReadBlock(source, block)) {
    census.Add(piece);
    counter.Add(piece.size());
  }
  if (source.bad()) return {.status = CodecStatus::read_failed};
  result.source_bytes = census.TotalBytes();
  result.count_chars = census.DistinctValues();

  // An empty source gives an empty file: nothing to decode, nothing restored.
  if (census.TotalBytes() > 0) {
    const TreePlan plan = PlanTree(census);
    WriteDictionary(plan.table, WrittenRecords(plan.table), compressed);
    result.dictionary_bytes = DictionaryBytes(WrittenRecords(plan.table));

    if (!Rewind(source)) return {.status = CodecStatus::read_failed};
    ByteSink sink(compressed);
    BitWriter writer(sink);
    Encoder encoder(plan.codes, census.TotalBytes());
    std::uint64_t coded_bytes = 0;
    for (auto piece = ReadBlock(source, block); !piece.empty(); piece = ReadBlock(source, block)) {
      encoder.Encode(piece, writer);
      coded_bytes += piece.size();
      counter.Add(piece.size());
    }
    if (source.bad()) return {.status = CodecStatus::read_failed};
    // The padding was chosen for the bit count the census predicts; a source
    // that read otherwise the second time must not be reported as done.
    const bool padding_fits = (writer.BitsWritten() + static_cast<unsigned>(plan.padding.bits)) % 8 == 0;
    if (plan.padding.bits > 0) writer.Emit(static_cast<std::uint64_t>(plan.padding.value), plan.padding.bits);
    writer.Finish();
    sink.Flush();
    if (sink.Failed()) return {.status = CodecStatus::write_failed};
    if (encoder.SawUnknownByte() || coded_bytes != census.TotalBytes() || !padding_fits) {
      return {.status = CodecStatus::source_changed};
    }
    result.compressed_bytes = result.dictionary_bytes + sink.BytesCommitted();
  }
  compressed.flush();
  if (!compressed) return {.status = CodecStatus::write_failed};
  return result;
}

DecompressResult DeCompressStream(std::istream& compressed, std::ostream& restored, const ProgressFn& progress) {
  DecompressResult result;
  ProgressCounter counter(progress, progress ? BytesAhead(compressed) : 0);
  DictionaryTable table;
  result.compressed_bytes = ReadDictionary(compressed, table);
  counter.Add(result.compressed_bytes);

  Decoder decoder(table);
  ByteSink sink(restored, Decoder::MaxRestoredBytes(k_read_block_bytes));
  std::vector<std::uint8_t> block(k_read_block_bytes);
  for (auto piece = ReadBlock(compressed, block); !piece.empty(); piece = ReadBlock(compressed, block)) {
    result.compressed_bytes += piece.size();
    decoder.Decode(piece, sink);
    counter.Add(piece.size());
  }
  if (compressed.bad()) return {.status = CodecStatus::read_failed};
  sink.Flush();
  if (sink.Failed()) return {.status = CodecStatus::write_failed};
  result.restored_bytes = sink.BytesCommitted();
  return result;
}

}  // namespace huffman
