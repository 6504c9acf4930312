// Piped menu input on Windows, for the terminal service alone: cmd's `echo`
// and PowerShell 5.1 write to a pipe in the console's code page, not in
// UTF-8, so a line that is not valid UTF-8 is read in that code page. The
// decision is one function of the line and the code page, so that it can be
// tested on its own.
#pragma once

#ifndef HUFFMAN_PLATFORM_INTERNAL
#error "platform/piped_text_windows.h is private to the platform layer: include its service's header"
#endif

#include <string>

#include <windows.h>

#include "platform/display_name.h"
#include "platform/utf16_windows.h"

namespace huffman {

// The code page piped text is taken in: the console's input code page, or
// the ANSI code page (UTF-8 under the program's manifest) without a console.
inline UINT PipedTextCodePage() {
  const UINT console = GetConsoleCP();
  return console != 0 ? console : GetACP();
}

// A piped line as UTF-8: unchanged when it is valid UTF-8, converted when it
// is valid in `code_page` (MB_ERR_INVALID_CHARS decides), and unchanged when
// it is neither, so that the menu refuses it as data.
inline std::string Utf8FromPipedLine(std::string line, UINT code_page) {
  if (line.empty() || IsValidUtf8(line)) return line;
  const int size = static_cast<int>(line.size());
  const int wide_size = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, line.data(), size, nullptr, 0);
  if (wide_size <= 0) return line;
  std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, line.data(), size, wide.data(), wide_size);
  return Utf8FromWide(wide);
}

}  // namespace huffman
