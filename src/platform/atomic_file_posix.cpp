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
    temp_name_ = std::move(name);
    GuardFile(temp_name_);
    buffer_ = std::make_unique<std::filebuf>();
    if (buffer_->open(temp_name_, std::ios::out | std::ios::binary | std::ios::trunc) == nullptr) {
      error_ = errno != 0 ? errno : EIO;
      return;
    }
    stream_.rdbuf(buffer_.get());
    return;
  }
  error_ = EEXIST;
}

AtomicFile::~AtomicFile() {
  if (committed_ || temp_name_.empty()) return;
  if (buffer_) buffer_->close();
  unlink(temp_name_.c_str());
  ReleaseFile();
}

int AtomicFile::Commit(const std::string& final_name) {
  errno = 0;
  const bool written = static_cast<bool>(stream_.flush());
  const bool closed = buffer_->close() != nullptr;
  if (!written || !closed) return errno != 0 ? errno : EIO;
  if (std::rename(temp_name_.c_str(), final_name.c_str()) != 0) return errno;
  committed_ = true;
  ReleaseFile();
  return 0;
}

}  // namespace huffman
