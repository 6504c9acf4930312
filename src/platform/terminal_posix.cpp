#include "platform/terminal.h"

#include <cerrno>
#include <cstdio>

#include <termios.h>
#include <unistd.h>

#include "platform/signals_posix.h"

namespace huffman {
namespace {

// Home the cursor, then erase the whole screen.
constexpr char k_clear_sequence[] = "\033[H\033[2J";

// A key press is read whole: the escape sequence of an arrow or function key
// arrives in one read and must not be left for the next prompt.
constexpr std::size_t k_key_bytes = 32;

// Read that retries when a caught signal interrupts it.
ssize_t ReadInput(char* buffer, std::size_t size) {
  ssize_t got = 0;
  do {
    got = read(STDIN_FILENO, buffer, size);
  } while (got < 0 && errno == EINTR);
  return got;
}

// The terminal without line editing and echo for the length of one key wait.
// Signals stay enabled (Ctrl-C still interrupts); the signal handler puts the
// saved settings back if one ends the program meanwhile.
class RawMode {
 public:
  RawMode() {
    if (tcgetattr(STDIN_FILENO, &saved_) != 0) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    GuardTerminal(STDIN_FILENO, saved_);
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) {
      ReleaseTerminal();
      return;
    }
    active_ = true;
  }
  ~RawMode() {
    if (!active_) return;
    tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    ReleaseTerminal();
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;

  bool Active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
};

}  // namespace

bool OutputIsTerminal() { return isatty(STDOUT_FILENO) != 0; }

void ClearScreen() {
  if (OutputIsTerminal()) std::fputs(k_clear_sequence, stdout);
}

std::optional<std::string> ReadLine() {
  std::fflush(stdout);
  std::string line;
  char byte = 0;
  for (;;) {
    ssize_t got = ReadInput(&byte, 1);
    if (got <= 0) break;  // end of input, or an input that cannot be read
    if (byte == '\n') return line;
    line.push_back(byte);
  }
  if (line.empty()) return std::nullopt;
  return line;
}

bool WaitForKey() {
  if (!isatty(STDIN_FILENO)) return ReadLine().has_value();
  RawMode raw;
  // The wait's text appears only once the key can no longer be echoed.
  std::fflush(stdout);
  if (!raw.Active()) return ReadLine().has_value();
  char key[k_key_bytes];
  return ReadInput(key, sizeof key) > 0;
}

}  // namespace huffman
