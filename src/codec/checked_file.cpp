#include "codec/checked_file.h"

#include <algorithm>
#include <vector>

#include "codec/checksum.h"
#include "codec/format_check.h"

namespace huffman {

CheckData ReadCheckData(Source& compressed) {
  CheckData data;
  if (!compressed.ReadsAtOffsets() || !compressed.Size()) return data;
  const std::uint64_t size = *compressed.Size();
  data.size = size;
  const auto read = [&](std::uint64_t offset, std::vector<std::uint8_t>& into) {
    const std::int64_t got = compressed.ReadAt(offset, into, data.system_error);
    if (got < 0) data.status = CodecStatus::read_failed;
    return got >= 0 && static_cast<std::uint64_t>(got) == into.size();
  };
  if (size < k_footer_bytes) return data;
  std::vector<std::uint8_t> footer(k_footer_bytes);
  if (!read(size - k_footer_bytes, footer)) return data;
  std::uint64_t body_bytes = 0;
  for (int k = 7; k >= 0; --k) body_bytes = body_bytes << 8 | footer[static_cast<std::size_t>(k)];
  if (body_bytes > k_max_trailer_body_bytes || body_bytes > size - k_footer_bytes) return data;
  std::vector<std::uint8_t> end(static_cast<std::size_t>(body_bytes) + k_footer_bytes);
  if (!read(size - end.size(), end)) return data;
  std::optional<Trailer> trailer = ReadTrailer(end, body_bytes);
  if (!trailer || !ConsistentTrailer(*trailer)) return data;
  data.ends_in_check_data = true;

  std::vector<std::uint8_t> start(static_cast<std::size_t>(std::min<std::uint64_t>(size, k_max_dictionary_bytes)));
  if (!read(0, start)) return data;
  const std::size_t dictionary_bytes = ReadDictionary(start, data.table);
  data.dictionary_bytes = dictionary_bytes;
  data.dictionary_checksum = Checksum(std::span(start).first(dictionary_bytes));
  data.checked = CheckDictionary(data.table, dictionary_bytes).fault == FormatFault::none &&
                 CarriesCheckMark(data.table) && data.dictionary_checksum == trailer->dictionary_checksum &&
                 dictionary_bytes + (trailer->payload_bits + 7) / 8 + end.size() == size;
  data.trailer = std::move(*trailer);
  data.body_bytes = body_bytes;
  data.check_bytes = std::move(end);
  return data;
}

void SetDamage(DecompressResult& result, Damage damage, std::uint64_t from, std::uint64_t to) {
  result.status = CodecStatus::damaged;
  result.damage = damage;
  result.damaged_from = from;
  result.damaged_to = to;
}

void VerifyChecked(DecompressResult& result, const std::optional<Trailer>& trailer, std::uint64_t body_bytes,
                   const CheckedRestore& restore, const KeptByte& byte_at) {
  result.checked = true;
  if (!trailer || !ConsistentTrailer(*trailer)) return SetDamage(result, Damage::trailer);
  if (!restore.marked || trailer->dictionary_checksum != restore.dictionary_checksum) {
    return SetDamage(result, Damage::dictionary);
  }
  const std::span<const std::uint64_t> spans = restore.restored_spans;
  const std::uint64_t length = trailer->length;
  const std::size_t common = std::min(spans.size(), trailer->spans.size());
  for (std::size_t k = 0; k < common; ++k) {
    if (spans[k] != trailer->spans[k].checksum) {
      return SetDamage(result, Damage::content, k * k_span_bytes, std::min((k + 1) * k_span_bytes, length) - 1);
    }
  }
  if (result.restored_bytes < length) {
    // Every span restored matches, so the restore stopped at a span's end.
    return SetDamage(result, Damage::content, result.restored_bytes,
                     std::min(result.restored_bytes + k_span_bytes, length) - 1);
  }
  if (result.restored_bytes > length) return SetDamage(result, Damage::length, length, result.restored_bytes - 1);
  if (WholeChecksum(spans) != trailer->whole_checksum) return SetDamage(result, Damage::trailer);
  // The content and the dictionary are the writer's, so the codes read were
  // its codes; with the walk in the dead end, the bits after them were its
  // path into the dead end.  It must end in the byte before the trailer,
  // and the bits after it there must be zero.
  const std::uint64_t trailer_start = result.compressed_bytes - k_footer_bytes - body_bytes;
  const std::uint64_t bits = trailer->payload_bits;
  const std::optional<std::uint8_t> last = byte_at(trailer_start - 1);
  const int fill = static_cast<int>((8 - bits % 8) % 8);
  if (!restore.stopped || bits == 0 || trailer_start < restore.dictionary_bytes ||
      (bits + 7) / 8 != trailer_start - restore.dictionary_bytes || !last || (*last & ((1U << fill) - 1)) != 0) {
    return SetDamage(result, Damage::payload_end);
  }
}

}  // namespace huffman
