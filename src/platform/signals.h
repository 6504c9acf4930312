// What the program must put back if an ending signal (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT) kills it: the terminal's settings while a key wait has them
// changed, and the temporary file while an operation is writing it. The
// handler undoes both, then re-raises the signal with its default action, so
// whoever started the program still sees the signal as the cause of the end.
// A suspension (Ctrl-Z, SIGTSTP) during a key wait puts the saved settings
// back before the program stops, and SIGCONT sets the key wait's settings
// again once the program is in the foreground. Only async-signal-safe calls
// run in the handlers, on copies kept here.
#pragma once

#include <string>

#include <termios.h>

namespace huffman {

// Installs the handler for each ending signal and for SIGTSTP when it is not
// ignored, and the handler for SIGCONT. Returns 0, or the errno of the first
// signal whose handler could not be installed (the others are still
// installed).
[[nodiscard]] int InstallExitSignalHandlers();

// While guarded, terminal `fd` has the settings `active`: a signal that ends
// or suspends the program restores `saved`, and SIGCONT sets `active` again.
void GuardTerminal(int fd, const termios& saved, const termios& active);
void ReleaseTerminal();

// While guarded, a signal removes the file `path` before dying. False, and
// nothing guarded, when the path is too long for the handler's copy: the
// caller must then not create the file.
[[nodiscard]] bool GuardFile(const std::string& path);
void ReleaseFile();

}  // namespace huffman
