// The ratio both -l and -v show: compressed size over original size, in
// percent with one decimal, or "-" for an empty original.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace huffman::cli {

inline std::string RatioText(std::uint64_t compressed_bytes, std::uint64_t original_bytes) {
  if (original_bytes == 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%",
                100.0 * static_cast<double>(compressed_bytes) / static_cast<double>(original_bytes));
  return text;
}

}  // namespace huffman::cli
