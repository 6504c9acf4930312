#include "platform/positional_file.h"

#include <windows.h>

#include "platform/errno_windows.h"
#include "platform/file_name.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

HANDLE HandleOf(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// ReadFile takes a 32-bit count; larger requests are read in parts.
constexpr std::size_t k_max_transfer = 1u << 30;

}  // namespace

// Others may read, write and delete the file meanwhile, as they may while a
// stream has it open: a change shows as a source that read differently.
PositionalFile::PositionalFile(const std::string& name) {
  const HANDLE file =
      CreateFileW(SystemPath(name).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error = ErrnoOf(GetLastError());
    return;
  }
  handle = reinterpret_cast<std::intptr_t>(file);
}

PositionalFile::~PositionalFile() { Close(); }

bool PositionalFile::IsOpen() const { return handle != -1; }

void PositionalFile::Close() {
  if (handle != -1) CloseHandle(HandleOf(handle));
  handle = -1;
}

std::uint64_t PositionalFile::Size() const {
  LARGE_INTEGER size{};
  if (handle == -1 || !GetFileSizeEx(HandleOf(handle), &size) || size.QuadPart < 0) return 0;
  return static_cast<std::uint64_t>(size.QuadPart);
}

// On a handle opened for synchronous reads, a read at an offset moves the
// handle's own position too, which no one else uses.
std::int64_t PositionalFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> into, int& error) const {
  std::size_t done = 0;
  while (done < into.size()) {
    const std::uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const std::size_t want = into.size() - done < k_max_transfer ? into.size() - done : k_max_transfer;
    DWORD got = 0;
    if (!ReadFile(HandleOf(handle), into.data() + done, static_cast<DWORD>(want), &got, &where)) {
      const DWORD failure = GetLastError();
      if (failure == ERROR_HANDLE_EOF) break;
      error = ErrnoOf(failure);
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<std::int64_t>(done);
}

}  // namespace huffman
