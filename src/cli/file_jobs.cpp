#include "cli/file_jobs.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "cli/messages.h"
#include "cli/progress_meter.h"
#include "cli/ratio.h"
#include "cli/stdin_spool.h"
#include "huffman/codec.h"
#include "jobs/runs.h"
#include "platform/file_identity.h"
#include "platform/file_name.h"
#include "platform/file_status.h"
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
bool CheckSource(Route& route, const jobs::InputFile& input) {
  if (route.from_stdin) return true;
  const FileStatus& status = input.Status();
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

// The input of a route: standard input, or the named file, examined once.
jobs::InputFile InputOf(const Route& route) {
  if (route.from_stdin) return jobs::InputFile();
  return jobs::InputFile(route.source, OutputTimes::source);
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

// Where the output of a route goes: standard output, or the named file.
jobs::OutputFile OutputOf(const Route& route) {
  if (route.to_stdout) return jobs::OutputFile();
  return jobs::OutputFile(route.output);
}

// A complete output is flushed to disk first with --rm, which is to remove
// its source; one that could not take the source's attributes is put in
// place private, and the failure reported.
jobs::Placing PlacingOf(const Preferences& preferences) {
  return {.durable = preferences.remove_source, .private_without_attributes = true};
}

// The codec's failures, named for the file concerned.
void ReportCodecFailure(const Route& route, const jobs::JobFailure& failure) {
  switch (failure.status) {
    case CodecStatus::ok:
      return;
    case CodecStatus::read_failed:
      ReportSystemError(route.shown, "read error", failure.error);
      return;
    case CodecStatus::write_failed:
      ReportWriteError(route.to_stdout ? k_standard_output_name : route.output, failure.error);
      return;
    case CodecStatus::source_changed:
      ReportFileError(route.shown, "changed while it was being compressed");
      return;
    case CodecStatus::not_compressed:
      ReportFileError(route.shown, "not a valid compressed file: " + FaultText(failure.fault) + " (at byte " +
                                       std::to_string(failure.fault_offset) + ")");
      return;
    case CodecStatus::damaged:
      ReportFileError(route.shown, DamageText(failure.damage, failure.damaged_from, failure.damaged_to));
      return;
    case CodecStatus::out_of_memory:
      ReportFileError(route.shown, "out of memory");
      return;
  }
}

// A file job's failure, named for the file concerned. The input's kind is
// checked (CheckSource) before any job runs on it.
void ReportFailure(const Route& route, const jobs::JobFailure& failure) {
  switch (failure.step) {
    case jobs::JobStep::examine:
      ReportFileError(route.shown, failure.kind == FileKind::missing     ? SystemReason(failure.error)
                                   : failure.kind == FileKind::directory ? "is a directory"
                                                                         : "not a regular file or a pipe");
      return;
    case jobs::JobStep::open:
      ReportSystemError(route.shown, "cannot open", failure.error);
      return;
    case jobs::JobStep::create:
      ReportSystemError(route.output, "cannot create", failure.error);
      return;
    case jobs::JobStep::code:
      ReportCodecFailure(route, failure);
      return;
    case jobs::JobStep::carry:
      ReportSystemError(route.output, "cannot copy the source's mode and times", failure.error);
      return;
    case jobs::JobStep::place:
      if (route.to_stdout) {
        ReportWriteError(k_standard_output_name, failure.error);
      } else {
        ReportSystemError(route.output, "cannot write", failure.error);
      }
      return;
  }
}

// Reports a failure, if any; true when there was none.
bool Succeeded(const Route& route, const std::optional<jobs::JobFailure>& failure) {
  if (failure) ReportFailure(route, *failure);
  return !failure;
}

// Opens a named input as the route reads it: a regular file at offsets and
// in order, anything else once, in order. Reports a failure.
bool OpenInput(const Route& route, jobs::InputFile& input) {
  return Succeeded(route, route.in_order ? input.OpenInOrder() : input.Open());
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

// Reads `input` into `bytes`, up to its size or the input's end; false,
// with the errno in `error`, when a read fails.
bool ReadStart(jobs::InputFile& input, std::string& bytes, int& error) {
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const std::int64_t got =
        input.Read({reinterpret_cast<std::uint8_t*>(bytes.data()) + filled, bytes.size() - filled}, error);
    if (got < 0) return false;
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  bytes.resize(filled);
  return true;
}

// Copies `start` and the rest of `input` to `out` as they are; false, with
// the errno in `error`, when a read fails. The caller's check of `out` tells
// a failed write.
bool CopyThrough(const std::string& start, jobs::InputFile& input, std::ostream& out, int& error) {
  out.write(start.data(), static_cast<std::streamsize>(start.size()));
  std::vector<std::uint8_t> buffer(k_start_bytes);
  std::int64_t got = 0;
  while (out && (got = input.Read(buffer, error)) > 0) {
    out.write(reinterpret_cast<const char*>(buffer.data()), got);
  }
  return got >= 0;
}

}  // namespace

bool CompressOne(Codec& codec, const Preferences& preferences, const std::string& operand) {
  Route route = BaseRoute(preferences, operand);
  jobs::InputFile input = InputOf(route);
  if (!CheckSource(route, input) || !CheckOutputGiven(preferences, route) || RefuseTerminal(preferences, route, true)) {
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

  jobs::OutputFile output = OutputOf(route);
  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  const bool removes = preferences.remove_source && !route.in_order && !route.to_stdout;
  const CompressOptions options{.checked = preferences.checked, .source_checksum = removes};
  CompressResult result;
  if (route.in_order) {
    // Any input but a regular file is read once, in order: held in memory,
    // or spilled. The output follows the umask.
    if (!OpenInput(route, input) || !Succeeded(route, output.Create(input.Attributes()))) return false;
    const SpooledCompression spooled =
        CompressInOrder(codec, input.DescriptorStream(), input.Descriptor(),
                        route.from_stdin && StandardInputRereadable(), output.Stream(), meter.Callback(), options);
    meter.Erase();
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
    if (!Succeeded(route, jobs::CodecFailure(result, route.shown, route.output)) ||
        !Succeeded(route, output.Finish(PlacingOf(preferences)))) {
      return false;
    }
  } else {
    // A regular file is read at offsets, on every core.
    const jobs::Outcome<CompressResult> outcome =
        jobs::CompressFile(codec, input, output, PlacingOf(preferences), meter.Callback(), options);
    meter.Erase();
    if (!Succeeded(route, outcome.failure)) return false;
    result = outcome.result;
  }
  input.Close();  // Windows removes no file that is open
  if (removes && !CompressedReadsBack(codec, route, result)) return false;
  return AfterOutput(preferences, route, result.compressed_bytes, result.source_bytes, false,
                     BareText(result.bare_reason));
}

bool DecompressOne(Codec& codec, const Preferences& preferences, const std::string& operand) {
  Route route = BaseRoute(preferences, operand);
  jobs::InputFile input = InputOf(route);
  if (!CheckSource(route, input) || !CheckOutputGiven(preferences, route) ||
      RefuseTerminal(preferences, route, false)) {
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

  jobs::OutputFile output = OutputOf(route);
  if (!OpenInput(route, input) || !Succeeded(route, output.Create(input.Attributes()))) return false;

  // -dcf reads the input's start first and judges it: data that is not
  // compressed goes through unchanged; anything else is restored from that
  // start on.
  if (preferences.force && route.to_stdout) {
    // One byte more than is judged tells whether the start is the whole input.
    std::string start(k_start_bytes + 1, '\0');
    int error = 0;
    if (!ReadStart(input, start, error)) {
      ReportSystemError(route.shown, "read error", error);
      return false;
    }
    const bool whole_input = start.size() <= k_start_bytes;
    const std::span<const std::uint8_t> judged(reinterpret_cast<const std::uint8_t*>(start.data()),
                                               std::min(start.size(), k_start_bytes));
    MemorySource start_only(judged);
    const FormatFault fault = codec.Test(start_only).fault;
    // Decoded without the structural checks, the start shows its check data
    // even where the dictionary fails them: the mark, or (when it is the
    // whole input) the footer.
    MemorySource start_again(judged);
    DiscardBuffer discard;
    std::ostream nowhere(&discard);
    bool checked = codec.Decompress(start_again, nowhere, {}, {.check_format = false}).checked;
    // A file's own end is read too: a checked file whose dictionary was
    // damaged still ends in its check data.
    if (!checked && input.ReadsAtOffsets()) {
      const jobs::Outcome<Summary> summary = jobs::SummarizeFile(codec, input);
      checked = !summary.failure && summary.result.ends_in_check_data;
    }
    if (PassesThrough(fault, whole_input, checked)) {
      if (!CopyThrough(start, input, output.Stream(), error)) {
        ReportSystemError(route.shown, "read error", error);
        return false;
      }
      if (!Succeeded(route, output.Finish({}))) return false;
      if (preferences.verbosity == Verbosity::verbose) {
        ReportLine(ShownName(route.shown) + ": not compressed data, copied unchanged");
      }
      return true;
    }
    input.PutBack(std::move(start));
  }

  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  // The checks of -t come first: a failing file is refused, its output
  // discarded.
  const bool removes = preferences.remove_source && !route.in_order && !route.to_stdout;
  const jobs::Outcome<DecompressResult> outcome =
      jobs::RestoreFile(codec, input, output, PlacingOf(preferences), meter.Callback(), {.restored_checksum = removes});
  meter.Erase();
  if (!Succeeded(route, outcome.failure)) return false;
  input.Close();  // Windows removes no file that is open
  if (removes && !RestoredReadsBack(route, outcome.result)) return false;
  return AfterOutput(preferences, route, outcome.result.compressed_bytes, outcome.result.restored_bytes, true);
}

namespace {

// Decodes an input into nothing, checking it; reports every failure.
std::optional<TestResult> CheckInput(Codec& codec, const Preferences& preferences, const Route& route,
                                     jobs::InputFile& input) {
  if (RefuseTerminal(preferences, route, false) || !OpenInput(route, input)) return std::nullopt;
  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  jobs::Outcome<TestResult> outcome = jobs::TestFile(codec, input, meter.Callback());
  meter.Erase();
  if (!Succeeded(route, outcome.failure)) return std::nullopt;
  return std::move(outcome.result);
}

}  // namespace

bool TestOne(Codec& codec, const Preferences& preferences, const std::string& operand) {
  Route route = BaseRoute(preferences, operand);
  jobs::InputFile input = InputOf(route);
  if (!CheckSource(route, input)) return false;
  const std::optional<TestResult> result = CheckInput(codec, preferences, route, input);
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
  jobs::InputFile input = InputOf(route);
  if (!CheckSource(route, input)) return false;
  if (!route.in_order) {
    const jobs::Outcome<Summary> outcome = jobs::SummarizeFile(codec, input);
    if (!Succeeded(route, outcome.failure)) return false;
    const Summary& summary = outcome.result;
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
  const std::optional<TestResult> result = CheckInput(codec, preferences, route, input);
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
