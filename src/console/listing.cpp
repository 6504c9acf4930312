#include "console/listing.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "console/prompts.h"
#include "console/screen.h"
#include "platform/display_name.h"
#include "platform/file_name.h"

namespace huffman {
namespace {

constexpr char k_no_such_file[] = "\tNie ma pliku o numerze: ";
constexpr char k_file_number_again[] = "\tWpisz numer pliku: ";

// A wrong file number is echoed up to this many characters, then k_echo_cut.
constexpr std::size_t k_echo_characters = 64;
constexpr char k_echo_cut[] = "...";

}  // namespace

std::vector<std::string> ListDirEntries() {
  std::vector<std::string> names;
  std::error_code error;
  // The iterator leaves out "." and ".." itself.
  std::filesystem::directory_iterator entry(".", error);
  for (; !error && entry != std::filesystem::directory_iterator(); entry.increment(error)) {
    names.push_back(NameOf(entry->path().filename()));
  }
  // std::string compares as unsigned bytes: the order does not follow the locale.
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> ListFilesInDir() {
  ResetScreen();
  std::fputs(k_listing_heading, stdout);
  std::vector<std::string> names = ListDirEntries();
  for (std::size_t i = 0; i < names.size(); ++i) {
    PrintListedFile(static_cast<int>(i + 1), names[i]);
  }
  std::fputs(k_listing_end, stdout);
  return names;
}

std::optional<std::string> GetFileName(const std::vector<std::string>& listed) {
  std::fputs(k_file_number_prompt, stdout);
  for (;;) {
    std::optional<std::string> line = ReadMenuLine();
    if (!line) return std::nullopt;
    if (TrimBlanks(*line).empty()) {
      std::fputs(k_file_number_again, stdout);
      continue;
    }
    std::optional<std::int64_t> file_Number = ParseNumber(*line);
    if (file_Number == 0) return std::nullopt;
    if (file_Number && *file_Number >= 1 && static_cast<std::uint64_t>(*file_Number) <= listed.size()) {
      return listed[static_cast<std::size_t>(*file_Number - 1)];
    }
    std::fputs(k_no_such_file, stdout);
    const std::string_view typed = TrimBlanks(*line);
    const std::string_view echoed = LeadingCharacters(typed, k_echo_characters);
    PrintName(echoed);
    if (echoed.size() < typed.size()) std::fputs(k_echo_cut, stdout);
    std::fputc('\n', stdout);
    std::fputs(k_file_number_again, stdout);
  }
}

}  // namespace huffman
