#include "core/places.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <set>
#include <vector>

#include "core/index_sets.h"

using namespace quarnel;

// Clusters of points at one place (some across the cells of the grid the
// places are found with, several to a cell), each with a point beyond the
// tolerance near it, in shuffled order: the places are those of every pair
// at one place, found here by a sweep along x.
TEST(GroupByPlace, JoinsEveryPairAtOnePlace) {
  constexpr double kTolerance = 1e-3;
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> spread(-50.0, 50.0);
  std::uniform_real_distribution<double> near(-0.45 * kTolerance, 0.45 * kTolerance);
  std::vector<Vec3d> points;
  for (int c = 0; c < 10000; ++c) {
    const Vec3d centre(spread(random), spread(random), spread(random));
    for (int k = 0; k < 3; ++k)
      points.push_back(centre + Vec3d(near(random), near(random), near(random)));
    points.push_back(centre + Vec3d(5 * kTolerance, 0.0, 0.0));
  }
  std::shuffle(points.begin(), points.end(), random);

  std::vector<uint32_t> expected(points.size()), byX(points.size());
  std::iota(expected.begin(), expected.end(), 0u);
  std::iota(byX.begin(), byX.end(), 0u);
  std::sort(byX.begin(), byX.end(), [&](uint32_t a, uint32_t b) { return points[a].x < points[b].x; });
  for (size_t i = 0; i < byX.size(); ++i)
    for (size_t j = i + 1; j < byX.size() && points[byX[j]].x - points[byX[i]].x <= kTolerance; ++j)
      if (AtOnePlace(points[byX[i]], points[byX[j]], kTolerance, kTolerance))
        JoinSets(expected, byX[i], byX[j]);
  FlattenSets(expected);
  const std::vector<uint32_t> places = GroupByPlace(points, kTolerance, kTolerance);
  EXPECT_LE(std::set<uint32_t>(places.begin(), places.end()).size(), points.size() / 2);
  EXPECT_EQ(places, expected);
}
