#include "platform/standard_streams.h"

#include <cstdio>

#include <sys/stat.h>
#include <unistd.h>

namespace huffman {

bool IsTerminal(StandardStream stream) {
  switch (stream) {
    case StandardStream::input:
      return isatty(STDIN_FILENO) != 0;
    case StandardStream::output:
      return isatty(STDOUT_FILENO) != 0;
    case StandardStream::error:
      return isatty(STDERR_FILENO) != 0;
  }
  return false;
}

bool StandardInputRereadable() {
  struct stat info {};
  return fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode) && lseek(STDIN_FILENO, 0, SEEK_CUR) == 0;
}

FdInputStream& StandardInput() {
  static FdInputStream input(STDIN_FILENO);
  return input;
}

int StandardInputDescriptor() { return STDIN_FILENO; }

FdOutputStream& StandardOutput() {
  static FdOutputStream output(STDOUT_FILENO);
  return output;
}

void WriteText(StandardStream stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream == StandardStream::error ? stderr : stdout);
}

}  // namespace huffman
