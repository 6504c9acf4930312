#include "platform/terminal.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <utility>

#include <io.h>
#include <windows.h>

#include "platform/piped_text_windows.h"
#include "platform/signals_windows.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// Home the cursor, then erase the whole screen.
constexpr char k_clear_sequence[] = "\033[H\033[2J";

// UTF-16 units asked of the console per read; a longer line takes more
// reads.
constexpr DWORD k_console_read_units = 1024;

// Bytes asked of a pipe or file per read.
constexpr unsigned k_stream_read_bytes = 64 * 1024;

// Ctrl-Z at the start of a typed line ends the input on a Windows console.
constexpr wchar_t k_end_of_input = L'\x1a';

constexpr std::size_t k_unknown_columns = 80;

// The console's mode when `handle` is a console; false for a pipe or file.
bool ConsoleMode(HANDLE handle, DWORD& mode) {
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// A line typed on the console, as UTF-8 with "\n" for its line end, handed
// out byte by byte. The console gives whole lines (it edits and echoes them
// itself), in UTF-16, so the non-ASCII letters of a name arrive intact.
class ConsoleLines {
 public:
  // False at the end of the input.
  bool NextByte(HANDLE input, char& byte) {
    if (next_ == text_.size() && !ReadMore(input)) return false;
    byte = text_[next_++];
    return true;
  }
  // A key wait on the console takes whatever was typed ahead of it.
  bool DropTypedAhead() {
    const bool any = next_ < text_.size();
    text_.clear();
    next_ = 0;
    return any;
  }

 private:
  // One whole line. A line longer than one read comes in several, so the
  // units are gathered until a read ends the line (one that leaves the
  // buffer room, or ends in LF) and converted together: a surrogate pair or
  // a CR LF split between two reads stays whole.
  bool ReadMore(HANDLE input) {
    std::wstring units;
    for (;;) {
      const std::size_t had = units.size();
      units.resize(had + k_console_read_units);
      DWORD got = 0;
      SetLastError(ERROR_SUCCESS);
      const bool read = ReadConsoleW(input, units.data() + had, k_console_read_units, &got, nullptr) != 0;
      if (!read || got == 0) {
        StopIfEndingFollows(GetLastError());
        units.resize(had);
        break;
      }
      units.resize(had + got);
      if (got < k_console_read_units || units.back() == L'\n') break;
    }
    next_ = 0;
    text_.clear();
    if (units.empty() || units.front() == k_end_of_input) return false;
    // A console line ends in CR LF; the menu reads "\n" as on Linux.
    if (units.ends_with(L"\r\n")) units.erase(units.size() - 2, 1);
    text_ = Utf8FromWide(units);
    return true;
  }

  std::string text_;
  std::size_t next_ = 0;
};

ConsoleLines console_lines;

// Piped or redirected input, read in blocks: a line of many megabytes costs
// a read per block, not one per byte. What a file gave beyond the line used
// is handed back (its position stays exact for whoever reads it next); a
// pipe's stays here for the next line, as any buffered reader keeps it.
class StreamLines {
 public:
  // Appends the rest of the line to `line` and uses it up with its line
  // end; false when the input ends first.
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
      bytes.resize(k_stream_read_bytes);
      start = 0;
      const int got = _read(0, bytes.data(), k_stream_read_bytes);
      bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
      if (got <= 0) return false;
    }
  }

 private:
  void GiveBackReadAhead() {
    if (start == bytes.size() || !FromFile()) return;
    if (_lseeki64(0, -static_cast<__int64>(bytes.size() - start), SEEK_CUR) < 0) return;
    bytes.clear();
    start = 0;
  }

  bool FromFile() {
    if (from_file < 0) from_file = GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_DISK ? 1 : 0;
    return from_file > 0;
  }

  std::string bytes;
  std::size_t start = 0;
  int from_file = -1;  // not yet known
};

StreamLines stream_lines;

// A key that counts as a press: any key going down except a modifier alone
// (a terminal on Linux sees no byte for Shift, Ctrl or Alt either).
bool IsKeyPress(const INPUT_RECORD& record) {
  if (record.EventType != KEY_EVENT || !record.Event.KeyEvent.bKeyDown) return false;
  switch (record.Event.KeyEvent.wVirtualKeyCode) {
    case VK_SHIFT:
    case VK_CONTROL:
    case VK_MENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
    case VK_NUMLOCK:
    case VK_SCROLL:
      return false;
    default:
      return true;
  }
}

// The console input without line editing and echo for the length of one key
// wait, with Ctrl-C left to the system (so it still interrupts); the event
// handler puts the saved mode back if Ctrl-C or closing the window ends the
// program meanwhile, and this or the handler puts it back, never both.
class KeyMode {
 public:
  KeyMode(HANDLE input, DWORD saved) {
    const DWORD key_mode =
        (saved | ENABLE_PROCESSED_INPUT) & ~static_cast<DWORD>(ENABLE_LINE_INPUT | ENABLE_ECHO_INPUT);
    ChangeConsoleInput(input, saved, key_mode);
  }
  ~KeyMode() { RestoreConsoleInput(); }
  KeyMode(const KeyMode&) = delete;
  KeyMode& operator=(const KeyMode&) = delete;
};

// Clears through the console API where the console takes no escape codes
// (a Windows before 10).
void ClearThroughConsoleApi(HANDLE output) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(output, &info)) return;
  const DWORD cells = static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
  DWORD written = 0;
  FillConsoleOutputCharacterW(output, L' ', cells, COORD{0, 0}, &written);
  FillConsoleOutputAttribute(output, info.wAttributes, cells, COORD{0, 0}, &written);
  SetConsoleCursorPosition(output, COORD{0, 0});
}

// A mode the handler puts back (the output's mode as found) is changed in
// a step, never after the handler has put it back.
bool EnableEscapeCodes(HANDLE output, DWORD mode) {
  EndingStep step;
  return SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

}  // namespace

void ClearScreen() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (!ConsoleMode(output, mode)) return;
  if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 || EnableEscapeCodes(output, mode)) {
    std::fputs(k_clear_sequence, stdout);
    return;
  }
  std::fflush(stdout);
  ClearThroughConsoleApi(output);
}

std::optional<std::string> ReadLine() {
  std::fflush(stdout);
  std::string line;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool from_console = ConsoleMode(input, mode);
  if (from_console) {
    char byte = 0;
    while (console_lines.NextByte(input, byte)) {
      if (byte == '\n') return line;
      line.push_back(byte);
    }
    if (!line.empty()) return line;
  } else if (stream_lines.TakeLine(line) || !line.empty()) {
    // What cmd and PowerShell 5.1 pipe comes in the console's code page.
    return Utf8FromPipedLine(std::move(line), PipedTextCodePage());
  }
  // A shell's prompt that follows starts on its own line.
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (ConsoleMode(output, mode)) std::fputc('\n', stdout);
  return std::nullopt;
}

bool WaitForKeyPress() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD saved = 0;
  if (!ConsoleMode(input, saved)) return ReadLine().has_value();
  if (console_lines.DropTypedAhead()) return true;
  KeyMode key_mode(input, saved);
  // The wait's text appears only once the key can no longer be echoed.
  std::fflush(stdout);
  for (;;) {
    INPUT_RECORD record{};
    DWORD got = 0;
    if (!ReadConsoleInputW(input, &record, 1, &got) || got == 0) return false;
    if (IsKeyPress(record)) return true;
  }
}

// The screen buffer's width: where the console wraps a line (a window
// narrower than it scrolls sideways instead).
std::size_t TerminalColumns(StandardStream stream) {
  const DWORD handle_id = stream == StandardStream::error    ? STD_ERROR_HANDLE
                          : stream == StandardStream::output ? STD_OUTPUT_HANDLE
                                                             : STD_INPUT_HANDLE;
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!GetConsoleScreenBufferInfo(GetStdHandle(handle_id), &info) || info.dwSize.X <= 0) return k_unknown_columns;
  return static_cast<std::size_t>(info.dwSize.X);
}

}  // namespace huffman
