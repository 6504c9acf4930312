// What the program must put back if an ending signal (SIGINT, SIGTERM, SIGHUP,
// SIGQUIT; on Windows Ctrl-C, Ctrl-Break and closing the console window)
// kills it: the terminal's settings while a key wait has them changed, and
// the temporary file while an operation is writing it. The handler undoes
// both, then lets the signal end the program as it would have (re-raised
// with its default action on POSIX), so whoever started the program still
// sees the signal as the cause of the end. On Windows the handler runs on a
// thread of its own beside the program's, and the two hand over as
// signals_windows.h says.
// A suspension (Ctrl-Z, SIGTSTP) during a key wait puts the saved settings
// back before the program stops, and SIGCONT sets the key wait's settings
// again once the program is in the foreground. Only async-signal-safe calls
// run in the handlers, on copies kept here. The terminal's side is guarded
// by the terminal service through its system's own header (signals_posix.h,
// signals_windows.h).
#pragma once

#include <string>

namespace huffman {

// Installs the handler for each ending signal and for SIGTSTP when it is not
// ignored, and the handler for SIGCONT (on Windows the console's event
// handler, and the clean-up before an abort or a crash ends the program). Returns 0, or the errno of the first
// signal whose handler could not be installed (the others are still
// installed).
[[nodiscard]] int InstallExitSignalHandlers();

// While guarded, a signal removes the file `path` before dying. False, and
// nothing guarded, when the path is too long for the handler's copy: the
// caller must then not create the file.
[[nodiscard]] bool GuardFile(const std::string& path);
void ReleaseFile();

}  // namespace huffman
