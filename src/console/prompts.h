// What the user types, one line per prompt: a decimal number (a file number
// or a menu choice) or a new name. Parsing takes the whole line, so nothing
// typed is left over to answer the next prompt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace huffman {

// The line without its leading and trailing blanks (spaces, tabs, and the
// carriage return of a CR LF line end).
std::string_view TrimBlanks(std::string_view line);

// The line as a decimal integer with an optional sign, blanks around it
// allowed. nullopt when it is anything else or does not fit 64 bits.
std::optional<std::int64_t> ParseNumber(std::string_view line);

// Reads the new name after the "--->" prompt already printed: the whole line
// without its outer blanks, so a name may hold spaces. An empty name is asked
// again. nullopt at the end of input.
std::optional<std::string> ReadNewName();

}  // namespace huffman
