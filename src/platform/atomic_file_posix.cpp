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

// The directory part of `name` with its slash ("" for the working directory).
std::string DirectoryOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

// A hidden name beside the final one, unlike any the user is likely to type.
std::string TempName(const std::string& directory, int attempt) {
  return directory + ".huffman-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
}

// Flushes `path` (a file or a directory) to disk; 0 or the errno.
int SyncPath(const std::string& path, int flags) {
  const int fd = open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  // A directory that cannot be flushed on this file system is no failure.
  return error == EINVAL ? 0 : error;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& final_name) : final_name_(final_name) {
  const std::string directory = DirectoryOf(final_name);
  for (int attempt = 0; attempt < k_temp_name_attempts; ++attempt) {
    std::string name = TempName(directory, attempt);
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

int AtomicFile::Commit(bool durable) {
  errno = 0;
  stream_.close();
  if (stream_.fail()) return errno != 0 ? errno : EIO;
  const bool flushed = durable || access(final_name_.c_str(), F_OK) == 0;
  if (flushed) {
    if (int error = SyncPath(temp_name_, O_RDONLY)) return error;
  }
  if (std::rename(temp_name_.c_str(), final_name_.c_str()) != 0) return errno;
  committed_ = true;
  ReleaseFile();
  if (flushed) {
    const std::string directory = DirectoryOf(final_name_);
    return SyncPath(directory.empty() ? "." : directory, O_RDONLY | O_DIRECTORY);
  }
  return 0;
}

}  // namespace huffman
