// What the program must put back if an ending signal (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) kills it: the terminal's settings while a key wait has them
// changed, and the temporary file while an operation is writing it. The
// handler undoes both, then re-raises the signal with its default action, so
// whoever started the program still sees the signal as the cause of the end.
// Only async-signal-safe calls run in the handler, on copies kept here.
#pragma once

#include <string>

#include <termios.h>

namespace huffman {

// Installs the handler for each ending signal that is not ignored. Returns 0,
// or the errno of the first signal whose handler could not be installed (the
// others are still installed).
[[nodiscard]] int InstallExitSignalHandlers();

// While guarded, a signal restores `saved` on terminal `fd` before dying.
void GuardTerminal(int fd, const termios& saved);
void ReleaseTerminal();

// While guarded, a signal removes the file `path` before dying. False, and
// nothing guarded, when the path is too long for the handler's copy: the
// caller must then not create the file.
[[nodiscard]] bool GuardFile(const std::string& path);
void ReleaseFile();

}  // namespace huffman
