#include "codec/format_check.h"

#include <algorithm>
#include <array>
#include <string>

namespace huffman {

namespace {

// The one side that may name no record: the dead end that absorbs padding,
// always the 1-side of record 0, stored as bytes 01 FF 00; in a checked file
// of at most 254 records, 01 FE 00 (tree.h).
constexpr std::int32_t k_dead_end_value = 0xFF;
constexpr std::int32_t k_checked_dead_end_value = 0xFE;
// The kinds as the decoder's signed table holds them.
constexpr auto k_leaf_kind = static_cast<std::int32_t>(k_leaf);
constexpr auto k_inner_kind = static_cast<std::int32_t>(k_inner);

bool IsDeadEnd(const DictionaryTable& table, int record, int bit) {
  const auto& side = table.one_Table;
  const std::int32_t value = side[k_value_row][0];
  return record == 0 && bit == 1 && side[k_kind_row][0] == k_inner_kind &&
         (value == k_dead_end_value || (value == k_checked_dead_end_value && table.dictionary_lenght <= value)) &&
         side[k_id_row][0] == 0;
}

const SideTable<std::int32_t>& Side(const DictionaryTable& table, int bit) {
  return bit == 0 ? table.zero_Table : table.one_Table;
}

// File offset of one entry: sides of record k start at 1 + 3k (0-sides) and
// 1 + 3N + 3k (1-sides); the entry's row is its place in the triple.
std::uint64_t EntryOffset(int record_count, int record, int bit, int row) {
  return 1 + 3 * static_cast<std::uint64_t>(bit) * static_cast<std::uint64_t>(record_count) +
         3 * static_cast<std::uint64_t>(record) + static_cast<std::uint64_t>(row);
}

}  // namespace

bool CarriesCheckMark(const DictionaryTable& table) {
  const int n = table.dictionary_lenght;
  if (n < 1 || !IsDeadEnd(table, 0, 1)) return false;
  const std::int32_t value = table.one_Table[k_value_row][0];
  return value == k_checked_dead_end_value || n == k_max_written_records;
}

FormatCheck CheckDictionary(const DictionaryTable& table, std::size_t bytes_read) {
  const int n = table.dictionary_lenght;
  if (n < 0) return {};  // an empty file: the empty source
  if (n == 0) return {FormatFault::single_value, 0};
  if (bytes_read < DictionaryBytes(n)) return {FormatFault::truncated_dictionary, bytes_read};

  // Each kind of check runs over the whole table before the next, so the
  // fault named is the first check failed, at its first place in the file.
  for (int bit = 0; bit < 2; ++bit) {
    for (int k = 0; k < n; ++k) {
      const std::int32_t kind = Side(table, bit)[k_kind_row][k];
      if (kind != k_leaf_kind && kind != k_inner_kind)
        return {FormatFault::bad_kind, EntryOffset(n, k, bit, k_kind_row)};
    }
  }
  for (int bit = 0; bit < 2; ++bit) {
    for (int k = 0; k < n; ++k) {
      if (Side(table, bit)[k_id_row][k] != k) return {FormatFault::bad_label, EntryOffset(n, k, bit, k_id_row)};
    }
  }
  // Children below parents: the walk searches downward from a parent, and
  // this also rules out every cycle.
  for (int bit = 0; bit < 2; ++bit) {
    for (int k = 0; k < n; ++k) {
      const auto& side = Side(table, bit);
      if (side[k_kind_row][k] != k_inner_kind || IsDeadEnd(table, k, bit)) continue;
      if (side[k_value_row][k] >= k) return {FormatFault::child_not_below, EntryOffset(n, k, bit, k_value_row)};
    }
  }
  // With every child below its parent, "one tree from the root" is: every
  // record but the root (record N-1, which nothing can name) named exactly
  // once.
  std::array<std::uint64_t, k_max_records> named_at{};  // offset + 1 of the first naming side
  for (int bit = 0; bit < 2; ++bit) {
    for (int k = 0; k < n; ++k) {
      const auto& side = Side(table, bit);
      if (side[k_kind_row][k] != k_inner_kind || IsDeadEnd(table, k, bit)) continue;
      const auto child = static_cast<std::size_t>(side[k_value_row][k]);
      if (named_at[child] != 0) return {FormatFault::not_one_tree, EntryOffset(n, k, bit, k_value_row)};
      named_at[child] = EntryOffset(n, k, bit, k_value_row) + 1;
    }
  }
  for (int k = 0; k < n - 1; ++k) {
    if (named_at[static_cast<std::size_t>(k)] == 0) return {FormatFault::not_one_tree, EntryOffset(n, k, 0, 0)};
  }
  std::array<bool, 256> seen{};
  for (int bit = 0; bit < 2; ++bit) {
    for (int k = 0; k < n; ++k) {
      const auto& side = Side(table, bit);
      if (side[k_kind_row][k] != k_leaf_kind) continue;
      const auto value = static_cast<std::size_t>(side[k_value_row][k]);
      if (seen[value]) return {FormatFault::duplicate_value, EntryOffset(n, k, bit, k_value_row)};
      seen[value] = true;
    }
  }
  return {};
}

int CountLeaves(const DictionaryTable& table) {
  int leaves = 0;
  for (int bit = 0; bit < 2; ++bit) {
    for (int k = 0; k < table.dictionary_lenght; ++k) leaves += Side(table, bit)[k_kind_row][k] == k_leaf_kind ? 1 : 0;
  }
  return leaves;
}

std::vector<CodeEntry> ListCodes(const DictionaryTable& table) {
  std::vector<CodeEntry> codes;
  if (table.dictionary_lenght < 1) return codes;
  // Depth first from the root; a tree of at most 256 records needs no more.
  struct Pending {
    int record;
    std::string bits;
  };
  std::vector<Pending> pending{{table.dictionary_lenght - 1, ""}};
  while (!pending.empty()) {
    Pending at = std::move(pending.back());
    pending.pop_back();
    for (int bit = 0; bit < 2; ++bit) {
      const auto& side = Side(table, bit);
      std::string bits = at.bits + static_cast<char>('0' + bit);
      if (side[k_kind_row][at.record] == k_leaf_kind) {
        codes.push_back({static_cast<std::uint8_t>(side[k_value_row][at.record]), std::move(bits)});
      } else if (!IsDeadEnd(table, at.record, bit)) {
        pending.push_back({side[k_value_row][at.record], std::move(bits)});
      }
    }
  }
  std::sort(codes.begin(), codes.end(), [](const CodeEntry& a, const CodeEntry& b) { return a.bits < b.bits; });
  return codes;
}

}  // namespace huffman
