// The five preferences, read from the settings file in the user's
// configuration folder. The folders are private to this test program.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include "app_fixtures.h"
#include "app_harness.h"
#include "platform/profile.h"

namespace quarnel {
namespace {

// Runs before any Qt code reads the folders, which live in the test
// program's own temporary folder and go with it.
const std::string& ConfigHome() {
  static const std::string home = [] {
    const std::string dir = test::TempFilePath("prefs");
    std::filesystem::create_directories(dir);
    ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir + "/data").c_str(), 1);
    return dir + "/config";
  }();
  return home;
}
const bool kFoldersSet = !ConfigHome().empty();

TEST(Preferences, AreReadBackFromTheSettingsFile) {
  ASSERT_TRUE(kFoldersSet);
  // The program's own settings file, wherever the profile keeps it.
  const std::string file = SettingsProfile().FileName().toStdString();
  ASSERT_EQ(file.rfind(ConfigHome() + "/Kelvor/", 0), 0u) << file;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  {
    std::ofstream out(file);
    out << "[Prefs]\nPngFlag=1\nHalveTextureSizeFlag=2\nTrackFlag=1\nSmallFontHeight=9\n"
           "LargeFontHeight=20\n\n[Recent File List]\nFile1=/tmp/a.ply\n";
  }
  test::AppHarness h;
  SettingsProfile profile;
  ASSERT_TRUE(h.Start({QString::fromStdString(test::WriteCenteredCube("prefs.ply", test::CubeKind::Plain))},
                      &profile));
  CQuarnelApp& app = h.App();
  EXPECT_TRUE(app.m_flipTextures);
  EXPECT_TRUE(app.m_halveTextureSize);
  EXPECT_TRUE(app.m_showTrackBallAtStart);
  EXPECT_EQ(app.m_smallFontHeight, 9);
  EXPECT_EQ(app.m_largeFontHeight, 20);
  h.Pump(100);
  ASSERT_NE(h.ActiveView(), nullptr);
  // The trackball switch reaches the view at its initial update.
  ASSERT_TRUE(h.ActiveView()->InitialUpdateDone());
  EXPECT_TRUE(h.ActiveView()->m_showTrackBall);
}

TEST(Preferences, MissingValuesGiveTheDefaults) {
  test::AppHarness h;
  ASSERT_TRUE(h.Start({}));  // an empty profile in memory
  CQuarnelApp& app = h.App();
  EXPECT_FALSE(app.m_flipTextures);
  EXPECT_FALSE(app.m_halveTextureSize);
  EXPECT_FALSE(app.m_showTrackBallAtStart);
  EXPECT_EQ(app.m_smallFontHeight, 12);
  EXPECT_EQ(app.m_largeFontHeight, 14);
  // Start-up writes nothing.
  EXPECT_FALSE(h.profile.Contains("Prefs", "PngFlag"));
}

TEST(Preferences, FontHeightsOutOfRangeGiveTheDefaults) {
  // A saved height of 10000 would take minutes and gigabytes at every start.
  for (auto [small, large] : {std::pair{10000, 0}, std::pair{-4, 201}}) {
    test::AppHarness h;
    ASSERT_TRUE(h.profile.WriteInt("Prefs", "SmallFontHeight", small));
    ASSERT_TRUE(h.profile.WriteInt("Prefs", "LargeFontHeight", large));
    ASSERT_TRUE(h.Start({}));
    EXPECT_EQ(h.App().m_smallFontHeight, 12) << small;
    EXPECT_EQ(h.App().m_largeFontHeight, 14) << large;
  }
}

}  // namespace
}  // namespace quarnel
