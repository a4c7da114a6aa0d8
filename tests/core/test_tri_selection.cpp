#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "core/tri_selection.h"

namespace {

// The selection sort itself, on (key, original index) pairs.
std::vector<size_t> parSelection(const std::vector<uint64_t>& cles) {
  std::vector<size_t> ordre(cles.size());
  for (size_t i = 0; i < ordre.size(); ++i) ordre[i] = i;
  for (size_t i = 0; i + 1 < ordre.size(); ++i) {
    size_t m = i;
    for (size_t j = i + 1; j < ordre.size(); ++j)
      if (cles[ordre[j]] < cles[ordre[m]]) m = j;
    std::swap(ordre[i], ordre[m]);
  }
  return ordre;
}

std::vector<size_t> parTournoi(const std::vector<uint64_t>& cles) {
  std::vector<size_t> ordre(cles.size());
  ordreTriSelection(cles.data(), cles.size(), ordre.data());
  return ordre;
}

TEST(TriSelection, SameOrderAsTheSelectionSort) {
  // Equal keys are where a selection sort is not stable: {5, 5, 1} ends
  // with the second 5 before the first.
  const std::vector<std::vector<uint64_t>> cas = {
      {}, {7}, {5, 5, 1}, {3, 2, 1}, {1, 2, 3}, {2, 2, 2, 2},
      {UINT64_MAX, 0, UINT64_MAX, 0}, {4, 1, 4, 1, 4, 1, 0}};
  for (const auto& c : cas) EXPECT_EQ(parTournoi(c), parSelection(c)) << c.size();
  EXPECT_EQ(parTournoi({5, 5, 1}), (std::vector<size_t>{2, 1, 0}));

  std::mt19937_64 alea(10);
  for (size_t n : {2, 5, 16, 17, 100, 255, 300}) {
    for (uint64_t etendue : {2, 8, 1000}) {
      std::vector<uint64_t> cles(n);
      for (auto& k : cles) k = alea() % etendue;
      EXPECT_EQ(parTournoi(cles), parSelection(cles)) << n << " " << etendue;
    }
  }
}

}  // namespace
