#include "platform/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/atomic_file_buffer.h"
#include "platform/signals.h"

namespace huffman {
namespace {

// Attempts at a free temporary name before giving up; a clash needs a file
// left by another process with our process id.
constexpr int k_temp_name_attempts = 100;

// The directory holding `final_name`, to open; and the prefix that puts
// another name in it.
std::string DirectoryOf(const std::string& final_name) {
  const std::size_t slash = final_name.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : final_name.substr(0, slash);
}

std::string DirectoryPrefix(const std::string& final_name) {
  const std::size_t slash = final_name.rfind('/');
  return slash == std::string::npos ? std::string() : final_name.substr(0, slash + 1);
}

// A hidden name, unlike any the user is likely to type (those end in ".txt").
std::string TempName(const std::string& final_name, int attempt) {
  return DirectoryPrefix(final_name) + ".huffman-" + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".tmp";
}

// The errors of an O_TMPFILE open that mean only "not here": the kernel
// (EISDIR, EINVAL) or the file system (EOPNOTSUPP) lacks it.
bool TmpfileUnsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

// The mode a new output is created with; the umask narrows it further.
mode_t CreationMode(const SourceAttributes& source) { return source.Carries() ? 0600 : 0666; }

// A file without a name in `directory`, or -1 with errno set.
int OpenUnnamed(const std::string& directory, mode_t mode) {
#ifdef O_TMPFILE
  return open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
#else
  (void)directory;
  (void)mode;
  errno = EOPNOTSUPP;
  return -1;
#endif
}

// Gives the unnamed file open as `fd` the name `name`; fails with EEXIST if
// the name is taken. Linking the descriptor itself (AT_EMPTY_PATH) walks no
// path; kernels before 6.10 allow that only to privileged processes and
// refuse others with ENOENT, so then the link goes through /proc, which
// works for any user, and does so for the rest of the run. (ENOENT also
// means that the directory of `name` is gone: then /proc fails alike.)
int LinkUnnamed(int fd, const std::string& name) {
#ifdef AT_EMPTY_PATH
  static std::atomic<bool> by_descriptor{true};
  if (by_descriptor.load(std::memory_order_relaxed)) {
    if (linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
    if (errno != ENOENT) return errno;
  }
#endif
  const std::string by_proc = "/proc/self/fd/" + std::to_string(fd);
  if (linkat(AT_FDCWD, by_proc.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) != 0) return errno;
#ifdef AT_EMPTY_PATH
  by_descriptor.store(false, std::memory_order_relaxed);
#endif
  return 0;
}

// Makes a completed rename or link in `directory` survive a crash. A file
// system that cannot flush a directory (EINVAL) has nothing more to do.
int FlushDirectory(const std::string& directory) {
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
  close(fd);
  return error;
}

}  // namespace

AtomicFile::AtomicFile(const std::string& final_name, const SourceAttributes& source)
    : final_name(final_name), source(source), stream(nullptr) {
  const mode_t mode = CreationMode(source);
  int fd = OpenUnnamed(DirectoryOf(final_name), mode);
  if (fd < 0 && !TmpfileUnsupported(errno)) {
    error = errno;
    return;
  }
  for (int attempt = 0; fd < 0 && attempt < k_temp_name_attempts; ++attempt) {
    std::string name = TempName(final_name, attempt);
    // The signal handler must be able to remove whatever is created.
    if (!GuardFile(name)) {
      error = ENAMETOOLONG;
      return;
    }
    // O_EXCL claims the name, so nothing that already exists is overwritten.
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) {
      ReleaseFile();
      if (errno == EEXIST) continue;
      error = errno;
      return;
    }
    temp_name = std::move(name);
  }
  if (fd < 0) {
    error = EEXIST;
    return;
  }
  buffer = std::make_unique<Buffer>(fd);
  stream.rdbuf(buffer->Writer());
}

AtomicFile::~AtomicFile() {
  // Closing an unnamed file discards it.
  buffer.reset();
  if (committed || temp_name.empty()) return;
  unlink(temp_name.c_str());
  ReleaseFile();
}

int AtomicFile::Commit(bool durable) {
  if (committed) return 0;
  if (int write_error = WriteOut()) return write_error;

  // A rename replaces a file silently, so a named temporary file looks for
  // one first; a link never replaces anything, so an unnamed file learns of
  // one from the link's EEXIST below, and is flushed then.
  struct stat existing {};
  bool flushed = durable || (!temp_name.empty() && lstat(final_name.c_str(), &existing) == 0);
  if (flushed && fsync(buffer->Fd()) != 0) return errno;

  if (!temp_name.empty()) {
    if (int close_error = buffer->Close()) return close_error;
    if (std::rename(temp_name.c_str(), final_name.c_str()) != 0) return errno;
    ReleaseFile();
  } else {
    // A close reports a write error some file systems (NFS) keep until then;
    // closing a duplicate asks for that report while the file can still be
    // linked through the original handle.
    const int duplicate = dup(buffer->Fd());
    if (duplicate < 0) return errno;
    if (close(duplicate) != 0 && errno != EINTR) return errno;
    int link_error = LinkUnnamed(buffer->Fd(), final_name);
    if (link_error == EEXIST) {
      // An existing file is replaced: linked under a hidden name first, then
      // renamed over it, since a link never replaces anything.
      if (!flushed && fsync(buffer->Fd()) != 0) return errno;
      flushed = true;
      std::string hidden;
      for (int attempt = 0; attempt < k_temp_name_attempts && link_error == EEXIST; ++attempt) {
        hidden = TempName(final_name, attempt);
        if (!GuardFile(hidden)) return ENAMETOOLONG;
        link_error = LinkUnnamed(buffer->Fd(), hidden);
        if (link_error != 0) ReleaseFile();
      }
      if (link_error != 0) return link_error;
      if (std::rename(hidden.c_str(), final_name.c_str()) != 0) {
        link_error = errno;
        unlink(hidden.c_str());
        ReleaseFile();
        return link_error;
      }
      ReleaseFile();
    } else if (link_error != 0) {
      return link_error;
    }
    // The data were checked by the close above (and the flush, if any).
    buffer->Close();
  }
  committed = true;
  if (carried) {
    if (int apply_error = source.ApplyToPlaced(final_name)) return apply_error;
  }
  return flushed ? FlushDirectory(DirectoryOf(final_name)) : 0;
}

}  // namespace huffman
