// What the user types, one line per prompt: a decimal number (a file number
// or a menu choice) or a new name, and the key presses. Parsing takes the
// whole line, so nothing typed is left over to answer the next prompt. Piped
// input is read only while it looks typed: a line with a NUL byte or invalid
// UTF-8 is data, and stops the menu before anything acts on it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace huffman {

// Why the menu's input gave no more lines.
enum class InputStop {
  none,            // it has not stopped
  ended,           // the end of input (or a failed read)
  not_menu_input,  // a piped line with a NUL byte or invalid UTF-8
};

// One line for a prompt of the menu, without its line end. nullopt once the
// input has stopped (InputStopped says why): at its end, or, when standard
// input is not a terminal, at a line that holds a NUL byte or is not valid
// UTF-8, which is then handed to no one.
std::optional<std::string> ReadMenuLine();

// Waits for a key press: one key on a terminal, otherwise one line read as
// ReadMenuLine reads it. False once the input has stopped.
[[nodiscard]] bool WaitForKey();

// Why the input stopped; InputStop::none while it goes on.
InputStop InputStopped();

// Whether standard input is a terminal (as it was when the menu first read).
bool InputFromTerminal();

// The line without its leading and trailing blanks (spaces, tabs, and the
// carriage return of a CR LF line end).
std::string_view TrimBlanks(std::string_view line);

// The line as a decimal integer with an optional sign, blanks around it
// allowed. nullopt when it is anything else or does not fit 64 bits.
std::optional<std::int64_t> ParseNumber(std::string_view line);

// Reads the new name after the "--->" prompt already printed: the whole line
// without its outer blanks, so a name may hold spaces. An empty name is asked
// again. nullopt once the input has stopped.
std::optional<std::string> ReadNewName();

}  // namespace huffman
