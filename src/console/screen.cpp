#include "console/screen.h"

#include <cinttypes>
#include <cstdio>

#include "platform/display_name.h"
#include "platform/standard_streams.h"
#include "platform/terminal.h"

namespace huffman {
namespace {

constexpr char k_banner[] = "~~~ Huffman | Movrix ~~~ | Relvanu\n\n";
constexpr char k_menu_rule[] = "\n___________________________________\n";
constexpr char k_menu_choices[] = "\n\t1 ) Kompresuj\n\t2 ) Dekompresuj\n\t3 ) Inny plik\n\n\t0 ) Wyjscie\n\n\t---> ";

// Thousands of bytes, as "KB" means on the summary screen.
constexpr std::uint64_t k_bytes_per_kb = 1000;

}  // namespace

void PrintName(std::string_view name) { WriteText(StandardStream::output, DisplayName(name)); }

void ResetScreen() {
  ClearScreen();
  std::fputs(k_banner, stdout);
}

void PrintMenu(const std::string& file_Name) {
  ResetScreen();
  std::fputs("\tWybrany plik: ", stdout);
  PrintName(file_Name);
  std::fputs(k_menu_rule, stdout);
  std::fputs(k_menu_choices, stdout);
}

void PrintListedFile(int number, const std::string& name) {
  std::printf("\t%d ) ", number);
  PrintName(name);
  std::fputc('\n', stdout);
}

void PrintSummary(const CompressResult& result) {
  // In brackets beside the dictionary size written stands three times the
  // number of distinct byte values plus one: a figure of the tree's size,
  // not of the bytes written.
  const long long bracket_figure = 3LL * result.count_chars + 1;
  std::printf(
      "\n\n\tKompresja zakonczona!\n\n\tInformacje:\n"
      "_______________________________________________________________\n\n"
      "\tRozmiar pliku przed kompresja: %9" PRIu64
      " KB\n"
      "\tRozmiar pliku po kompresji:    %9" PRIu64
      " KB\n\n"
      "\tSlownik: %" PRIu64
      "B ( %lldB )\n"
      "_______________________________________________________________",
      result.source_bytes / k_bytes_per_kb, result.compressed_bytes / k_bytes_per_kb, result.dictionary_bytes,
      bracket_figure);
}

void PrintFailureLine(const std::string& line) { WriteText(StandardStream::output, "\n\n\t" + line); }

}  // namespace huffman
