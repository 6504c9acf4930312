#include "platform/file_name.h"

namespace huffman {

std::filesystem::path OpenablePath(std::string_view name) { return PathOf(name); }

// Any bytes but '/' and NUL make a name.
bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

std::optional<std::size_t> StemLength(std::string_view name, std::string_view suffix) {
  if (!name.ends_with(suffix)) return std::nullopt;
  return name.size() - suffix.size();
}

std::vector<std::string> OperandNames(const std::string& operand) { return {operand}; }

}  // namespace huffman
