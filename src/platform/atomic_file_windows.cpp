#include "platform/atomic_file.h"

#include <cerrno>

#include <ext/stdio_filebuf.h>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/signals.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

using HandleBuffer = __gnu_cxx::stdio_filebuf<char>;

// Attempts at a free temporary name before giving up; a clash needs a file
// left by another process with our process id.
constexpr int k_temp_name_attempts = 100;

// A name unlike any the user is likely to type (those end in ".txt").
std::string TempName(int attempt) {
  return ".huffman-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(attempt) + ".tmp";
}

// The errno closest to a Windows error, for the failure line.
int ErrnoOf(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_WRITE_PROTECT: return EROFS;
    default: return EIO;
  }
}

}  // namespace

AtomicFile::AtomicFile() {
  for (int attempt = 0; attempt < k_temp_name_attempts; ++attempt) {
    std::string name = TempName(attempt);
    // CREATE_NEW claims the name, so nothing that already exists is
    // overwritten. FILE_SHARE_DELETE lets the Ctrl-C handler remove the file
    // while this handle is still open.
    HANDLE file = CreateFileW(WideFromUtf8(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) continue;
      error_ = ErrnoOf(error);
      return;
    }
    temp_name_ = std::move(name);
    GuardFile(temp_name_);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
      CloseHandle(file);
      error_ = EIO;
      return;
    }
    // The buffer owns the descriptor (and so the handle) from here on.
    buffer_ = std::make_unique<HandleBuffer>(fd, std::ios::out | std::ios::binary);
    stream_.rdbuf(buffer_.get());
    return;
  }
  error_ = EEXIST;
}

AtomicFile::~AtomicFile() {
  if (committed_ || temp_name_.empty()) return;
  if (buffer_) buffer_->close();
  DeleteFileW(WideFromUtf8(temp_name_).c_str());
  ReleaseFile();
}

int AtomicFile::Commit(const std::string& final_name) {
  errno = 0;
  const bool written = static_cast<bool>(stream_.flush());
  const std::wstring final_wide = WideFromUtf8(final_name);
  // The data reaches the disk before it replaces an existing file, so a
  // crash leaves the old file or the new one, never an empty one.
  const bool replaces = GetFileAttributesW(final_wide.c_str()) != INVALID_FILE_ATTRIBUTES;
  bool flushed = true;
  if (written && replaces) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(static_cast<HandleBuffer*>(buffer_.get())->fd()));
    flushed = FlushFileBuffers(handle) != 0;
  }
  const DWORD flush_error = flushed ? ERROR_SUCCESS : GetLastError();
  const bool closed = buffer_->close() != nullptr;
  if (!written || !closed) return errno != 0 ? errno : EIO;
  if (!flushed) return ErrnoOf(flush_error);
  const DWORD move_flags = MOVEFILE_REPLACE_EXISTING | (replaces ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(WideFromUtf8(temp_name_).c_str(), final_wide.c_str(), move_flags)) return ErrnoOf(GetLastError());
  committed_ = true;
  ReleaseFile();
  return 0;
}

}  // namespace huffman
