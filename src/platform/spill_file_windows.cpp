#include "platform/spill_file.h"

#include <cerrno>
#include <cstdio>
#include <string>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// A file in the user's temporary directory that the system deletes when its
// last handle closes, however the process ends; no other process can open
// it meanwhile. -1 with errno set on failure. `shown` gets the directory.
int OpenUnnamed(std::string& shown) {
  wchar_t directory[MAX_PATH + 1] = {};
  wchar_t name[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH + 1, directory) == 0) {
    errno = ErrnoOf(GetLastError());
    return -1;
  }
  shown = Utf8FromWide(directory);
  if (GetTempFileNameW(directory, L"huf", 0, name) == 0) {
    errno = ErrnoOf(GetLastError());
    return -1;
  }
  // GetTempFileNameW made the file; this handle replaces it and takes it
  // away on close.
  HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    errno = ErrnoOf(GetLastError());
    DeleteFileW(name);
    return -1;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
  if (fd < 0) {
    CloseHandle(file);
    errno = EMFILE;
  }
  return fd;
}

}  // namespace

SpillFile::SpillFile() : fd(OpenUnnamed(directory)) {
  if (fd < 0) error = errno;
}

SpillFile::~SpillFile() {
  reader.reset();
  if (fd >= 0) _close(fd);
}

int SpillFile::AppendFrom(int input, bool& read_failed) {
  read_failed = false;
  return CopyFrom(input, read_failed);
}

}  // namespace huffman
