#include "platform/file_name.h"

namespace huffman {

// Any bytes but '/' and NUL make a name.
bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos &&
         name.find('\0') == std::string_view::npos;
}

}  // namespace huffman
