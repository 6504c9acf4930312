// What both modes do to one file: its input opened once, its output created,
// the codec run from one into the other, and the output put in place, each
// failure a value (job_failure.h). This is the one place the layer calls the
// codec. Which files, which names, and every word the user reads stay with
// the modes.
#pragma once

#include <optional>

#include "huffman/codec.h"
#include "jobs/input_file.h"
#include "jobs/job_failure.h"
#include "jobs/output_file.h"

namespace huffman::jobs {

template <typename Result>
struct Outcome {
  std::optional<JobFailure> failure;  // none when the job succeeded
  Result result{};                    // what the codec reported, as far as it ran
};

// Each runs `codec`, the run's own, made once for every file. Each opens
// what is not open yet (the input by InputFile::Open, so only a regular
// file; the output by OutputFile::Create, with the input's attributes), runs
// the codec, and puts the output in place by `placing`. A failure leaves no
// output under its name, except as Placing allows.

// Reads the input at offsets, on every core: a regular file (an input read
// in order is the command line's, held or spilled there).
Outcome<CompressResult> CompressFile(Codec& codec, InputFile& input, OutputFile& output, const Placing& placing,
                                     const ProgressFn& progress, const CompressOptions& options);
// Reads the input in order, from where it stands; a checked regular file
// the codec reads at offsets, span by span.
Outcome<DecompressResult> RestoreFile(Codec& codec, InputFile& input, OutputFile& output, const Placing& placing,
                                      const ProgressFn& progress, const DecompressOptions& options);
// Checks the input and decodes it into nothing.
Outcome<TestResult> TestFile(Codec& codec, InputFile& input, const ProgressFn& progress);
// What a checked file says of itself, from its ends, nothing decoded: a
// regular file, read at offsets.
Outcome<Summary> SummarizeFile(Codec& codec, InputFile& input);

}  // namespace huffman::jobs
