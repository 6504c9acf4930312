// The terminal's side of the ending-signal handler on POSIX systems, for the
// terminal service alone: the settings a signal puts back, and those SIGCONT
// sets again. Only async-signal-safe calls run in the handlers, on copies
// kept by them.
#pragma once

#ifndef HUFFMAN_PLATFORM_INTERNAL
#error "platform/signals_posix.h is private to the platform layer: include its service's header"
#endif

#include <termios.h>

namespace huffman {

// While guarded, terminal `fd` has the settings `active`: a signal that ends
// or suspends the program restores `saved`, and SIGCONT sets `active` again.
void GuardTerminal(int fd, const termios& saved, const termios& active);
void ReleaseTerminal();

}  // namespace huffman
