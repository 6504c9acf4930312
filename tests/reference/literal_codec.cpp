#include "literal_codec.h"

#include <array>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "codec/census.h"
#include "codec/encoder.h"
#include "codec/format.h"
#include "codec/tree.h"

namespace huffman::reference {

namespace {

// Eight pending bits; a full byte goes out only when its ninth bit arrives.
class PendingBits {
 public:
  explicit PendingBits(std::string& out) : out(out) {}

  void Emit(int bit) {
    if (writing_remain > 7) Pack();
    writing_bufor[writing_remain++] = static_cast<std::int16_t>(bit);
  }
  void Finish() {
    if (writing_remain == 0) return;
    for (int k = writing_remain; k < 8; ++k) writing_bufor[k] = 0;
    Pack();
  }

 private:
  void Pack() {
    int byte = 0;
    for (int k = 0; k < 8; ++k) byte += writing_bufor[k] << (7 - k);
    out.push_back(static_cast<char>(byte));
    writing_remain = 0;
  }

  std::string& out;
  std::array<std::int16_t, 8> writing_bufor{};
  std::int16_t writing_remain = 0;
};

// The census as first written: each byte is looked for among the entries so
// far, in order, and added as a new entry when none matches.  Aborts if the
// program's census would see the source otherwise.
Census LiteralCensus(const std::string& source) {
  SymbolList chars_List{};
  int count_chars = 0;
  for (const char c : source) {
    const auto x = static_cast<std::uint8_t>(c);
    int i = 0;
    while (i < count_chars && chars_List[k_value_row][i] != x) ++i;
    if (i == count_chars) {
      chars_List[k_kind_row][i] = k_leaf;
      chars_List[k_value_row][i] = x;
      ++count_chars;
    }
    ++chars_List[k_weight_row][i];
  }
  Census census;
  census.Add({reinterpret_cast<const std::uint8_t*>(source.data()), source.size()});
  int program_count_chars = 0;
  if (MakeSymbolList(census, program_count_chars) != chars_List || program_count_chars != count_chars) std::abort();
  return census;
}

int RootLabel(const DictionaryTable& table) {
  return table.zero_Table[k_id_row][table.dictionary_lenght - 1];
}

}  // namespace

std::string LiteralCompress(const std::string& source) {
  if (source.empty()) return {};
  const TreePlan plan = PlanTree(LiteralCensus(source));

  std::ostringstream dictionary;
  WriteDictionary(plan.table, WrittenRecords(plan.table), dictionary);
  std::string out = dictionary.str();
  PendingBits writer(out);
  for (const std::uint8_t byte : std::string_view(source)) {
    const Code code = LookUpCode(plan.table, byte);
    for (int i = 0; i < code.length; ++i) writer.Emit(code.Bit(i));
  }
  for (int k = plan.padding.bits - 1; k >= 0; --k) writer.Emit((plan.padding.value >> k) & 1);
  writer.Finish();
  return out;
}

std::string LiteralDecompress(const std::string& compressed) {
  const std::span<const std::uint8_t> file(reinterpret_cast<const std::uint8_t*>(compressed.data()), compressed.size());
  DictionaryTable table;
  const std::size_t payload_start = ReadDictionary(file, table);
  const int n = table.dictionary_lenght;
  std::string restored;
  if (n < 1) return restored;  // no record: no bit can reach anything

  int checking_node = n - 1;
  int current_node = RootLabel(table);
  for (const int c : file.subspan(payload_start)) {
    for (int position = 7; position >= 0; --position) {
      const auto& side = ((c >> position) & 1) == 0 ? table.zero_Table : table.one_Table;
      for (int j = checking_node; j >= 0; --j) {
        if (side[k_kind_row][j] == 1 && side[k_id_row][j] == current_node) {
          current_node = side[k_value_row][j];
          checking_node = j - 1;
          break;
        }
        if (side[k_kind_row][j] == 0 && side[k_id_row][j] == current_node) {
          restored.push_back(static_cast<char>(side[k_value_row][j]));
          checking_node = n - 1;
          current_node = RootLabel(table);
          break;
        }
      }
    }
  }
  return restored;
}

}  // namespace huffman::reference
