#include <gtest/gtest.h>

#include "platform/file_dialogs.h"
#include "qstring_printer.h"

namespace quarnel {
namespace {

TEST(FileFilter, BarFiltersBecomeQtFilters) {
  EXPECT_EQ(QtFilterFromBarFilter(QStringLiteral(
                "VRML File (*.wrl)|*.wrl|Wavefront Obj (*.obj)|*.obj|STL File (*.stl)|*.stl||")),
            QStringLiteral("VRML File (*.wrl);;Wavefront Obj (*.obj);;STL File (*.stl)"));
  // A description that does not show its pattern gets it, or Qt would take
  // the words in its parentheses for patterns.
  EXPECT_EQ(QtFilterFromBarFilter(QStringLiteral("(Ply Meshes)*.ply|*.ply||")),
            QStringLiteral("(Ply Meshes)*.ply (*.ply)"));
  EXPECT_EQ(QtFilterFromBarFilter(QStringLiteral("Meshes|*.ply;*.PLY|")),
            QStringLiteral("Meshes (*.ply *.PLY)"));
  EXPECT_EQ(QtFilterFromBarFilter(QString()), QString());
  EXPECT_EQ(QtFilterFromBarFilter(QStringLiteral("No pattern")), QString());
}

TEST(FileFilter, SingleExtensionOfAFilterEntry) {
  EXPECT_EQ(SingleFilterExtension(QStringLiteral("STL File (*.stl)")), QStringLiteral("stl"));
  EXPECT_EQ(SingleFilterExtension(QStringLiteral("(Ply Meshes)*.ply (*.ply)")),
            QStringLiteral("ply"));
  EXPECT_EQ(SingleFilterExtension(QStringLiteral("All Files (*)")), QString());
  EXPECT_EQ(SingleFilterExtension(QStringLiteral("Meshes (*.ply *.obj)")), QString());
  EXPECT_EQ(SingleFilterExtension(QStringLiteral("Images (*.p?m)")), QString());
  EXPECT_EQ(SingleFilterExtension(QStringLiteral("no parentheses")), QString());
}

TEST(FileFilter, ExtensionIsTheTextAfterTheLastDotOfTheName) {
  EXPECT_EQ(FileExtension(QStringLiteral("/tmp/out.stl")), QStringLiteral("stl"));
  // Case is kept: the export compares it as typed.
  EXPECT_EQ(FileExtension(QStringLiteral("/tmp/OUT.STL")), QStringLiteral("STL"));
  EXPECT_EQ(FileExtension(QStringLiteral("/tmp/a.b.obj")), QStringLiteral("obj"));
  EXPECT_EQ(FileExtension(QStringLiteral("/tmp/dir.d/name")), QString());
  EXPECT_EQ(FileExtension(QStringLiteral("/tmp/name.")), QString());
  EXPECT_EQ(FileExtension(QString()), QString());
}

TEST(ScriptedFileDialogs, AnswersInOrderRecordsRequestsAndThenCancels) {
  ScriptedFileDialogs dialogs;
  dialogs.QueueAnswer(QStringLiteral("/tmp/a.ply"));
  dialogs.QueueAnswer(std::nullopt);
  EXPECT_EQ(dialogs.GetOpenFileName(nullptr, QStringLiteral("P (*.ply)")),
            QStringLiteral("/tmp/a.ply"));
  EXPECT_FALSE(dialogs
                   .GetSaveFileName(nullptr, QStringLiteral("S (*.stl)"), QStringLiteral("wrl"),
                                    QStringLiteral("/tmp/x"))
                   .has_value());
  EXPECT_FALSE(dialogs.GetOpenFileName(nullptr, QString()).has_value());
  ASSERT_EQ(dialogs.Requests().size(), 3u);
  EXPECT_FALSE(dialogs.Requests()[0].save);
  EXPECT_TRUE(dialogs.Requests()[1].save);
  EXPECT_EQ(dialogs.Requests()[1].defaultExtension, QStringLiteral("wrl"));
  EXPECT_EQ(dialogs.Requests()[1].initialPath, QStringLiteral("/tmp/x"));
}

}  // namespace
}  // namespace quarnel
