#include "jobs/runs.h"

#include <cassert>
#include <string>

namespace huffman::jobs {
namespace {

// Opens the input and creates the output, where not done yet.
std::optional<JobFailure> OpenBoth(InputFile& input, OutputFile& output) {
  if (std::optional<JobFailure> failure = input.Open()) return failure;
  return output.Create(input.Attributes());
}

}  // namespace

Outcome<CompressResult> CompressFile(Codec& codec, InputFile& input, OutputFile& output, const Placing& placing,
                                     const ProgressFn& progress, const CompressOptions& options) {
  Outcome<CompressResult> outcome;
  if ((outcome.failure = OpenBoth(input, output))) return outcome;
  assert(input.ReadsAtOffsets());
  outcome.result = codec.Compress(input, output.Stream(), progress, options);
  if ((outcome.failure = CodecFailure(outcome.result, input.Name(), output.Name()))) return outcome;
  outcome.failure = output.Finish(placing);
  return outcome;
}

Outcome<DecompressResult> RestoreFile(Codec& codec, InputFile& input, OutputFile& output, const Placing& placing,
                                      const ProgressFn& progress, const DecompressOptions& options) {
  Outcome<DecompressResult> outcome;
  if ((outcome.failure = OpenBoth(input, output))) return outcome;
  outcome.result = codec.Decompress(input, output.Stream(), progress, options);
  if ((outcome.failure = CodecFailure(outcome.result, input.Name(), output.Name()))) return outcome;
  outcome.failure = output.Finish(placing);
  return outcome;
}

Outcome<TestResult> TestFile(Codec& codec, InputFile& input, const ProgressFn& progress) {
  Outcome<TestResult> outcome;
  if ((outcome.failure = input.Open())) return outcome;
  outcome.result = codec.Test(input, progress);
  outcome.failure = CodecFailure(outcome.result, input.Name(), std::string());
  return outcome;
}

Outcome<Summary> SummarizeFile(Codec& codec, InputFile& input) {
  Outcome<Summary> outcome;
  if ((outcome.failure = input.Open())) return outcome;
  assert(input.ReadsAtOffsets());
  outcome.result = codec.Summarize(input);
  outcome.failure = CodecFailure(outcome.result, input.Name(), std::string());
  return outcome;
}

}  // namespace huffman::jobs
