#include "platform/file_status.h"

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include <io.h>
#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/file_name.h"
#include "platform/utf16_windows.h"

namespace huffman {

// The file is opened without asking for access, so that devices (NUL,
// CON) show as what they are and a file open elsewhere is still examined.
FileStatus StatusOf(const std::string& name) {
  HANDLE file = CreateFileW(SystemPath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {.kind = FileKind::missing, .error = ErrnoOf(GetLastError())};
  const DWORD type = GetFileType(file);
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = type == FILE_TYPE_DISK && GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!known) return {.kind = FileKind::other};
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return {.kind = FileKind::directory, .error = EISDIR};
  return {.kind = FileKind::regular};
}

bool NameTaken(const std::string& name) {
  return GetFileAttributesW(SystemPath(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

namespace {

std::int64_t TicksOf(const FILETIME& time) {
  return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

FILETIME FileTimeOf(std::int64_t ticks) {
  const auto bits = static_cast<std::uint64_t>(ticks);
  return {.dwLowDateTime = static_cast<DWORD>(bits), .dwHighDateTime = static_cast<DWORD>(bits >> 32)};
}

}  // namespace

// Windows has no permission bits: the read-only attribute stands for them,
// the new file keeps the access rights its directory gives it, and there is
// no owner to give. The times are the creation-independent pair, last access
// and last write. The file is opened without asking for access, as StatusOf
// opens it: its attributes can still be read, and devices (NUL, CON) show as
// what they are.
Examined Examine(const std::string& name, OutputTimes times) {
  Examined examined;
  HANDLE from = CreateFileW(SystemPath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (from == INVALID_HANDLE_VALUE) {
    examined.status = {.kind = FileKind::missing, .error = ErrnoOf(GetLastError())};
    return examined;
  }
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileType(from) == FILE_TYPE_DISK && GetFileInformationByHandle(from, &info) != 0;
  CloseHandle(from);
  if (!known) {
    examined.status = {.kind = FileKind::other};
    return examined;
  }
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    examined.status = {.kind = FileKind::directory, .error = EISDIR};
    return examined;
  }
  examined.status = {.kind = FileKind::regular};
  examined.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  SourceAttributes& attributes = examined.attributes;
  attributes.carries = true;
  attributes.with_times = times == OutputTimes::source;
  attributes.mode = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444 : 0666;
  attributes.accessed = TicksOf(info.ftLastAccessTime);
  attributes.modified = TicksOf(info.ftLastWriteTime);
  return examined;
}

// The handle is the atomic file's own, open for writing: the times set on it
// stay, as nothing is written through it afterwards.
int SourceAttributes::ApplyToOpen(int fd) const {
  if (!carries || !with_times) return 0;
  const auto file = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  if (file == INVALID_HANDLE_VALUE) return EBADF;
  const FILETIME accessed_time = FileTimeOf(accessed);
  const FILETIME modified_time = FileTimeOf(modified);
  return SetFileTime(file, nullptr, &accessed_time, &modified_time) ? 0 : ErrnoOf(GetLastError());
}

int SourceAttributes::ApplyToPlaced(const std::string& name) const {
  if (!carries || (mode & 0222) != 0) return 0;
  const std::wstring wide = SystemPath(name);
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOf(GetLastError());
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return 0;
  return SetFileAttributesW(wide.c_str(), attributes | FILE_ATTRIBUTE_READONLY) ? 0 : ErrnoOf(GetLastError());
}

int RemoveFile(const std::string& name) { return DeleteFileW(SystemPath(name).c_str()) ? 0 : ErrnoOf(GetLastError()); }

int RemovalBlocked(const std::string& name) {
  const DWORD attributes = GetFileAttributesW(SystemPath(name).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return ErrnoOf(GetLastError());
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? EACCES : 0;
}

}  // namespace huffman
