#include "platform/file_name.h"

#include <algorithm>
#include <array>
#include <cctype>

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
  return base.size() == 4 && base[3] >= '1' && base[3] <= '9' &&
         std::find(k_numbered_devices.begin(), k_numbered_devices.end(), std::string_view(base).substr(0, 3)) !=
             k_numbered_devices.end();
}

}  // namespace

bool IsPlainFileName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  const bool forbidden_character = std::any_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 || k_forbidden.find(c) != std::string_view::npos;
  });
  // Windows drops a trailing dot or blank, so the file would get another name.
  return !forbidden_character && name.back() != '.' && name.back() != ' ' && !IsDeviceName(name);
}

}  // namespace huffman
