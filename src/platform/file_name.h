// File names as the program holds them: UTF-8 strings, turned into the
// system's own paths only where a file is opened or listed (UTF-16 on
// Windows, through std::filesystem::path), and the test of a new name that
// must stay a plain name in the directory it is made in.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace huffman {

// The path of the UTF-8 `name`; on Windows a name that is not valid UTF-8
// gives an empty path, which opens nothing.
std::filesystem::path PathOf(std::string_view name);

// The path to open the UTF-8 `name` by (a std::ifstream's): PathOf(name),
// on Windows with the `\\?\` prefix when its full path reaches 260
// characters, which the system then takes where long paths are not enabled.
std::filesystem::path OpenablePath(std::string_view name);

// The UTF-8 name of `path`.
std::string NameOf(const std::filesystem::path& path);

// Whether `name` names an entry of the directory it is made in and nothing
// else: not empty, not "." or "..", no separator or NUL, and on Windows none
// of the characters it forbids in names (`\ / : * ? " < > |`, controls) and
// no reserved device name (CON, NUL, COM1, LPT1, COM¹... with any extension).
bool IsPlainFileName(std::string_view name);

// The length in bytes of `name` before `suffix` when `name` ends in it as the
// system compares names: byte for byte on POSIX, without regard to case on
// Windows (`A.HUF` ends in `.huf` there); nullopt when it does not.
std::optional<std::size_t> StemLength(std::string_view name, std::string_view suffix);

// The names a file operand stands for. POSIX shells expand `*` and `?`
// themselves, so there it is the operand alone. Windows shells pass them
// through, so there the names of its directory that match its last part,
// sorted, each with the operand's directory part; the operand alone when it
// holds no wildcard or nothing matches (it then fails as a missing file).
std::vector<std::string> OperandNames(const std::string& operand);

}  // namespace huffman
