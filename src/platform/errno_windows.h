// Windows' own error codes as the errno values the modes describe, for the
// Windows side of the platform services alone (system_errors_windows.cpp).
#pragma once

#ifndef HUFFMAN_PLATFORM_INTERNAL
#error "platform/errno_windows.h is private to the platform layer: include its service's header"
#endif

#include <windows.h>

namespace huffman {

// The errno closest to `error` (a GetLastError value); EIO for the rest.
int ErrnoOf(DWORD error);

}  // namespace huffman
