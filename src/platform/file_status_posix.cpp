#include "platform/file_status.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace huffman {

namespace {

FileStatus StatusFrom(const struct stat& info) {
  if (S_ISREG(info.st_mode)) return {.kind = FileKind::regular};
  if (S_ISDIR(info.st_mode)) return {.kind = FileKind::directory, .error = EISDIR};
  if (S_ISFIFO(info.st_mode)) return {.kind = FileKind::pipe};
  if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return {.kind = FileKind::device};
  return {.kind = FileKind::other};
}

}  // namespace

FileStatus StatusOf(const std::string& name) {
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) return {.kind = FileKind::missing, .error = errno};
  return StatusFrom(info);
}

bool NameTaken(const std::string& name) {
  struct stat info {};
  return lstat(name.c_str(), &info) == 0;
}

namespace {

constexpr std::int64_t k_nanoseconds_per_second = 1'000'000'000;

std::int64_t Nanoseconds(const timespec& time) {
  return static_cast<std::int64_t>(time.tv_sec) * k_nanoseconds_per_second + time.tv_nsec;
}

timespec TimeOf(std::int64_t nanoseconds) {
  timespec time{};
  // Floor division, so that times before 1970 keep 0 <= tv_nsec < 1e9.
  std::int64_t seconds = nanoseconds / k_nanoseconds_per_second;
  std::int64_t rest = nanoseconds % k_nanoseconds_per_second;
  if (rest < 0) {
    seconds -= 1;
    rest += k_nanoseconds_per_second;
  }
  time.tv_sec = static_cast<time_t>(seconds);
  time.tv_nsec = static_cast<long>(rest);
  return time;
}

}  // namespace

Examined Examine(const std::string& name, OutputTimes times) {
  Examined examined;
  struct stat info {};
  if (stat(name.c_str(), &info) != 0) {
    examined.status = {.kind = FileKind::missing, .error = errno};
    return examined;
  }
  examined.status = StatusFrom(info);
  if (examined.status.kind != FileKind::regular) return examined;
  examined.size = info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
  SourceAttributes& attributes = examined.attributes;
  attributes.carries = true;
  attributes.with_times = times == OutputTimes::source;
  attributes.mode = info.st_mode & 0777;  // without set-user-ID, set-group-ID and sticky
  attributes.owner = info.st_uid;
  attributes.group = info.st_gid;
#ifdef __APPLE__
  attributes.accessed = Nanoseconds(info.st_atimespec);  // the same fields, named otherwise
  attributes.modified = Nanoseconds(info.st_mtimespec);
#else
  attributes.accessed = Nanoseconds(info.st_atim);
  attributes.modified = Nanoseconds(info.st_mtim);
#endif
  return examined;
}

// The group comes before the mode, so the bits are never given to the group
// the file had on creation; the owner comes last, and only a privileged
// process can give it. A failed chown is not an error: the output then
// belongs to whoever ran the program, who could read the source anyway.
int SourceAttributes::ApplyToOpen(int fd) const {
  if (!carries) return 0;
  if (with_times) {
    const timespec times[2] = {TimeOf(accessed), TimeOf(modified)};
    if (futimens(fd, times) != 0) return errno;
  }
  struct stat created {};
  if (fstat(fd, &created) != 0) return errno;
  mode_t permissions = mode;
  if (created.st_gid != group && fchown(fd, static_cast<uid_t>(-1), group) != 0) {
    // Another group: no more than others may do.
    permissions = (permissions & ~mode_t{070}) | (permissions & ((permissions & 07) << 3));
  }
  if (fchmod(fd, permissions) != 0) return errno;
  if (created.st_uid != owner) (void)fchown(fd, owner, static_cast<gid_t>(-1));
  return 0;
}

int SourceAttributes::ApplyToPlaced(const std::string& /*name*/) const { return 0; }

int RemoveFile(const std::string& name) { return unlink(name.c_str()) == 0 ? 0 : errno; }

int RemovalBlocked(const std::string& /*name*/) { return 0; }

}  // namespace huffman
