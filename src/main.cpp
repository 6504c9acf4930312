// The program entry: with no arguments the menu levels, with any argument the
// command-line mode (src/cli/). Each menu level lists the working
// directory, takes a file number, shows the menu for that file and acts on
// the choice. An operation (choices 1 and 2) and choice 3 open a new level
// inside the current one; an unlisted choice ends the current level with a
// key press, and then every level that opened it ends with its own key press.
//
// The levels are counted in a loop rather than nested as calls, so a long
// session does not grow the stack; the screens and key presses come in the
// same order as nested calls would give them. The menu is left with status
// 0: by choice 0, by file number 0, or at the end of level 1 after an
// unlisted choice and all its key presses; the end of a terminal's input
// (Ctrl-D) leaves it so too. Piped input that ends before the menu is left
// gives status 1, and piped input that is data rather than typed lines
// (console/prompts.h) status 2, each with one English line on standard error,
// so that a pipeline that meant to compress a stream fails loudly.
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
#include "huffman/codec.h"
#include "platform/process_start.h"
#include "platform/signals.h"
#include "platform/terminal.h"

namespace {

constexpr int k_menu_left = 0;
constexpr int k_input_ended = 1;
constexpr int k_not_menu_input = 2;

constexpr char k_input_ended_line[] = "huffman: the input ended before 0 was chosen\n";
constexpr char k_not_menu_input_line[] =
    "huffman: standard input is not menu input (binary data); to compress a stream use: huffman -c\n";

// The system's reason for an errno (strerror's text, without its shared buffer).
std::string SystemReason(int error) { return std::generic_category().message(error); }

enum MenuChoice : std::int64_t {
  k_choice_exit = 0,
  k_choice_compress = 1,
  k_choice_decompress = 2,
  k_choice_other_file = 3,
};

// Runs the menu levels until the menu is left or its input stops.  One
// codec serves every operation of the run.
void RunMenu() {
  huffman::Codec codec;
  for (int open_levels = 1;; ++open_levels) {
    const std::vector<std::string> listed = huffman::ListFilesInDir();
    const std::optional<std::string> file_Name = huffman::GetFileName(listed);
    if (!file_Name) return;

    huffman::PrintMenu(*file_Name);
    const std::optional<std::string> line = huffman::ReadMenuLine();
    if (!line) return;
    // Anything that is not a number does what an unlisted number does.
    const std::int64_t menu = huffman::ParseNumber(*line).value_or(-1);

    switch (menu) {
      case k_choice_exit:
        return;
      case k_choice_compress:
        if (!huffman::CompressFile(codec, *file_Name)) return;
        continue;
      case k_choice_decompress:
        if (!huffman::DeCompressFile(codec, *file_Name)) return;
        continue;
      case k_choice_other_file:
        continue;
      default:
        break;
    }

    // An unlisted choice: this level and each one that opened it end in turn,
    // each after a key press.
    for (; open_levels > 0; --open_levels) {
      if (!huffman::WaitForKey()) return;
    }
    return;
  }
}

// The menu's exit status, from why it ended; the line that says why on
// standard error.
int MenuStatus() {
  switch (huffman::InputStopped()) {
    case huffman::InputStop::none:
      return k_menu_left;
    case huffman::InputStop::ended:
      if (huffman::InputFromTerminal()) return k_menu_left;
      std::fputs(k_input_ended_line, stderr);
      return k_input_ended;
    case huffman::InputStop::not_menu_input:
      std::fputs(k_not_menu_input_line, stderr);
      return k_not_menu_input;
  }
  return k_menu_left;
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
  RunMenu();
  return MenuStatus();
}
