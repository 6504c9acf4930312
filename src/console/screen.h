// The screens' texts, each exact to the character:
// every screen starts with ResetScreen (cleared console, banner, blank line),
// and lines start with a tab. The rules are 35 underscores on the menu
// screens and 63 on the summary screen.
#pragma once

#include <string>
#include <string_view>

#include "huffman/codec.h"

namespace huffman {

inline constexpr char k_listing_heading[] = "\tPliki:\n___________________________________\n\n";
inline constexpr char k_listing_end[] = "\n\t0 ) Wyjscie\n";
inline constexpr char k_file_number_prompt[] = "___________________________________\n\n\tWpisz numer pliku: ";
inline constexpr char k_compress_name_prompt[] = "\tPodaj nazwe nowego pliku:\n\n\t---> ";
inline constexpr char k_decompress_name_prompt[] = "\tPodaj nazwe nowego pliku ( po dekompresji ):\n\n\t---> ";
inline constexpr char k_compressing[] = "\n\n\tKompresowanie...";
inline constexpr char k_decompressing[] = "\n\n\tDekompresowanie...";
// Closes the summary screen and every failure screen.
inline constexpr char k_back_to_menu[] = "\n\n\tNacisnij dowolny klawisz i wroc do menu";
// This screen's text reads "dowlny", unlike the other closing line; both
// are the screens' exact texts.
inline constexpr char k_decompress_closing[] =
    "\n\n\tPlik zdekompresowany!\n\n\tNacisnij dowlny klawisz i wroc do menu";

// Prints a name (of a file, or anything typed) with the characters a
// terminal would act on escaped.
void PrintName(std::string_view name);

// Clears the console and prints the banner and a blank line.
void ResetScreen();

// The menu for the chosen entry, ending with the "--->" prompt.
void PrintMenu(const std::string& file_Name);

// One numbered line of the listing.
void PrintListedFile(int number, const std::string& name);

// The summary after a compression: both sizes in thousands of bytes, the
// dictionary written, and the figure 3 * count_chars + 1.
void PrintSummary(const CompressResult& result);

// Screen body for an operation that failed or was refused: the one line that
// says what went wrong, in place of the summary.
void PrintFailureLine(const std::string& line);

}  // namespace huffman
