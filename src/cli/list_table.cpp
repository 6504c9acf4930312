#include "cli/list_table.h"

#include <cstdio>

#include "cli/ratio.h"
#include "platform/standard_streams.h"

namespace huffman::cli {
namespace {

void PrintRow(const std::string& compressed, const std::string& original, const std::string& ratio,
              const std::string& values, const std::string& dictionary, const std::string& check,
              const std::string& name) {
  char figures[128];
  std::snprintf(figures, sizeof figures, "%12s %12s %8s %6s %10s %5s  ", compressed.c_str(), original.c_str(),
                ratio.c_str(), values.c_str(), dictionary.c_str(), check.c_str());
  WriteText(StandardStream::output, figures + name + "\n");
}

}  // namespace

std::string ByteText(std::uint8_t value) {
  if (value >= 0x21 && value <= 0x7E && value != '\\') return std::string(1, static_cast<char>(value));
  char text[8];
  std::snprintf(text, sizeof text, "\\x%02x", value);
  return text;
}

void ListTable::Add(const ListRow& row, const std::vector<CodeEntry>& codes) {
  if (rows == 0) PrintRow("compressed", "original", "ratio", "values", "dictionary", "check", "name");
  ++rows;
  PrintRow(std::to_string(row.compressed_bytes), std::to_string(row.original_bytes),
           RatioText(row.compressed_bytes, row.original_bytes), std::to_string(row.leaves),
           std::to_string(row.dictionary_bytes), row.checked ? "yes" : "no", row.shown_name);
  if (with_codes) {
    for (const CodeEntry& code : codes) {
      std::printf("    %-5s %4zu  %s\n", ByteText(code.value).c_str(), code.bits.size(), code.bits.c_str());
    }
  }
  totals.compressed_bytes += row.compressed_bytes;
  totals.original_bytes += row.original_bytes;
  totals.dictionary_bytes += row.dictionary_bytes;
}

void ListTable::Finish() const {
  if (rows < 2) return;
  PrintRow(std::to_string(totals.compressed_bytes), std::to_string(totals.original_bytes),
           RatioText(totals.compressed_bytes, totals.original_bytes), "-", std::to_string(totals.dictionary_bytes), "-",
           "(totals)");
}

}  // namespace huffman::cli
