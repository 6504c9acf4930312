#include "platform/spill_file.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/fd_io.h"

namespace huffman {
namespace {

constexpr std::size_t k_copy_bytes = 1024 * 1024;

// A file in the user's temporary directory that the system deletes when its
// last handle closes, however the process ends; no other process can open
// it meanwhile. -1 with errno set on failure.
int OpenUnnamed() {
  wchar_t directory[MAX_PATH + 1] = {};
  wchar_t name[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH + 1, directory) == 0 || GetTempFileNameW(directory, L"huf", 0, name) == 0) {
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

SpillFile::SpillFile() : fd(OpenUnnamed()) {
  if (fd < 0) error = errno;
}

SpillFile::~SpillFile() {
  reader.reset();
  if (fd >= 0) _close(fd);
}

bool SpillFile::Append(std::span<const char> bytes) {
  const char* next = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    const std::int64_t put = WriteFd(fd, next, left);
    if (put < 0) {
      error = errno;
      return false;
    }
    next += put;
    left -= static_cast<std::size_t>(put);
  }
  return true;
}

int SpillFile::AppendStandardInput(bool& read_failed) {
  read_failed = false;
  std::vector<char> buffer(k_copy_bytes);
  for (;;) {
    const std::int64_t got = ReadFd(_fileno(stdin), buffer.data(), buffer.size());
    if (got == 0) return 0;
    if (got < 0) {
      read_failed = true;
      return errno;
    }
    if (!Append({buffer.data(), static_cast<std::size_t>(got)})) return error;
  }
}

FdInputStream& SpillFile::Reader() {
  reader = std::make_unique<FdInputStream>(fd);
  reader->seekg(0);
  return *reader;
}

}  // namespace huffman
