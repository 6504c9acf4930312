#include "platform/process_start.h"

#include <cstdio>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// shellapi.h needs the types windows.h declares.
#include <shellapi.h>

#include "platform/signals_windows.h"
#include "platform/utf16_windows.h"

namespace huffman {

void PrepareStandardStreams() {
  // Without this, "\n" written would become CR LF and a piped CR LF read
  // would become "\n", and a Ctrl-Z read would end the input.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);

  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (output == nullptr || output == INVALID_HANDLE_VALUE || !GetConsoleMode(output, &mode)) return;
  GuardConsoleOutput(output, mode, GetConsoleOutputCP());
  SetConsoleOutputCP(CP_UTF8);
}

// `argv` holds the arguments in the ANSI code page, where a Polish name may
// not fit; the wide command line holds them all.
std::vector<std::string> ProgramArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  for (int i = 1; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

}  // namespace huffman
