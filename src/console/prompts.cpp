#include "console/prompts.h"

#include <charconv>
#include <cstdio>

#include "platform/display_name.h"
#include "platform/standard_streams.h"
#include "platform/terminal.h"

namespace huffman {
namespace {

constexpr std::string_view k_blanks = " \t\r";
constexpr char k_name_prompt_again[] = "\t---> ";

InputStop input_stop = InputStop::none;

// A person types text; a NUL byte or invalid UTF-8 on a pipe means that a
// file or a program's output came in its place.
bool LooksTyped(std::string_view line) { return line.find('\0') == std::string_view::npos && IsValidUtf8(line); }

}  // namespace

std::string_view TrimBlanks(std::string_view line) {
  std::size_t first = line.find_first_not_of(k_blanks);
  if (first == std::string_view::npos) return {};
  std::size_t last = line.find_last_not_of(k_blanks);
  return line.substr(first, last - first + 1);
}

std::optional<std::int64_t> ParseNumber(std::string_view line) {
  std::string_view digits = TrimBlanks(line);
  // from_chars takes a '-' but not a '+'; "+-1" must stay invalid.
  if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-') digits.remove_prefix(1);
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  return value;
}

bool InputFromTerminal() {
  // Asked once, before the first read: a terminal that hangs up later no
  // longer says it is one.
  static const bool from_terminal = IsTerminal(StandardStream::input);
  return from_terminal;
}

std::optional<std::string> ReadMenuLine() {
  const bool from_terminal = InputFromTerminal();
  if (input_stop != InputStop::none) return std::nullopt;
  std::optional<std::string> line = ReadLine();
  if (!line) {
    input_stop = InputStop::ended;
    return std::nullopt;
  }
  if (!from_terminal && !LooksTyped(*line)) {
    input_stop = InputStop::not_menu_input;
    return std::nullopt;
  }
  return line;
}

bool WaitForKey() {
  if (input_stop != InputStop::none) return false;
  if (!InputFromTerminal()) return ReadMenuLine().has_value();
  if (WaitForKeyPress()) return true;
  input_stop = InputStop::ended;
  return false;
}

InputStop InputStopped() { return input_stop; }

std::optional<std::string> ReadNewName() {
  for (;;) {
    std::optional<std::string> line = ReadMenuLine();
    if (!line) return std::nullopt;
    std::string_view name = TrimBlanks(*line);
    if (!name.empty()) return std::string(name);
    std::fputs(k_name_prompt_again, stdout);
  }
}

}  // namespace huffman
