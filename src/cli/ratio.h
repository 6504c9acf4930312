// The ratio both -l and -v show: the space saved, 1 - compressed/original,
// in percent with one decimal (negative when the output grew), as the
// everyday compressors show under "ratio"; "-" for an empty original, where
// nothing can be saved or lost.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace huffman::cli {

inline std::string RatioText(std::uint64_t compressed_bytes, std::uint64_t original_bytes) {
  if (original_bytes == 0) return "-";
  const double saved = 100.0 * (1.0 - static_cast<double>(compressed_bytes) / static_cast<double>(original_bytes));
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", saved);
  // A growth too small to show is no growth: never "-0.0%".
  if (std::string(text) == "-0.0%") return "0.0%";
  return text;
}

}  // namespace huffman::cli
