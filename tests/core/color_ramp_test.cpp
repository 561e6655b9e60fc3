#include "core/color_ramp.h"

#include <gtest/gtest.h>

#include <limits>

#include "core/histogram.h"
#include "support/mesh_builders.h"

using namespace quarnel;
using namespace quarnel::test;

namespace {

const Color4b kRed{255, 0, 0, 255};
const Color4b kYellow{255, 255, 0, 255};
const Color4b kGreen{0, 255, 0, 255};
const Color4b kCyan{0, 255, 255, 255};
const Color4b kBlue{0, 0, 255, 255};
const Color4b kOld{7, 7, 7, 7};

}  // namespace

TEST(RampColor, FiveStopsAndTruncatedBlends) {
  EXPECT_EQ(RampColor(0, 0, 4), kRed);
  EXPECT_EQ(RampColor(1, 0, 4), kYellow);
  EXPECT_EQ(RampColor(2, 0, 4), kGreen);
  EXPECT_EQ(RampColor(3, 0, 4), kCyan);
  EXPECT_EQ(RampColor(4, 0, 4), kBlue);
  EXPECT_EQ(RampColor(9, 0, 4), kBlue);
  EXPECT_EQ(RampColor(-1, 0, 4), kRed);
  EXPECT_EQ(RampColor(0.5f, 0, 4), (Color4b{255, 127, 0, 255}));
  EXPECT_EQ(RampColor(3.5f, 0, 4), (Color4b{0, 127, 255, 255}));
  // An empty range: everything from min up is blue, nothing divides by 0.
  EXPECT_EQ(RampColor(2, 2, 2), kBlue);
  EXPECT_EQ(RampColor(1, 2, 2), kRed);
  EXPECT_EQ(RampColor(std::numeric_limits<float>::quiet_NaN(), 0, 4), kBlue);
}

TEST(Histogram, InitAddAndPercentile) {
  Histogram h;
  h.Init(0, 1, 4);
  ASSERT_EQ(h.limits.size(), 5u);
  EXPECT_FLOAT_EQ(h.limits[1], 0.25f);
  EXPECT_FLOAT_EQ(h.limits[4], 1.0f);
  h.Add(0.25f);
  h.Add(0.3f);
  h.Add(0.0f);  // at the minimum: not counted
  h.Add(1.5f);  // above: not counted
  h.Add(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(h.counts, (std::vector<int32_t>{1, 1, 0, 0}));
  EXPECT_EQ(h.count, 2);
  EXPECT_NEAR(h.sum, 0.55, 1e-6);
  h.Add(0.6f);
  h.Add(0.9f);
  EXPECT_DOUBLE_EQ(h.Percentile(0.5), 0.5);
  EXPECT_DOUBLE_EQ(h.Percentile(0.0), 0.25);
  EXPECT_DOUBLE_EQ(h.Percentile(2.0), 1.0);

  Histogram empty;
  empty.Clear();
  EXPECT_EQ(empty.Percentile(0.5), 0.0);
  Histogram none;
  none.Init(3, 5, 0);
  EXPECT_DOUBLE_EQ(none.Percentile(0.5), 3.0);
  none.Add(4.0f);
  EXPECT_EQ(none.count, 0);
}

template <class MeshT>
class QualityColourings : public ::testing::Test {};
using QualityMeshTypes = ::testing::Types<MeshT3, MeshT5>;
TYPED_TEST_SUITE(QualityColourings, QualityMeshTypes);

TYPED_TEST(QualityColourings, VertexRangeUsesLiveVerticesOnly) {
  auto m = Grid<TypeParam>(2);
  for (size_t i = 0; i < m.vertices.size(); ++i)
    m.vertices[i].quality = float(i) * 0.5f;
  m.vertices[8].flags |= ElemFlag::Deleted;  // quality 4 must not stretch
  m.vertices[8].color = kOld;
  ColorVerticesByQualityRange(m);
  EXPECT_EQ(m.vertices[0].color, kRed);
  EXPECT_EQ(m.vertices[7].color, kBlue);
  EXPECT_EQ(m.vertices[8].color, kOld);
  // 1.75 is the midpoint of [0, 3.5].
  m.vertices[1].quality = 1.75f;
  ColorVerticesByQualityRange(m);
  EXPECT_EQ(m.vertices[1].color, kGreen);
}

TYPED_TEST(QualityColourings, FaceRangeIgnoresADeletedFirstFace) {
  auto m = Grid<TypeParam>(2);
  for (size_t i = 0; i < m.faces.size(); ++i)
    m.faces[i].quality = float(i);
  m.faces[0].quality = -100.0f;  // stale
  m.faces[0].flags |= ElemFlag::Deleted;
  m.faces[0].color = kOld;
  ColorFacesByQualityRange(m);
  EXPECT_EQ(m.faces[0].color, kOld);
  EXPECT_EQ(m.faces[1].color, kRed);
  EXPECT_EQ(m.faces[7].color, kBlue);
  EXPECT_EQ(m.faces[4].color, kGreen);  // midpoint of [1, 7]

  TypeParam none;
  ColorFacesByQualityRange(none);
  ColorVerticesByQualityRange(none);
}

TEST(ColorVerticesByQualityHistogram, PercentilesClipTheOutliers) {
  auto m = Grid<MeshT5>(20);  // 441 vertices
  for (size_t i = 0; i < m.vertices.size(); ++i)
    m.vertices[i].quality = float(i);
  m.vertices[0].quality = -1e6f;  // outliers
  m.vertices[440].quality = 1e6f;
  m.vertices[1].quality = -5e5f;
  ColorVerticesByQualityHistogram(m);
  // Almost every value falls into the middle bins of the outliers' range:
  // both percentiles sit at one bin limit, so values below it are red and
  // above it blue.
  EXPECT_EQ(m.vertices[0].color, kRed);
  EXPECT_EQ(m.vertices[440].color, kBlue);
  EXPECT_EQ(m.vertices[1].color, kRed);
}

TEST(ColorVerticesByQualityHistogram, OneValueEverywhereIsBlue) {
  auto m = Grid<MeshT5>(3);
  for (auto& v : m.vertices)
    v.quality = 0.25f;
  m.vertices[2].flags |= ElemFlag::Deleted;
  m.vertices[2].color = kOld;
  ColorVerticesByQualityHistogram(m);
  for (size_t i = 0; i < m.vertices.size(); ++i)
    EXPECT_EQ(m.vertices[i].color, i == 2 ? kOld : kBlue) << i;
  MeshT5 none;
  ColorVerticesByQualityHistogram(none);
}

TEST(ColorVerticesByQualityHistogram, SpreadValuesSpanTheRamp) {
  auto m = Grid<MeshT5>(20);
  const size_t n = m.vertices.size();
  for (size_t i = 0; i < n; ++i)
    m.vertices[i].quality = float(i);
  ColorVerticesByQualityHistogram(m);
  // The lowest 5 % are red, the highest 5 % blue, the median green-ish.
  EXPECT_EQ(m.vertices[5].color, kRed);
  EXPECT_EQ(m.vertices[n - 5].color, kBlue);
  const Color4b mid = m.vertices[n / 2].color;
  EXPECT_GT(mid.g, 240);
  EXPECT_LT(mid.r, 20);
  EXPECT_LT(mid.b, 20);
}

// The textured type keeps no quality: its quality colourings do not exist.
template <class MeshT>
concept VertexQualityColourable = requires(MeshT& m) {
  ColorVerticesByQualityRange(m);
};
template <class MeshT>
concept FaceQualityColourable = requires(MeshT& m) {
  ColorFacesByQualityRange(m);
};
static_assert(VertexQualityColourable<MeshT3> && VertexQualityColourable<MeshT5>);
static_assert(!VertexQualityColourable<MeshT4> && !VertexQualityColourable<MeshT1>);
static_assert(FaceQualityColourable<MeshT3> && !FaceQualityColourable<MeshT4>);
