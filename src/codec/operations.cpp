#include "codec/operations.h"

#include <vector>

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

bool Rewind(std::istream& in) {
  in.clear();
  in.seekg(0, std::ios::beg);
  return static_cast<bool>(in);
}

}  // namespace

CompressResult CompressStream(std::istream& source, std::ostream& compressed) {
  CompressResult result;
  std::vector<std::uint8_t> block(k_read_block_bytes);

  Census census;
  for (auto piece = ReadBlock(source, block); !piece.empty(); piece = ReadBlock(source, block)) {
    census.Add(piece);
  }
  if (source.bad()) return {.status = CodecStatus::read_failed};
  result.source_bytes = census.TotalBytes();
  result.count_chars = census.DistinctValues();
  if (census.TotalBytes() == 0) {
    compressed.flush();
    if (!compressed) result.status = CodecStatus::write_failed;
    return result;
  }

  const TreePlan plan = PlanTree(census);
  WriteDictionary(plan.table, WrittenRecords(plan.table), compressed);
  result.dictionary_bytes = DictionaryBytes(WrittenRecords(plan.table));

  if (!Rewind(source)) return {.status = CodecStatus::read_failed};
  BitWriter writer(compressed);
  bool all_known = true;
  std::uint64_t coded_bytes = 0;
  for (auto piece = ReadBlock(source, block); !piece.empty(); piece = ReadBlock(source, block)) {
    all_known &= EncodeBlock(plan.codes, piece, writer);
    coded_bytes += piece.size();
  }
  if (source.bad()) return {.status = CodecStatus::read_failed};
  if (plan.padding.bits > 0) writer.Emit(static_cast<std::uint64_t>(plan.padding.value), plan.padding.bits);
  writer.Finish();

  if (writer.Failed() || !compressed) return {.status = CodecStatus::write_failed};
  if (!all_known || coded_bytes != census.TotalBytes()) return {.status = CodecStatus::source_changed};
  result.compressed_bytes = result.dictionary_bytes + writer.BitsWritten() / 8;
  return result;
}

DecompressResult DeCompressStream(std::istream& compressed, std::ostream& restored) {
  DecompressResult result;
  DictionaryTable table;
  result.compressed_bytes = ReadDictionary(compressed, table);

  RecordWalk walk(table);
  std::vector<std::uint8_t> block(k_read_block_bytes);
  std::vector<std::uint8_t> decoded;
  for (auto piece = ReadBlock(compressed, block); !piece.empty(); piece = ReadBlock(compressed, block)) {
    result.compressed_bytes += piece.size();
    decoded.clear();
    walk.Decode(piece, decoded);
    restored.write(reinterpret_cast<const char*>(decoded.data()), static_cast<std::streamsize>(decoded.size()));
    result.restored_bytes += decoded.size();
    if (!restored) return {.status = CodecStatus::write_failed};
  }
  if (compressed.bad()) return {.status = CodecStatus::read_failed};
  restored.flush();
  if (!restored) return {.status = CodecStatus::write_failed};
  return result;
}

}  // namespace huffman
