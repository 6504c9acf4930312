#include "platform/file_name.h"

#include <algorithm>
#include <array>
#include <cctype>

#include <windows.h>

#include "platform/display_name.h"
#include "platform/utf16_windows.h"

namespace huffman {
namespace {

// Characters no Windows name may hold: separators, the drive and stream
// mark, wildcards and redirection characters.
constexpr std::string_view k_forbidden = "\\/:*?\"<>|";

// Names that open a device, whatever extension follows them.
constexpr std::array<std::string_view, 4> k_devices = {"CON", "PRN", "AUX", "NUL"};
constexpr std::array<std::string_view, 2> k_numbered_devices = {"COM", "LPT"};

bool IsDeviceName(std::string_view name) {
  std::string base(name.substr(0, name.find('.')));
  // "CON .txt" opens the device too: trailing blanks are dropped.
  while (!base.empty() && base.back() == ' ') base.pop_back();
  std::transform(base.begin(), base.end(), base.begin(), [](unsigned char c) { return std::toupper(c); });
  if (std::find(k_devices.begin(), k_devices.end(), base) != k_devices.end()) return true;
  // COM1 to COM9, and COM¹, COM², COM³ (superscript digits, two bytes in
  // UTF-8), which Windows takes for the same ports; LPT alike.
  const std::string_view number = std::string_view(base).substr(std::min<std::size_t>(3, base.size()));
  const bool numbered = (number.size() == 1 && number[0] >= '1' && number[0] <= '9') || number == "\u00b9" ||
                        number == "\u00b2" || number == "\u00b3";
  return numbered && std::find(k_numbered_devices.begin(), k_numbered_devices.end(),
                               std::string_view(base).substr(0, 3)) != k_numbered_devices.end();
}

}  // namespace

std::filesystem::path OpenablePath(std::string_view name) {
  if (!IsValidUtf8(name)) return {};
  return std::filesystem::path(SystemPath(name));
}

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  const bool forbidden_character = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || k_forbidden.find(c) != std::string_view::npos;
  });
  // Windows drops a trailing dot or blank, so the file would get another name.
  return !forbidden_character && name.back() != '.' && name.back() != ' ' && !IsDeviceName(name);
}

// NTFS compares names by their UTF-16 units, each put in upper case, which
// CompareStringOrdinal does too. A name that is not valid UTF-8 has no
// UTF-16 form to compare, so its bytes are compared.
std::optional<std::size_t> StemLength(std::string_view name, std::string_view suffix) {
  if (!IsValidUtf8(name) || !IsValidUtf8(suffix)) {
    if (!name.ends_with(suffix)) return std::nullopt;
    return name.size() - suffix.size();
  }
  const std::wstring wide_name = WideFromUtf8(name);
  const std::wstring wide_suffix = WideFromUtf8(suffix);
  if (wide_suffix.size() > wide_name.size()) return std::nullopt;
  const std::wstring_view ending = std::wstring_view(wide_name).substr(wide_name.size() - wide_suffix.size());
  if (CompareStringOrdinal(ending.data(), static_cast<int>(ending.size()), wide_suffix.data(),
                           static_cast<int>(wide_suffix.size()), TRUE) != CSTR_EQUAL) {
    return std::nullopt;
  }
  return name.size() - Utf8FromWide(ending).size();
}

// The system matches the wildcards in the last part of the path only; the
// names it finds are joined to the operand's own directory part, so
// `sub\*.huf` gives `sub\a.huf`.
std::vector<std::string> OperandNames(const std::string& operand) {
  if (operand.find_first_of("*?") == std::string::npos) return {operand};
  const std::size_t last_separator = operand.find_last_of("\\/:");
  const std::string directory =
      last_separator == std::string::npos ? std::string() : operand.substr(0, last_separator + 1);
  WIN32_FIND_DATAW found{};
  HANDLE search =
      FindFirstFileExW(WideFromUtf8(operand).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return {operand};
  std::vector<std::string> names;
  do {
    const std::wstring_view name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(directory + Utf8FromWide(name));
  } while (FindNextFileW(search, &found) != 0);
  FindClose(search);
  if (names.empty()) return {operand};
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace huffman
