// What the program must put back if an ending signal (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT; on Windows Ctrl-C, Ctrl-Break and closing the console window)
// kills it: the terminal's settings while a key wait has them changed, and
// the temporary file while an operation is writing it. The handler undoes
// both, then lets the signal end the program as it would have, so whoever
// started the program still sees the signal as the cause of the end. The
// terminal's side is guarded by the terminal service through its system's
// own header (signals_posix.h, signals_windows.h).
#pragma once

#include <string>

namespace huffman {

// Installs the handler for each ending signal that is not ignored.
void InstallExitSignalHandlers();

// While guarded, a signal removes the file `path` before dying. False, and
// nothing guarded, when the path is too long for the handler's copy: the
// caller must then not create the file.
[[nodiscard]] bool GuardFile(const std::string& path);
void ReleaseFile();

}  // namespace huffman
