// The console's platform services: clearing the screen, reading a typed
// line, and waiting for one key (terminal_posix.cpp, terminal_windows.cpp).
// Piped or redirected input is read one byte at a time and never buffered
// ahead, so a key wait and the next prompt share one exact position in the
// input whether it comes from a pipe or a file. Standard output is flushed
// before every wait for input.
#pragma once

#include <optional>
#include <string>

namespace huffman {

// Clears the terminal with escape codes; prints nothing when standard output
// is not a terminal, so piped output is plain text.
void ClearScreen();

// Whether standard output is a terminal (a console on Windows), where a
// screen may be cleared and a line redrawn.
bool OutputIsTerminal();

// One line of input without its line end; a last line without a line end
// counts too. nullopt at the end of input.
std::optional<std::string> ReadLine();

// Waits for one key press. On a terminal: one key, unbuffered and not echoed,
// the terminal's settings restored afterwards (and by a signal during the
// wait). Otherwise a key press is one line. False at the end of input.
[[nodiscard]] bool WaitForKey();

}  // namespace huffman
