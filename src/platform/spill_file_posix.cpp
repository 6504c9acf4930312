#include "platform/spill_file.h"

#include <cerrno>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace huffman {
namespace {

constexpr std::size_t k_pipe_bytes = 1024 * 1024;
constexpr std::size_t k_splice_bytes = 1024 * 1024;

std::string TemporaryDirectory() {
  // Nothing in the program changes the environment, so reading it is safe.
  const char* directory = std::getenv("TMPDIR");  // NOLINT(concurrency-mt-unsafe)
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

SpillFile::SpillFile() : directory(TemporaryDirectory()), fd(OpenUnnamed(directory)) {
  if (fd < 0) error = errno;
}

SpillFile::~SpillFile() {
  reader.reset();
  if (fd >= 0) close(fd);
}

int SpillFile::AppendFrom(int input, bool& read_failed) {
  read_failed = false;
#ifdef SPLICE_F_MOVE
  // A larger pipe means fewer turns between the writer and this loop; the
  // pipe keeps its size if the system refuses.
  fcntl(input, F_SETPIPE_SZ, static_cast<int>(k_pipe_bytes));
  for (;;) {
    const ssize_t moved = splice(input, nullptr, fd, nullptr, k_splice_bytes, SPLICE_F_MOVE);
    if (moved > 0) continue;
    if (moved == 0) return 0;
    if (errno == EINTR) continue;
    if (errno == EINVAL) break;  // not a pipe: copied below
    // Which end failed cannot be told from splice; a read of nothing can.
    error = errno;
    read_failed = read(input, nullptr, 0) < 0;
    return error;
  }
#endif
  return CopyFrom(input, read_failed);
}

}  // namespace huffman
