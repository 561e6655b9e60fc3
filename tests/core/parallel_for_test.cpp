#include "core/parallel_for.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

using namespace quarnel;

// Counts that the cores split into one range and into several, an odd
// number of them where the machine has the cores: each range is sorted on
// its own and the ranges are merged.
TEST(ParallelSort, SortsAsStdSortWhateverTheRanges) {
  std::mt19937_64 random(7);
  for (size_t n : {size_t(100), size_t(20480), size_t(28672), size_t(200000)}) {
    SCOPED_TRACE(n);
    std::vector<std::pair<uint64_t, size_t>> items(n);
    for (auto& item : items)
      item = {random() % (n / 3), random() % 4};
    std::vector<std::pair<uint64_t, size_t>> sorted = items;
    std::sort(sorted.begin(), sorted.end());
    ParallelSort(items);
    EXPECT_EQ(items, sorted);
  }
}
