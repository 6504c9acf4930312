#include "platform/signals_windows.h"
#include "platform/signals.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "platform/utf16_windows.h"

namespace huffman {
namespace {

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

void RestoreConsoleOutput() {
  if (!output_guarded) return;
  SetConsoleMode(output_handle, output_saved_mode);
  SetConsoleOutputCP(output_saved_code_page);
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
  if (input_guarded) SetConsoleMode(input_handle, input_saved);
  RestoreConsoleOutput();
  // The temporary file is opened with FILE_SHARE_DELETE, so it can be
  // removed while the program's thread still has it open; it disappears
  // when the process ends and its handles close.
  if (file_guarded) DeleteFileW(file_path);
  // The next handler, the system's, ends the process as this event does.
  return FALSE;
}

}  // namespace

// A process started with Ctrl-C ignored is not called for it, so the
// handler leaves that choice alone.
int InstallExitSignalHandlers() { return SetConsoleCtrlHandler(HandleEndingEvent, TRUE) ? 0 : EINVAL; }

void GuardConsoleInput(HANDLE input, DWORD saved) {
  input_guarded = false;
  input_handle = input;
  input_saved = saved;
  input_guarded = true;
}

void ReleaseConsoleInput() { input_guarded = false; }

void GuardConsoleOutput(HANDLE output, DWORD saved_mode, UINT saved_code_page) {
  output_guarded = false;
  output_handle = output;
  output_saved_mode = saved_mode;
  output_saved_code_page = saved_code_page;
  output_guarded = true;
  std::atexit(RestoreConsoleOutput);
}

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

}  // namespace huffman
