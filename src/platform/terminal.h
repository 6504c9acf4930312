// The console's platform services: clearing the screen, reading a typed
// line, waiting for one key, and a terminal's width (terminal_posix.cpp,
// terminal_windows.cpp).
// Line reads and key waits share one buffer of what standard input
// delivered, so neither loses what the other is to see: lines are read in
// blocks, a regular file is set back to the end of the line used (its
// position stays exact), and a key wait on a terminal takes one key and
// leaves what was typed after it. Standard output is flushed before every
// wait for input.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

#include "platform/standard_streams.h"

namespace huffman {

// Clears the terminal with escape codes; prints nothing when standard output
// is not a terminal, so piped output is plain text.
void ClearScreen();

// One line of input without its line end; a last line without a line end
// counts too. nullopt at the end of input, after ending the line on the
// screen when standard output is a terminal (so a shell's prompt that
// follows starts on its own line). On Windows a console line arrives as
// UTF-8, and a piped line that is not valid UTF-8 is read in the console's
// code page where it is valid there (piped_text_windows.h).
std::optional<std::string> ReadLine();

// Waits for one key press. On a terminal: one key (one byte, or a whole
// escape sequence or UTF-8 character as far as it has arrived), without
// Enter and not echoed, the terminal's settings restored afterwards (and by a
// signal that ends or suspends the program during the wait). Otherwise a key
// press is one line. False at the end of input. The menu waits through
// its own WaitForKey (console/prompts.h), which checks a piped line first.
[[nodiscard]] bool WaitForKeyPress();

// How many columns wide the terminal `stream` writes to is; 80 when it is
// not a terminal or does not say.
std::size_t TerminalColumns(StandardStream stream);

}  // namespace huffman
