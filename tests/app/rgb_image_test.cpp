// The cube-map faces' image type: flipping, bounded pixel access, the
// power-of-two resampling, and the face file names.
#include "app/rgb_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/cube_map.h"
#include "support/ply_fixture.h"

namespace quarnel {
namespace {

void Fill(RgbImage& img) {
  for (int y = 0; y < img.Height(); ++y)
    for (int x = 0; x < img.Width(); ++x) {
      uint8_t* p = img.Pixel(x, y);
      p[0] = uint8_t(x);
      p[1] = uint8_t(y);
      p[2] = uint8_t(x + y);
    }
}

TEST(RgbImage, FlipRowsSwapsOuterRowsAndKeepsTheMiddleOne) {
  RgbImage img(2, 3);
  Fill(img);
  img.FlipRows();
  EXPECT_EQ(img.Pixel(1, 0)[1], 2);
  EXPECT_EQ(img.Pixel(1, 1)[1], 1);
  EXPECT_EQ(img.Pixel(1, 2)[1], 0);
  EXPECT_EQ(img.Pixel(1, 2)[0], 1);

  RgbImage even(1, 4);
  Fill(even);
  even.FlipRows();
  for (int y = 0; y < 4; ++y)
    EXPECT_EQ(even.Pixel(0, y)[1], 3 - y);

  RgbImage empty;
  empty.FlipRows();
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.Width(), 0);
}

TEST(RgbImage, AccessOutsideTheImageGivesTheSparePixel) {
  RgbImage img(2, 2);
  Fill(img);
  uint8_t* spare = img.Pixel(-1, 0);
  EXPECT_EQ(img.Pixel(2, 0), spare);
  EXPECT_EQ(img.Pixel(0, 2), spare);
  EXPECT_EQ(img.Pixel(0, -5), spare);
  EXPECT_NE(img.Pixel(1, 1), spare);
  RgbImage none;
  EXPECT_NE(none.Pixel(0, 0), nullptr);
  EXPECT_EQ(none.Data(), nullptr);
  // Sizes that cannot be held give the empty image, not a wrapped size.
  EXPECT_TRUE(RgbImage(-3, 4).Empty());
  EXPECT_TRUE(RgbImage(100000, 100000).Empty());
}

TEST(RgbImage, PowerOfTwoTargets) {
  EXPECT_EQ(PowerOfTwoAtLeast(0), 0);
  EXPECT_EQ(PowerOfTwoAtLeast(1), 1);
  EXPECT_EQ(PowerOfTwoAtLeast(3), 4);
  EXPECT_EQ(PowerOfTwoAtLeast(200), 256);
  EXPECT_EQ(PowerOfTwoAtLeast(256), 256);
  EXPECT_EQ(PowerOfTwoAtLeast(300), 512);
}

TEST(RgbImage, NearestResamplingFollowsTheErrorTermWalk) {
  RgbImage img(300, 200);
  Fill(img);
  const int tw = 512, th = 256;
  RgbImage out = ResampleNearest(img, tw, th);
  ASSERT_EQ(out.Width(), tw);
  ASSERT_EQ(out.Height(), th);
  for (int y = 0; y < th; y += 37) {
    const int sy = y * 200 / th;
    // The walk along a row: the error starts at width / 2, grows by width
    // after each target pixel and, each time it reaches tw, drops by tw while
    // the source column advances.
    int sx = 0, error = 300 / 2;
    for (int x = 0; x < tw; ++x) {
      while (error >= tw) {
        error -= tw;
        ++sx;
      }
      ASSERT_EQ(out.Pixel(x, y)[0], uint8_t(sx)) << x << "," << y;
      ASSERT_EQ(out.Pixel(x, y)[1], uint8_t(sy));
      error += 300;
    }
  }
}

TEST(CubeMap, FaceNamesInsertTheSuffixBeforeTheLastFourCharacters) {
  const char* expected[6] = {"test/cubemap/uffizi_negx.png", "test/cubemap/uffizi_posx.png",
                             "test/cubemap/uffizi_negy.png", "test/cubemap/uffizi_posy.png",
                             "test/cubemap/uffizi_negz.png", "test/cubemap/uffizi_posz.png"};
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(CubeFaceFileName("test\\cubemap\\uffizi.png", i), expected[i]);
  EXPECT_EQ(CubeFaceFileName("cube.jpeg", 0), "cube_negxjpeg");
  EXPECT_EQ(CubeFaceFileName("sky", 5), "sky_posz");
  EXPECT_EQ(CubeFaceFileName("a.b", 1), "a_posxa.b");
}

TEST(CubeMap, TheEnvironmentIsLookedForHereFirstThenInTheDataFolders) {
  namespace fs = std::filesystem;
  const fs::path root = test::TempFilePath("environment_search");
  fs::remove_all(root);
  auto faces = [&](const std::string& base, int count) {
    for (int i = 0; i < count; ++i) {
      const fs::path face = root / CubeFaceFileName(base, i);
      fs::create_directories(face.parent_path());
      std::ofstream(face) << "face";
    }
  };
  const std::string partial = (root / "partial").string(), full = (root / "full").string();
  faces("partial/cubemap/uffizi.png", 5);
  faces("full/cubemap/uffizi.png", 6);
  const fs::path before = fs::current_path();
  fs::create_directories(root / "here");
  fs::current_path(root / "here");
  // Nowhere complete: the default, whose loading names what is missing.
  EXPECT_EQ(FindEnvironmentMap({}), kDefaultEnvironmentMap);
  EXPECT_EQ(FindEnvironmentMap({partial}), kDefaultEnvironmentMap);
  // The first data folder with all six faces.
  EXPECT_EQ(FindEnvironmentMap({partial, "", full}), full + "/cubemap/uffizi.png");
  // Six faces in the current folder come before every data folder.
  faces("here/test/cubemap/uffizi.png", 6);
  EXPECT_EQ(FindEnvironmentMap({full}), kDefaultEnvironmentMap);
  fs::current_path(before);
}

#ifdef QUARNEL_PROGRAM_DIR
TEST(CubeMap, TheBuildPutsTheEnvironmentBesideTheProgram) {
  const std::string program = QUARNEL_PROGRAM_DIR;
  EXPECT_EQ(FindEnvironmentMap({program}), program + "/cubemap/uffizi.png");
}
#endif

}  // namespace
}  // namespace quarnel
