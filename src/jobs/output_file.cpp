#include "jobs/output_file.h"

#include <cassert>
#include <cerrno>
#include <utility>

#include "platform/standard_streams.h"

namespace huffman::jobs {

OutputFile::OutputFile(std::string name) : named(true), name(std::move(name)) {}

std::optional<JobFailure> OutputFile::Create(const SourceAttributes& carried) {
  if (!named || file) return std::nullopt;
  file.emplace(name, carried);
  if (file->IsOpen()) return std::nullopt;
  const int error = file->Error();
  file.reset();
  return JobFailure{.step = JobStep::create, .file = name, .error = error};
}

std::ostream& OutputFile::Stream() {
  assert(!named || file);
  return named ? file->Stream() : static_cast<std::ostream&>(StandardOutput());
}

std::optional<JobFailure> OutputFile::Finish(const Placing& placing) {
  if (!named) {
    StandardOutput().flush();
    if (StandardOutput()) return std::nullopt;
    return JobFailure{.step = JobStep::place, .file = name, .error = StandardOutput().Error()};
  }
  if (!file) return JobFailure{.step = JobStep::create, .file = name, .error = EBADF};
  const int carry_error = file->Carry();
  if (carry_error != 0 && !placing.private_without_attributes) {
    return JobFailure{.step = JobStep::carry, .file = name, .error = carry_error};
  }
  if (int error = file->Commit(placing.durable))
    return JobFailure{.step = JobStep::place, .file = name, .error = error};
  if (carry_error != 0) return JobFailure{.step = JobStep::carry, .file = name, .error = carry_error};
  return std::nullopt;
}

}  // namespace huffman::jobs
