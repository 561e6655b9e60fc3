#include "platform/recent_files.h"

#include <gtest/gtest.h>

#include <QDir>

#include "platform/profile.h"
#include "qstring_printer.h"

namespace quarnel {
namespace {

const QString kSection = QString::fromLatin1(RecentFileList::kSection);

TEST(RecentFiles, NewestFirstWithoutDuplicatesAndAtMostFour) {
  MemoryProfile profile;
  RecentFileList list(profile);
  for (const char* path : {"/m/a.ply", "/m/b.ply", "/m/c.ply", "/m/d.ply", "/m/e.ply"}) {
    list.Add(QString::fromLatin1(path));
  }
  EXPECT_EQ(list.Paths(), (QStringList{"/m/e.ply", "/m/d.ply", "/m/c.ply", "/m/b.ply"}));

  // An entry opened again moves to the front; a cleaned-up spelling of the
  // same path counts as the same entry.
  list.Add(QStringLiteral("/m/./x/../c.ply"));
  EXPECT_EQ(list.Paths(), (QStringList{"/m/c.ply", "/m/e.ply", "/m/d.ply", "/m/b.ply"}));

  list.Remove(1);
  list.Remove(7);
  list.Remove(-1);
  EXPECT_EQ(list.Paths(), (QStringList{"/m/c.ply", "/m/d.ply", "/m/b.ply"}));
  EXPECT_EQ(list.At(3), QString());

  // A relative path is kept absolute, so it still opens from another folder.
  list.Add(QStringLiteral("rel.ply"));
  EXPECT_EQ(list.At(0), QDir::cleanPath(QDir::current().absoluteFilePath("rel.ply")));
  // A NUL names no file: it would open the name before it.
  list.Add(QStringLiteral("/m/c.ply") + QChar(0) + "/etc/passwd");
  EXPECT_EQ(list.Paths().size(), 4);
  EXPECT_EQ(list.At(0), QDir::cleanPath(QDir::current().absoluteFilePath("rel.ply")));
}

TEST(RecentFiles, SavesEverySlotAndLoadsBack) {
  MemoryProfile profile;
  {
    RecentFileList list(profile);
    list.Add(QStringLiteral("/m/a.ply"));
    list.Add(QStringLiteral("/m/b.ply"));
    ASSERT_TRUE(list.Save());
  }
  EXPECT_EQ(profile.GetString(kSection, "File1", QString()), QStringLiteral("/m/b.ply"));
  EXPECT_EQ(profile.GetString(kSection, "File2", QString()), QStringLiteral("/m/a.ply"));
  // Unused slots are written empty, so a shortened list stays short.
  EXPECT_TRUE(profile.Contains(kSection, "File4"));
  EXPECT_EQ(profile.GetString(kSection, "File4", QStringLiteral("x")), QString());
  EXPECT_FALSE(profile.Contains(kSection, "File5"));

  // Gaps, repeats and names cut by a NUL in a hand-edited profile are
  // skipped.
  profile.WriteString(kSection, "File1", QString());
  profile.WriteString(kSection, "File3", QStringLiteral("/m/a.ply"));
  profile.WriteString(kSection, "File4", QStringLiteral("/m/c.ply") + QChar(0) + "/etc/passwd");
  RecentFileList loaded(profile);
  loaded.Load();
  EXPECT_EQ(loaded.Paths(), (QStringList{"/m/a.ply"}));

  profile.SetWritable(false);
  EXPECT_FALSE(loaded.Save());
}

TEST(RecentFiles, MenuTextsNumberTheEntriesAndShowAmpersands) {
  MemoryProfile profile;
  RecentFileList list(profile);
  list.Add(QStringLiteral("/m/R&D/a.ply"));
  list.Add(QStringLiteral("/m/b.ply"));
  EXPECT_EQ(list.MenuText(0), QStringLiteral("&1 /m/b.ply"));
  EXPECT_EQ(list.MenuText(1), QStringLiteral("&2 /m/R&&D/a.ply"));
}

TEST(ProfileInt, ReadsDecimalIntsAndFallsBackOnAnythingElse) {
  EXPECT_EQ(ParseProfileInt(QStringLiteral("12"), 0), 12);
  EXPECT_EQ(ParseProfileInt(QStringLiteral(" -3 "), 0), -3);
  EXPECT_EQ(ParseProfileInt(QStringLiteral("+7"), 0), 7);
  EXPECT_EQ(ParseProfileInt(QStringLiteral("0x10"), 5), 5);
  EXPECT_EQ(ParseProfileInt(QStringLiteral("1.5"), 5), 5);
  EXPECT_EQ(ParseProfileInt(QStringLiteral("abc"), 14), 14);
  EXPECT_EQ(ParseProfileInt(QString(), 14), 14);
  EXPECT_EQ(ParseProfileInt(QStringLiteral("99999999999"), 14), 14);
}

}  // namespace
}  // namespace quarnel
