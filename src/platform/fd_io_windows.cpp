#include "platform/fd_io.h"

#include <cerrno>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// The C runtime takes an unsigned int count; larger requests are served in
// parts by the callers' loops.
constexpr std::size_t k_max_transfer = 1u << 30;

unsigned int Clamp(std::size_t count) {
  return static_cast<unsigned int>(count < k_max_transfer ? count : k_max_transfer);
}

}  // namespace

int OpenFdForReading(const std::string& name) { return _wopen(SystemPath(name).c_str(), _O_RDONLY | _O_BINARY); }

// The descriptors are in binary mode (PrepareStandardStreams, _O_BINARY), so
// the bytes pass unchanged.

std::int64_t ReadFd(int fd, char* bytes, std::size_t count) { return _read(fd, bytes, Clamp(count)); }

// Written through the system rather than _write, which gives EINVAL for a
// pipe whose reader has gone (and keeps no system code for it under Wine):
// that gives EPIPE here, as on POSIX.
std::int64_t WriteFd(int fd, const char* bytes, std::size_t count) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (handle == INVALID_HANDLE_VALUE) {
    errno = EBADF;
    return -1;
  }
  DWORD written = 0;
  if (WriteFile(handle, bytes, Clamp(count), &written, nullptr) == 0) {
    errno = ErrnoOf(GetLastError());
    return -1;
  }
  return written;
}

std::int64_t SeekFd(int fd, std::int64_t offset, int whence) { return _lseeki64(fd, offset, whence); }

int CloseFd(int fd) { return _close(fd) == 0 ? 0 : errno; }

}  // namespace huffman
