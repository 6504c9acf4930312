#include "platform/terminal.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include "platform/signals_posix.h"

namespace huffman {
namespace {

// Home the cursor, then erase the whole screen.
constexpr char k_clear_sequence[] = "\033[H\033[2J";

// A line is read this many bytes at a time (a terminal in line mode hands
// over at most one line per read whatever the size).
constexpr std::size_t k_read_bytes = 64 * 1024;

constexpr char k_escape = '\033';

constexpr std::size_t k_unknown_columns = 80;

// Read that retries when a caught signal interrupts it.
ssize_t ReadInput(char* buffer, std::size_t size) {
  ssize_t got = 0;
  do {
    got = read(STDIN_FILENO, buffer, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

// Standard input read but not yet used, served first to every line read and
// key wait, so that reading ahead never loses what the next prompt is to see.
// A regular file is read ahead and then set back to the end of what was used,
// so that its position stays exact for whoever reads it next; a pipe keeps
// what was read ahead here, as any buffered reader would.
class Input {
 public:
  // The next byte, reading up to `read_size` bytes if none is here; false at
  // the end of input.
  bool Next(char& byte, std::size_t read_size) {
    if (start == bytes.size() && !Fill(read_size)) return false;
    byte = bytes[start++];
    return true;
  }

  // The next byte if it is already here or waiting to be read, without
  // using it up and without waiting for one.
  bool Peek(char& byte) {
    if (start == bytes.size()) {
      pollfd waiting{STDIN_FILENO, POLLIN, 0};
      if (poll(&waiting, 1, 0) != 1 || (waiting.revents & POLLIN) == 0 || !Fill(1)) return false;
    }
    byte = bytes[start];
    return true;
  }

  void Skip() { ++start; }

  // Appends the rest of the line to `line` and uses it up with its line end;
  // false when the input ends first.
  bool TakeLine(std::string& line) {
    for (;;) {
      const std::size_t end = bytes.find('\n', start);
      if (end != std::string::npos) {
        line.append(bytes, start, end - start);
        start = end + 1;
        GiveBackReadAhead();
        return true;
      }
      line.append(bytes, start);
      start = bytes.size();
      if (!Fill(k_read_bytes)) return false;
    }
  }

  // Whether the last read found the end of the input (rather than failing).
  bool Ended() const { return ended; }

 private:
  // Reads up to `size` more bytes; false at the end of input or on an error.
  bool Fill(std::size_t size) {
    if (start == bytes.size()) {
      bytes.clear();
      start = 0;
    }
    const std::size_t old_size = bytes.size();
    bytes.resize(old_size + size);
    const ssize_t got = ReadInput(bytes.data() + old_size, size);
    bytes.resize(old_size + (got > 0 ? static_cast<std::size_t>(got) : 0));
    ended = got == 0;
    return got > 0;
  }

  void GiveBackReadAhead() {
    if (!Seekable() || start == bytes.size()) return;
    const auto read_ahead = static_cast<off_t>(bytes.size() - start);
    if (lseek(STDIN_FILENO, -read_ahead, SEEK_CUR) < 0) return;
    bytes.clear();
    start = 0;
  }

  bool Seekable() {
    if (seekable < 0) {
      struct stat info {};
      seekable = fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode) && lseek(STDIN_FILENO, 0, SEEK_CUR) >= 0;
    }
    return seekable > 0;
  }

  std::string bytes;
  std::size_t start = 0;
  int seekable = -1;  // not yet known
  bool ended = false;
};

Input input;

// At the end of input the cursor stands after a prompt: the line is ended,
// so that whatever the terminal shows next starts on a line of its own.
void EndLineAtEndOfInput() {
  if (input.Ended() && isatty(STDOUT_FILENO)) {
    std::fputc('\n', stdout);
    std::fflush(stdout);
  }
}

bool IsUtf8Continuation(char byte) { return (static_cast<std::uint8_t>(byte) & 0xC0) == 0x80; }

// The continuation bytes a UTF-8 lead byte announces.
int Utf8Continuations(char byte) {
  const auto lead = static_cast<std::uint8_t>(byte);
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return 0;
}

// Uses up one key press after its first byte `first`: the rest of an escape
// sequence (an arrow or function key: ESC [ ... final byte, or ESC O and one
// byte; ESC and one byte for Alt with a key) or of a UTF-8 character, as far
// as it has already arrived. Keys typed after it stay for the next prompt.
void SkipRestOfKey(char first) {
  char byte = 0;
  if (first == k_escape) {
    if (!input.Peek(byte)) return;
    input.Skip();
    if (byte == '[') {
      // Parameter and intermediate bytes (0x20-0x3F) up to the final byte.
      while (input.Peek(byte)) {
        input.Skip();
        if (byte < 0x20 || byte > 0x3F) return;
      }
    } else if (byte == 'O' && input.Peek(byte)) {
      input.Skip();
    }
    return;
  }
  for (int left = Utf8Continuations(first); left > 0 && input.Peek(byte) && IsUtf8Continuation(byte); --left) {
    input.Skip();
  }
}

// The terminal without line editing and echo for the length of one key wait.
// Signals stay enabled (Ctrl-C still interrupts, Ctrl-Z still suspends); the
// signal handlers put the saved settings back if one ends the program or
// suspends it meanwhile, and these again when it is resumed.
class RawMode {
 public:
  RawMode() {
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    GuardTerminal(STDIN_FILENO, saved, raw);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
      ReleaseTerminal();
      return;
    }
    active = true;
  }
  ~RawMode() {
    if (!active) return;
    // TCSANOW keeps what was typed ahead for the next prompt.
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
    ReleaseTerminal();
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;

  bool Active() const { return active; }

 private:
  termios saved{};
  bool active = false;
};

}  // namespace

void ClearScreen() {
  if (isatty(STDOUT_FILENO)) std::fputs(k_clear_sequence, stdout);
}

std::optional<std::string> ReadLine() {
  std::fflush(stdout);
  std::string line;
  if (input.TakeLine(line) || !line.empty()) return line;
  EndLineAtEndOfInput();
  return std::nullopt;
}

bool WaitForKeyPress() {
  if (!isatty(STDIN_FILENO)) return ReadLine().has_value();
  RawMode raw;
  // The wait's text appears only once the key can no longer be echoed.
  std::fflush(stdout);
  if (!raw.Active()) return ReadLine().has_value();
  // One byte at a time: whatever was typed after the key stays with the
  // terminal, for the next prompt or, if the program ends, for the shell.
  char first = 0;
  if (!input.Next(first, 1)) return false;
  SkipRestOfKey(first);
  return true;
}

std::size_t TerminalColumns(StandardStream stream) {
  const int descriptor = stream == StandardStream::error    ? STDERR_FILENO
                         : stream == StandardStream::output ? STDOUT_FILENO
                                                            : STDIN_FILENO;
  winsize size{};
  if (ioctl(descriptor, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return k_unknown_columns;
  return size.ws_col;
}

}  // namespace huffman
