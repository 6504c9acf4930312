#include "platform/directory_listing.h"

#include <cerrno>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

namespace huffman {
namespace {

EntryKind KindOfMode(mode_t mode) {
  if (S_ISREG(mode)) return EntryKind::file;
  if (S_ISDIR(mode)) return EntryKind::directory;
  if (S_ISLNK(mode)) return EntryKind::link;
  return EntryKind::other;
}

}  // namespace

// The kind comes from readdir where the file system gives it, else from
// fstatat without following a link.
int ListDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries) {
  DIR* stream = opendir(directory.c_str());
  if (stream == nullptr) return errno;
  int error = 0;
  for (;;) {
    errno = 0;
    // readdir is unsafe only on a stream shared between threads; this one is
    // this call's own.
    const dirent* entry = readdir(stream);  // NOLINT(concurrency-mt-unsafe)
    if (entry == nullptr) {
      error = errno;
      break;
    }
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    EntryKind kind = EntryKind::other;
    switch (entry->d_type) {
      case DT_REG:
        kind = EntryKind::file;
        break;
      case DT_DIR:
        kind = EntryKind::directory;
        break;
      case DT_LNK:
        kind = EntryKind::link;
        break;
      case DT_UNKNOWN: {
        struct stat status {};
        if (fstatat(dirfd(stream), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
          if (errno == ENOENT) continue;  // gone since it was read
          error = errno;
          break;
        }
        kind = KindOfMode(status.st_mode);
        break;
      }
      default:
        break;
    }
    if (error != 0) break;
    entries.push_back({std::string(name), kind});
  }
  closedir(stream);
  return error;
}

}  // namespace huffman
