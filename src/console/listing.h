// The numbered listing of the working directory and the choice of one entry
// by its number. Both walk the same enumeration, sorted by name in byte
// order, so a number picks the entry the listing showed with it (unless the
// directory changed between the two).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace huffman {

// Names of the working directory's entries, files and subdirectories alike,
// without "." and "..", sorted by name in byte order. Empty if "." cannot be
// read.
std::vector<std::string> ListDirEntries();

// Clears the screen and prints the numbered listing, numbers from 1.
void ListFilesInDir();

// Asks for a file number and returns that entry's name. A number that matches
// no entry, or anything that is not a number, gets a short error line and is
// asked again. nullopt when the user leaves: file number 0 or end of input.
std::optional<std::string> GetFileName();

}  // namespace huffman
