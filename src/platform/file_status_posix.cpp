#include "platform/file_status.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace huffman {

FileStatus StatusOf(const std::string& name) {
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) return {.kind = FileKind::missing, .error = errno};
  if (S_ISREG(info.st_mode)) return {.kind = FileKind::regular};
  if (S_ISDIR(info.st_mode)) return {.kind = FileKind::directory, .error = EISDIR};
  if (S_ISFIFO(info.st_mode)) return {.kind = FileKind::pipe};
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return {.kind = FileKind::device};
  return {.kind = FileKind::other};
}

bool NameTaken(const std::string& name) {
  struct stat info {};
  return lstat(name.c_str(), &info) == 0;
}

int CopyModeAndTimes(const std::string& source, const std::string& target) {
  struct stat info {};
  if (stat(source.c_str(), &info) != 0) return errno;
#ifdef __APPLE__
  const timespec times[2] = {info.st_atimespec, info.st_mtimespec};  // the same fields, named otherwise
#else
  const timespec times[2] = {info.st_atim, info.st_mtim};
#endif
  if (utimensat(AT_FDCWD, target.c_str(), times, 0) != 0) return errno;
  if (chmod(target.c_str(), info.st_mode & 07777) != 0) return errno;
  return 0;
}

int RemoveFile(const std::string& name) { return unlink(name.c_str()) == 0 ? 0 : errno; }

PrivateNewFiles::PrivateNewFiles() : saved_mask_(umask(077)) {}

PrivateNewFiles::~PrivateNewFiles() { umask(static_cast<mode_t>(saved_mask_)); }

}  // namespace huffman
