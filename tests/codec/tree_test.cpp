#include "codec/tree.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

#include "codec/code_table.h"
#include "codec_test_support.h"

namespace huffman {
namespace {

RecordTable TreeOf(const std::string& source, int* count_chars_out = nullptr) {
  Census census;
  census.Add({reinterpret_cast<const std::uint8_t*>(source.data()), source.size()});
  int count_chars = 0;
  SymbolList list = MakeSymbolList(census, count_chars);
  OrderSymbols(list, count_chars);
  RecordTable table;
  BuildTree(list, count_chars, table);
  Renumber(table, count_chars);
  if (count_chars_out != nullptr) *count_chars_out = count_chars;
  return table;
}

std::string SideText(const SideTable<std::uint64_t>& side, int k) {
  if (side[k_kind_row][k] == k_leaf) return "leaf " + std::string(1, static_cast<char>(side[k_value_row][k]));
  return "inner " + std::to_string(side[k_value_row][k]);
}

// "0-child / 1-child / label", with both sides required to carry the label.
std::string RecordText(const RecordTable& table, int k) {
  EXPECT_EQ(table.zero_Table[k_id_row][k], table.one_Table[k_id_row][k]) << "record " << k;
  return SideText(table.zero_Table, k) + " / " + SideText(table.one_Table, k) + " / " +
         std::to_string(table.zero_Table[k_id_row][k]);
}

std::string CodeText(const RecordTable& table, char value) {
  return testing::CodeBits(LookUpCode(table, static_cast<unsigned char>(value)));
}

TEST(TreeTest, AbracadabraRecordsAndLabels) {
  const RecordTable table = TreeOf("abracadabra");
  ASSERT_EQ(table.created_nodes, 5);
  EXPECT_EQ(RecordText(table, 0), "leaf c / leaf d / 0");
  EXPECT_EQ(RecordText(table, 1), "inner 0 / leaf b / 1");
  EXPECT_EQ(RecordText(table, 2), "leaf r / inner 1 / 2");
  EXPECT_EQ(RecordText(table, 3), "leaf a / inner 2 / 3");
  // The extra record: the root on its 0-side, an empty 1-side that reads as
  // a leaf of byte value 0, and the root's label.
  EXPECT_EQ(RecordText(table, 4), std::string("inner 3 / leaf ") + '\0' + " / 3");
}

TEST(TreeTest, CodesFollowTheTieBreaks) {
  const std::map<std::string, std::map<char, std::string>> cases = {
      {"abracadabra", {{'a', "0"}, {'r', "10"}, {'b', "111"}, {'c', "1100"}, {'d', "1101"}}},
      // The first inner node ties with leaf c and, in the lower slot, stays first.
      {"abc", {{'a', "00"}, {'b', "01"}, {'c', "1"}}},
      {"aab", {{'b', "0"}, {'a', "1"}}},
      // Not four 2-bit codes: the raised weights 1, 2, 3, 4 skew the tree.
      {"abcd", {{'a', "100"}, {'b', "101"}, {'c', "11"}, {'d', "0"}}},
  };
  for (const auto& [source, codes] : cases) {
    const RecordTable table = TreeOf(source);
    for (const auto& [value, code] : codes) EXPECT_EQ(CodeText(table, value), code) << source << " " << value;
  }
  const RecordTable abc = TreeOf("abc");
  EXPECT_EQ(RecordText(abc, 0), "leaf a / leaf b / 0");
  EXPECT_EQ(RecordText(abc, 1), "inner 0 / leaf c / 1");
}

TEST(TreeTest, SingleValueGetsOnlyTheExtraRecord) {
  const RecordTable table = TreeOf("qqqq");
  ASSERT_EQ(table.created_nodes, 1);
  EXPECT_EQ(RecordText(table, 0), std::string("leaf q / leaf ") + '\0' + " / 0");
  EXPECT_EQ(WrittenRecords(table), 0);
}

// Record k carries label k, inner children point below their parent, every
// value occurs once as a leaf and every inner node but the root once as a child.
void ExpectWellFormed(const RecordTable& table, int count_chars, const std::string& what) {
  const int real = table.created_nodes - 1;
  ASSERT_EQ(table.created_nodes, count_chars) << what;
  std::map<std::uint64_t, int> leaves, inner_children;
  for (int k = 0; k < real; ++k) {
    EXPECT_EQ(table.zero_Table[k_id_row][k], static_cast<std::uint64_t>(k)) << what;
    EXPECT_EQ(table.one_Table[k_id_row][k], static_cast<std::uint64_t>(k)) << what;
    for (const auto* side : {&table.zero_Table, &table.one_Table}) {
      if ((*side)[k_kind_row][k] == k_leaf) {
        ++leaves[(*side)[k_value_row][k]];
      } else {
        EXPECT_LT((*side)[k_value_row][k], static_cast<std::uint64_t>(k)) << what;
        ++inner_children[(*side)[k_value_row][k]];
      }
    }
  }
  EXPECT_EQ(static_cast<int>(leaves.size()), count_chars) << what;
  for (const auto& [value, times] : leaves) EXPECT_EQ(times, 1) << what << " leaf " << value;
  EXPECT_EQ(static_cast<int>(inner_children.size()), std::max(real - 1, 0)) << what;
  for (const auto& [label, times] : inner_children) EXPECT_EQ(times, 1) << what << " inner " << label;
  if (real >= 1) {
    EXPECT_EQ(table.zero_Table[k_id_row][real], static_cast<std::uint64_t>(real - 1)) << what;
  }
}

TEST(TreeTest, RenumberingGivesRecordKLabelKOnManySources) {
  std::mt19937_64 rng(7);
  std::string all_values;
  for (int i = 0; i < 256; ++i) all_values.push_back(static_cast<char>(i));
  int count_chars = 0;
  const RecordTable full = TreeOf(all_values, &count_chars);
  ExpectWellFormed(full, count_chars, "all 256 values");
  EXPECT_EQ(full.zero_Table[k_id_row][255], 254u);

  for (int trial = 0; trial < 200; ++trial) {
    const int alphabet = 2 + static_cast<int>(rng() % 255);
    const double skew = static_cast<double>(rng() % 40) / 10.0 - 2.0;
    const std::string source = testing::RandomSource(rng, 50 + rng() % 5000, alphabet, skew);
    const RecordTable table = TreeOf(source, &count_chars);
    ExpectWellFormed(table, count_chars, "trial " + std::to_string(trial));
  }
}

TEST(DeadEndTest, LightestLeafMovesDownOneLevelBesideADeadEnd) {
  RecordTable table = TreeOf("abracadabra");
  const char values[] = {'a', 'b', 'c', 'd', 'r'};
  std::map<char, std::string> before;
  for (const char v : values) before[v] = CodeText(table, v);
  AddDeadEndRecord(table);
  ASSERT_EQ(table.created_nodes, 6);
  EXPECT_EQ(RecordText(table, 0), "leaf c / inner 255 / 0");
  EXPECT_EQ(RecordText(table, 1), "inner 0 / leaf d / 1");
  EXPECT_EQ(RecordText(table, 2), "inner 1 / leaf b / 2");
  EXPECT_EQ(RecordText(table, 3), "leaf r / inner 2 / 3");
  EXPECT_EQ(RecordText(table, 4), "leaf a / inner 3 / 4");
  EXPECT_EQ(table.zero_Table[k_id_row][5], 4u);
  for (const char v : values) {
    EXPECT_EQ(CodeText(table, v), v == 'c' ? before[v] + "0" : before[v]) << v;
  }
}

TEST(DeadEndTest, SingleValueBecomesOneRecord) {
  RecordTable table = TreeOf("xxx");
  AddDeadEndRecord(table);
  ASSERT_EQ(WrittenRecords(table), 1);
  EXPECT_EQ(RecordText(table, 0), "leaf x / inner 255 / 0");
  EXPECT_EQ(CodeText(table, 'x'), "0");
}

}  // namespace
}  // namespace huffman
