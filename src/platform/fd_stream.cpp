#include "platform/fd_stream.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/fd_io.h"

namespace huffman {
namespace {

constexpr std::size_t k_buffer_bytes = 64 * 1024;

}  // namespace

FdStreamBuf::FdStreamBuf(int descriptor)
    : fd(descriptor),
      get_buffer(std::make_unique_for_overwrite<char[]>(k_buffer_bytes)),
      put_buffer(std::make_unique_for_overwrite<char[]>(k_buffer_bytes)) {
  setg(get_buffer.get(), get_buffer.get(), get_buffer.get());
  setp(put_buffer.get(), put_buffer.get() + k_buffer_bytes);
}

FdStreamBuf::~FdStreamBuf() { sync(); }

std::streamsize FdStreamBuf::ReadSome(char* bytes, std::size_t count) {
  const std::int64_t got = ReadFd(fd, bytes, count);
  if (got < 0) error = errno;
  return static_cast<std::streamsize>(got);
}

FdStreamBuf::int_type FdStreamBuf::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  const std::streamsize got = ReadSome(get_buffer.get(), k_buffer_bytes);
  // A read error looks like the end to the stream; Error() tells them apart.
  if (got <= 0) return traits_type::eof();
  setg(get_buffer.get(), get_buffer.get(), get_buffer.get() + got);
  return traits_type::to_int_type(*gptr());
}

std::streamsize FdStreamBuf::xsgetn(char* bytes, std::streamsize count) {
  std::streamsize done = std::min<std::streamsize>(count, egptr() - gptr());
  std::memcpy(bytes, gptr(), static_cast<std::size_t>(done));
  gbump(static_cast<int>(done));
  while (done < count) {
    // Reads the rest straight into the caller's buffer.
    const std::streamsize got = ReadSome(bytes + done, static_cast<std::size_t>(count - done));
    if (got <= 0) break;  // the end, or an error kept for Error()
    done += got;
  }
  return done;
}

bool FdStreamBuf::WriteAll(const char* bytes, std::size_t count) {
  while (count > 0) {
    const std::int64_t put = WriteFd(fd, bytes, count);
    if (put < 0) {
      error = errno;
      return false;
    }
    bytes += put;
    count -= static_cast<std::size_t>(put);
  }
  return true;
}

FdStreamBuf::int_type FdStreamBuf::overflow(int_type byte) {
  if (sync() != 0) return traits_type::eof();
  if (!traits_type::eq_int_type(byte, traits_type::eof())) {
    *pptr() = traits_type::to_char_type(byte);
    pbump(1);
  }
  return traits_type::not_eof(byte);
}

std::streamsize FdStreamBuf::xsputn(const char* bytes, std::streamsize count) {
  if (count <= epptr() - pptr()) {
    std::memcpy(pptr(), bytes, static_cast<std::size_t>(count));
    pbump(static_cast<int>(count));
    return count;
  }
  if (sync() != 0 || !WriteAll(bytes, static_cast<std::size_t>(count))) return 0;
  return count;
}

int FdStreamBuf::sync() {
  const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
  if (pending == 0) return 0;
  const bool written = WriteAll(pbase(), pending);
  setp(put_buffer.get(), put_buffer.get() + k_buffer_bytes);
  return written ? 0 : -1;
}

FdStreamBuf::pos_type FdStreamBuf::seekoff(off_type offset, std::ios_base::seekdir direction,
                                           std::ios_base::openmode /*which*/) {
  if (sync() != 0) return pos_type(off_type(-1));
  // The bytes read ahead but not yet taken lie between here and the
  // descriptor's position.
  if (direction == std::ios_base::cur) offset -= egptr() - gptr();
  const int whence = direction == std::ios_base::beg ? SEEK_SET : direction == std::ios_base::cur ? SEEK_CUR : SEEK_END;
  // A seek that fails (a pipe has no position) is not a failed read or
  // write: the caller sees it in the position returned and in errno, and
  // the stream's data is still whole.
  const std::int64_t position = SeekFd(fd, offset, whence);
  if (position < 0) return pos_type(off_type(-1));
  setg(get_buffer.get(), get_buffer.get(), get_buffer.get());
  return pos_type(off_type(position));
}

FdStreamBuf::pos_type FdStreamBuf::seekpos(pos_type position, std::ios_base::openmode which) {
  return seekoff(off_type(position), std::ios_base::beg, which);
}

}  // namespace huffman
