#include "platform/directory_listing.h"

#include <string_view>

#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/utf16_windows.h"

namespace huffman {

// A symbolic link or a junction (a mount point) is a link; other reparse
// points (a cloud file's placeholder, a deduplicated file) are what their
// attributes say.
int ListDirectory(const std::string& directory, std::vector<DirectoryEntry>& entries) {
  std::wstring pattern = SystemPath(directory);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW found{};
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND ? 0 : ErrnoOf(error);  // a drive's empty root
  }
  DWORD error = ERROR_SUCCESS;
  do {
    const std::wstring_view name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    const DWORD attributes = found.dwFileAttributes;
    EntryKind kind = EntryKind::file;
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        (found.dwReserved0 == IO_REPARSE_TAG_SYMLINK || found.dwReserved0 == IO_REPARSE_TAG_MOUNT_POINT)) {
      kind = EntryKind::link;
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      kind = EntryKind::directory;
    } else if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) {
      kind = EntryKind::other;
    }
    entries.push_back({Utf8FromWide(name), kind});
  } while (FindNextFileW(search, &found) != 0);
  error = GetLastError();
  FindClose(search);
  return error == ERROR_NO_MORE_FILES ? 0 : ErrnoOf(error);
}

}  // namespace huffman
