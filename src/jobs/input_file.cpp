#include "jobs/input_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <streambuf>
#include <utility>

#include "platform/fd_io.h"
#include "platform/standard_streams.h"

namespace huffman::jobs {
namespace {

// The buffer of small reads in order (a restore reads large blocks straight
// into its own buffers).
constexpr std::size_t k_small_read_bytes = 64 * 1024;

}  // namespace

// A regular file read in order through its reads at offsets, from a
// position of its own: the one handle serves both kinds of read.
class InputFile::OffsetBuffer final : public std::streambuf {
 public:
  explicit OffsetBuffer(const PositionalFile& source) : file(source) {}
  int Error() const { return error; }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    if (!buffer) buffer = std::make_unique_for_overwrite<char[]>(k_small_read_bytes);
    const std::int64_t got = ReadOn(buffer.get(), k_small_read_bytes);
    if (got <= 0) return traits_type::eof();
    setg(buffer.get(), buffer.get(), buffer.get() + got);
    return traits_type::to_int_type(*gptr());
  }

  std::streamsize xsgetn(char* bytes, std::streamsize count) override {
    const std::streamsize held = std::min<std::streamsize>(count, egptr() - gptr());
    if (held > 0) std::memcpy(bytes, gptr(), static_cast<std::size_t>(held));
    gbump(static_cast<int>(held));
    if (held == count) return held;
    // The rest straight into the caller's buffer.
    const std::int64_t got = ReadOn(bytes + held, static_cast<std::size_t>(count - held));
    return held + std::max<std::int64_t>(got, 0);
  }

  pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode /*which*/) override {
    const auto here = static_cast<off_type>(next - static_cast<std::uint64_t>(egptr() - gptr()));
    const off_type base = direction == std::ios_base::beg   ? 0
                          : direction == std::ios_base::cur ? here
                                                            : static_cast<off_type>(file.Size());
    if (base + offset < 0) return pos_type(off_type(-1));
    next = static_cast<std::uint64_t>(base + offset);
    setg(nullptr, nullptr, nullptr);
    return pos_type(base + offset);
  }

  pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
    return seekoff(off_type(position), std::ios_base::beg, which);
  }

 private:
  // Reads from `next` on, and moves it past what was read; a failure is
  // kept for Error() and looks like the end.
  std::int64_t ReadOn(char* bytes, std::size_t count) {
    const std::int64_t got = file.ReadAt(next, {reinterpret_cast<std::uint8_t*>(bytes), count}, error);
    if (got > 0) next += static_cast<std::uint64_t>(got);
    return got;
  }

  const PositionalFile& file;
  std::uint64_t next = 0;  // the offset of the byte after the buffered ones
  int error = 0;
  std::unique_ptr<char[]> buffer;
};

// Yields the bytes put back, then the rest of the input.
class InputFile::RejoinedBuffer final : public std::streambuf {
 public:
  RejoinedBuffer(std::string& start, std::streambuf& rest) : rest(rest) {
    setg(start.data(), start.data(), start.data() + start.size());
  }

 protected:
  int_type underflow() override { return gptr() < egptr() ? traits_type::to_int_type(*gptr()) : rest.sgetc(); }
  int_type uflow() override {
    if (gptr() < egptr()) {
      const int_type byte = traits_type::to_int_type(*gptr());
      gbump(1);
      return byte;
    }
    return rest.sbumpc();
  }
  std::streamsize xsgetn(char* bytes, std::streamsize count) override {
    const std::streamsize held = std::min<std::streamsize>(count, egptr() - gptr());
    std::copy_n(gptr(), held, bytes);
    gbump(static_cast<int>(held));
    return held + (count > held ? rest.sgetn(bytes + held, count - held) : 0);
  }

 private:
  std::streambuf& rest;
};

InputFile::InputFile() : standard(true), in_order(&StandardInput()) {}

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
  if (!file->IsOpen()) {
    const int error = file->Error();
    file.reset();
    return JobFailure{.step = JobStep::open, .file = name, .error = error};
  }
  offset_buffer = std::make_unique<OffsetBuffer>(*file);
  offset_stream.rdbuf(offset_buffer.get());
  in_order = &offset_stream;
  return std::nullopt;
}

std::optional<JobFailure> InputFile::OpenInOrder() {
  if (standard || file || fd >= 0) return std::nullopt;
  fd = OpenFdForReading(name);
  if (fd < 0) return JobFailure{.step = JobStep::open, .file = name, .error = errno};
  fd_stream = std::make_unique<FdInputStream>(fd);
  in_order = fd_stream.get();
  return std::nullopt;
}

ReadAtFn InputFile::Reader() const { return file ? file->Reader() : ReadAtFn{}; }

std::uint64_t InputFile::Size() const { return file ? file->Size() : 0; }

void InputFile::PutBack(std::string start) {
  put_back = std::move(start);
  rejoined = std::make_unique<RejoinedBuffer>(put_back, *in_order->rdbuf());
  rejoined_stream.rdbuf(rejoined.get());
  in_order = &rejoined_stream;
}

int InputFile::ReadError() const {
  if (standard) return StandardInput().Error();
  if (fd_stream) return fd_stream->Error();
  return offset_buffer ? offset_buffer->Error() : 0;
}

FdInputStream& InputFile::DescriptorStream() { return fd_stream ? *fd_stream : StandardInput(); }

int InputFile::Descriptor() const { return fd >= 0 ? fd : StandardInputDescriptor(); }

void InputFile::Close() {
  if (standard) return;
  rejoined_stream.rdbuf(nullptr);
  offset_stream.rdbuf(nullptr);
  in_order = nullptr;
  rejoined.reset();
  offset_buffer.reset();
  file.reset();
  fd_stream.reset();
  if (fd >= 0) CloseFd(fd);
  fd = -1;
}

}  // namespace huffman::jobs
