// The command line's standard input and output as binary streams on their
// descriptors (no translation, no stdio buffer in between), and whether each
// standard stream is a terminal: compressed data is never written to or read
// from one unless forced, and progress is drawn only on one.
#pragma once

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

}  // namespace huffman
