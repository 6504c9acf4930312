// What every restore of a checked file relies on, for the restore in order
// (operations.cpp) and the restore span by span (span_restore.h) alike: the
// check data and dictionary read from a file's ends, and one set of rules
// by which a restore's findings are verified against the trailer, so that
// both name the same damage.
#pragma once

#ifndef HUFFMAN_CODEC_INTERNAL
#error "codec/checked_file.h is private to the codec: include <huffman/codec.h>"
#endif

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "codec/check_trailer.h"
#include "codec/format.h"
#include "huffman/codec.h"

namespace huffman {

// The parts of a restore a test also needs: the dictionary as read.
struct Restore {
  DecompressResult result;
  DictionaryTable table;
};

// A file's check data and dictionary, read at offsets from its two ends.
struct CheckData {
  CodecStatus status = CodecStatus::ok;  // read_failed where a read failed
  int system_error = 0;
  std::uint64_t size = 0;  // of the file, where the source reads at offsets and knows it
  // The file ends in a footer and a trailer that verify and agree.
  bool ends_in_check_data = false;
  // And its dictionary is well formed, carries the check mark and is the
  // one the trailer names, and the file is exactly the dictionary, the
  // payload's bits and the check data: a checked file, whose content only
  // a decode verifies.
  bool checked = false;
  Trailer trailer;
  std::uint64_t body_bytes = 0;           // the trailer's, without the footer
  std::vector<std::uint8_t> check_bytes;  // the trailer and the footer as read
  DictionaryTable table;
  std::uint64_t dictionary_bytes = 0;
  std::uint64_t dictionary_checksum = 0;
};
CheckData ReadCheckData(Source& compressed);

// What a checked file's restore found, beside the restored bytes.
struct CheckedRestore {
  bool marked = false;  // the dictionary carries the check mark
  std::uint64_t dictionary_bytes = 0;
  std::uint64_t dictionary_checksum = 0;
  bool stopped = false;                           // the walk ended in a dead end
  std::span<const std::uint64_t> restored_spans;  // the checksums of the spans restored, in order
};

void SetDamage(DecompressResult& result, Damage damage, std::uint64_t from = 0, std::uint64_t to = 0);

// The byte at a file offset, if the restore kept it.
using KeptByte = std::function<std::optional<std::uint8_t>(std::uint64_t offset)>;

// Verifies a checked file's restore against its trailer (none: none found
// at the end), in the order of what each check relies on: the trailer, the
// dictionary the codes were read with, the content, then the codes' end.
// `result` holds the file's size and the bytes restored.
void VerifyChecked(DecompressResult& result, const std::optional<Trailer>& trailer, std::uint64_t body_bytes,
                   const CheckedRestore& restore, const KeptByte& byte_at);

}  // namespace huffman
