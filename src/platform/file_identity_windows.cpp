#include "platform/file_identity.h"

#include <windows.h>

#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// The volume serial number and file index of `name`; false if it cannot be
// opened. No access is asked for, so a file open elsewhere is still seen.
bool Identify(const std::string& name, BY_HANDLE_FILE_INFORMATION& info) {
  // FILE_FLAG_BACKUP_SEMANTICS lets a directory be opened too.
  HANDLE file = CreateFileW(SystemPath(name).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  return known;
}

}  // namespace

// One file is one volume and file index pair, whatever names (hard links,
// another case of the letters, short names) lead to it.
bool SameFile(const std::string& first, const std::string& second) {
  BY_HANDLE_FILE_INFORMATION first_info{};
  BY_HANDLE_FILE_INFORMATION second_info{};
  return Identify(first, first_info) && Identify(second, second_info) &&
         first_info.dwVolumeSerialNumber == second_info.dwVolumeSerialNumber &&
         first_info.nFileIndexHigh == second_info.nFileIndexHigh &&
         first_info.nFileIndexLow == second_info.nFileIndexLow;
}

}  // namespace huffman
