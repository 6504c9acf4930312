#include "jobs/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/fd_io.h"
#include "platform/standard_streams.h"

namespace huffman::jobs {

InputFile::InputFile() : standard(true) { MeasureInOrder(); }

InputFile::InputFile(std::string name, OutputTimes times) : name(std::move(name)) {
  examined = Examine(this->name, times);
}

InputFile::~InputFile() { Close(); }

std::optional<JobFailure> InputFile::Open() {
  if (standard || file || fd >= 0) return std::nullopt;
  if (examined.status.kind != FileKind::regular) {
    return JobFailure{
        .step = JobStep::examine, .file = name, .error = examined.status.error, .kind = examined.status.kind};
  }
  file.emplace(name);
  if (file->IsOpen()) return std::nullopt;
  const int error = file->Error();
  file.reset();
  return JobFailure{.step = JobStep::open, .file = name, .error = error};
}

std::optional<JobFailure> InputFile::OpenInOrder() {
  if (standard || file || fd >= 0) return std::nullopt;
  fd = OpenFdForReading(name);
  if (fd < 0) return JobFailure{.step = JobStep::open, .file = name, .error = errno};
  fd_stream = std::make_unique<FdInputStream>(fd);
  MeasureInOrder();
  return std::nullopt;
}

void InputFile::MeasureInOrder() {
  FdInputStream& in = DescriptorStream();
  const auto start = in.tellg();
  if (start < 0 || !in.seekg(0, std::ios::end)) {
    in.clear();
    return;
  }
  const auto end = in.tellg();
  in.seekg(start);
  in_order_start = static_cast<std::int64_t>(start);
  if (end >= start) in_order_size = static_cast<std::uint64_t>(end - start);
}

std::int64_t InputFile::Read(std::span<std::uint8_t> into, int& error) {
  std::size_t done = 0;
  if (put_back_taken < put_back.size()) {
    done = std::min(into.size(), put_back.size() - put_back_taken);
    std::memcpy(into.data(), put_back.data() + put_back_taken, done);
    put_back_taken += done;
    if (done == into.size()) return static_cast<std::int64_t>(done);
  }
  const std::span<std::uint8_t> rest = into.subspan(done);
  std::int64_t got = 0;
  if (file) {
    got = file->ReadAt(position, rest, error);
    if (got > 0) position += static_cast<std::uint64_t>(got);
  } else if (pending_error != 0) {
    error = pending_error;
    got = -1;
  } else {
    // A read error looks like the end to the stream; its Error() tells.
    FdInputStream& in = DescriptorStream();
    in.read(reinterpret_cast<char*>(rest.data()), static_cast<std::streamsize>(rest.size()));
    got = in.gcount();
    if (static_cast<std::size_t>(got) < rest.size() && in.Error() != 0) {
      error = in.Error();
      if (got > 0) {
        pending_error = error;
      } else {
        got = -1;
      }
    }
  }
  if (got < 0) return done > 0 ? static_cast<std::int64_t>(done) : -1;
  return static_cast<std::int64_t>(done) + got;
}

bool InputFile::Rewind(int& error) {
  put_back.clear();
  put_back_taken = 0;
  if (file) {
    position = 0;
    return true;
  }
  FdInputStream& in = DescriptorStream();
  in.clear();
  errno = 0;
  if (!in_order_start || !in.seekg(*in_order_start, std::ios::beg)) {
    error = errno != 0 ? errno : ESPIPE;
    return false;
  }
  return true;
}

std::optional<std::uint64_t> InputFile::Size() const {
  if (file) return examined.size;
  // Bytes put back are no longer where the stream could tell their size.
  if (!put_back.empty()) return std::nullopt;
  return in_order_size;
}

std::int64_t InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const {
  if (!file) return Source::ReadAt(offset, into, error);
  return file->ReadAt(offset, into, error);
}

void InputFile::PutBack(std::string start) {
  put_back = std::move(start);
  put_back_taken = 0;
}

FdInputStream& InputFile::DescriptorStream() { return fd_stream ? *fd_stream : StandardInput(); }

int InputFile::Descriptor() const { return fd >= 0 ? fd : StandardInputDescriptor(); }

void InputFile::Close() {
  if (standard) return;
  file.reset();
  fd_stream.reset();
  if (fd >= 0) CloseFd(fd);
  fd = -1;
}

}  // namespace huffman::jobs
