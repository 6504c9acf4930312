#include "platform/standard_streams.h"

#include <cstdio>

#include <io.h>
#include <windows.h>

namespace huffman {

// A console, not merely a character device: the NUL device is one too, and
// compressed data may go there.
bool IsTerminal(StandardStream stream) {
  DWORD handle_id = STD_INPUT_HANDLE;
  switch (stream) {
    case StandardStream::input: handle_id = STD_INPUT_HANDLE; break;
    case StandardStream::output: handle_id = STD_OUTPUT_HANDLE; break;
    case StandardStream::error: handle_id = STD_ERROR_HANDLE; break;
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

}  // namespace huffman
