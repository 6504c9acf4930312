#include "codec/tree.h"

#include <algorithm>
#include <array>
#include <cassert>

namespace huffman {

namespace {

// No written record carries it: at most 255 are written, labelled 0 to 254.
constexpr std::uint64_t k_dead_end_label = k_max_written_records;
static_assert(k_dead_end_label == 255, "the label must fit the dictionary's one byte");

void TakeChild(SymbolList& chars_List, int slot, SideTable<std::uint64_t>& side, int record) {
  side[k_kind_row][record] = chars_List[k_kind_row][slot] != k_leaf ? k_inner : k_leaf;
  side[k_value_row][record] = chars_List[k_value_row][slot];
  side[k_id_row][record] = chars_List[k_weight_row][slot];
  chars_List[k_weight_row][slot] = 0;
}

void CopyColumn(SideTable<std::uint64_t>& side, int from, int to) {
  for (auto& row : side) row[to] = row[from];
}

// The list in order but for the entry at `slot`, which a merge pass has just
// made the new inner node (the 0-child's slot before it, now empty, is among
// the empty entries at the front): it moves past the entries after it that
// weigh less, to where the stable sort (SortByWeight) puts it, in one move of
// each row rather than an exchange per entry passed.
void MoveUp(SymbolList& chars_List, int slot, int count_chars) {
  auto& weights = chars_List[k_weight_row];
  std::uint64_t* const end = weights.data() + count_chars;
  const auto to = std::lower_bound(weights.data() + slot + 1, end, weights[slot]) - weights.data();
  for (auto& row : chars_List) std::rotate(row.begin() + slot, row.begin() + slot + 1, row.begin() + to);
  assert(std::is_sorted(weights.begin(), weights.begin() + count_chars));
}

void SetSide(SideTable<std::uint64_t>& side, int record, std::uint64_t kind, std::uint64_t value, std::uint64_t id) {
  side[k_kind_row][record] = kind;
  side[k_value_row][record] = value;
  side[k_id_row][record] = id;
}

}  // namespace

void BuildTree(SymbolList& chars_List, int count_chars, RecordTable& table) {
  assert(count_chars >= 1 && count_chars <= k_alphabet);
  table = RecordTable{};
  auto& zero_Table = table.zero_Table;
  auto& one_Table = table.one_Table;
  int created_nodes = 0;
  // The entries before it are empty: each pass empties the first one it
  // takes, and the list stays in order.
  int first_full = 0;
  for (int waiting_nodes = count_chars; waiting_nodes != 0; --waiting_nodes) {
    int found = 0;
    int inner_slot = -1;
    for (int i = first_full; i < count_chars && found < 2; ++i) {
      if (chars_List[k_weight_row][i] == 0) continue;
      if (found++ == 0) {
        TakeChild(chars_List, i, zero_Table, created_nodes);
        first_full = i + 1;
        continue;
      }
      TakeChild(chars_List, i, one_Table, created_nodes);
      // The new inner node takes the slot of its 1-child.
      const std::uint64_t sum = zero_Table[k_id_row][created_nodes] + one_Table[k_id_row][created_nodes];
      chars_List[k_kind_row][i] = k_inner;
      chars_List[k_value_row][i] = sum;
      chars_List[k_weight_row][i] = sum;
      inner_slot = i;
    }
    const std::uint64_t own_id = zero_Table[k_id_row][created_nodes] + one_Table[k_id_row][created_nodes];
    zero_Table[k_id_row][created_nodes] = own_id;
    one_Table[k_id_row][created_nodes] = own_id;
    ++created_nodes;
    // The whole list sorted again, empty entries included: they gather at
    // the front. It was in order before the pass, which changed only the
    // two slots it took, so only the new inner node has to move.
    if (inner_slot >= 0) {
      MoveUp(chars_List, inner_slot, count_chars);
    } else {
      SortByWeight(chars_List, count_chars);
    }
  }
  table.created_nodes = created_nodes;
}

// The process is, for each step i below 2 * count_chars - 1: the smallest
// own id above i becomes i, in own ids and inner children alike. An id at or
// below a step's i is never above a later one, and a relabelled id is below
// every later step's choice, so one pass over the distinct ids in ascending
// order makes every step's choice, and each id and child ends as the label
// its original value was given (or as it was, if none).
void Renumber(RecordTable& table, int count_chars) {
  auto& zero_Table = table.zero_Table;
  auto& one_Table = table.one_Table;
  std::array<std::uint64_t, k_alphabet> ids{};
  for (int j = 0; j < count_chars; ++j) {
    // BuildTree leaves each record's own id on both of its sides.
    assert(zero_Table[k_id_row][j] == one_Table[k_id_row][j]);
    ids[j] = zero_Table[k_id_row][j];
  }
  std::sort(ids.begin(), ids.begin() + count_chars);
  const int distinct = static_cast<int>(std::unique(ids.begin(), ids.begin() + count_chars) - ids.begin());
  std::array<std::uint64_t, k_alphabet> labels{};
  const std::uint64_t steps = 2 * static_cast<std::uint64_t>(count_chars) - 1;
  std::uint64_t step = 0;
  for (int k = 0; k < distinct; ++k) {
    labels[k] = ids[k];
    if (ids[k] > step && step < steps) labels[k] = step++;
  }
  auto label_of = [&](std::uint64_t value) {
    const auto* found = std::lower_bound(ids.data(), ids.data() + distinct, value);
    return found != ids.data() + distinct && *found == value ? labels[found - ids.data()] : value;
  };
  for (int j = 0; j < count_chars; ++j) {
    for (SideTable<std::uint64_t>* side : {&zero_Table, &one_Table}) {
      (*side)[k_id_row][j] = label_of((*side)[k_id_row][j]);
      if ((*side)[k_kind_row][j] == k_inner) (*side)[k_value_row][j] = label_of((*side)[k_value_row][j]);
    }
  }
}

void AddDeadEndRecord(RecordTable& table) {
  auto& zero_Table = table.zero_Table;
  auto& one_Table = table.one_Table;
  const int old_records = table.created_nodes;
  assert(old_records >= 1 && old_records < k_max_records);
  const std::uint64_t lightest_leaf = zero_Table[k_value_row][0];
  assert(zero_Table[k_kind_row][0] == k_leaf);

  if (old_records == 1) {
    // A single byte value: one real record over the leaf, plus the extra
    // record that holds it as the root.
    SetSide(zero_Table, 0, k_leaf, lightest_leaf, 0);
    SetSide(one_Table, 0, k_inner, k_dead_end_label, 0);
    SetSide(zero_Table, 1, k_inner, 0, 0);
    SetSide(one_Table, 1, k_leaf, 0, 0);
    table.created_nodes = 2;
    return;
  }

  for (int k = old_records - 1; k >= 0; --k) {
    for (auto* side : {&zero_Table, &one_Table}) {
      CopyColumn(*side, k, k + 1);
      (*side)[k_id_row][k + 1] += 1;
      if ((*side)[k_kind_row][k + 1] == k_inner) (*side)[k_value_row][k + 1] += 1;
    }
  }
  SetSide(zero_Table, 1, k_inner, 0, 1);
  SetSide(zero_Table, 0, k_leaf, lightest_leaf, 0);
  SetSide(one_Table, 0, k_inner, k_dead_end_label, 0);
  table.created_nodes = old_records + 1;
}

// Ordering, tree and renumbering; then the dead-end record where the last
// byte's padding could not otherwise avoid completing a code, always for a
// single byte value, which would otherwise leave no record to decode with,
// and always for a checked file, whose codes end in it.
TreePlan PlanTree(const Census& census, bool checked) {
  int count_chars = 0;
  SymbolList chars_List = MakeSymbolList(census, count_chars);
  OrderSymbols(chars_List, count_chars);
  TreePlan plan;
  BuildTree(chars_List, count_chars, plan.table);
  Renumber(plan.table, count_chars);
  plan.codes = MakeCodeTable(plan.table, census);
  plan.padding = ChoosePadding(plan.codes, census);
  const bool has_dead_end = count_chars == 1 || !plan.padding.harmless;
  if (has_dead_end || checked) {
    AddDeadEndRecord(plan.table);
    if (checked && WrittenRecords(plan.table) <= static_cast<int>(k_checked_dead_end_label)) {
      plan.table.one_Table[k_value_row][0] = k_checked_dead_end_label;
    }
    plan.codes = MakeCodeTable(plan.table, census);
    plan.padding = ChoosePadding(plan.codes, census);
  }
  if (checked) {
    plan.dead_end = plan.codes[plan.table.zero_Table[k_value_row][0]];
    const int last = plan.dead_end.length - 1;
    plan.dead_end.words[last / 64] |= std::uint64_t{1} << (63 - last % 64);
  }
  return plan;
}

}  // namespace huffman
