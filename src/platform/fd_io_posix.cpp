#include "platform/fd_io.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace huffman {

int OpenFdForReading(const std::string& name) {
  int fd = -1;
  do {
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

std::int64_t ReadFd(int fd, char* bytes, std::size_t count) {
  ssize_t got = 0;
  do {
    got = read(fd, bytes, count);
  } while (got < 0 && errno == EINTR);
  return got;
}

std::int64_t WriteFd(int fd, const char* bytes, std::size_t count) {
  ssize_t put = 0;
  do {
    put = write(fd, bytes, count);
  } while (put < 0 && errno == EINTR);
  return put;
}

std::int64_t SeekFd(int fd, std::int64_t offset, int whence) { return lseek(fd, static_cast<off_t>(offset), whence); }

int CloseFd(int fd) { return close(fd) == 0 || errno == EINTR ? 0 : errno; }

}  // namespace huffman
