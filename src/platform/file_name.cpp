#include "platform/file_name.h"

namespace huffman {

// char8_t text is taken as UTF-8 on every system: unchanged bytes on POSIX,
// converted to UTF-16 on Windows.
std::filesystem::path PathOf(std::string_view name) {
  try {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
  } catch (const std::exception&) {
    return {};
  }
}

std::string NameOf(const std::filesystem::path& path) {
  try {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
  } catch (const std::exception&) {
    // A Windows name holding unpaired UTF-16 has no UTF-8 form.
    return {};
  }
}

}  // namespace huffman
