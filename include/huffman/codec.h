// The codec's whole public interface: a Codec, made once per run and reused
// for every file, compresses a Source into a compressed stream, restores,
// tests and summarises compressed files, and owns what that takes (its
// threads and its large buffers).  It owns no files and never touches the
// console; the caller opens, names and commits the streams, and words every
// failure it reports from the result values here.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace huffman {

// The most threads a Codec runs: more would cut a large block into pieces
// too small to repay their hand-over.
inline constexpr unsigned k_max_threads = 16;

enum class CodecStatus {
  ok,
  read_failed,     // the input reported an error (not just its end)
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

// The first structural check a compressed file fails. The format has no
// checksum, so these are about shape only.
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

// What a compression writes beside the codes.
struct CompressOptions {
  bool checked = false;          // a checked file where the source allows one
  bool source_checksum = false;  // the whole checksum of the source also for a bare file
};

// How a restore reads its input.  With `check_format`, a file that fails
// the structural checks is refused (not_compressed): the dictionary is
// checked before any byte is written, the payload at its end, so the caller
// discards what was written then.  Without, any bytes are decoded exactly as
// the record walk decodes them.  A checked file is verified either way.
// With `restored_checksum`, a bare file's restore also gives the whole
// checksum of what it restored.
struct DecompressOptions {
  bool check_format = true;
  bool restored_checksum = false;
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
  // The whole checksum (ChecksumStream's) of the source as it was coded,
  // with either option, whether the file came out checked or bare.
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

// Where an operation reads its input.  Every source reads in order; one
// whose bytes can be read anywhere (a regular file, memory) also reads at
// offsets, which lets every thread of a compression read the piece it then
// works on.  Offsets count from where the source starts.
class Source {
 public:
  virtual ~Source() = default;

  // The next bytes in order, into `into`: all of it, or fewer only where the
  // source ends.  The count read (0 at the end), or -1 with the system's
  // errno in `error` (0 when the failure had none).  Called on any of the
  // Codec's threads (the next block is read beside the coding), one call at
  // a time.
  virtual std::int64_t Read(std::span<std::uint8_t> into, int& error) = 0;
  // Back to the start, for a compression's second pass; false, with the
  // errno in `error`, when the source cannot go back.
  virtual bool Rewind(int& error) = 0;
  // The source's size, where it is known ahead (a file, memory): for the
  // progress and for where check data may lie.  The reads go on to wherever
  // the source really ends.
  virtual std::optional<std::uint64_t> Size() const { return std::nullopt; }

  // Whether ReadAt works.
  virtual bool ReadsAtOffsets() const { return false; }
  // The bytes from `offset` on, into `into`: all of it, or fewer only where
  // the source ends.  The count read, or -1 with the errno in `error`.
  // Called from several threads at once, each at offsets of its own; it
  // leaves Read's position alone.
  virtual std::int64_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const;
  // A source that holds all of its bytes in memory lends them here, to be
  // read in place rather than copied; every other source returns nothing.
  virtual std::span<const std::uint8_t> Held() const { return {}; }

 protected:
  Source() = default;
  Source(const Source&) = default;
  Source& operator=(const Source&) = default;
};

// A std::istream read from where it stands when the source is made; a
// seekable stream can go back there, and tells its size.
class StreamSource final : public Source {
 public:
  explicit StreamSource(std::istream& stream);
  std::int64_t Read(std::span<std::uint8_t> into, int& error) override;
  bool Rewind(int& error) override;
  std::optional<std::uint64_t> Size() const override { return size; }

 private:
  std::istream& in;
  std::istream::pos_type start;
  std::optional<std::uint64_t> size;
};

// Bytes in memory, read in place; they must outlive the operation.
class MemorySource final : public Source {
 public:
  explicit MemorySource(std::span<const std::uint8_t> bytes) : held(bytes) {}
  std::int64_t Read(std::span<std::uint8_t> into, int& error) override;
  bool Rewind(int& /*error*/) override {
    position = 0;
    return true;
  }
  std::optional<std::uint64_t> Size() const override { return held.size(); }
  bool ReadsAtOffsets() const override { return true; }
  std::int64_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const override;
  std::span<const std::uint8_t> Held() const override { return held; }

 private:
  std::span<const std::uint8_t> held;
  std::size_t position = 0;
};

// A source read through a function that reads at offsets, as ReadAt does
// (safe on several threads at once: a regular file's positional reads), of
// `size` bytes when it was opened; in order it reads at a position of its
// own.
class OffsetSource final : public Source {
 public:
  using ReadAtFn = std::function<std::int64_t(std::uint64_t offset, std::span<std::uint8_t> into, int& error)>;
  OffsetSource(ReadAtFn reader, std::uint64_t bytes) : read_at(std::move(reader)), size(bytes) {}
  std::int64_t Read(std::span<std::uint8_t> into, int& error) override;
  bool Rewind(int& /*error*/) override {
    position = 0;
    return true;
  }
  std::optional<std::uint64_t> Size() const override { return size; }
  bool ReadsAtOffsets() const override { return true; }
  std::int64_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const override {
    return read_at(offset, into, error);
  }

 private:
  ReadAtFn read_at;
  std::uint64_t size;
  std::uint64_t position = 0;
};

// What a Codec is made with.
struct CodecSettings {
  unsigned threads = 0;    // 0: every core this process may run on; at most k_max_threads are used
  bool allow_bmi2 = true;  // the loops for processors with BMI2, where the processor has it
};

struct CodecState;

// Runs one operation at a time; its threads start with the first block
// large enough to share, and they and its buffers serve every operation
// after, until the Codec ends.
class Codec {
 public:
  explicit Codec(const CodecSettings& settings = {});
  // Joins the threads and gives every buffer back to the system.
  ~Codec();
  Codec(const Codec&) = delete;
  Codec& operator=(const Codec&) = delete;

  // The threads large blocks are shared among, resolved: 1 .. k_max_threads.
  unsigned Threads() const;

  // Reads `source` twice (census, then coding), so it must go back to its
  // start. Writes the whole compressed file to `compressed` and flushes it.
  // A checked file with `options.checked` (see BareReason for the sources
  // that stay bare).
  CompressResult Compress(Source& source, std::ostream& compressed, const ProgressFn& progress = {},
                          const CompressOptions& options = {});
  // Reads `compressed` once, in order, to its end, and writes what it
  // restores to `restored`.  A checked file (one whose dictionary carries
  // the check mark, or whose last bytes are a valid footer) is verified:
  // its length, every span's checksum, the dictionary, and codes that end in
  // the dead end right before the trailer; any difference is `damaged`,
  // known at the end, so the caller discards what was written then.
  DecompressResult Decompress(Source& compressed, std::ostream& restored, const ProgressFn& progress = {},
                              const DecompressOptions& options = {});
  // Checks `compressed` and decodes it into nothing: the sizes, the tree's
  // leaves and their codes, or the first check it fails.
  TestResult Test(Source& compressed, const ProgressFn& progress = {});
  // The summary of a checked file read at offsets, of known size: its footer
  // and trailer from the end, its dictionary from the start, nothing
  // decoded.  `checked` is false for a file without valid check data (or a
  // source that cannot be read so), whose sizes only a decode tells.
  Summary Summarize(Source& compressed);

 private:
  std::unique_ptr<CodecState> state;
};

// The whole checksum of the bytes `source` holds from its position to its
// end, as a restore gives it (DecompressResult::restored_checksum): a
// restored file read back is compared with its restore's.  A read that
// fails ends the bytes early, so that they differ from any whole file's.
struct ChecksumResult {
  std::uint64_t bytes = 0;
  std::uint64_t checksum = 0;
};
ChecksumResult ChecksumStream(std::istream& source);

}  // namespace huffman
