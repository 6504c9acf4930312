#include "platform/standard_streams.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include <io.h>
#include <windows.h>

#include "platform/utf16_windows.h"

namespace huffman {

// A console, not merely a character device: the NUL device is one too, and
// compressed data may go there.
bool IsTerminal(StandardStream stream) {
  DWORD handle_id = STD_INPUT_HANDLE;
  switch (stream) {
    case StandardStream::input:
      handle_id = STD_INPUT_HANDLE;
      break;
    case StandardStream::output:
      handle_id = STD_OUTPUT_HANDLE;
      break;
    case StandardStream::error:
      handle_id = STD_ERROR_HANDLE;
      break;
  }
  HANDLE handle = GetStdHandle(handle_id);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

bool StandardInputRereadable() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  return input != nullptr && input != INVALID_HANDLE_VALUE && GetFileType(input) == FILE_TYPE_DISK &&
         _lseeki64(_fileno(stdin), 0, SEEK_CUR) == 0;
}

FdInputStream& StandardInput() {
  static FdInputStream input(_fileno(stdin));
  return input;
}

int StandardInputDescriptor() { return _fileno(stdin); }

FdOutputStream& StandardOutput() {
  static FdOutputStream output(_fileno(stdout));
  return output;
}

// What the C stream holds is written first, so the text keeps its place.
// A console takes at most 32 KiB per call on older systems, hence parts.
void WriteText(StandardStream stream, std::string_view text) {
  std::FILE* file = stream == StandardStream::error ? stderr : stdout;
  HANDLE handle = GetStdHandle(stream == StandardStream::error ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE || GetConsoleMode(handle, &mode) == 0) {
    std::fwrite(text.data(), 1, text.size(), file);
    return;
  }
  std::fflush(file);
  const std::wstring wide = WideFromUtf8(text);
  constexpr std::size_t k_console_part = 8192;
  for (std::size_t at = 0; at < wide.size();) {
    std::size_t part = std::min(k_console_part, wide.size() - at);
    // A surrogate pair stays in one part.
    if (at + part < wide.size() && IS_HIGH_SURROGATE(wide[at + part - 1])) --part;
    DWORD written = 0;
    if (WriteConsoleW(handle, wide.data() + at, static_cast<DWORD>(part), &written, nullptr) == 0 || written == 0) {
      return;
    }
    at += written;
  }
}

}  // namespace huffman
