#include "platform/file_status.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/file_name.h"
#include "platform/utf16_windows.h"

namespace huffman {

// The file is opened without asking for access, so that devices (NUL,
// CON) show as what they are and a file open elsewhere is still examined.
FileStatus StatusOf(const std::string& name) {
  HANDLE file = CreateFileW(WideFromUtf8(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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
  return GetFileAttributesW(WideFromUtf8(name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Windows has no permission bits: the read-only attribute stands for them,
// and the new file keeps the access rights its directory gives it. The
// times are the creation-independent pair, last access and last write.
int CopyModeAndTimes(const std::string& source, const std::string& target) {
  const std::wstring source_wide = WideFromUtf8(source);
  const std::wstring target_wide = WideFromUtf8(target);
  HANDLE from = CreateFileW(source_wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (from == INVALID_HANDLE_VALUE) return ErrnoOf(GetLastError());
  FILETIME accessed{};
  FILETIME written{};
  const bool known = GetFileTime(from, nullptr, &accessed, &written) != 0;
  const DWORD read_error = known ? ERROR_SUCCESS : GetLastError();
  CloseHandle(from);
  if (!known) return ErrnoOf(read_error);

  HANDLE to = CreateFileW(target_wide.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE |
                          FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (to == INVALID_HANDLE_VALUE) return ErrnoOf(GetLastError());
  const bool set = SetFileTime(to, nullptr, &accessed, &written) != 0;
  const DWORD write_error = set ? ERROR_SUCCESS : GetLastError();
  CloseHandle(to);
  if (!set) return ErrnoOf(write_error);

  const DWORD source_attributes = GetFileAttributesW(source_wide.c_str());
  const DWORD target_attributes = GetFileAttributesW(target_wide.c_str());
  if (source_attributes == INVALID_FILE_ATTRIBUTES || target_attributes == INVALID_FILE_ATTRIBUTES) {
    return ErrnoOf(GetLastError());
  }
  const DWORD read_only = source_attributes & FILE_ATTRIBUTE_READONLY;
  if ((target_attributes & FILE_ATTRIBUTE_READONLY) != read_only &&
      !SetFileAttributesW(target_wide.c_str(), (target_attributes & ~FILE_ATTRIBUTE_READONLY) | read_only)) {
    return ErrnoOf(GetLastError());
  }
  return 0;
}

int RemoveFile(const std::string& name) {
  return DeleteFileW(WideFromUtf8(name).c_str()) ? 0 : ErrnoOf(GetLastError());
}

// A new file takes the access rights its directory passes on, which the
// program does not widen: there is no mask to narrow while writing.
PrivateNewFiles::PrivateNewFiles() : saved_mask_(0) {}
PrivateNewFiles::~PrivateNewFiles() = default;

}  // namespace huffman
