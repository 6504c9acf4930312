#include "codec/census.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace huffman {
namespace {

std::span<const std::uint8_t> AsBytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

struct Entry {
  int value;
  std::uint64_t weight;
  bool operator==(const Entry&) const = default;
};

std::vector<Entry> Entries(const SymbolList& list, int count_chars) {
  std::vector<Entry> entries;
  for (int i = 0; i < count_chars; ++i) {
    EXPECT_EQ(list[k_kind_row][i], k_leaf);
    entries.push_back({static_cast<int>(list[k_value_row][i]), list[k_weight_row][i]});
  }
  return entries;
}

std::vector<Entry> OrderedEntries(const std::string& source) {
  Census census;
  census.Add(AsBytes(source));
  int count_chars = 0;
  SymbolList list = MakeSymbolList(census, count_chars);
  OrderSymbols(list, count_chars);
  return Entries(list, count_chars);
}

TEST(CensusTest, CountsInFirstOccurrenceOrder) {
  Census census;
  census.Add(AsBytes("abracadabra"));
  int count_chars = 0;
  const SymbolList list = MakeSymbolList(census, count_chars);
  EXPECT_EQ(Entries(list, count_chars), (std::vector<Entry>{{'a', 5}, {'b', 2}, {'r', 2}, {'c', 1}, {'d', 1}}));
  EXPECT_EQ(census.TotalBytes(), 11u);
}

TEST(CensusTest, FirstOccurrenceSurvivesBlockBoundaries) {
  // A value first seen late in a later block must still come after the
  // values of earlier blocks, and values new in one block in their order.
  Census split;
  split.Add(AsBytes("xxxy"));
  split.Add(AsBytes("yyyyyyzyyyq"));
  split.Add(AsBytes(""));
  split.Add(AsBytes("qqa"));
  Census whole;
  whole.Add(AsBytes("xxxyyyyyyyzyyyqqqa"));
  ASSERT_EQ(split.DistinctValues(), 5);
  ASSERT_EQ(whole.DistinctValues(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(split.FirstOccurrence()[i], whole.FirstOccurrence()[i]) << i;
  EXPECT_EQ(std::string(whole.FirstOccurrence().begin(), whole.FirstOccurrence().begin() + 5), "xyzqa");
  for (int value = 0; value < k_alphabet; ++value) EXPECT_EQ(split.Count(value), whole.Count(value));
}

TEST(OrderTest, StableSortThenRaiseByPosition) {
  EXPECT_EQ(OrderedEntries("abracadabra"), (std::vector<Entry>{{'c', 1}, {'d', 2}, {'b', 4}, {'r', 5}, {'a', 9}}));
  EXPECT_EQ(OrderedEntries("aab"), (std::vector<Entry>{{'b', 1}, {'a', 3}}));
  EXPECT_EQ(OrderedEntries("zzzzzzz"), (std::vector<Entry>{{'z', 7}}));
  // Equal counts keep first-occurrence order, not byte order.
  EXPECT_EQ(OrderedEntries("dcbadcba"), (std::vector<Entry>{{'d', 2}, {'c', 3}, {'b', 4}, {'a', 5}}));
}

TEST(OrderTest, AllByteValuesOnceKeepTheirOrderWithWeightsOneTo256) {
  std::string source;
  for (int i = 0; i < 256; ++i) source.push_back(static_cast<char>((i * 7 + 3) & 0xFF));
  const auto entries = OrderedEntries(source);
  ASSERT_EQ(entries.size(), 256u);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(entries[i].value, (i * 7 + 3) & 0xFF);
    EXPECT_EQ(entries[i].weight, static_cast<std::uint64_t>(i + 1));
  }
}

TEST(OrderTest, CountsAbove32BitsAreKeptWhole) {
  SymbolList list{};
  list[k_value_row][0] = 'a';
  list[k_weight_row][0] = (std::uint64_t{1} << 32) + 5;
  list[k_value_row][1] = 'b';
  list[k_weight_row][1] = 7;
  OrderSymbols(list, 2);
  EXPECT_EQ(Entries(list, 2), (std::vector<Entry>{{'b', 7}, {'a', (std::uint64_t{1} << 32) + 6}}));
}

}  // namespace
}  // namespace huffman
