#include "platform/positional_file.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file_name.h"

namespace huffman {

PositionalFile::PositionalFile(const std::string& name) {
  int fd = -1;
  do {
    fd = open(PathOf(name).c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  handle = fd;
  if (fd < 0) error = errno;
}

PositionalFile::~PositionalFile() { Close(); }

bool PositionalFile::IsOpen() const { return handle >= 0; }

void PositionalFile::Close() {
  if (handle >= 0) close(static_cast<int>(handle));
  handle = -1;
}

std::uint64_t PositionalFile::Size() const {
  struct stat status {};
  if (handle < 0 || fstat(static_cast<int>(handle), &status) != 0 || status.st_size < 0) return 0;
  return static_cast<std::uint64_t>(status.st_size);
}

std::int64_t PositionalFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const {
  std::size_t done = 0;
  while (done < into.size()) {
    const ssize_t got =
        pread(static_cast<int>(handle), into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      error = errno;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace huffman
