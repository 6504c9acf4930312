#include "literal_codec.h"

#include <array>
#include <cstdint>
#include <numeric>
#include <string>
#include <utility>

namespace huffman::reference {

namespace {

// Eight pending bits; a full byte goes out only when its ninth bit arrives.
class PendingBits {
 public:
  explicit PendingBits(std::string& output) : out(output) {}

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

// The tables of the tree, written out in full: rows kind, value, weight or
// id, one column per entry or record.  One column more than any tree needs,
// for the dead-end record.
constexpr int k_columns = 257;
constexpr int k_kind = 0;
constexpr int k_value = 1;
constexpr int k_id = 2;
using Rows = std::array<std::array<std::uint64_t, k_columns>, 3>;

struct Tree {
  Rows zero_Table{};
  Rows one_Table{};
  int created_nodes = 0;
};

// The census: each byte is looked for among the entries so far, in order,
// and added as a new entry when none matches.
int Census(const std::string& source, Rows& chars_List) {
  int count_chars = 0;
  for (const char c : source) {
    const auto x = static_cast<std::uint8_t>(c);
    int i = 0;
    while (i < count_chars && chars_List[k_value][i] != x) ++i;
    if (i == count_chars) {
      chars_List[k_kind][i] = 0;
      chars_List[k_value][i] = x;
      ++count_chars;
    }
    ++chars_List[k_id][i];
  }
  return count_chars;
}

// count_chars full passes of exchanges of neighbours out of order, with no
// early stop.
void ExchangeSort(Rows& chars_List, int count_chars) {
  for (int pass = 0; pass < count_chars; ++pass) {
    for (int i = 0; i + 1 < count_chars; ++i) {
      if (chars_List[k_id][i] > chars_List[k_id][i + 1]) {
        for (auto& row : chars_List) std::swap(row[i], row[i + 1]);
      }
    }
  }
}

void Order(Rows& chars_List, int count_chars) {
  ExchangeSort(chars_List, count_chars);
  for (int i = 0; i < count_chars; ++i) chars_List[k_id][i] += static_cast<std::uint64_t>(i);
}

// count_chars passes, each taking the first two entries not yet taken as the
// 0-child and 1-child of a new record; the new node takes the 1-child's slot.
void BuildTree(Rows& chars_List, int count_chars, Tree& tree) {
  for (int waiting_nodes = count_chars; waiting_nodes != 0; --waiting_nodes) {
    const int record = tree.created_nodes;
    int found = 0;
    for (int i = 0; i < count_chars && found < 2; ++i) {
      if (chars_List[k_id][i] == 0) continue;
      Rows& side = found == 0 ? tree.zero_Table : tree.one_Table;
      side[k_kind][record] = chars_List[k_kind][i] != 0 ? 1 : 0;
      side[k_value][record] = chars_List[k_value][i];
      side[k_id][record] = chars_List[k_id][i];
      chars_List[k_id][i] = 0;
      if (++found == 2) {
        const std::uint64_t sum = tree.zero_Table[k_id][record] + tree.one_Table[k_id][record];
        chars_List[k_kind][i] = 1;
        chars_List[k_value][i] = sum;
        chars_List[k_id][i] = sum;
      }
    }
    const std::uint64_t own_id = tree.zero_Table[k_id][record] + tree.one_Table[k_id][record];
    tree.zero_Table[k_id][record] = own_id;
    tree.one_Table[k_id][record] = own_id;
    ++tree.created_nodes;
    ExchangeSort(chars_List, count_chars);
  }
}

// For each i below 2 * count_chars - 1: the smallest own id above i becomes i,
// in own ids and in inner children alike.
void Renumber(Tree& tree, int count_chars) {
  std::uint64_t current_checking_node = 0;
  for (std::uint64_t i = 0; i < 2 * static_cast<std::uint64_t>(count_chars) - 1; ++i) {
    for (int j = 0; j < count_chars; ++j) {
      if (tree.zero_Table[k_id][j] > i) {
        current_checking_node = tree.zero_Table[k_id][j];
      } else if (tree.one_Table[k_id][j] > i) {
        current_checking_node = tree.one_Table[k_id][j];
      }
    }
    for (int j = 0; j < count_chars; ++j) {
      if (tree.zero_Table[k_id][j] > i && tree.zero_Table[k_id][j] < current_checking_node) {
        current_checking_node = tree.zero_Table[k_id][j];
      } else if (tree.one_Table[k_id][j] > i && tree.one_Table[k_id][j] < current_checking_node) {
        current_checking_node = tree.one_Table[k_id][j];
      }
    }
    for (int j = 0; j < count_chars; ++j) {
      for (Rows* side : {&tree.zero_Table, &tree.one_Table}) {
        if ((*side)[k_id][j] == current_checking_node) (*side)[k_id][j] = i;
        if ((*side)[k_kind][j] == 1 && (*side)[k_value][j] == current_checking_node) (*side)[k_value][j] = i;
      }
    }
  }
}

// A new record 0 holds the lightest leaf and, on its 1-side, a dead end: an
// inner child labelled 255, which no record carries.  The other records move
// up by one, labels and inner children with them, and the record that held
// the lightest leaf now holds record 0 in its place.
void AddDeadEnd(Tree& tree) {
  const std::uint64_t lightest = tree.zero_Table[k_value][0];
  for (int k = tree.created_nodes; k >= 1; --k) {
    for (Rows* side : {&tree.zero_Table, &tree.one_Table}) {
      for (auto& row : *side) row[k] = row[k - 1];
      (*side)[k_id][k] += 1;
      if ((*side)[k_kind][k] == 1) (*side)[k_value][k] += 1;
    }
  }
  tree.zero_Table[k_kind][0] = 0;
  tree.zero_Table[k_value][0] = lightest;
  tree.zero_Table[k_id][0] = 0;
  tree.one_Table[k_kind][0] = 1;
  tree.one_Table[k_value][0] = 255;
  tree.one_Table[k_id][0] = 0;
  tree.zero_Table[k_kind][1] = 1;
  tree.zero_Table[k_value][1] = 0;
  ++tree.created_nodes;
  if (tree.created_nodes == 2) {
    // A single byte value: the record that held it is the extra record,
    // whose 0-side now leads to record 0 and whose 1-side stays empty.
    tree.one_Table[k_kind][1] = 0;
    tree.one_Table[k_value][1] = 0;
    tree.zero_Table[k_id][1] = 0;
    tree.one_Table[k_id][1] = 0;
  }
}

// The code of `x` as '0'/'1', root first: the first leaf holding it, then
// one pass up the later records, each inner reference to the node so far
// giving the next bit towards the root.  Empty if no leaf holds it.
std::string CodeOf(const Tree& tree, std::uint8_t x) {
  int record = 0;
  char bit = 0;
  for (; record < tree.created_nodes; ++record) {
    if (tree.zero_Table[k_kind][record] == 0 && tree.zero_Table[k_value][record] == x) {
      bit = '0';
      break;
    }
    if (tree.one_Table[k_kind][record] == 0 && tree.one_Table[k_value][record] == x) {
      bit = '1';
      break;
    }
  }
  if (record == tree.created_nodes) return {};
  std::string leaf_first(1, bit);
  std::uint64_t node = tree.zero_Table[k_id][record];
  for (int j = record + 1; j <= tree.created_nodes - 2; ++j) {
    if (tree.zero_Table[k_kind][j] == 1 && tree.zero_Table[k_value][j] == node) {
      leaf_first.push_back('0');
    } else if (tree.one_Table[k_kind][j] == 1 && tree.one_Table[k_value][j] == node) {
      leaf_first.push_back('1');
    } else {
      continue;
    }
    node = tree.zero_Table[k_id][j];
  }
  return {leaf_first.rbegin(), leaf_first.rend()};
}

struct Plan {
  Tree tree;
  std::array<std::string, 256> codes;
  std::string padding;  // '0'/'1', closing the last byte
  bool harmless = true;
};

// The bits that close the last byte: the smallest string of the length the
// codes leave that no code is a prefix of.
void ChoosePadding(const std::string& source, Plan& plan) {
  const std::uint64_t bits =
      std::accumulate(source.begin(), source.end(), std::uint64_t{0},
                      [&](std::uint64_t sum, char c) { return sum + plan.codes[static_cast<std::uint8_t>(c)].size(); });
  const int length = static_cast<int>((8 - bits % 8) % 8);
  plan.padding.clear();
  plan.harmless = true;
  if (length == 0) return;
  for (int candidate = 0; candidate < (1 << length); ++candidate) {
    std::string text;
    for (int k = length - 1; k >= 0; --k) text.push_back(((candidate >> k) & 1) != 0 ? '1' : '0');
    bool completes = false;
    for (const std::string& code : plan.codes) {
      completes |= !code.empty() && text.compare(0, code.size(), code) == 0;
    }
    if (!completes) {
      plan.padding = text;
      return;
    }
  }
  plan.harmless = false;
}

// Codes of the values the source holds only: the extra record's empty
// 1-side reads as a leaf of value 0, which no other value may be given.
void MakeCodes(const std::string& source, Plan& plan) {
  plan.codes = {};
  for (const char c : source) {
    const auto x = static_cast<std::uint8_t>(c);
    if (plan.codes[x].empty()) plan.codes[x] = CodeOf(plan.tree, x);
  }
  ChoosePadding(source, plan);
}

Plan MakePlan(const std::string& source) {
  Rows chars_List{};
  const int count_chars = Census(source, chars_List);
  Order(chars_List, count_chars);
  Plan plan;
  BuildTree(chars_List, count_chars, plan.tree);
  Renumber(plan.tree, count_chars);
  MakeCodes(source, plan);
  if (count_chars == 1 || !plan.harmless) {
    AddDeadEnd(plan.tree);
    MakeCodes(source, plan);
  }
  return plan;
}

// N, then the 0-sides and the 1-sides of records 0..N-1, three bytes each.
std::string Dictionary(const Tree& tree) {
  const int n = tree.created_nodes - 1;
  std::string out(1, static_cast<char>(n));
  for (const Rows* side : {&tree.zero_Table, &tree.one_Table}) {
    for (int k = 0; k < n; ++k) {
      // cppcheck-suppress useStlAlgorithm ; kind, value and label, spelled out in file order
      for (const auto& row : *side) out.push_back(static_cast<char>(row[k] & 0xFF));
    }
  }
  return out;
}

// The dictionary as read: N (-1 for an empty file), then the sides, each
// missing byte read as -1.
struct ReadTable {
  std::array<std::array<int, 256>, 3> zero_Table{};
  std::array<std::array<int, 256>, 3> one_Table{};
  int dictionary_lenght = -1;
};

std::size_t ReadDictionary(const std::string& file, ReadTable& table) {
  if (file.empty()) return 0;
  table.dictionary_lenght = static_cast<std::uint8_t>(file[0]);
  std::size_t used = 1;
  for (auto* side : {&table.zero_Table, &table.one_Table}) {
    for (int k = 0; k < table.dictionary_lenght; ++k) {
      for (auto& row : *side) row[k] = used < file.size() ? static_cast<std::uint8_t>(file[used++]) : -1;
    }
  }
  return used;
}

int RootLabel(const ReadTable& table) { return table.zero_Table[k_id][table.dictionary_lenght - 1]; }

}  // namespace

std::string LiteralCompress(const std::string& source) {
  if (source.empty()) return {};
  const Plan plan = MakePlan(source);
  std::string out = Dictionary(plan.tree);
  PendingBits writer(out);
  for (const char c : source) {
    for (const char bit : plan.codes[static_cast<std::uint8_t>(c)]) writer.Emit(bit - '0');
  }
  for (const char bit : plan.padding) writer.Emit(bit - '0');
  writer.Finish();
  return out;
}

std::string LiteralDecompress(const std::string& compressed) {
  ReadTable table;
  const std::size_t payload_start = ReadDictionary(compressed, table);
  const int n = table.dictionary_lenght;
  std::string restored;
  if (n < 1) return restored;  // no record: no bit can reach anything

  int checking_node = n - 1;
  int current_node = RootLabel(table);
  for (std::size_t at = payload_start; at < compressed.size(); ++at) {
    const int c = static_cast<std::uint8_t>(compressed[at]);
    for (int position = 7; position >= 0; --position) {
      const auto& side = ((c >> position) & 1) == 0 ? table.zero_Table : table.one_Table;
      for (int j = checking_node; j >= 0; --j) {
        if (side[k_kind][j] == 1 && side[k_id][j] == current_node) {
          current_node = side[k_value][j];
          checking_node = j - 1;
          break;
        }
        if (side[k_kind][j] == 0 && side[k_id][j] == current_node) {
          restored.push_back(static_cast<char>(side[k_value][j]));
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
