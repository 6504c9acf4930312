// The decoder on arbitrary compressed files, broken ones above all: it must
// neither crash nor hang nor overrun, and it must restore exactly what the
// literal record walk restores from the same bytes, since any dictionary at
// all (kinds other than leaf or inner, labels that link nowhere, a file that
// ends inside the dictionary) is walked, not rejected, unless the structural
// checks are asked for: then it is refused, or restored exactly as unchecked.
// A file that carries check data (checked files, and mutations of them in
// the seeds) is verified either way: a restore that reports it whole must
// have restored exactly the length and span checksums its trailer promises,
// and one that does not verify is refused as damaged.  Every input also
// holds the format's bound (a code is at least one bit, so at most 8 bytes
// are restored per payload byte), and the structural test, the restore with
// the structural checks and the summary from the file's ends agree.
//
// The first input byte picks how the rest becomes the compressed file:
//   bit 0 clear: the rest is the file itself;
//   bit 0 set:   the next two bytes give a payload size in units of 8 bytes,
//                and the rest is a file whose payload is repeated up to that
//                size (each copy scrambled when bit 1 is set).
// The program walks short payloads bit by bit and switches to window tables
// at 16 KiB, to four lanes in lockstep at 64 KiB and to several threads, four
// lanes a part, at 128 KiB, which inputs of a few KiB never reach.  The literal walk costs up to one record check
// per record per bit, so the grown payload is capped by the dictionary's
// size: large payloads go with small dictionaries.
//
// Built three times: decoder_fuzz takes every input as a file as it stands
// and compares each restore with the literal walk; decoder_fast_fuzz, built
// with HUFFMAN_FUZZ_FAST, compares with the literal walk and the in-place
// restore only the inputs whose walk is cheap and a fixed sample of the rest
// (every other property is checked on each input), for more executions; decoder_large_fuzz,
// built with HUFFMAN_FUZZ_GROW, grows the payload where the first byte says
// so.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <sstream>
#include <string>

#include "codec/check_trailer.h"
#include "codec/checksum.h"
#include "fuzz_support.h"
#include "literal_codec.h"

#ifndef HUFFMAN_FUZZ_GROW
#define HUFFMAN_FUZZ_GROW 0
#endif
#ifndef HUFFMAN_FUZZ_FAST
#define HUFFMAN_FUZZ_FAST 0
#endif

namespace {

constexpr std::size_t k_max_grown_payload_bytes = 320 * 1024;
// Record checks the literal walk may spend on one input, as payload bits
// times (records + 1).
constexpr std::uint64_t k_walk_budget = std::uint64_t{48} << 20;
// The fast target compares with the literal walk and with the in-place
// restore (a second full decode) only the inputs whose walk costs at most
// this many record checks (a few microseconds), and one input in
// k_walk_sample_period of the rest, picked by a hash of the input so that a
// finding replays alike; the other targets compare every input.
constexpr std::uint64_t k_cheap_walk = std::uint64_t{1} << 12;
constexpr std::uint64_t k_walk_sample_period = 64;

// The payload's bytes: what follows the dictionary of 1 + 6N bytes.
std::size_t PayloadBytes(const std::string& file) {
  if (file.empty()) return 0;
  const std::size_t dictionary_bytes = 1 + 6 * std::size_t{static_cast<std::uint8_t>(file[0])};
  return file.size() > dictionary_bytes ? file.size() - dictionary_bytes : 0;
}

bool ReferenceChecks(const std::uint8_t* data, std::size_t size, const std::string& file) {
  if (!HUFFMAN_FUZZ_FAST) return true;
  const std::uint64_t records = file.empty() ? 0 : static_cast<std::uint8_t>(file[0]);
  if (8 * PayloadBytes(file) * (records + 1) <= k_cheap_walk) return true;
  std::uint64_t hash = 0xCBF29CE484222325ULL;  // FNV-1a
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 0x100000001B3ULL;
  return hash % k_walk_sample_period == 0;
}

std::string GrownFile(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return {};
  const std::size_t wanted = (std::size_t{data[1]} << 8 | data[2]) * 8;
  const bool scramble = (data[0] & 2) != 0;
  std::string file(reinterpret_cast<const char*>(data) + 3, size - 3);

  const std::size_t records = static_cast<std::uint8_t>(file[0]);
  const std::size_t dictionary_bytes = std::min(file.size(), 1 + 6 * records);
  const std::string seed = file.substr(dictionary_bytes);
  if (seed.empty()) return file;
  const std::size_t budget_bytes = k_walk_budget / (8 * (records + 1));
  const std::size_t payload_bytes = std::min({wanted, k_max_grown_payload_bytes, budget_bytes});

  file.resize(dictionary_bytes);
  std::uint32_t state = 0x9E3779B9U ^ static_cast<std::uint32_t>(seed.size());
  for (std::size_t i = 0; i < payload_bytes; ++i) {
    char byte = seed[i % seed.size()];
    if (scramble && i >= seed.size()) {
      state = state * 1664525U + 1013904223U;  // a fixed LCG: runs repeat exactly
      byte = static_cast<char>(byte ^ (state >> 24));
    }
    file.push_back(byte);
  }
  return file;
}

// Whether `restored` is what `compressed`'s trailer promises: its length,
// every span's checksum and the whole checksum.
bool KeepsTrailerPromise(const std::string& compressed, const std::string& restored) {
  std::uint64_t body_bytes = 0;
  const auto trailer = huffman::ReadTrailer(huffman::fuzz::Bytes(compressed), body_bytes);
  if (!trailer || trailer->length != restored.size() || trailer->spans.size() != huffman::SpanCount(restored.size())) {
    return false;
  }
  huffman::SpanChecksums sums(huffman::k_span_bytes);
  sums.Add(huffman::fuzz::Bytes(restored));
  const std::vector<std::uint64_t>& spans = sums.Finish();
  for (std::size_t k = 0; k < spans.size(); ++k) {
    if (spans[k] != trailer->spans[k].checksum) return false;
  }
  return huffman::WholeChecksum(spans) == trailer->whole_checksum;
}

bool SameCodes(const std::vector<huffman::CodeEntry>& a, const std::vector<huffman::CodeEntry>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const auto& x, const auto& y) { return x.value == y.value && x.bits == y.bits; });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace huffman;
  if (size == 0) return 0;
  const bool grow = HUFFMAN_FUZZ_GROW && (data[0] & 1) != 0;
  const std::string compressed =
      grow ? GrownFile(data, size) : std::string(reinterpret_cast<const char*>(data) + 1, size - 1);

  DecompressResult result;
  const std::string restored = fuzz::Decompress(compressed, result, false);

  fuzz::Require(result.status == CodecStatus::ok || (result.status == CodecStatus::damaged && result.checked),
                "a memory stream never fails, so the status is ok, or damaged for a file with check data");
  fuzz::Require((result.status == CodecStatus::damaged) == (result.damage != Damage::none),
                "a damaged file names how, and only a damaged one");
  fuzz::Require(result.status != CodecStatus::ok || !result.checked || KeepsTrailerPromise(compressed, restored),
                "a checked file restored whole restores what its trailer promises");
  const bool reference_checks = ReferenceChecks(data, size, compressed);
  if (reference_checks) {
    fuzz::Require(restored == reference::LiteralDecompress(compressed), "restored bytes equal the record walk's");
  }
  fuzz::Require(result.compressed_bytes == compressed.size(), "every input byte is counted as read");
  fuzz::Require(result.restored_bytes == restored.size(), "the restored count is the bytes written");
  fuzz::Require(restored.size() <= 8 * PayloadBytes(compressed),
                "a code is at least one bit: at most 8 restored bytes per payload byte");

  // The in-place path over memory restores the same bytes.  It restores a
  // file whose check data verifies span by span, and stops before the
  // span where it finds damage: it then wrote their start.
  if (reference_checks) {
    DecompressResult buffer_result;
    const std::string from_buffer = fuzz::DecompressBuffer(compressed, buffer_result);
    fuzz::Require(from_buffer == restored || (buffer_result.status == CodecStatus::damaged &&
                                              restored.compare(0, from_buffer.size(), from_buffer) == 0),
                  "restoring from memory in place gives the same bytes, or their start where it finds damage");
    // Bytes restored past the original's length fall in the last span's
    // checksum of a restore in order, which names that span; span by span,
    // the last span is checked alone, and those bytes are named.
    const bool past_the_length = result.damage == Damage::content && buffer_result.damage == Damage::length &&
                                 buffer_result.damaged_from == result.damaged_to + 1;
    fuzz::Require(buffer_result.status == result.status &&
                      ((buffer_result.damage == result.damage && buffer_result.damaged_from == result.damaged_from &&
                        buffer_result.damaged_to == result.damaged_to) ||
                       past_the_length),
                  "restoring from memory in place comes to the same verdict");
    fuzz::Require(buffer_result.restored_bytes == from_buffer.size(), "the restored count is the bytes written");
  }

  // The structural checks refuse a file or restore it exactly as the walk does.
  DecompressResult checked_result;
  const std::string checked = fuzz::Decompress(compressed, checked_result, true);
  fuzz::Require(checked_result.status == CodecStatus::ok || checked_result.status == CodecStatus::not_compressed ||
                    checked_result.status == CodecStatus::damaged,
                "a checked restore succeeds or refuses the file");
  fuzz::Require(
      checked_result.status != CodecStatus::ok || !checked_result.checked || KeepsTrailerPromise(compressed, checked),
      "a checked file that passes the checks restores what its trailer promises");
  fuzz::Require(checked_result.status != CodecStatus::ok || checked == restored,
                "a file that passes the checks restores as the walk restores it");
  fuzz::Require(checked_result.status == CodecStatus::not_compressed ||
                    (checked_result.checked == result.checked && checked_result.status == result.status),
                "a file that passes the structural checks has its check data verified as without them");
  fuzz::Require((checked_result.status == CodecStatus::not_compressed) == (checked_result.fault != FormatFault::none),
                "a refusal names its fault");
  fuzz::Require((checked_result.status == CodecStatus::damaged) == (checked_result.damage != Damage::none),
                "a damaged file names how");

  // The structural test decodes into nothing and comes to the same verdict,
  // at the same place, over the same sizes.
  const TestResult tested = fuzz::Test(compressed);
  fuzz::Require(tested.status == checked_result.status && tested.fault == checked_result.fault &&
                    tested.fault_offset == checked_result.fault_offset && tested.checked == checked_result.checked &&
                    tested.damage == checked_result.damage && tested.damaged_from == checked_result.damaged_from &&
                    tested.damaged_to == checked_result.damaged_to,
                "the structural test comes to the restore's verdict");
  fuzz::Require(tested.compressed_bytes == checked_result.compressed_bytes &&
                    tested.restored_bytes == checked_result.restored_bytes,
                "the structural test counts the restore's sizes");
  fuzz::Require(
      tested.status != CodecStatus::ok || (tested.leaves == static_cast<int>(tested.codes.size()) &&
                                           tested.dictionary_bytes == compressed.size() - PayloadBytes(compressed)),
      "a file that passes lists one code per leaf and its whole dictionary");

  // The summary read from the file's ends: check data that ends the file
  // (and lies in the payload: a restore looks for it there) marks it
  // checked for the restore too, and a checked file restored whole
  // is summarised with its length and codes.  (A restore keeps only the last
  // 64 KiB when it cannot tell the input's size, so longer check data is
  // left out.)
  if (compressed.size() <= 64 * 1024) {
    const Summary summary = fuzz::Summarize(compressed);
    fuzz::Require(summary.status == CodecStatus::ok, "a summary over memory reads");
    std::uint64_t body_bytes = 0;
    const bool after_dictionary =
        ReadTrailer(fuzz::Bytes(compressed), body_bytes) && body_bytes + k_footer_bytes <= PayloadBytes(compressed);
    fuzz::Require(!summary.ends_in_check_data || !after_dictionary || result.checked,
                  "check data at the end, after the dictionary, makes the file checked");
    fuzz::Require(!(checked_result.status == CodecStatus::ok && checked_result.checked) ||
                      (summary.checked && summary.original_bytes == checked.size() && summary.leaves == tested.leaves &&
                       SameCodes(summary.codes, tested.codes)),
                  "a checked file restored whole is summarised with its length and tree");
  }
  return 0;
}
