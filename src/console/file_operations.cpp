#include "console/file_operations.h"

#include <cerrno>
#include <fstream>
#include <functional>
#include <optional>

#include "console/failure.h"
#include "console/progress.h"
#include "console/prompts.h"
#include "console/screen.h"
#include "huffman/codec.h"
#include "platform/atomic_file.h"
#include "platform/file_identity.h"
#include "platform/file_name.h"
#include "platform/file_status.h"
#include "platform/positional_file.h"
#include "platform/terminal.h"

namespace huffman {
namespace {

constexpr char k_new_file_suffix[] = ".txt";

// The new name is refused before anything is opened: it must name a file in
// the working directory, and not the chosen file itself (by any path or
// link), which the operation is about to read.
std::optional<Failure> RefuseNewName(const std::string& file_Name, const std::string& new_name) {
  if (!IsPlainFileName(new_name)) return Failure{FailureKind::bad_name, new_name};
  if (SameFile(file_Name, new_name)) return Failure{FailureKind::same_as_source, new_name};
  return std::nullopt;
}

// Only a regular file (a link to one included) is read: a directory cannot
// be, a pipe could block the program, and a device might never end.
std::optional<Failure> OpenSource(const std::string& file_Name, std::ifstream& source) {
  const FileStatus status = StatusOf(file_Name);
  if (status.kind == FileKind::missing || status.kind == FileKind::directory) {
    return Failure{FailureKind::cannot_read, file_Name, status.error};
  }
  if (status.kind != FileKind::regular) return Failure{FailureKind::not_a_file, file_Name};
  errno = 0;
  source.open(OpenablePath(file_Name), std::ios::binary);
  if (!source.is_open()) return Failure{FailureKind::cannot_read, file_Name, errno};
  return std::nullopt;
}

// What a codec run reports back: its status, the system error recorded
// where its read or write failed, and why a file was not a compressed one.
struct CodecOutcome {
  CodecStatus status;
  int system_error = 0;
  FormatFault fault = FormatFault::none;  // with not_compressed
  Damage damage = Damage::none;           // with damaged
  std::uint64_t damaged_from = 0;
  std::uint64_t damaged_to = 0;
};

// Runs `codec` from the chosen file into a temporary file, and puts that in
// place under `new_name` only when every step succeeded.
using CodecRun = std::function<CodecOutcome(std::istream&, std::ostream&, const ProgressFn&)>;

std::optional<Failure> WriteNewFile(const std::string& file_Name, const std::string& new_name, const CodecRun& codec,
                                    ProgressLine& progress) {
  // The new file is the user's, named by them: it keeps the times of its
  // writing, and gets the chosen file's permission bits, owner and group.
  const SourceAttributes attributes = SourceAttributes::Take(file_Name, OutputTimes::written);
  std::ifstream source;
  if (std::optional<Failure> failure = OpenSource(file_Name, source)) return failure;
  if (attributes.Error() != 0) return Failure{FailureKind::cannot_read, file_Name, attributes.Error()};
  AtomicFile output(new_name, attributes);
  if (!output.IsOpen()) return Failure{FailureKind::cannot_write, new_name, output.Error()};
  const CodecOutcome outcome = codec(
      source, output.Stream(), [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
  switch (outcome.status) {
    case CodecStatus::ok:
      break;
    case CodecStatus::read_failed:
      return Failure{FailureKind::cannot_read, file_Name, outcome.system_error};
    case CodecStatus::write_failed:
      return Failure{FailureKind::cannot_write, new_name, outcome.system_error};
    case CodecStatus::source_changed:
      return Failure{FailureKind::source_changed, file_Name};
    // What was written before the fault or the damage was found is
    // discarded with the uncommitted output.
    case CodecStatus::not_compressed:
      return Failure{FailureKind::not_compressed, file_Name, 0, outcome.fault};
    case CodecStatus::damaged:
      return Failure{.kind = FailureKind::damaged,
                     .file = file_Name,
                     .damage = outcome.damage,
                     .damaged_from = outcome.damaged_from,
                     .damaged_to = outcome.damaged_to};
    case CodecStatus::out_of_memory:
      return Failure{FailureKind::out_of_memory, file_Name};
  }
  // A file that cannot take the chosen file's attributes is not put in
  // place: a failure screen means that nothing was written.
  if (int carry_error = output.Carry()) return Failure{FailureKind::cannot_write, new_name, carry_error};
  if (int commit_error = output.Commit()) {
    return Failure{FailureKind::cannot_write, new_name, commit_error};
  }
  return std::nullopt;
}

// The dialogue both operations share: the name prompt, the progress screen,
// the work, then the closing screen (the operation's own on success, the
// failure line otherwise) and its key wait.
bool RunOperation(const std::string& file_Name, const char* name_prompt, const char* working_text,
                  const CodecRun& codec, const std::function<void()>& print_success, const char* success_closing) {
  ResetScreen();
  std::fputs(name_prompt, stdout);
  std::optional<std::string> typed = ReadNewName();
  if (!typed) return false;
  const std::string new_name = *typed + k_new_file_suffix;

  std::optional<Failure> failure = RefuseNewName(file_Name, new_name);
  if (!failure) {
    ResetScreen();
    ProgressLine progress(working_text);
    failure = WriteNewFile(file_Name, new_name, codec, progress);
  }

  ResetScreen();
  if (failure) {
    PrintFailureLine(DescribeFailure(*failure));
    std::fputs(k_back_to_menu, stdout);
  } else {
    print_success();
    std::fputs(success_closing, stdout);
  }
  return WaitForKey();
}

}  // namespace

bool CompressFile(Codec& codec, const std::string& file_Name) {
  CompressResult result;
  return RunOperation(
      file_Name, k_compress_name_prompt, k_compressing,
      [&codec, &result, &file_Name](std::istream& /*source*/, std::ostream& compressed, const ProgressFn& progress) {
        // The file is read again at offsets, on every core, rather than in
        // order through the stream.
        const PositionalFile file(file_Name);
        if (!file.IsOpen()) return CodecOutcome{CodecStatus::read_failed, file.Error()};
        OffsetSource source(file.Reader(), file.Size());
        result = codec.Compress(source, compressed, progress);
        return CodecOutcome{result.status, result.system_error};
      },
      [&result] { PrintSummary(result); }, k_back_to_menu);
}

bool DeCompressFile(Codec& codec, const std::string& file_Name) {
  return RunOperation(
      file_Name, k_decompress_name_prompt, k_decompressing,
      [&codec](std::istream& compressed, std::ostream& restored, const ProgressFn& progress) {
        StreamSource source(compressed);
        const DecompressResult result = codec.Decompress(source, restored, progress);
        return CodecOutcome{result.status, result.system_error, result.fault,
                            result.damage, result.damaged_from, result.damaged_to};
      },
      [] {}, k_decompress_closing);
}

}  // namespace huffman
