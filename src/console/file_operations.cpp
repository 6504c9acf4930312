#include "console/file_operations.h"

#include <functional>
#include <optional>

#include "console/failure.h"
#include "console/progress.h"
#include "console/prompts.h"
#include "console/screen.h"
#include "huffman/codec.h"
#include "jobs/runs.h"
#include "platform/file_identity.h"
#include "platform/file_name.h"
#include "platform/file_status.h"
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

// A failed job as the screen's failure. Only a regular file is read: a
// directory cannot be, a pipe could block the program, and a device might
// never end.
Failure FailureOf(const jobs::JobFailure& failure) {
  switch (failure.step) {
    case jobs::JobStep::examine:
      if (failure.kind == FileKind::missing || failure.kind == FileKind::directory) {
        return Failure{FailureKind::cannot_read, failure.file, failure.error};
      }
      return Failure{FailureKind::not_a_file, failure.file};
    case jobs::JobStep::open:
      return Failure{FailureKind::cannot_read, failure.file, failure.error};
    case jobs::JobStep::create:
    case jobs::JobStep::carry:
    case jobs::JobStep::place:
      return Failure{FailureKind::cannot_write, failure.file, failure.error};
    case jobs::JobStep::code:
      break;
  }
  switch (failure.status) {
    case CodecStatus::ok:
    case CodecStatus::read_failed:
      return Failure{FailureKind::cannot_read, failure.file, failure.error};
    case CodecStatus::write_failed:
      return Failure{FailureKind::cannot_write, failure.file, failure.error};
    case CodecStatus::source_changed:
      return Failure{FailureKind::source_changed, failure.file};
    // What was written before the fault or the damage was found is
    // discarded with the uncommitted output.
    case CodecStatus::not_compressed:
      return Failure{FailureKind::not_compressed, failure.file, 0, failure.fault};
    case CodecStatus::damaged:
      return Failure{.kind = FailureKind::damaged,
                     .file = failure.file,
                     .damage = failure.damage,
                     .damaged_from = failure.damaged_from,
                     .damaged_to = failure.damaged_to};
    case CodecStatus::out_of_memory:
      return Failure{FailureKind::out_of_memory, failure.file};
  }
  return Failure{FailureKind::cannot_read, failure.file, failure.error};
}

// One operation's job, from the chosen file into the new one.
using Job = std::function<std::optional<jobs::JobFailure>(jobs::InputFile&, jobs::OutputFile&, const ProgressFn&)>;

// The new file is the user's, named by them: it keeps the times of its
// writing, and gets the chosen file's permission bits, owner and group. It is
// put in place only when every step succeeded, those attributes included: a
// failure screen means that nothing was written.
std::optional<Failure> WriteNewFile(const std::string& file_Name, const std::string& new_name, const Job& job,
                                    ProgressLine& progress) {
  jobs::InputFile input(file_Name, OutputTimes::written);
  jobs::OutputFile output(new_name);
  const std::optional<jobs::JobFailure> failure =
      job(input, output, [&progress](std::uint64_t done, std::uint64_t total) { progress.Update(done, total); });
  if (failure) return FailureOf(*failure);
  return std::nullopt;
}

// The dialogue both operations share: the name prompt, the progress screen,
// the work, then the closing screen (the operation's own on success, the
// failure line otherwise) and its key wait.
bool RunOperation(const std::string& file_Name, const char* name_prompt, const char* working_text, const Job& job,
                  const std::function<void()>& print_success, const char* success_closing) {
  ResetScreen();
  std::fputs(name_prompt, stdout);
  std::optional<std::string> typed = ReadNewName();
  if (!typed) return false;
  const std::string new_name = *typed + k_new_file_suffix;

  std::optional<Failure> failure = RefuseNewName(file_Name, new_name);
  if (!failure) {
    ResetScreen();
    ProgressLine progress(working_text);
    failure = WriteNewFile(file_Name, new_name, job, progress);
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
      [&codec, &result](jobs::InputFile& input, jobs::OutputFile& output, const ProgressFn& progress) {
        jobs::Outcome<CompressResult> outcome = jobs::CompressFile(codec, input, output, {}, progress, {});
        result = outcome.result;
        return outcome.failure;
      },
      [&result] { PrintSummary(result); }, k_back_to_menu);
}

bool DeCompressFile(Codec& codec, const std::string& file_Name) {
  return RunOperation(
      file_Name, k_decompress_name_prompt, k_decompressing,
      [&codec](jobs::InputFile& input, jobs::OutputFile& output, const ProgressFn& progress) {
        return jobs::RestoreFile(codec, input, output, {}, progress, {}).failure;
      },
      [] {}, k_decompress_closing);
}

}  // namespace huffman
