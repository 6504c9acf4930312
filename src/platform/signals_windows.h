// The console's side of the ending-event handler on Windows (Ctrl-C,
// Ctrl-Break, closing the console window), for the terminal and
// process-start services alone: the console modes and output code page the
// handler puts back. The handler runs on a thread of its own while the
// program's thread goes on, so each copy is published before its flag.
#pragma once

#ifndef HUFFMAN_PLATFORM_INTERNAL
#error "platform/signals_windows.h is private to the platform layer: include its service's header"
#endif

#include <windows.h>

namespace huffman {

// While guarded, an ending event restores `saved` as the mode of console
// input `input` (changed for a key wait).
void GuardConsoleInput(HANDLE input, DWORD saved);
void ReleaseConsoleInput();

// The console output's mode and code page as the program found them; an
// ending event puts them back (a normal end puts them back through atexit).
void GuardConsoleOutput(HANDLE output, DWORD saved_mode, UINT saved_code_page);

}  // namespace huffman
