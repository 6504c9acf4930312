#include "platform/signals.h"
#include "platform/signals_posix.h"

#include <array>
#include <climits>
#include <csignal>
#include <cstring>

#include <unistd.h>

namespace huffman {
namespace {

constexpr std::array k_exit_signals = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

// Each flag is set only after its data is complete, and cleared before the
// data changes, so the handler never reads a half-written copy.
volatile std::sig_atomic_t terminal_guarded = 0;
int terminal_fd = -1;
termios terminal_saved{};

volatile std::sig_atomic_t file_guarded = 0;
char file_path[PATH_MAX] = {};

void HandleExitSignal(int signal_number) {
  if (terminal_guarded) tcsetattr(terminal_fd, TCSANOW, &terminal_saved);
  if (file_guarded) unlink(file_path);
  // The signal is blocked while its handler runs: the re-raised one is
  // delivered with the default action as soon as this handler returns.
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

}  // namespace

void InstallExitSignalHandlers() {
  for (int signal_number : k_exit_signals) {
    struct sigaction previous {};
    if (sigaction(signal_number, nullptr, &previous) != 0) continue;
    // A signal ignored by whoever started the program (nohup, a background
    // job) stays ignored.
    if (previous.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = HandleExitSignal;
    sigemptyset(&action.sa_mask);
    for (int other : k_exit_signals) sigaddset(&action.sa_mask, other);
    sigaction(signal_number, &action, nullptr);
  }
}

void GuardTerminal(int fd, const termios& saved) {
  terminal_guarded = 0;
  terminal_fd = fd;
  terminal_saved = saved;
  terminal_guarded = 1;
}

void ReleaseTerminal() { terminal_guarded = 0; }

bool GuardFile(const std::string& path) {
  file_guarded = 0;
  if (path.size() >= sizeof file_path) return false;
  std::memcpy(file_path, path.c_str(), path.size() + 1);
  file_guarded = 1;
  return true;
}

void ReleaseFile() { file_guarded = 0; }

}  // namespace huffman
