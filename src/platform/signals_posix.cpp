#include "platform/signals.h"
#include "platform/signals_posix.h"

#include <array>
#include <cerrno>
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
termios terminal_active{};

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

// Ctrl-Z: the terminal goes back to its saved settings for whatever runs
// while the program is stopped, then the program stops as SIGTSTP's default
// action would stop it. Execution resumes here after SIGCONT.
void HandleStopSignal(int signal_number) {
  const int saved_errno = errno;
  if (terminal_guarded) tcsetattr(terminal_fd, TCSANOW, &terminal_saved);
  struct sigaction ours {};
  struct sigaction stop {};
  stop.sa_handler = SIG_DFL;
  sigemptyset(&stop.sa_mask);
  sigaction(signal_number, &stop, &ours);
  // The signal is blocked in this thread while its handler runs: sent again,
  // it stops the process (whichever thread takes it) once it is unblocked.
  sigset_t stop_only;
  sigemptyset(&stop_only);
  sigaddset(&stop_only, signal_number);
  kill(getpid(), signal_number);
  pthread_sigmask(SIG_UNBLOCK, &stop_only, nullptr);
  // Resumed: blocked again until this handler returns, and caught again.
  pthread_sigmask(SIG_BLOCK, &stop_only, nullptr);
  sigaction(signal_number, &ours, nullptr);
  errno = saved_errno;
}

// fg (or any SIGCONT): the key wait's settings again, unless the program was
// resumed in the background, where changing the terminal would stop it
// again; being brought to the foreground later sends SIGCONT once more.
void HandleContinueSignal(int /*signal_number*/) {
  const int saved_errno = errno;
  if (terminal_guarded && tcgetpgrp(terminal_fd) == getpgrp()) {
    tcsetattr(terminal_fd, TCSANOW, &terminal_active);
  }
  errno = saved_errno;
}

// Installs `handler` for `signal_number` unless whoever started the program
// ignores that signal (nohup, a shell without job control): it stays ignored.
// Returns 0 or the errno of the failed call.
int Install(int signal_number, void (*handler)(int), int flags) {
  struct sigaction previous {};
  if (sigaction(signal_number, nullptr, &previous) != 0) return errno;
  if (previous.sa_handler == SIG_IGN) return 0;
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = flags;
  sigemptyset(&action.sa_mask);
  for (int other : k_exit_signals) sigaddset(&action.sa_mask, other);
  return sigaction(signal_number, &action, nullptr) == 0 ? 0 : errno;
}

}  // namespace

int InstallExitSignalHandlers() {
  int first_error = 0;
  auto note = [&first_error](int error) {
    if (first_error == 0) first_error = error;
  };
  for (int signal_number : k_exit_signals) note(Install(signal_number, HandleExitSignal, 0));
  // Reads and writes interrupted by a stop and a continue carry on.
  note(Install(SIGTSTP, HandleStopSignal, SA_RESTART));
  note(Install(SIGCONT, HandleContinueSignal, SA_RESTART));
  return first_error;
}

void GuardTerminal(int fd, const termios& saved, const termios& active) {
  terminal_guarded = 0;
  terminal_fd = fd;
  terminal_saved = saved;
  terminal_active = active;
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
