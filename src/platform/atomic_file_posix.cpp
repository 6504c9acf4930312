#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <unistd.h>

#include "platform/signals.h"

namespace huffman {
namespace {

// Attempts at a free temporary name before giving up; a clash needs a file
// left by another process with our process id.
constexpr int k_temp_name_attempts = 100;

// A hidden name, unlike any the user is likely to type (those end in ".txt").
std::string TempName(int attempt) {
  return ".huffman-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
}

}  // namespace

AtomicFile::AtomicFile() {
  for (int attempt = 0; attempt < k_temp_name_attempts; ++attempt) {
    std::string name = TempName(attempt);
    // O_EXCL claims the name, so nothing that already exists is overwritten;
    // mode 0666 lets the umask decide, as for any new file.
    int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      error_ = errno;
      return;
    }
    close(fd);
    // Nothing is written to a file that a signal could not remove.
    if (!GuardFile(name)) {
      unlink(name.c_str());
      error_ = ENAMETOOLONG;
      return;
    }
    temp_name_ = std::move(name);
    stream_.open(temp_name_, std::ios::binary | std::ios::trunc);
    if (!stream_.is_open()) error_ = errno != 0 ? errno : EIO;
    return;
  }
  error_ = EEXIST;
}

AtomicFile::~AtomicFile() {
  if (committed_ || temp_name_.empty()) return;
  stream_.close();
  unlink(temp_name_.c_str());
  ReleaseFile();
}

int AtomicFile::Commit(const std::string& final_name) {
  errno = 0;
  stream_.close();
  if (stream_.fail()) return errno != 0 ? errno : EIO;
  if (std::rename(temp_name_.c_str(), final_name.c_str()) != 0) return errno;
  committed_ = true;
  ReleaseFile();
  return 0;
}

}  // namespace huffman
