// The Windows side of the ending-event handler (Ctrl-C, Ctrl-Break, closing
// the console window), for the platform services alone: the console modes
// and output code page it puts back, the temporary file it removes, and the
// hand-over with the program's thread. The handler runs on a thread of its
// own while the program's thread goes on, so each thing it puts back is put
// back once, by whichever comes first, and the program's thread stops at its
// next step once the handler has begun.
#pragma once

#ifndef HUFFMAN_PLATFORM_INTERNAL
#error "platform/signals_windows.h is private to the platform layer: include its service's header"
#endif

#include <string>

#include <windows.h>

namespace huffman {

// One step of the program's thread that changes what the handler puts back:
// creating, putting in place or removing the temporary file, changing a
// console mode. The handler waits for a step under way (bounded, well
// within the five seconds the system gives it when the window closes)
// before it puts things back. A step that would begin after the handler has
// begun does not: the thread stops there until the handler ends the
// process, so nothing is created, put in place or reported after it.
// Steps do not nest.
class EndingStep {
 public:
  EndingStep();
  ~EndingStep();
  EndingStep(const EndingStep&) = delete;
  EndingStep& operator=(const EndingStep&) = delete;
};

// Console input `input` gets mode `changed` (a key wait's) in one step; an
// ending event restores `saved` until RestoreConsoleInput, which restores
// it once (it or the handler, never both).
void ChangeConsoleInput(HANDLE input, DWORD saved, DWORD changed);
void RestoreConsoleInput();

// The console output's mode and code page as the program found them; they
// are put back once, by the normal end (atexit), an ending event, an
// abort or a crash, whichever comes first.
void GuardConsoleOutput(HANDLE output, DWORD saved_mode, UINT saved_code_page);

// Removes the temporary file `path` in a step: once, by this or by the
// handler, never both, while GuardFile guards it.
void RemoveTemporaryFile(const std::string& path);

// Called where a console read came back with nothing, with the read's
// error: Ctrl-C aborts a read on Windows (ERROR_OPERATION_ABORTED) as its
// handler starts. When the handler follows, the thread stops here rather
// than take the abort for the end of the input; otherwise this returns.
void StopIfEndingFollows(DWORD read_error);

}  // namespace huffman
