// The ending events on Windows. The handler runs on a thread the system
// starts for it while the program's thread goes on: it marks the ending,
// waits (bounded) for a step of the program's thread under way, puts back
// what is guarded and ends the process itself. Each guarded thing is claimed
// by one exchange of its flag, so the handler, a normal end and the
// program's own clean-up never both act on it; the lock around the steps
// makes whoever claims it finish before the process can end.
#include "platform/signals_windows.h"
#include "platform/signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>

#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// The handler's wait for a step under way: closing the window gives it
// about five seconds in all before the system ends the process.
constexpr ULONGLONG k_step_wait_ms = 2000;
// How long a console read aborted by Ctrl-C waits for the handler to start.
constexpr ULONGLONG k_abort_wait_ms = 1000;

std::atomic<bool> ending = false;
SRWLOCK step_lock = SRWLOCK_INIT;

std::atomic<bool> input_guarded = false;
HANDLE input_handle = nullptr;
DWORD input_saved = 0;

std::atomic<bool> output_guarded = false;
HANDLE output_handle = nullptr;
DWORD output_saved_mode = 0;
UINT output_saved_code_page = 0;

// The longest path the wide API takes, terminator included.
constexpr std::size_t k_max_wide_path = 32768;
std::atomic<bool> file_guarded = false;
wchar_t file_path[k_max_wide_path] = {};

void PutBackInput() {
  if (input_guarded.exchange(false)) SetConsoleMode(input_handle, input_saved);
}

void PutBackOutput() {
  if (!output_guarded.exchange(false)) return;
  SetConsoleMode(output_handle, output_saved_mode);
  SetConsoleOutputCP(output_saved_code_page);
}

// The temporary file is opened with FILE_SHARE_DELETE, so it can be removed
// while the program's thread still has it open; it disappears when the
// process ends and its handles close.
void RemoveFile() {
  if (file_guarded.exchange(false)) DeleteFileW(file_path);
}

void PutBackAll() {
  PutBackInput();
  PutBackOutput();
  RemoveFile();
}

// The step lock within `wait_ms`; false when a step holds it longer.
bool TakeStepLock(ULONGLONG wait_ms) {
  const ULONGLONG deadline = GetTickCount64() + wait_ms;
  while (!TryAcquireSRWLockExclusive(&step_lock)) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(1);
  }
  return true;
}

// The program's thread once the handler has begun: the handler ends the
// process.
[[noreturn]] void StopForEnding() {
  for (;;) Sleep(INFINITE);
}

BOOL WINAPI HandleEndingEvent(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return FALSE;
  }
  ending = true;
  const bool locked = TakeStepLock(k_step_wait_ms);
  PutBackAll();
  // Free for the normal end's restore, should the runtime run it while the
  // process ends; a step begun now stops at once.
  if (locked) ReleaseSRWLockExclusive(&step_lock);
  // As the system's own handler ends the process on Windows, with the same
  // status everywhere (Wine's ends Ctrl-C with 0).
  ExitProcess(STATUS_CONTROL_C_EXIT);
}

// The normal end (main returns, or exit): the console output as found.
void PutBackOutputAtEnd() {
  const bool locked = TakeStepLock(k_step_wait_ms);
  PutBackOutput();
  if (locked) ReleaseSRWLockExclusive(&step_lock);
}

// An abort (std::terminate, a failed assertion) and a crash end the process
// without the normal end: the console is put back and the temporary file
// removed first. The step lock is not waited for: the failing thread may
// hold it.
void PutBackOnAbort(int /*signal_number*/) { PutBackAll(); }

LPTOP_LEVEL_EXCEPTION_FILTER previous_filter = nullptr;

LONG WINAPI PutBackOnCrash(EXCEPTION_POINTERS* exception) {
  const LONG next = previous_filter != nullptr ? previous_filter(exception) : EXCEPTION_CONTINUE_SEARCH;
  if (next != EXCEPTION_CONTINUE_EXECUTION) PutBackAll();
  return next;
}

}  // namespace

EndingStep::EndingStep() {
  AcquireSRWLockExclusive(&step_lock);
  if (!ending) return;
  ReleaseSRWLockExclusive(&step_lock);
  StopForEnding();
}

EndingStep::~EndingStep() { ReleaseSRWLockExclusive(&step_lock); }

// A process started with Ctrl-C ignored is not called for it, so the
// handler leaves that choice alone.
int InstallExitSignalHandlers() {
  previous_filter = SetUnhandledExceptionFilter(PutBackOnCrash);
  std::signal(SIGABRT, PutBackOnAbort);
  return SetConsoleCtrlHandler(HandleEndingEvent, TRUE) ? 0 : EINVAL;
}

void ChangeConsoleInput(HANDLE input, DWORD saved, DWORD changed) {
  EndingStep step;
  input_handle = input;
  input_saved = saved;
  input_guarded = true;
  SetConsoleMode(input, changed);
}

void RestoreConsoleInput() {
  EndingStep step;
  PutBackInput();
}

void GuardConsoleOutput(HANDLE output, DWORD saved_mode, UINT saved_code_page) {
  output_guarded = false;
  output_handle = output;
  output_saved_mode = saved_mode;
  output_saved_code_page = saved_code_page;
  output_guarded = true;
  std::atexit(PutBackOutputAtEnd);
}

// Called within the step that creates the file, so the handler never
// removes the name before the file exists.
bool GuardFile(const std::string& path) {
  file_guarded = false;
  const std::wstring wide = SystemPath(path);
  if (wide.size() >= k_max_wide_path) return false;
  wide.copy(file_path, wide.size());
  file_path[wide.size()] = L'\0';
  file_guarded = true;
  return true;
}

void ReleaseFile() { file_guarded = false; }

void RemoveTemporaryFile(const std::string& path) {
  EndingStep step;
  const std::wstring wide = SystemPath(path);
  if (file_guarded && wide == file_path) {
    RemoveFile();
  } else {
    DeleteFileW(wide.c_str());
  }
}

void StopIfEndingFollows(DWORD read_error) {
  if (read_error != ERROR_OPERATION_ABORTED) return;
  const ULONGLONG deadline = GetTickCount64() + k_abort_wait_ms;
  while (!ending) {
    if (GetTickCount64() >= deadline) return;
    Sleep(1);
  }
  StopForEnding();
}

}  // namespace huffman
