// The program entry: with no arguments the menu levels, with any argument the
// command-line mode (src/cli/). Each menu level lists the working
// directory, takes a file number, shows the menu for that file and acts on
// the choice. An operation (choices 1 and 2) and choice 3 open a new level
// inside the current one; an unlisted choice ends the current level with a
// key press, and then every level that opened it ends with its own key press.
//
// The levels are counted in a loop rather than nested as calls, so a long
// session does not grow the stack; the screens and key presses come in the
// same order as nested calls would give them. The menu ends with status 0
// in every case: choice 0, file number 0, the end of level 1, or the end of
// the input at any prompt or key wait.
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "cli/run.h"
#include "console/file_operations.h"
#include "console/listing.h"
#include "console/prompts.h"
#include "console/screen.h"
#include "platform/process_start.h"
#include "platform/signals.h"
#include "platform/terminal.h"

namespace {

constexpr int k_exit_status = 0;

// The system's reason for an errno (strerror's text, without its shared buffer).
std::string SystemReason(int error) { return std::generic_category().message(error); }

enum MenuChoice : std::int64_t {
  k_choice_exit = 0,
  k_choice_compress = 1,
  k_choice_decompress = 2,
  k_choice_other_file = 3,
};

int RunMenu() {
  for (int open_levels = 1;; ++open_levels) {
    const std::vector<std::string> listed = huffman::ListFilesInDir();
    const std::optional<std::string> file_Name = huffman::GetFileName(listed);
    if (!file_Name) return k_exit_status;

    huffman::PrintMenu(*file_Name);
    const std::optional<std::string> line = huffman::ReadLine();
    if (!line) return k_exit_status;
    // Anything that is not a number does what an unlisted number does.
    const std::int64_t menu = huffman::ParseNumber(*line).value_or(-1);

    switch (menu) {
      case k_choice_exit:
        return k_exit_status;
      case k_choice_compress:
        if (!huffman::CompressFile(*file_Name)) return k_exit_status;
        continue;
      case k_choice_decompress:
        if (!huffman::DeCompressFile(*file_Name)) return k_exit_status;
        continue;
      case k_choice_other_file:
        continue;
      default:
        break;
    }

    // An unlisted choice: this level and each one that opened it end in turn,
    // each after a key press.
    for (; open_levels > 0; --open_levels) {
      if (!huffman::WaitForKey()) return k_exit_status;
    }
    return k_exit_status;
  }
}

}  // namespace

int main(int argc, char** argv) {
  huffman::PrepareStandardStreams();
  // Without the handlers a signal still ends the program, but may leave the
  // terminal changed or a temporary file behind: say so, in the mode's
  // language, and go on.
  const int signal_error = huffman::InstallExitSignalHandlers();
  if (argc > 1) {
    if (signal_error != 0) {
      std::fprintf(stderr, "huffman: signal handlers unavailable: %s\n", SystemReason(signal_error).c_str());
    }
    return huffman::cli::RunCommandLine(huffman::ProgramArguments(argc, argv));
  }
  if (signal_error != 0) {
    std::fprintf(stderr, "huffman: obsluga sygnalow niedostepna: %s\n", SystemReason(signal_error).c_str());
  }
  return RunMenu();
}
