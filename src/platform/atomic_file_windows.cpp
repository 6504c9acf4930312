#include "platform/atomic_file.h"

#include <cerrno>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/atomic_file_buffer.h"
#include "platform/errno_windows.h"
#include "platform/signals.h"
#include "platform/signals_windows.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// Attempts at a free temporary name before giving up; a clash needs a file
// left by another process with our process id.
constexpr int k_temp_name_attempts = 100;

// The part of `final_name` up to its last separator (either slash, or the
// colon of a drive), which puts another name beside it.
std::string DirectoryPrefix(const std::string& final_name) {
  const std::size_t separator = final_name.find_last_of("\\/:");
  return separator == std::string::npos ? std::string() : final_name.substr(0, separator + 1);
}

// A name unlike any the user is likely to type (those end in ".txt").
std::string TempName(const std::string& final_name, int attempt) {
  return DirectoryPrefix(final_name) + ".huffman-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(attempt) + ".tmp";
}

}  // namespace

// Windows has no mode to create a file private with: the new file takes the
// access rights its directory passes on.
AtomicFile::AtomicFile(const std::string& final_name, const SourceAttributes& source)
    : final_name(final_name), source(source), stream(nullptr) {
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < k_temp_name_attempts; ++attempt) {
    std::string name = TempName(final_name, attempt);
    // Guarded and created in one step: the event handler removes whatever
    // is created, and nothing is created once it has begun.
    EndingStep step;
    if (!GuardFile(name)) {
      error = ENAMETOOLONG;
      return;
    }
    // CREATE_NEW claims the name, so nothing that already exists is
    // overwritten. FILE_SHARE_DELETE lets the Ctrl-C handler remove the file
    // while this handle is still open.
    // Hidden while it is written, like a dot file on POSIX; Commit shows it.
    file = CreateFileW(SystemPath(name).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                       CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      const DWORD failure = GetLastError();
      ReleaseFile();
      if (failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS) continue;
      error = ErrnoOf(failure);
      return;
    }
    temp_name = std::move(name);
  }
  if (file == INVALID_HANDLE_VALUE) {
    error = EEXIST;
    return;
  }
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    CloseHandle(file);
    error = EMFILE;
    return;
  }
  buffer = std::make_unique<Buffer>(fd);
  stream.rdbuf(buffer->Writer());
}

AtomicFile::~AtomicFile() {
  buffer.reset();
  if (committed || temp_name.empty()) return;
  RemoveTemporaryFile(temp_name);
}

int AtomicFile::Commit(bool durable) {
  if (committed) return 0;
  if (int write_error = WriteOut()) return write_error;

  // The data reach the disk before they replace an existing file (whose old
  // content a crash would otherwise lose) or when `durable` is asked for,
  // and the move itself is then written through.
  const std::wstring final_wide = SystemPath(final_name);
  const bool flushed = durable || GetFileAttributesW(final_wide.c_str()) != INVALID_FILE_ATTRIBUTES;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(buffer->Fd()));
  if (flushed && !FlushFileBuffers(handle)) return ErrnoOf(GetLastError());
  // The hidden attribute goes before the file takes its final name, which
  // would keep it; the zero times leave the times Carry gave unchanged.
  FILE_BASIC_INFO shown{};
  shown.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  if (!SetFileInformationByHandle(handle, FileBasicInfo, &shown, sizeof shown)) return ErrnoOf(GetLastError());
  if (int close_error = buffer->Close()) return close_error;
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (flushed ? MOVEFILE_WRITE_THROUGH : 0);
  // The file is put in place, with what it carries, in one step: the event
  // handler comes after it (the file is no longer guarded, the output
  // stays) or before it (the file is removed, and this thread stops here,
  // reporting nothing).
  EndingStep step;
  // A read-only file is not replaced: its attribute is cleared for the
  // replacement only (the caller allowed it), and given back if that fails.
  const DWORD old_attributes = GetFileAttributesW(final_wide.c_str());
  const bool read_only = old_attributes != INVALID_FILE_ATTRIBUTES && (old_attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
                         (old_attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
  if (read_only && !SetFileAttributesW(final_wide.c_str(), old_attributes & ~FILE_ATTRIBUTE_READONLY)) {
    return ErrnoOf(GetLastError());
  }
  if (!MoveFileExW(SystemPath(temp_name).c_str(), final_wide.c_str(), flags)) {
    const DWORD failure = GetLastError();
    if (read_only) SetFileAttributesW(final_wide.c_str(), old_attributes);
    return ErrnoOf(failure);
  }
  ReleaseFile();
  committed = true;
  // Read-only only once in place: a read-only temporary file could be
  // neither replaced nor removed on a failure.
  return carried ? source.ApplyToPlaced(final_name) : 0;
}

}  // namespace huffman
