// The texts and geometry of the view's overlays, apart from OpenGL.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "app/gl_text.h"
#include "app/overlay_geometry.h"
#include "matrix_checks.h"

namespace quarnel {
namespace {

using test::Identity;

TEST(PaneFormatting, ThousandsAreGroupedByThreeDigits) {
  std::string s;
  EXPECT_EQ(FormatThousands(s, 999), "999");
  EXPECT_EQ(FormatThousands(s, 1000), "1 000");
  EXPECT_EQ(FormatThousands(s, 1000000), "1 000 000");
  EXPECT_EQ(FormatThousands(s, 1000000000), "1 000 000 000");
  EXPECT_EQ(FormatThousands(s, 2147483647), "2 147 483 647");
  EXPECT_EQ(FormatThousands(s, 12005), "12 005");
  EXPECT_EQ(FormatThousands(s, -5), "-5");
  EXPECT_EQ(FormatThousands(s, 0), "0");
  // The target's old text is replaced, and it is returned.
  s = "something long";
  EXPECT_EQ(&FormatThousands(s, 7), &s);
  EXPECT_EQ(s, "7");
}

TEST(PaneFormatting, FormatStringCutsAtTheBuffer) {
  std::string s;
  EXPECT_EQ(FormatString(s, "V%i P %s", 2, "x"), "V2 P x");
  const std::string longText(6000, 'a');
  FormatString(s, "%s", longText.c_str());
  EXPECT_EQ(int(s.size()), kFormatBufferSize - 1);
}

TEST(PaneFormatting, DecimalsFollowTheBoxDiagonal) {
  EXPECT_EQ(PaneDecimals(0.5), 4);
  EXPECT_EQ(PaneDecimals(1.7), 4);
  EXPECT_EQ(PaneDecimals(50.0), 3);
  EXPECT_EQ(PaneDecimals(5000.0), 1);
  EXPECT_EQ(PaneDecimals(500000.0), 0);
  EXPECT_EQ(PaneDecimals(5e12), 0);
  // An empty or degenerate mesh must not reach the logarithm of zero.
  EXPECT_EQ(PaneDecimals(0.0), 4);
  EXPECT_EQ(PaneDecimals(std::nan("")), 4);
  EXPECT_EQ(PaneDecimals(INFINITY), 4);
}

TEST(PaneFormatting, NothingReadsAsMinusZero) {
  std::string s;
  const struct {
    double value;
    int decimals;
    const char* shown;
  } rows[] = {{-0.00001, 4, "0.0000"}, {-0.0, 4, "0.0000"},  {-0.00004999, 4, "0.0000"},
              {-0.0001, 4, "-0.0001"}, {-0.0004, 3, "0.000"}, {-0.4, 0, "0"},
              {-2.5, 1, "-2.5"},       {0.00001, 4, "0.0000"}, {3.0, 2, "3.00"}};
  for (const auto& row : rows)
    EXPECT_EQ(FormatString(s, "%.*f", row.decimals, NoNegativeZero(row.value, row.decimals)),
              row.shown)
        << row.value;
}

TEST(PaneFormatting, FrameRateAndTriangleRate) {
  EXPECT_DOUBLE_EQ(FramesPerSecond(20.0), 50.0);
  EXPECT_EQ(KiloTrianglesPerSecond(100000, 20.0), 5000);
  std::string s, line;
  FormatThousands(s, KiloTrianglesPerSecond(100000, 20.0));
  EXPECT_EQ(FormatString(line, "FPS %3.2f  (TPS %8sk) ", FramesPerSecond(20.0), s.c_str()),
            "FPS 50.00  (TPS    5 000k) ");
  // No time measured: no infinite rate on the screen.
  EXPECT_EQ(FramesPerSecond(0.0), 0.0);
  EXPECT_EQ(KiloTrianglesPerSecond(100000, 0.0), 0);
  EXPECT_GT(KiloTrianglesPerSecond(2000000000, 1e-9), 0);
}

TEST(GridPlanes, TickSpacingRoundsTheSizeAndSnapsTheCentreTowardZero) {
  PlaneGridStyle style(2);
  float size = 3.7f;
  Vec3f centre(2.6f, -0.4f, 13.9f);
  TickSpacing(style, 10, size, centre);
  EXPECT_FLOAT_EQ(size, 10.0f);
  EXPECT_FLOAT_EQ(style.stepU, 1.0f);
  EXPECT_FLOAT_EQ(style.stepV, 1.0f);
  EXPECT_FLOAT_EQ(centre.x, 2.0f);
  EXPECT_FLOAT_EQ(centre.y, 0.0f);
  EXPECT_FLOAT_EQ(centre.z, 13.0f);

  // A size of 1 has a float step of 0.1f, which 0.3f holds three times.
  size = 0.5f;
  centre = Vec3f(0.3f, -0.7f, 0.05f);
  TickSpacing(style, 10, size, centre);
  EXPECT_FLOAT_EQ(centre.x, 0.3f);
  EXPECT_FLOAT_EQ(centre.y, -0.7f);
  EXPECT_FLOAT_EQ(centre.z, 0.0f);

  size = 0.0f;
  centre = Vec3f(0.3f, 0.0f, 0.0f);
  TickSpacing(style, 10, size, centre);
  EXPECT_TRUE(std::isfinite(size) && std::isfinite(centre.x) && std::isfinite(style.stepU));
}

TEST(GridPlanes, TheDefaultGridHasElevenLinesEachWay) {
  PlaneGridStyle style(2);
  EXPECT_EQ(style.frontColour, (Color4b{128, 128, 255, 128}));
  EXPECT_EQ(style.backColour, (Color4b{255, 128, 128, 128}));
  // Every box diagonal, whatever power of ten it rounds up to; 0.5 and 0.37
  // round to a size of 1, whose half holds five float steps of 0.1.
  const struct {
    float diagonal;
    float size;
  } rows[] = {{0.5f, 1.0f},      {0.37f, 1.0f}, {0.05f, 0.1f}, {37.0f, 100.0f},
              {4.2e4f, 1e5f},    {1e7f, 1e7f},  {1.5f, 10.0f}};
  PlaneGrid grid;
  for (const auto& row : rows) {
    float size = row.diagonal;
    Vec3f centre(0, 0, 0);
    TickSpacing(style, 10, size, centre);
    EXPECT_FLOAT_EQ(size, row.size) << row.diagonal;
    const float xy[4] = {0, 0, 1, 0};
    grid = BuildPlaneGrid(xy, centre, Vec3f(0, 1, 0), size, size, style);
    ASSERT_EQ(grid.lines.size(), 22u) << row.diagonal;
    for (const Segment3f& s : grid.lines) {
      EXPECT_FLOAT_EQ(s.a.z, 0.0f);
      EXPECT_NEAR((s.b - s.a).Norm(), row.size, 1e-6 * row.size);
    }
    // The outermost lines run along the plane's edges.
    EXPECT_NEAR(std::fabs(grid.lines.front().a.y), 0.5 * row.size, 1e-6 * row.size);
    EXPECT_NEAR(grid.lines.front().a.y, -grid.lines[10].a.y, 1e-6 * row.size) << row.diagonal;
  }
  // The rectangle's corners (of the last row) turn counter-clockwise seen
  // from +z, so that the front colour faces the normal.
  const Vec3f n = Cross(grid.corners[1] - grid.corners[0], grid.corners[2] - grid.corners[0]);
  EXPECT_GT(n.z, 0.0f);
  EXPECT_NEAR((grid.corners[2] - grid.corners[0]).Norm(), std::sqrt(200.0), 1e-4);
}

TEST(GridPlanes, ThePlaneIsPlacedAtTheCentresProjection) {
  PlaneGridStyle style(0);
  style.stepU = style.stepV = 1.0f;
  const float plane[4] = {0, 2, 0, 4};  // y = 2 once normalised
  const PlaneGrid grid = BuildPlaneGrid(plane, Vec3f(1, 7, 3), Vec3f(0, 1, 0), 4, 4, style);
  for (const Vec3f& c : grid.corners) EXPECT_NEAR(c.y, 2.0f, 1e-6);
  const Vec3f mid = (grid.corners[0] + grid.corners[2]) * 0.5;
  EXPECT_NEAR(mid.x, 1.0f, 1e-6);
  EXPECT_NEAR(mid.z, 3.0f, 1e-6);
}

TEST(GridPlanes, OneTickOrATinyPlaneLeavesOneLineThroughTheCentre) {
  PlaneGridStyle style(1);
  style.stepU = style.stepV = 10.0f;
  const float xy[4] = {0, 0, 1, 0};
  const PlaneGrid grid = BuildPlaneGrid(xy, Vec3f(0, 0, 0), Vec3f(0, 1, 0), 4, 4, style);
  ASSERT_EQ(grid.lines.size(), 2u);
  for (const Segment3f& s : grid.lines) {
    for (const Vec3f& p : {s.a, s.b})
      EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    EXPECT_NEAR(((s.a + s.b) * 0.5).Norm(), 0.0, 1e-6);
  }
}

TEST(GridPlanes, TheClipPlaneFillHasNoLinesAndNoPlaneHasMillions) {
  // The clip plane's style keeps the constructor's step of 10 whatever the
  // mesh size.
  const float xy[4] = {0, 0, 1, 0};
  const PlaneGrid fill = BuildPlaneGrid(xy, Vec3f(0, 0, 0), Vec3f(0, 1, 0), 1e7f, 1e7f,
                                        PlaneGridStyle(0));
  EXPECT_TRUE(fill.lines.empty());
  EXPECT_NEAR((fill.corners[2] - fill.corners[0]).Norm(), std::sqrt(2.0) * 1e7, 1.0);

  // With lines, a plane of a million steps still draws at most a thousand
  // and one each way, spread over its whole side.
  const PlaneGrid lines = BuildPlaneGrid(xy, Vec3f(0, 0, 0), Vec3f(0, 1, 0), 1e7f, 1e7f,
                                         PlaneGridStyle(1));
  ASSERT_EQ(lines.lines.size(), 2002u);
  EXPECT_NEAR(std::fabs(lines.lines.front().a.y), 5e6, 1.0);
  EXPECT_NEAR(lines.lines.front().a.y, -lines.lines[1000].a.y, 1.0);
  // The finest tick setting is drawn in full.
  PlaneGridStyle style(2);
  float size = 3.0f;
  Vec3f centre(0, 0, 0);
  TickSpacing(style, 1000, size, centre);
  EXPECT_EQ(BuildPlaneGrid(xy, centre, Vec3f(0, 1, 0), size, size, style).lines.size(), 2002u);
}

TEST(PickedFaceLabels, LabelsThatWouldMeetMoveDownALine) {
  const struct {
    std::vector<LabelBox> labels;
    std::vector<int> drops;
  } rows[] = {
      // Labels: left edge, baseline, width, height.
  // A face far larger than its labels: each stays at its corner.
      {{{0, 0, 40, 14}, {100, 0, 40, 14}, {50, 80, 40, 14}}, {0, 0, 0}},
      // A face of a few pixels: the three labels stack, each just below the
      // one it would meet.
      {{{10, 10, 40, 14}, {12, 11, 40, 14}, {11, 9, 40, 14}}, {0, 15, 27}},
      // Two meet, the third stands clear to the right.
      {{{10, 10, 40, 14}, {30, 20, 40, 14}, {200, 10, 40, 14}}, {0, 24, 0}},
      // A label pushed into a later-placed one's way moves on below it.
      {{{0, 0, 40, 14}, {0, -14, 40, 14}, {0, 0, 40, 14}}, {0, 0, 28}},
  };
  for (const auto& row : rows) EXPECT_EQ(LabelDrops(row.labels), row.drops);
}

TEST(WireSphere, EightStacksAndTwelveSlices) {
  const auto strips = WireSphereStrips(8, 12);
  ASSERT_EQ(strips.size(), 7u + 12u);
  for (size_t i = 0; i < 7; ++i) EXPECT_EQ(strips[i].size(), 13u);
  for (size_t i = 7; i < strips.size(); ++i) EXPECT_EQ(strips[i].size(), 9u);
  for (const auto& strip : strips)
    for (const Vec3f& p : strip) EXPECT_NEAR(p.Norm(), 1.0, 1e-6);
  // Meridians run from pole to pole.
  EXPECT_NEAR(strips[7].front().y, 1.0f, 1e-6);
  EXPECT_NEAR(strips[7].back().y, -1.0f, 1e-6);
}

TEST(BoxCorners, ThreeInwardMarksAtEachCorner) {
  BBox3f box;
  box.Add(Vec3f(0, 0, 0));
  box.Add(Vec3f(4, 8, 12));
  const auto marks = BoxCornerSegments(box);
  ASSERT_EQ(marks.size(), 24u);
  for (const Segment3f& s : marks) {
    const Vec3f d = s.b - s.a;
    const double len = d.Norm();
    EXPECT_TRUE(len == 1.0 || len == 2.0 || len == 3.0) << len;
    // Every mark ends inside the box.
    for (int i = 0; i < 3; ++i) {
      EXPECT_GE(s.b[i], box.min[i]);
      EXPECT_LE(s.b[i], box.max[i]);
    }
  }
}

TEST(Ruler, StepGivesAtLeastThirtyDivisions) {
  EXPECT_NEAR(RulerStep(0.5), 0.01, 1e-12);
  EXPECT_NEAR(RulerStep(250.0), 1.0, 1e-12);
  EXPECT_NEAR(RulerStep(30.0), 1.0, 1e-12);
  EXPECT_NEAR(RulerStep(29.0), 0.1, 1e-12);
  for (double length : {1e-7, 0.003, 1.0, 7.5, 123456.0, 1e300})
    EXPECT_GE(length / RulerStep(length), 30.0 - 1e-9) << length;
  // Two picks on the same pixel: no ticks, and no endless division.
  EXPECT_EQ(RulerStep(0.0), 0.0);
  EXPECT_EQ(RulerStep(std::nan("")), 0.0);
  EXPECT_EQ(RulerStep(INFINITY), 0.0);
}

TEST(ClipManipulator, AnUnmovedManipulatorCutsThroughTheBoxCentre) {
  float plane[4];
  ClipPlaneFromTrack(Identity(), Vec3f(0, 0, 1), Vec3f(3, 4, 5), plane);
  EXPECT_FLOAT_EQ(plane[0], 0.0f);
  EXPECT_FLOAT_EQ(plane[1], 0.0f);
  EXPECT_FLOAT_EQ(plane[2], 1.0f);
  EXPECT_FLOAT_EQ(plane[3], 5.0f);

  float sphere[4];
  ClipSphereFromTrack(Identity(), Vec3f(3, 4, 5), 2.0, sphere);
  EXPECT_FLOAT_EQ(sphere[0], 3.0f);
  EXPECT_FLOAT_EQ(sphere[1], 4.0f);
  EXPECT_FLOAT_EQ(sphere[2], 5.0f);
  EXPECT_FLOAT_EQ(sphere[3], 2.0f);
}

TEST(ClipManipulator, TheTrackMovesTurnsAndScalesThePlaneAndSphere) {
  // A turn of 90 degrees about x carries the normal +z to -y.
  Mat4d turn;
  turn.SetRotate(90.0, 1, 0, 0);
  float plane[4];
  ClipPlaneFromTrack(turn, Vec3f(0, 0, 1), Vec3f(0, 0, 2), plane);
  EXPECT_NEAR(plane[0], 0.0f, 1e-6);
  EXPECT_NEAR(plane[1], -1.0f, 1e-6);
  EXPECT_NEAR(plane[2], 0.0f, 1e-6);
  EXPECT_NEAR(plane[3], 2.0f, 1e-6);

  Mat4d move = Identity();
  move.m[0] = move.m[5] = move.m[10] = 2.0;
  move.m[12] = 1.0;
  float sphere[4];
  ClipSphereFromTrack(move, Vec3f(1, 0, 0), 0.5, sphere);
  EXPECT_FLOAT_EQ(sphere[0], 3.0f);
  EXPECT_FLOAT_EQ(sphere[3], 1.0f);
  ClipPlaneFromTrack(move, Vec3f(1, 0, 0), Vec3f(1, 0, 0), plane);
  EXPECT_FLOAT_EQ(plane[0], 1.0f);
  EXPECT_FLOAT_EQ(plane[3], 3.0f);

  // A collapsed manipulator leaves the normal as it came out.
  Mat4d flat;
  ClipPlaneFromTrack(flat, Vec3f(0, 0, 1), Vec3f(0, 0, 0), plane);
  for (float v : plane) EXPECT_TRUE(std::isfinite(v));
}

}  // namespace
}  // namespace quarnel
