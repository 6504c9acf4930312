#include "jobs/runs.h"

#include <cassert>
#include <string>

namespace huffman::jobs {
namespace {

// A read error of the input read in order comes first: what the codec made
// of the bytes before it is beside the point.
template <typename Result>
std::optional<JobFailure> ReadFailure(const Result& result, const InputFile& input, const std::string& output) {
  if (int error = input.ReadError()) {
    return JobFailure{.step = JobStep::code, .file = input.Name(), .error = error, .status = CodecStatus::read_failed};
  }
  return CodecFailure(result, input.Name(), output);
}

// Opens the input and creates the output, where not done yet.
std::optional<JobFailure> OpenBoth(InputFile& input, OutputFile& output) {
  if (std::optional<JobFailure> failure = input.Open()) return failure;
  return output.Create(input.Attributes());
}

}  // namespace

Outcome<CompressResult> CompressFile(InputFile& input, OutputFile& output, const Placing& placing,
                                     const ProgressFn& progress, const CompressOptions& options) {
  Outcome<CompressResult> outcome;
  if ((outcome.failure = OpenBoth(input, output))) return outcome;
  assert(input.ReadsAtOffsets());
  outcome.result = CompressAt(input.Reader(), input.SizeExamined(), output.Stream(), progress, options);
  if ((outcome.failure = CodecFailure(outcome.result, input.Name(), output.Name()))) return outcome;
  outcome.failure = output.Finish(placing);
  return outcome;
}

Outcome<DecompressResult> RestoreFile(InputFile& input, OutputFile& output, const Placing& placing,
                                      const ProgressFn& progress, bool restored_checksum) {
  Outcome<DecompressResult> outcome;
  if ((outcome.failure = OpenBoth(input, output))) return outcome;
  outcome.result = DeCompressStream(input.Stream(), output.Stream(), progress, true, restored_checksum);
  if ((outcome.failure = ReadFailure(outcome.result, input, output.Name()))) return outcome;
  outcome.failure = output.Finish(placing);
  return outcome;
}

Outcome<TestResult> TestFile(InputFile& input, const ProgressFn& progress) {
  Outcome<TestResult> outcome;
  if ((outcome.failure = input.Open())) return outcome;
  outcome.result = TestStream(input.Stream(), progress);
  outcome.failure = ReadFailure(outcome.result, input, std::string());
  return outcome;
}

Outcome<Summary> SummarizeFile(InputFile& input) {
  Outcome<Summary> outcome;
  if ((outcome.failure = input.Open())) return outcome;
  assert(input.ReadsAtOffsets());
  outcome.result = SummarizeAt(input.Reader(), input.Size());
  outcome.failure = CodecFailure(outcome.result, input.Name(), std::string());
  return outcome;
}

}  // namespace huffman::jobs
