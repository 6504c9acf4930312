#include "cli/file_jobs.h"

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>
#include <vector>

#include "cli/messages.h"
#include "cli/progress_meter.h"
#include "cli/ratio.h"
#include "cli/stdin_spool.h"
#include "huffman/codec.h"
#include "platform/atomic_file.h"
#include "platform/fd_io.h"
#include "platform/file_identity.h"
#include "platform/file_name.h"
#include "platform/file_status.h"
#include "platform/positional_file.h"
#include "platform/standard_streams.h"

namespace huffman::cli {
namespace {

// Where one input is read from and its output goes.
struct Route {
  std::string source;  // the operand; "-" for standard input
  std::string shown;   // the input's name in messages
  bool from_stdin = false;
  // Standard input, a pipe or a descriptor's device: read once, in order,
  // and not a file whose mode, times or removal concern its output.
  bool in_order = false;
  bool to_stdout = false;
  std::string output;  // the output's name when it is a file
};

// /dev/stdin, /dev/fd/N and /proc/self/fd/N name a descriptor the caller
// opened on purpose, whatever it leads to; a device named otherwise
// (/dev/zero, which never ends, or a disk) is refused.
bool NamesDescriptor(std::string_view name) {
  if (name == "/dev/stdin") return true;
  for (const std::string_view directory : {"/dev/fd/", "/proc/self/fd/"}) {
    if (!name.starts_with(directory)) continue;
    const std::string_view number = name.substr(directory.size());
    return !number.empty() && std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; });
  }
  return false;
}

// The input exists and is a regular file (a link to one included), or is
// read in order: a pipe, or a descriptor named as one. Standard input needs
// no check.
bool CheckSource(Route& route) {
  if (route.from_stdin) return true;
  const FileStatus status = StatusOf(route.source);
  switch (status.kind) {
    case FileKind::regular:
      return true;
    case FileKind::missing:
      ReportFileError(route.shown, SystemReason(status.error));
      return false;
    case FileKind::directory:
      ReportFileError(route.shown, "is a directory");
      return false;
    case FileKind::pipe:
      route.in_order = true;
      return true;
    case FileKind::device:
    case FileKind::other:
      if (NamesDescriptor(route.source)) {
        route.in_order = true;
        return true;
      }
      ReportFileError(route.shown, status.kind == FileKind::device
                                       ? "not a regular file or a pipe (a device is read only when named "
                                         "/dev/stdin, /dev/fd/N or /proc/self/fd/N)"
                                       : "not a regular file or a pipe");
      return false;
  }
  return false;
}

// A named input read in order (a pipe, /dev/fd/63) has no name of its own to
// add or take a suffix from: its output goes where -c or -o says.
bool CheckOutputGiven(const Preferences& preferences, const Route& route) {
  if (!route.in_order || route.from_stdin || route.to_stdout || preferences.output_name) return true;
  ReportFileError(route.shown, "not a regular file; use -c or -o to say where the output goes");
  return false;
}

Route BaseRoute(const Preferences& preferences, const std::string& operand) {
  Route route;
  route.source = operand;
  route.from_stdin = operand == k_standard_input;
  route.in_order = route.from_stdin;
  route.shown = route.from_stdin ? std::string(k_standard_input_name) : operand;
  route.to_stdout = preferences.to_stdout || (route.from_stdin && !preferences.output_name);
  if (preferences.output_name) route.output = *preferences.output_name;
  return route;
}

// A named output must end in a name a file can have (on Windows, CON or
// NUL.huf would open a device); it may replace an existing file only with
// -f, and never the input itself (by any path or link), which the operation
// is reading, nor a directory, which no output replaces: that is known
// before the work starts.
bool CheckOutputName(const Preferences& preferences, const Route& route) {
  if (route.to_stdout) return true;
  if (!IsPlainFileName(NameOf(PathOf(route.output).filename()))) {
    ReportFileError(route.output, "is not a name a file can have here");
    return false;
  }
  if (!NameTaken(route.output)) return true;
  if (!route.from_stdin && SameFile(route.source, route.output)) {
    ReportFileError(route.shown, "the output would be the input itself: " + ShownName(route.output));
    return false;
  }
  if (StatusOf(route.output).kind == FileKind::directory) {
    ReportFileError(route.output, "is a directory");
    return false;
  }
  if (!preferences.force) {
    ReportFileError(route.output, "already exists; use -f to replace it");
    return false;
  }
  return true;
}

// With --rm the source must be removable, which is known before the work:
// Windows removes no read-only file, and the output would be left beside
// the source it was meant to replace.
bool CheckRemovable(const Preferences& preferences, const Route& route) {
  if (!preferences.remove_source || route.in_order || route.to_stdout) return true;
  if (int error = RemovalBlocked(route.source)) {
    ReportSystemError(route.shown, "--rm cannot remove it, nothing written", error);
    return false;
  }
  return true;
}

// Where the output of one run goes, and what its end needs done. It is made
// before the source is opened: the source's attributes are taken then, so
// that the output gets the access time from before this run read it.
class Destination {
 public:
  explicit Destination(const Route& route) : route_(route) {
    if (!route.to_stdout && !route.in_order) source_ = SourceAttributes::Take(route.source, OutputTimes::source);
  }

  // Creates the output; false (reported) when it cannot be created. A file
  // compressed from a private source is private until it gets the source's
  // attributes; one from an input read in order follows the umask.
  bool Open() {
    if (route_.to_stdout) return true;
    if (source_.Error() != 0) {
      ReportSystemError(route_.shown, "cannot open", source_.Error());
      return false;
    }
    file_.emplace(route_.output, source_);
    if (file_->IsOpen()) return true;
    ReportSystemError(route_.output, "cannot create", file_->Error());
    return false;
  }

  std::ostream& Stream() { return file_ ? file_->Stream() : static_cast<std::ostream&>(StandardOutput()); }

  // Gives the output the source's attributes and puts it in place (flushed
  // to disk first when `durable`). False (reported) when any step fails; a
  // file not committed is removed with this value, and one that could not
  // take the source's attributes is put in place private.
  bool Finish(bool durable) {
    if (!file_) {
      StandardOutput().flush();
      if (!StandardOutput()) {
        ReportWriteError(k_standard_output_name, StandardOutput().Error());
        return false;
      }
      return true;
    }
    const int carry_error = file_->Carry();
    if (int error = file_->Commit(durable)) {
      ReportSystemError(route_.output, "cannot write", error);
      return false;
    }
    if (carry_error != 0) {
      ReportSystemError(route_.output, "cannot copy the source's mode and times", carry_error);
      return false;
    }
    return true;
  }

 private:
  const Route& route_;
  SourceAttributes source_;
  std::optional<AtomicFile> file_;
};

// The codec's failures, named for the file concerned.
bool ReportStatus(const Route& route, CodecStatus status, int error) {
  switch (status) {
    case CodecStatus::ok:
      return true;
    case CodecStatus::read_failed:
      ReportSystemError(route.shown, "read error", error);
      return false;
    case CodecStatus::write_failed:
      ReportWriteError(route.to_stdout ? k_standard_output_name : route.output, error);
      return false;
    case CodecStatus::source_changed:
      ReportFileError(route.shown, "changed while it was being compressed");
      return false;
    case CodecStatus::not_compressed:
      ReportFileError(route.shown, "not a valid compressed file");
      return false;
    case CodecStatus::damaged:
      ReportFileError(route.shown, "damaged");
      return false;
    case CodecStatus::out_of_memory:
      ReportFileError(route.shown, "out of memory");
      return false;
  }
  return false;
}

// A restore's or a test's failure: the structural check failed, the check
// data disagrees, or the codec's other failures. True when there is none.
template <typename Result>
bool ReportRestoreStatus(const Route& route, const Result& result) {
  if (result.status == CodecStatus::not_compressed) {
    ReportFileError(route.shown, "not a valid compressed file: " + FaultText(result.fault) + " (at byte " +
                                     std::to_string(result.fault_offset) + ")");
    return false;
  }
  if (result.status == CodecStatus::damaged) {
    ReportFileError(route.shown, DamageText(result.damage, result.damaged_from, result.damaged_to));
    return false;
  }
  return ReportStatus(route, result.status, result.system_error);
}

// Takes every byte and keeps none: a read-back decodes into it.
class DiscardBuffer final : public std::streambuf {
 protected:
  std::streamsize xsputn(const char* /*bytes*/, std::streamsize count) override { return count; }
  int_type overflow(int_type byte) override { return traits_type::not_eof(byte); }
};

// With --rm, before the source goes: the compressed file, read back from
// the file system and restored into nothing, gives the source's length and
// the checksum of its content as it was read while compressing. False
// (reported, the source kept) when it does not.
bool CompressedReadsBack(Codec& codec, const Route& route, const CompressResult& written) {
  std::ifstream file(OpenablePath(route.output), std::ios::binary);
  if (file.is_open() && written.source_checksum_known) {
    DiscardBuffer discard;
    std::ostream nowhere(&discard);
    StreamSource compressed(file);
    const DecompressResult back = codec.Decompress(compressed, nowhere, {}, {.restored_checksum = true});
    if (back.status == CodecStatus::ok && back.restored_checksum_known &&
        back.restored_checksum == written.source_checksum && back.restored_bytes == written.source_bytes) {
      return true;
    }
  }
  ReportFileError(route.shown, "not removed: " + ShownName(route.output) + " read back does not restore it");
  return false;
}

// With --rm, before the compressed file goes: the restored file, read back
// from the file system, has the length and checksum of what the restore
// wrote, itself the trailer's for a checked file. False (reported, the
// compressed file kept) when it does not.
bool RestoredReadsBack(const Route& route, const DecompressResult& restored) {
  std::ifstream file(OpenablePath(route.output), std::ios::binary);
  if (file.is_open() && restored.restored_checksum_known) {
    const ChecksumResult back = ChecksumStream(file);
    if (back.checksum == restored.restored_checksum && back.bytes == restored.restored_bytes) return true;
  }
  ReportFileError(route.shown, "not removed: " + ShownName(route.output) + " read back differs from what was restored");
  return false;
}

// After a complete output (read back first with --rm): the source removed
// with --rm, the -v line, and its note after it.
// The -v line reads from input to output size; the ratio is always the
// compressed file's space saved, as in the -l table.
bool AfterOutput(const Preferences& preferences, const Route& route, std::uint64_t compressed_bytes,
                 std::uint64_t original_bytes, bool restored, const std::string& note = "") {
  if (preferences.remove_source && !route.in_order && !route.to_stdout) {
    if (int error = RemoveFile(route.source)) {
      ReportSystemError(route.shown, "cannot remove", error);
      return false;
    }
  }
  if (preferences.verbosity == Verbosity::verbose) {
    const std::uint64_t in = restored ? compressed_bytes : original_bytes;
    const std::uint64_t out = restored ? original_bytes : compressed_bytes;
    ReportLine(ShownName(route.shown) + ": " + std::to_string(in) + " -> " + std::to_string(out) + " bytes (ratio " +
               RatioText(compressed_bytes, original_bytes) + ")" + (note.empty() ? "" : ", " + note));
  }
  return true;
}

// Opens a named source for reading; standard input is already open.
std::istream* OpenSource(const Route& route, std::ifstream& file) {
  if (route.from_stdin) return &StandardInput();
  errno = 0;
  file.open(OpenablePath(route.source), std::ios::binary);
  if (!file.is_open()) {
    ReportSystemError(route.shown, "cannot open", errno);
    return nullptr;
  }
  return &file;
}

bool RefuseTerminal(const Preferences& preferences, const Route& route, bool compressed_out) {
  if (preferences.force) return false;
  if (compressed_out && route.to_stdout && IsTerminal(StandardStream::output)) {
    ReportFileError(route.shown, "compressed data not written to a terminal; use -f to force");
    return true;
  }
  if (!compressed_out && route.from_stdin && IsTerminal(StandardStream::input)) {
    ReportFileError(route.shown, "compressed data not read from a terminal; use -f to force");
    return true;
  }
  return false;
}

// A named input read in order, on a descriptor of its own, closed at the end.
class InOrderFile {
 public:
  explicit InOrderFile(const std::string& name) : fd_(OpenFdForReading(name)), error_(fd_ < 0 ? errno : 0) {
    if (fd_ >= 0) stream_ = std::make_unique<FdInputStream>(fd_);
  }
  ~InOrderFile() {
    stream_.reset();
    if (fd_ >= 0) CloseFd(fd_);
  }
  InOrderFile(const InOrderFile&) = delete;
  InOrderFile& operator=(const InOrderFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Error() const { return error_; }
  int Descriptor() const { return fd_; }
  FdInputStream& Stream() { return *stream_; }

 private:
  int fd_;
  int error_;
  std::unique_ptr<FdInputStream> stream_;
};

// Whether -dcf copies an input through unchanged rather than restore it,
// from the first fault the checks find in its start. An input whose
// dictionary fails is not compressed data: nothing was written when that was
// found, and it is copied whole, as the everyday decompressors copy data not
// in their format. One whose dictionary is well formed but whose codes fail
// is a damaged compressed file: an error, as without -f. `whole_input` says
// the start is the whole input, so a dictionary cut short is the input's own.
// A checked file (`checked`: its dictionary carries the check mark, or its
// end is a valid footer) is compressed data whatever its damage, so it is
// never copied. This is the one place that decides.
bool PassesThrough(FormatFault fault, bool whole_input, bool checked) {
  if (checked) return false;
  switch (fault) {
    case FormatFault::single_value:
    case FormatFault::bad_kind:
    case FormatFault::bad_label:
    case FormatFault::child_not_below:
    case FormatFault::not_one_tree:
    case FormatFault::duplicate_value:
      return true;
    case FormatFault::truncated_dictionary:
      return whole_input;
    case FormatFault::none:
    case FormatFault::empty_payload:
    case FormatFault::trailing_bits:
      return false;
  }
  return false;
}

// The start of an input that -dcf reads to decide on it: far more than any
// dictionary, so that the checks judge the whole dictionary.
constexpr std::size_t k_start_bytes = 64 * 1024;

// Yields the start already read, then the rest of the input: what the codec
// reads when -dcf restores the input after all.
class RejoinedBuffer final : public std::streambuf {
 public:
  RejoinedBuffer(std::string& start, std::streambuf& rest) : rest_(rest) {
    setg(start.data(), start.data(), start.data() + start.size());
  }

 protected:
  int_type underflow() override { return gptr() < egptr() ? traits_type::to_int_type(*gptr()) : rest_.sgetc(); }
  int_type uflow() override {
    if (gptr() < egptr()) {
      const int_type byte = traits_type::to_int_type(*gptr());
      gbump(1);
      return byte;
    }
    return rest_.sbumpc();
  }
  std::streamsize xsgetn(char* bytes, std::streamsize count) override {
    const std::streamsize held = std::min<std::streamsize>(count, egptr() - gptr());
    std::copy_n(gptr(), held, bytes);
    gbump(static_cast<int>(held));
    return held + (count > held ? rest_.sgetn(bytes + held, count - held) : 0);
  }

 private:
  std::streambuf& rest_;
};

// Copies `start` and the rest of `source` to `out` as they are; the
// caller's checks of both streams tell a failure.
void CopyThrough(const std::string& start, std::streambuf& source, std::ostream& out) {
  out.write(start.data(), static_cast<std::streamsize>(start.size()));
  std::vector<char> buffer(k_start_bytes);
  for (std::streamsize got = 0;
       out && (got = source.sgetn(buffer.data(), static_cast<std::streamsize>(buffer.size()))) > 0;) {
    out.write(buffer.data(), got);
  }
}

// A read error of a stream the caller opened: reported, true.
bool ReportReadError(const Route& route, std::istream& source) {
  const int error = route.from_stdin ? StandardInput().Error() : 0;
  if (error == 0 && !source.bad()) return false;
  ReportSystemError(route.shown, "read error", error);
  return true;
}

}  // namespace

bool CompressOne(Codec& codec, const Preferences& preferences, const std::string& operand) {
  Route route = BaseRoute(preferences, operand);
  if (!CheckSource(route) || !CheckOutputGiven(preferences, route) || RefuseTerminal(preferences, route, true)) {
    return false;
  }
  if (!route.to_stdout && !preferences.output_name) {
    if (StemLength(route.source, preferences.suffix) && !preferences.force) {
      ReportFileError(route.shown,
                      "already has the " + ShownName(preferences.suffix) + " suffix; use -f to compress it again");
      return false;
    }
    route.output = route.source + preferences.suffix;
  }
  if (!CheckOutputName(preferences, route) || !CheckRemovable(preferences, route)) return false;

  Destination destination(route);
  // A regular file is read at offsets, on every core; any other input in
  // order, held in memory or spilled.
  std::optional<PositionalFile> file;
  std::optional<InOrderFile> named_in_order;
  if (!route.in_order) {
    file.emplace(route.source);
    if (!file->IsOpen()) {
      ReportSystemError(route.shown, "cannot open", file->Error());
      return false;
    }
  } else if (!route.from_stdin) {
    named_in_order.emplace(route.source);
    if (!named_in_order->IsOpen()) {
      ReportSystemError(route.shown, "cannot open", named_in_order->Error());
      return false;
    }
  }
  if (!destination.Open()) return false;

  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  const bool removes = preferences.remove_source && !route.in_order && !route.to_stdout;
  const CompressOptions options{.checked = preferences.checked, .source_checksum = removes};
  CompressResult result;
  if (route.in_order) {
    const SpooledCompression spooled =
        route.from_stdin ? CompressInOrder(codec, StandardInput(), StandardInputDescriptor(), StandardInputRereadable(),
                                           destination.Stream(), meter.Callback(), options)
                         : CompressInOrder(codec, named_in_order->Stream(), named_in_order->Descriptor(), false,
                                           destination.Stream(), meter.Callback(), options);
    if (spooled.read_error != 0) {
      ReportSystemError(route.shown, "read error", spooled.read_error);
      return false;
    }
    if (spooled.spill_error != 0) {
      ReportSystemError(route.shown,
                        "cannot hold the input in a temporary file in " + ShownName(spooled.spill_directory),
                        spooled.spill_error);
      return false;
    }
    result = spooled.result;
  } else {
    OffsetSource source(file->Reader(), file->Size());
    result = codec.Compress(source, destination.Stream(), meter.Callback(), options);
  }
  meter.Erase();
  if (!ReportStatus(route, result.status, result.system_error)) return false;
  if (!destination.Finish(preferences.remove_source)) return false;
  file.reset();  // Windows removes no file that is open
  if (removes && !CompressedReadsBack(codec, route, result)) return false;
  return AfterOutput(preferences, route, result.compressed_bytes, result.source_bytes, false,
                     BareText(result.bare_reason));
}

bool DecompressOne(Codec& codec, const Preferences& preferences, const std::string& operand) {
  Route route = BaseRoute(preferences, operand);
  if (!CheckSource(route) || !CheckOutputGiven(preferences, route) || RefuseTerminal(preferences, route, false)) {
    return false;
  }
  if (!route.to_stdout && !preferences.output_name) {
    const std::string& suffix = preferences.suffix;
    const std::optional<std::size_t> stem = StemLength(route.source, suffix);
    if (!stem || *stem == 0 || route.source[*stem - 1] == '/') {
      ReportFileError(route.shown, "unknown suffix (expected " + ShownName(suffix) + "); use -c or -o to restore it");
      return false;
    }
    route.output = route.source.substr(0, *stem);
  }
  if (!CheckOutputName(preferences, route) || !CheckRemovable(preferences, route)) return false;

  Destination destination(route);
  std::ifstream file;
  std::istream* source = OpenSource(route, file);
  if (source == nullptr) return false;
  if (!destination.Open()) return false;

  // -dcf reads the input's start first and judges it: data that is not
  // compressed goes through unchanged; anything else is restored from that
  // start on.
  std::string start;
  std::optional<RejoinedBuffer> rejoined;
  std::optional<std::istream> rejoined_stream;
  if (preferences.force && route.to_stdout) {
    start.resize(k_start_bytes);
    start.resize(
        static_cast<std::size_t>(source->rdbuf()->sgetn(start.data(), static_cast<std::streamsize>(start.size()))));
    if (ReportReadError(route, *source)) return false;
    const bool whole_input = start.size() < k_start_bytes || source->rdbuf()->sgetc() == std::char_traits<char>::eof();
    const std::span<const std::uint8_t> start_bytes(reinterpret_cast<const std::uint8_t*>(start.data()), start.size());
    MemorySource start_only(start_bytes);
    const FormatFault fault = codec.Test(start_only).fault;
    // Decoded without the structural checks, the start shows its check data
    // even where the dictionary fails them: the mark, or (when it is the
    // whole input) the footer.
    MemorySource start_again(start_bytes);
    DiscardBuffer discard;
    std::ostream nowhere(&discard);
    bool checked = codec.Decompress(start_again, nowhere, {}, {.check_format = false}).checked;
    // A file's own end is read too: a checked file whose dictionary was
    // damaged still ends in its check data.
    if (!checked && !route.in_order) {
      const PositionalFile whole(route.source);
      OffsetSource whole_source(whole.Reader(), whole.Size());
      checked = whole.IsOpen() && codec.Summarize(whole_source).ends_in_check_data;
    }
    if (PassesThrough(fault, whole_input, checked)) {
      CopyThrough(start, *source->rdbuf(), destination.Stream());
      if (ReportReadError(route, *source) || !destination.Finish(false)) return false;
      if (preferences.verbosity == Verbosity::verbose) {
        ReportLine(ShownName(route.shown) + ": not compressed data, copied unchanged");
      }
      return true;
    }
    rejoined.emplace(start, *source->rdbuf());
    rejoined_stream.emplace(&*rejoined);
    source = &*rejoined_stream;
  }

  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  // The checks of -t come first: a failing file is refused, its output
  // discarded.
  const bool removes = preferences.remove_source && !route.in_order && !route.to_stdout;
  StreamSource compressed(*source);
  const DecompressResult result =
      codec.Decompress(compressed, destination.Stream(), meter.Callback(), {.restored_checksum = removes});
  meter.Erase();
  if (route.from_stdin && StandardInput().Error() != 0) {
    ReportSystemError(route.shown, "read error", StandardInput().Error());
    return false;
  }
  if (!ReportRestoreStatus(route, result)) return false;
  if (!destination.Finish(preferences.remove_source)) return false;
  file.close();  // Windows removes no file that is open
  if (removes && !RestoredReadsBack(route, result)) return false;
  return AfterOutput(preferences, route, result.compressed_bytes, result.restored_bytes, true);
}

namespace {

// Decodes one input into nothing, checking it; reports every failure.
std::optional<TestResult> CheckOne(Codec& codec, const Preferences& preferences, const std::string& operand,
                                   Route& route) {
  route = BaseRoute(preferences, operand);
  if (!CheckSource(route) || RefuseTerminal(preferences, route, false)) return std::nullopt;
  std::ifstream file;
  std::istream* source = OpenSource(route, file);
  if (source == nullptr) return std::nullopt;
  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  StreamSource compressed(*source);
  const TestResult result = codec.Test(compressed, meter.Callback());
  meter.Erase();
  if (route.from_stdin && StandardInput().Error() != 0) {
    ReportSystemError(route.shown, "read error", StandardInput().Error());
    return std::nullopt;
  }
  if (!ReportRestoreStatus(route, result)) return std::nullopt;
  return result;
}

}  // namespace

bool TestOne(Codec& codec, const Preferences& preferences, const std::string& operand) {
  Route route;
  const std::optional<TestResult> result = CheckOne(codec, preferences, operand, route);
  if (!result) return false;
  if (preferences.verbosity == Verbosity::verbose) {
    ReportLine(ShownName(route.shown) + (result->checked ? ": OK (checked)" : ": OK (structure only: no check data)"));
  }
  return true;
}

// A checked regular file is listed from its ends, as its trailer and
// dictionary say, without decoding: -l trusts the check data, -t verifies
// it. Any other file is decoded, and checked as -t checks it.
bool ListOne(Codec& codec, const Preferences& preferences, const std::string& operand, ListTable& table) {
  Route route = BaseRoute(preferences, operand);
  if (!CheckSource(route)) return false;
  if (!route.in_order) {
    const PositionalFile file(route.source);
    if (!file.IsOpen()) {
      ReportSystemError(route.shown, "cannot open", file.Error());
      return false;
    }
    OffsetSource source(file.Reader(), file.Size());
    const Summary summary = codec.Summarize(source);
    if (!ReportStatus(route, summary.status, summary.system_error)) return false;
    if (summary.checked) {
      const ListRow row{.compressed_bytes = summary.compressed_bytes,
                        .original_bytes = summary.original_bytes,
                        .leaves = summary.leaves,
                        .dictionary_bytes = summary.dictionary_bytes,
                        .checked = true,
                        .shown_name = ShownName(route.shown)};
      table.Add(row, summary.codes);
      return true;
    }
  }
  const std::optional<TestResult> result = CheckOne(codec, preferences, operand, route);
  if (!result) return false;
  const ListRow row{.compressed_bytes = result->compressed_bytes,
                    .original_bytes = result->restored_bytes,
                    .leaves = result->leaves,
                    .dictionary_bytes = result->dictionary_bytes,
                    .checked = result->checked,
                    .shown_name = ShownName(route.shown)};
  table.Add(row, result->codes);
  return true;
}

}  // namespace huffman::cli
