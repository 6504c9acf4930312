// The command line's standard input and output as binary streams on their
// descriptors (no translation, no stdio buffer in between), and whether each
// standard stream is a terminal: compressed data is never written to or read
// from one unless forced, and progress is drawn only on one; and text
// written to standard output or error so that a console shows it whole.
#pragma once

#include <string_view>

#include "platform/fd_stream.h"

namespace huffman {

enum class StandardStream { input, output, error };

bool IsTerminal(StandardStream stream);

// True when standard input is a regular file read from its start, which can
// be read again from there (`huffman -c < file`), so it need not be spilled.
bool StandardInputRereadable();

FdInputStream& StandardInput();
// The descriptor StandardInput() reads, for what moves its bytes directly.
int StandardInputDescriptor();
FdOutputStream& StandardOutput();

// Writes the UTF-8 `text` to standard output or error through its C stream.
// On a Windows console the text goes to the console as UTF-16, in one call
// (the C runtime hands it over a byte at a time, which splits each letter
// of two bytes or more); to a pipe or file its bytes go unchanged.
void WriteText(StandardStream stream, std::string_view text);

}  // namespace huffman
