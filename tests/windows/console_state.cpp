// A test's witness of the console's state: runs a program on its own
// console, types keys into it, sends Ctrl-C when asked, and writes the
// program's exit status beside the console's output code page, output mode
// and input mode before and after, which no process off the console can
// read. Usage: console_state RESULT_FILE WHEN KEYS PROGRAM [ARGUMENT...]
// WHEN is "never", "key-wait" (Ctrl-C once the input is in a key wait's
// mode) or "temp-file" (once a .huffman-*.tmp file exists here); in KEYS a
// "|" is Enter.
#include <cstdio>
#include <string>

#include <windows.h>

namespace {

constexpr ULONGLONG k_wait_ms = 60000;

struct ConsoleState {
  UINT code_page = 0;
  DWORD output_mode = 0;
  DWORD input_mode = 0;
};

ConsoleState ReadState() {
  ConsoleState state;
  state.code_page = GetConsoleOutputCP();
  GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &state.output_mode);
  GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &state.input_mode);
  return state;
}

// Waits until `ready` holds; false when it does not within k_wait_ms.
template <typename Ready>
bool WaitUntil(Ready ready) {
  const ULONGLONG deadline = GetTickCount64() + k_wait_ms;
  while (!ready()) {
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
  return true;
}

void TypeKeys(const std::wstring& keys) {
  for (wchar_t key : keys) {
    const wchar_t unit = key == L'|' ? L'\r' : key;
    INPUT_RECORD records[2] = {};
    for (int i = 0; i < 2; ++i) {
      records[i].EventType = KEY_EVENT;
      records[i].Event.KeyEvent.bKeyDown = i == 0;
      records[i].Event.KeyEvent.wRepeatCount = 1;
      records[i].Event.KeyEvent.wVirtualKeyCode = unit == L'\r' ? VK_RETURN : 'A';
      records[i].Event.KeyEvent.uChar.UnicodeChar = unit;
    }
    DWORD written = 0;
    WriteConsoleInputW(GetStdHandle(STD_INPUT_HANDLE), records, 2, &written);
  }
}

bool TempFileExists() {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(L".huffman-*.tmp", &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

// The witness outlives the Ctrl-C it sends to the whole console.
BOOL WINAPI OutliveCtrlC(DWORD /*event*/) { return TRUE; }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 5) return 2;
  SetConsoleCtrlHandler(OutliveCtrlC, TRUE);
  const std::wstring when = argv[2];
  std::wstring command;
  for (int i = 4; i < argc; ++i) command += (i > 4 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";

  const ConsoleState before = ReadState();
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    return 2;
  }
  // The program sets UTF-8 as it starts; keys typed before are kept for it.
  const bool changed = WaitUntil([&] { return GetConsoleOutputCP() != before.code_page; });
  TypeKeys(argv[3]);
  bool sent = false;
  if (when == L"key-wait") {
    sent = WaitUntil([&] { return (ReadState().input_mode & ENABLE_LINE_INPUT) == 0; });
  } else if (when == L"temp-file") {
    sent = WaitUntil(TempFileExists);
  }
  if (sent) GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
  DWORD status = 0;
  if (WaitForSingleObject(process.hProcess, static_cast<DWORD>(k_wait_ms)) != WAIT_OBJECT_0) {
    TerminateProcess(process.hProcess, 1);
    status = STILL_ACTIVE;
  } else {
    GetExitCodeProcess(process.hProcess, &status);
  }
  const ConsoleState after = ReadState();

  std::FILE* result = _wfopen(argv[1], L"w");
  if (result == nullptr) return 2;
  std::fprintf(result, "changed=%d sent=%d status=%lx code_page=%u/%u output_mode=%lx/%lx input_mode=%lx/%lx\n",
               changed, sent, status, before.code_page, after.code_page, before.output_mode, after.output_mode,
               before.input_mode, after.input_mode);
  std::fclose(result);
  return 0;
}
