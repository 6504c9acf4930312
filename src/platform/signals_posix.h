// The terminal's side of the ending-signal handler on POSIX systems, for the
// terminal service alone: the settings a signal puts back. Only
// async-signal-safe calls run in the handler, on copies kept by it.
#pragma once

#include <termios.h>

namespace huffman {

// While guarded, a signal restores `saved` on terminal `fd` before dying.
void GuardTerminal(int fd, const termios& saved);
void ReleaseTerminal();

}  // namespace huffman
