#include "cli/file_jobs.h"

#include <cerrno>
#include <fstream>
#include <functional>
#include <optional>

#include "cli/messages.h"
#include "cli/progress_meter.h"
#include "cli/ratio.h"
#include "cli/stdin_spool.h"
#include "codec/operations.h"
#include "platform/atomic_file.h"
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
  bool to_stdout = false;
  std::string output;  // the output's name when it is a file
};

// The input exists and is a regular file (a link to one included); standard
// input needs no check.
bool CheckSource(const Route& route) {
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
    case FileKind::other:
      ReportFileError(route.shown, "not a regular file");
      return false;
  }
  return false;
}

Route BaseRoute(const Preferences& preferences, const std::string& operand) {
  Route route;
  route.source = operand;
  route.from_stdin = operand == k_standard_input;
  route.shown = route.from_stdin ? std::string(k_standard_input_name) : operand;
  route.to_stdout = preferences.to_stdout || (route.from_stdin && !preferences.output_name);
  if (preferences.output_name) route.output = *preferences.output_name;
  return route;
}

// A named output must end in a name a file can have (on Windows, CON or
// NUL.huf would open a device); it may replace an existing file only with
// -f, and never the input itself (by any path or link), which the operation
// is reading.
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
  if (!preferences.force) {
    ReportFileError(route.output, "already exists; use -f to replace it");
    return false;
  }
  return true;
}

// Where the output of one run goes, and what its end needs done.
class Destination {
 public:
  explicit Destination(const Route& route) : route_(route) {
    if (route.to_stdout) return;
    // A file compressed from a private source is private until it gets the
    // source's permission bits; one from standard input follows the umask.
    std::optional<PrivateNewFiles> private_files;
    if (!route.from_stdin) private_files.emplace();
    file_.emplace(route.output);
  }

  // False (reported) when the output cannot be created.
  bool Open() {
    if (!file_ || file_->IsOpen()) return true;
    ReportSystemError(route_.output, "cannot create", file_->Error());
    return false;
  }

  std::ostream& Stream() { return file_ ? file_->Stream() : static_cast<std::ostream&>(StandardOutput()); }

  // Puts the output in place (flushed to disk first when `durable`), and
  // gives it the source's permission bits and times. False (reported) when
  // any step fails; a file not committed is removed with this value.
  bool Finish(bool durable) {
    if (!file_) {
      StandardOutput().flush();
      if (!StandardOutput()) {
        ReportSystemError(k_standard_output_name, "write error", StandardOutput().Error());
        return false;
      }
      return true;
    }
    if (int error = file_->Commit(durable)) {
      ReportSystemError(route_.output, "cannot write", error);
      return false;
    }
    if (!route_.from_stdin) {
      if (int error = CopyModeAndTimes(route_.source, route_.output)) {
        ReportSystemError(route_.output, "cannot copy the source's mode and times", error);
        return false;
      }
    }
    return true;
  }

 private:
  const Route& route_;
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
      ReportSystemError(route.to_stdout ? k_standard_output_name : route.output, "write error", error);
      return false;
    case CodecStatus::source_changed:
      ReportFileError(route.shown, "changed while it was being compressed");
      return false;
    case CodecStatus::not_compressed:
    case CodecStatus::damaged:
      ReportFileError(route.shown, "not a valid compressed file");
      return false;
  }
  return false;
}

// After a complete output: the source removed with --rm, the -v line.
// The -v line reads from input to output size; the ratio is always
// compressed over original, as in the -l table.
bool AfterOutput(const Preferences& preferences, const Route& route, std::uint64_t compressed_bytes,
                 std::uint64_t original_bytes, bool restored) {
  if (preferences.remove_source && !route.from_stdin && !route.to_stdout) {
    if (int error = RemoveFile(route.source)) {
      ReportSystemError(route.shown, "cannot remove", error);
      return false;
    }
  }
  if (preferences.verbosity == Verbosity::verbose) {
    const std::uint64_t in = restored ? compressed_bytes : original_bytes;
    const std::uint64_t out = restored ? original_bytes : compressed_bytes;
    ReportLine(ShownName(route.shown) + ": " + std::to_string(in) + " -> " + std::to_string(out) + " bytes (" +
               RatioText(compressed_bytes, original_bytes) + ")");
  }
  return true;
}

// Opens a named source for reading; standard input is already open.
std::istream* OpenSource(const Route& route, std::ifstream& file) {
  if (route.from_stdin) return &StandardInput();
  errno = 0;
  file.open(PathOf(route.source), std::ios::binary);
  if (!file.is_open()) {
    ReportSystemError(route.shown, "cannot open", errno);
    return nullptr;
  }
  return &file;
}

// A file that fails the structural checks, with the first check it fails.
void ReportFault(const Route& route, FormatFault fault, std::uint64_t offset) {
  ReportFileError(route.shown,
                  "not a valid compressed file: " + FaultText(fault) + " (at byte " + std::to_string(offset) + ")");
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

}  // namespace

bool CompressOne(const Preferences& preferences, const std::string& operand) {
  Route route = BaseRoute(preferences, operand);
  if (!CheckSource(route) || RefuseTerminal(preferences, route, true)) return false;
  if (!route.to_stdout && !preferences.output_name) {
    if (route.source.ends_with(preferences.suffix) && !preferences.force) {
      ReportFileError(route.shown,
                      "already has the " + ShownName(preferences.suffix) + " suffix; use -f to compress it again");
      return false;
    }
    route.output = route.source + preferences.suffix;
  }
  if (!CheckOutputName(preferences, route)) return false;

  // A named file is read at offsets, on every core; standard input in order.
  std::optional<PositionalFile> file;
  if (!route.from_stdin) {
    file.emplace(route.source);
    if (!file->IsOpen()) {
      ReportSystemError(route.shown, "cannot open", file->Error());
      return false;
    }
  }
  Destination destination(route);
  if (!destination.Open()) return false;

  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  CompressResult result;
  if (route.from_stdin) {
    const SpooledCompression spooled = CompressStandardInput(destination.Stream(), meter.Callback());
    if (spooled.read_error != 0) {
      ReportSystemError(route.shown, "read error", spooled.read_error);
      return false;
    }
    if (spooled.spill_error != 0) {
      ReportSystemError(route.shown, "cannot hold the input in a temporary file", spooled.spill_error);
      return false;
    }
    result = spooled.result;
  } else {
    result = CompressAt(file->Reader(), file->Size(), destination.Stream(), meter.Callback());
  }
  meter.Erase();
  if (!ReportStatus(route, result.status, result.system_error)) return false;
  if (!destination.Finish(preferences.remove_source)) return false;
  file.reset();  // Windows removes no file that is open
  return AfterOutput(preferences, route, result.compressed_bytes, result.source_bytes, false);
}

bool DecompressOne(const Preferences& preferences, const std::string& operand) {
  Route route = BaseRoute(preferences, operand);
  if (!CheckSource(route) || RefuseTerminal(preferences, route, false)) return false;
  if (!route.to_stdout && !preferences.output_name) {
    const std::string& suffix = preferences.suffix;
    if (!route.source.ends_with(suffix) || route.source.size() == suffix.size() ||
        route.source.ends_with("/" + suffix)) {
      ReportFileError(route.shown, "unknown suffix (expected " + ShownName(suffix) + "); use -c or -o to restore it");
      return false;
    }
    route.output = route.source.substr(0, route.source.size() - suffix.size());
  }
  if (!CheckOutputName(preferences, route)) return false;

  std::ifstream file;
  std::istream* source = OpenSource(route, file);
  if (source == nullptr) return false;
  Destination destination(route);
  if (!destination.Open()) return false;

  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  // The checks of -t come first: a failing file is refused (its output
  // discarded) unless forced, and then decoded as the record walk decodes it.
  const DecompressResult result = DeCompressStream(*source, destination.Stream(), meter.Callback(), !preferences.force);
  meter.Erase();
  if (route.from_stdin && StandardInput().Error() != 0) {
    ReportSystemError(route.shown, "read error", StandardInput().Error());
    return false;
  }
  if (result.status == CodecStatus::not_compressed) {
    ReportFault(route, result.fault, result.fault_offset);
    return false;
  }
  if (!ReportStatus(route, result.status, result.system_error)) return false;
  if (!destination.Finish(preferences.remove_source)) return false;
  file.close();  // Windows removes no file that is open
  return AfterOutput(preferences, route, result.compressed_bytes, result.restored_bytes, true);
}

namespace {

// Decodes one input into nothing, checking it; reports every failure.
std::optional<TestResult> CheckOne(const Preferences& preferences, const std::string& operand, Route& route) {
  route = BaseRoute(preferences, operand);
  if (!CheckSource(route) || RefuseTerminal(preferences, route, false)) return std::nullopt;
  std::ifstream file;
  std::istream* source = OpenSource(route, file);
  if (source == nullptr) return std::nullopt;
  ProgressMeter meter(route.shown, preferences.verbosity != Verbosity::quiet);
  const TestResult result = TestStream(*source, meter.Callback());
  meter.Erase();
  if (route.from_stdin && StandardInput().Error() != 0) {
    ReportSystemError(route.shown, "read error", StandardInput().Error());
    return std::nullopt;
  }
  if (result.status == CodecStatus::not_compressed) {
    ReportFault(route, result.fault, result.fault_offset);
    return std::nullopt;
  }
  if (!ReportStatus(route, result.status, result.system_error)) return std::nullopt;
  return result;
}

}  // namespace

bool TestOne(const Preferences& preferences, const std::string& operand) {
  Route route;
  if (!CheckOne(preferences, operand, route)) return false;
  if (preferences.verbosity == Verbosity::verbose) ReportLine(ShownName(route.shown) + ": OK");
  return true;
}

bool ListOne(const Preferences& preferences, const std::string& operand, ListTable& table) {
  Route route;
  const std::optional<TestResult> result = CheckOne(preferences, operand, route);
  if (!result) return false;
  ListRow row;
  row.compressed_bytes = result->compressed_bytes;
  row.original_bytes = result->restored_bytes;
  row.leaves = result->leaves;
  row.dictionary_bytes = result->dictionary_bytes;
  row.shown_name = ShownName(route.shown);
  table.Add(row, result->codes);
  return true;
}

}  // namespace huffman::cli
