#include "console/prompts.h"

#include <charconv>
#include <cstdio>

#include "platform/terminal.h"

namespace huffman {
namespace {

constexpr std::string_view k_blanks = " \t\r";
constexpr char k_name_prompt_again[] = "\t---> ";

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

std::optional<std::string> ReadNewName() {
  for (;;) {
    std::optional<std::string> line = ReadLine();
    if (!line) return std::nullopt;
    std::string_view name = TrimBlanks(*line);
    if (!name.empty()) return std::string(name);
    std::fputs(k_name_prompt_again, stdout);
  }
}

}  // namespace huffman
