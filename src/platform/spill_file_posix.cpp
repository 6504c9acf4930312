#include "platform/spill_file.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace huffman {
namespace {

std::string TemporaryDirectory() {
  const char* directory = std::getenv("TMPDIR");
  return directory != nullptr && *directory != '\0' ? directory : "/tmp";
}

// O_TMPFILE gives a file that never had a name; where the file system lacks
// it, a named file is unlinked the moment it is created.
int OpenUnnamed(const std::string& directory) {
#ifdef O_TMPFILE
  const int fd = open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
#endif
  std::string name = directory + "/huffman-spill-XXXXXX";
  const int named = mkstemp(name.data());
  if (named < 0) return -1;
  unlink(name.c_str());
  return named;
}

}  // namespace

SpillFile::SpillFile() : fd_(OpenUnnamed(TemporaryDirectory())) {
  if (fd_ < 0) error_ = errno;
}

SpillFile::~SpillFile() {
  reader_.reset();
  if (fd_ >= 0) close(fd_);
}

bool SpillFile::Append(std::span<const std::uint8_t> bytes) {
  const std::uint8_t* next = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const ssize_t put = write(fd_, next, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      error_ = errno;
      return false;
    }
    next += put;
    left -= static_cast<std::size_t>(put);
  }
  return true;
}

FdInputStream& SpillFile::Reader() {
  reader_ = std::make_unique<FdInputStream>(fd_);
  reader_->seekg(0);
  return *reader_;
}

}  // namespace huffman
