// The numbered listing of the working directory and the choice of one entry
// by its number. The choice looks the number up in the names the listing
// drew, not in a new reading of the directory, so the entry picked is the one
// shown with that number even when files came or went in between (one that
// went is then reported by the operation that tries to open it).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace huffman {

// Names of the working directory's entries, files and subdirectories alike,
// without "." and "..", sorted by name in byte order. Empty if "." cannot be
// read.
std::vector<std::string> ListDirEntries();

// Clears the screen and prints the numbered listing, numbers from 1; returns
// the names in the order shown.
std::vector<std::string> ListFilesInDir();

// Asks for a file number and returns the name `listed` shows with it. A
// number that matches no entry, or anything that is not a number, gets a
// short error line and is asked again; an empty line just the prompt again.
// nullopt when the user leaves: file number 0 or end of input.
std::optional<std::string> GetFileName(const std::vector<std::string>& listed);

}  // namespace huffman
