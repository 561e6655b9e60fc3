#include "platform/profile.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/clock.h"
#include "qstring_printer.h"

namespace quarnel {
namespace {

// The user-scope profile's place is read from XDG_CONFIG_HOME once per
// process, so every test here shares one temporary configuration folder.
QTemporaryDir& ConfigHome() {
  static QTemporaryDir dir;
  static const bool set = qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
  (void)set;
  return dir;
}

const QString kPrefs = QStringLiteral("Prefs");

TEST(SettingsProfile, LivesInTheUsersConfigFolderUnderKelvor) {
  QTemporaryDir& home = ConfigHome();
  ASSERT_TRUE(home.isValid());
  SettingsProfile profile;
  EXPECT_EQ(QDir::cleanPath(profile.FileName()),
            QDir::cleanPath(home.path() + "/Kelvor/Quarnel.conf"));

  // Missing values give the callers' defaults.
  EXPECT_EQ(profile.GetInt(kPrefs, "SmallFontHeight", 12), 12);
  EXPECT_EQ(profile.GetInt(kPrefs, "LargeFontHeight", 14), 14);
  EXPECT_EQ(profile.GetString(kPrefs, "Nothing", QStringLiteral("d")), QStringLiteral("d"));

  ASSERT_TRUE(profile.WriteInt(kPrefs, "TrackFlag", 1));
  ASSERT_TRUE(profile.WriteInt(kPrefs, "SmallFontHeight", 9));
  ASSERT_TRUE(profile.WriteString("Recent File List", "File1", "/m/a b,c.ply"));
  ASSERT_TRUE(profile.WriteStrings("Recent File List", {{"File2", "/m/d.ply"}, {"File3", ""}}));

  // Another store reads what reached the file.
  SettingsProfile again;
  EXPECT_EQ(again.GetInt(kPrefs, "TrackFlag", 0), 1);
  EXPECT_EQ(again.GetInt(kPrefs, "SmallFontHeight", 12), 9);
  EXPECT_EQ(again.GetString("Recent File List", "File1", QString()),
            QStringLiteral("/m/a b,c.ply"));
  EXPECT_EQ(again.GetString("Recent File List", "File2", QString()), QStringLiteral("/m/d.ply"));
  EXPECT_EQ(again.GetString("Recent File List", "File3", QStringLiteral("x")), QString());

  QFile file(profile.FileName());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.contains("[Prefs]"));
  EXPECT_TRUE(text.contains("SmallFontHeight=9"));
}

TEST(SettingsProfile, HandWrittenValuesThatAreNoNumbersGiveTheDefaults) {
  QTemporaryDir dir;
  const QString path = dir.filePath("hand.ini");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(
      "[Prefs]\nPngFlag=yes\nHalveTextureSizeFlag=1\nSmallFontHeight=\nLargeFontHeight= 20 \n");
  file.close();

  const SettingsProfile profile(path);
  EXPECT_EQ(profile.GetInt(kPrefs, "PngFlag", 0), 0);
  EXPECT_EQ(profile.GetInt(kPrefs, "HalveTextureSizeFlag", 0), 1);
  EXPECT_EQ(profile.GetInt(kPrefs, "SmallFontHeight", 12), 12);
  EXPECT_EQ(profile.GetInt(kPrefs, "LargeFontHeight", 14), 20);
  EXPECT_EQ(profile.GetInt(kPrefs, "TrackFlag", 0), 0);
}

TEST(SettingsProfile, AWriteThatCannotReachTheFileReportsFailure) {
  QTemporaryDir dir;
  // The folder of the profile is a plain file: no one can create the
  // profile there, root included.
  const QString blocker = dir.filePath("blocker");
  QFile file(blocker);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();

  SettingsProfile profile(blocker + "/sub/profile.ini");
  EXPECT_FALSE(profile.WriteInt(kPrefs, "TrackFlag", 1));
  EXPECT_FALSE(profile.WriteStrings("Recent File List", {{"File1", "/m/a.ply"}}));
}

TEST(Clock, SteadyClockNeverGoesBackAndResolvesBelowAMillisecond) {
  SteadyClock clock;
  double previous = clock.ElapsedMs();
  bool fractional = false;
  for (int i = 0; i < 100000 && !fractional; ++i) {
    const double now = clock.ElapsedMs();
    ASSERT_GE(now, previous);
    fractional = now != static_cast<double>(static_cast<long long>(now));
    previous = now;
  }
  EXPECT_TRUE(fractional);
  EXPECT_GE(clock.Ticks(), 0);

  FakeClock fake(10.0);
  fake.Advance(2.75);
  EXPECT_EQ(fake.Ticks(), 12);
  EXPECT_DOUBLE_EQ(fake.ElapsedMs(), 12.75);
}

}  // namespace
}  // namespace quarnel
