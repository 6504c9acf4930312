// Why a file job did not produce its output, as a value both modes word in
// their own language (console/failure.cpp in Polish, cli/messages in
// English): the step that failed, the file it concerns, the errno of the
// platform call or codec read that failed, and what the codec found.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "huffman/codec.h"
#include "platform/file_status.h"

namespace huffman::jobs {

enum class JobStep {
  examine,  // the input could not be examined (`error`), or is no regular file (`kind`)
  open,     // the input could not be opened
  create,   // the temporary output could not be created
  code,     // the codec's run failed (`status` and what goes with it)
  carry,    // the output could not take its input's attributes
  place,    // the output could not be written out or put under its name
};

struct JobFailure {
  JobStep step = JobStep::examine;
  std::string file;                       // the file concerned, as the mode named it: the input, or the output
  int error = 0;                          // the system's errno, 0 when there is none to tell
  FileKind kind = FileKind::missing;      // with `examine`: what the input is
  CodecStatus status = CodecStatus::ok;   // with `code`
  FormatFault fault = FormatFault::none;  // with not_compressed
  std::uint64_t fault_offset = 0;
  Damage damage = Damage::none;  // with damaged
  std::uint64_t damaged_from = 0;
  std::uint64_t damaged_to = 0;
};

// The codec's failure in `result`, naming the file concerned: `output` for a
// write, `input` otherwise. None when the codec succeeded.
template <typename Result>
std::optional<JobFailure> CodecFailure(const Result& result, const std::string& input, const std::string& output) {
  if (result.status == CodecStatus::ok) return std::nullopt;
  JobFailure failure{.step = JobStep::code,
                     .file = result.status == CodecStatus::write_failed ? output : input,
                     .error = result.system_error,
                     .status = result.status};
  if constexpr (requires { result.fault; }) {
    failure.fault = result.fault;
    failure.fault_offset = result.fault_offset;
    failure.damage = result.damage;
    failure.damaged_from = result.damaged_from;
    failure.damaged_to = result.damaged_to;
  }
  return failure;
}

}  // namespace huffman::jobs
