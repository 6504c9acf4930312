// The two codec operations the console drives: compress a source stream into
// a compressed stream, and restore a compressed stream. They own no files and
// never touch the console; the caller opens, names and commits the streams.
//
// Pipeline of a compression: census -> order -> tree -> renumber ->
// dictionary -> encode (-> check trailer). A restore reads the dictionary and
// walks the records, and verifies a checked file against its trailer.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace huffman {

enum class CodecStatus {
  ok,
  read_failed,     // the input stream reported an error (not just its end)
  write_failed,    // the output stream refused bytes
  source_changed,  // the source read differently on its second pass
  not_compressed,  // the input failed the structural checks of a compressed file
  damaged,         // a checked file whose check data disagrees with it (Damage says how)
  out_of_memory,   // memory ran out, on any of the operation's threads; what was written is incomplete
};

// How a checked file was found damaged.  Only `content` and `length` name
// a range of the original.
enum class Damage {
  none,
  trailer,      // the check data at the end is missing, cut short, or fails its own checksum
  dictionary,   // the dictionary is not the one the check data was made for
  content,      // a span's checksum differs: [damaged_from, damaged_to] is the first such span
  length,       // every span recorded matches, but the codes go on past the recorded length:
                // [damaged_from, damaged_to] are the restored bytes beyond it
  payload_end,  // the codes do not end in the dead end right before the check data, or the
                // bits after the dead end are not all zero
};

// Why a compression wrote a bare file (no check data).
enum class BareReason {
  none,             // the file is checked
  not_asked,        // CompressOptions::checked was false
  empty_source,     // an empty source gives an empty file
  all_byte_values,  // all 256 byte values: no room for the dead end (N would be 256)
  too_large,        // above k_max_checked_bytes (256 GiB)
};

// What a compression writes beside the codes.
struct CompressOptions {
  bool checked = false;          // a checked file where the source allows one
  bool source_checksum = false;  // the whole checksum of the source also for a bare file
};

// The first structural check a compressed file fails. The format has no
// checksum, so these are about shape only (format_check.h).
enum class FormatFault {
  none,
  single_value,          // N = 0: the file holds neither the byte nor the length
  truncated_dictionary,  // the file ends inside its dictionary
  bad_kind,              // a side's kind is neither 0 (leaf) nor 1 (inner)
  bad_label,             // record k does not carry label k
  child_not_below,       // an inner side names no record below its own
  not_one_tree,          // a record is reached twice, or never, from the root
  duplicate_value,       // one byte value on two leaves
  empty_payload,         // a dictionary and no codes
  trailing_bits,         // bits after the last code do not all lie in the last byte
};

// Each result carries, beside its status, the system's errno recorded where
// the read or write failed (0 when none failed, or when the stream failed
// without a system error): the callers report it, never an errno read after
// the operation returned, which another thread or any later call may have
// replaced.
struct CompressResult {
  CodecStatus status = CodecStatus::ok;
  int system_error = 0;
  std::uint64_t source_bytes = 0;
  std::uint64_t compressed_bytes = 0;
  std::uint64_t dictionary_bytes = 0;  // 1 + 6 * N, or 0 for an empty source
  int count_chars = 0;                 // distinct byte values in the source
  bool checked = false;                // the output carries check data
  BareReason bare_reason = BareReason::not_asked;
  // The whole checksum (checksum.h) of the source as it was coded, with
  // either option, whether the file came out checked or bare.
  bool source_checksum_known = false;
  std::uint64_t source_checksum = 0;
};

struct DecompressResult {
  CodecStatus status = CodecStatus::ok;
  int system_error = 0;
  std::uint64_t compressed_bytes = 0;
  std::uint64_t restored_bytes = 0;
  FormatFault fault = FormatFault::none;  // with not_compressed
  std::uint64_t fault_offset = 0;         // where in the file the fault was found
  bool checked = false;                   // the file carries check data (damaged or not)
  Damage damage = Damage::none;           // with damaged
  std::uint64_t damaged_from = 0;         // original bytes, inclusive, for content and length
  std::uint64_t damaged_to = 0;
  // The whole checksum of what was restored: for a checked file, and for a
  // bare one when asked.
  bool restored_checksum_known = false;
  std::uint64_t restored_checksum = 0;
};

// One leaf of a file's code tree: its byte value and code, root first.
struct CodeEntry {
  std::uint8_t value = 0;
  std::string bits;  // '0' and '1'
};

struct TestResult {
  CodecStatus status = CodecStatus::ok;
  int system_error = 0;
  FormatFault fault = FormatFault::none;
  std::uint64_t fault_offset = 0;
  std::uint64_t compressed_bytes = 0;
  std::uint64_t restored_bytes = 0;
  std::uint64_t dictionary_bytes = 0;  // 1 + 6 * N, or 0 for an empty file
  int leaves = 0;                      // byte values in the tree
  std::vector<CodeEntry> codes;        // sorted by their bits as strings
  bool checked = false;
  Damage damage = Damage::none;  // with damaged, as in DecompressResult
  std::uint64_t damaged_from = 0;
  std::uint64_t damaged_to = 0;
};

// What a checked file says of itself, read from its ends without decoding.
struct Summary {
  CodecStatus status = CodecStatus::ok;  // ok or read_failed
  int system_error = 0;
  bool checked = false;  // false: no valid check data; decode to learn the rest
  // The file ends in a footer and trailer that verify, whatever the rest
  // holds: it was written checked, even where `checked` is false because
  // its dictionary or size disagrees with them (damaged).
  bool ends_in_check_data = false;
  std::uint64_t compressed_bytes = 0;
  std::uint64_t original_bytes = 0;  // from the trailer
  std::uint64_t dictionary_bytes = 0;
  int leaves = 0;
  std::vector<CodeEntry> codes;
};

// Called after each block with the work done so far and the whole work, in
// input bytes read (a compression reads its source twice).  `total` is 0
// when the input's size cannot be told in advance.
using ProgressFn = std::function<void(std::uint64_t done, std::uint64_t total)>;

// Reads `source` twice (census, then coding), so it must be seekable to its
// start. Writes the whole compressed file to `compressed` and flushes it.
// A checked file with `options.checked` (see BareReason for the sources
// that stay bare).
CompressResult CompressStream(std::istream& source, std::ostream& compressed, const ProgressFn& progress = {},
                              const CompressOptions& options = {});

// Reads the source at `offset` into `into`: all of it, or less only where
// the source ends.  Returns the count read, or -1 with the system's errno
// in `error`.  Called from several threads at once, each at offsets of its
// own: a regular file read by positional reads.
using ReadAtFn = std::function<std::int64_t(std::uint64_t offset, std::span<std::uint8_t> into, int& error)>;

// The same over a source read at offsets: both passes read on every thread
// of the operation, each thread the piece it then works on, with no thread
// handing blocks over.  `size` is the source's size when it was opened, for
// the progress only: the census reads to wherever the source ends.
CompressResult CompressAt(const ReadAtFn& read_at, std::uint64_t size, std::ostream& compressed,
                          const ProgressFn& progress = {}, const CompressOptions& options = {});

// The same over a source already in memory, which is read in place: the
// command line holds a short standard input so.
CompressResult CompressBuffer(std::span<const std::uint8_t> source, std::ostream& compressed,
                              const ProgressFn& progress = {}, const CompressOptions& options = {});

// Reads `compressed` once from its current position to its end. With
// `check_format`, a file that fails the structural checks is refused
// (not_compressed): the dictionary is checked before any byte is written,
// the payload at its end, so the caller discards what was written then.
// Without, any bytes are decoded exactly as the record walk decodes them.
// A checked file (one whose dictionary carries the check mark, or whose
// last bytes are a valid footer) is verified either way: its length, every
// span's checksum, the dictionary, and codes that end in the dead end right
// before the trailer; any difference is `damaged`, known at the end, so the
// caller discards what was written then.  With `restored_checksum`, a bare
// file's restore also gives the whole checksum of what it restored.
DecompressResult DeCompressStream(std::istream& compressed, std::ostream& restored, const ProgressFn& progress = {},
                                  bool check_format = true, bool restored_checksum = false);

// Checks `compressed` and decodes it into nothing: the sizes, the tree's
// leaves and their codes, or the first check it fails.
TestResult TestStream(std::istream& compressed, const ProgressFn& progress = {});

// The summary of a checked file of `size` bytes read at offsets: its footer
// and trailer from the end, its dictionary from the start, nothing decoded.
// `checked` is false for a file without valid check data, whose sizes only
// a decode tells.
Summary SummarizeAt(const ReadAtFn& read_at, std::uint64_t size);

// The whole checksum of the bytes `source` holds from its position to its
// end, as a restore gives it (DecompressResult::restored_checksum): a
// restored file read back is compared with its restore's.  A read that
// fails ends the bytes early, so that they differ from any whole file's.
struct ChecksumResult {
  std::uint64_t bytes = 0;
  std::uint64_t checksum = 0;
};
ChecksumResult ChecksumStream(std::istream& source);

// Threads the codec may use for the coding of large blocks, for every
// operation started after the call: 0 = every core this process may run on
// (the default), 1 = one thread, N = N.  The same threads read and write
// beside the coding; with one, reads and writes take their turn with it.
void SetThreadCount(unsigned threads);

}  // namespace huffman
