// Windows' own error codes as the errno values the modes describe, for the
// Windows side of the platform services alone (system_errors_windows.cpp).
#pragma once

#include <windows.h>

namespace huffman {

// The errno closest to `error` (a GetLastError value); EIO for the rest.
int ErrnoOf(DWORD error);

}  // namespace huffman
