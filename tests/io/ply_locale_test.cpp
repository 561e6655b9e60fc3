// Numbers in PLY text are read the same whatever the user's locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "import_helpers.h"
#include "io/ply_reader.h"

namespace quarnel {
namespace {

// Switches to a locale whose decimal separator is a comma, building one
// from the system's locale sources when none is installed. Empty when
// there is no way to get one.
std::string UseCommaLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) return name;
  }
  const std::string dir = std::filesystem::path(test::TempFilePath("locales")).string();
  std::filesystem::create_directories(dir);
  const std::string command = "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0 && !std::filesystem::exists(dir + "/de_DE.UTF-8")) return {};
  setenv("LOCPATH", dir.c_str(), 1);
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr) return "de_DE.UTF-8";
  return {};
}

TEST(PlyLocale, CommaDecimalLocaleReadsTheSame) {
  test::PlyFixture f = test::MeshFixture(test::CubeSoup(1.25f, Vec3f(-0.5f, 0.125f, 2.75f)), ply_format::Ascii);
  f.elements[0].properties.push_back({"quality", ply_type::Float});
  for (auto& rec : f.elements[0].records) rec.push_back(0.375);
  const std::string bytes = test::PlyFixtureBytes(f);

  MeshT3 reference;
  ASSERT_EQ(test::LoadBytes(reference, bytes).result, 0);
  ASSERT_EQ(reference.vertices[7].position, Vec3f(0.75f, 1.375f, 4.0f));

  const std::string locale = UseCommaLocale();
  if (locale.empty()) GTEST_SKIP() << "no comma-decimal locale available";
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  MeshT3 mesh;
  auto r = test::LoadBytes(mesh, bytes);
  PlyReader reader;
  const std::string path = test::TempFilePath("version.ply");
  ASSERT_TRUE(test::WriteFileBytes(path, "ply\nformat ascii 1.5\nend_header\n"));
  int opened = reader.Open(path.c_str(), 0);
  std::setlocale(LC_ALL, "C");
  ASSERT_EQ(r.result, 0);
  EXPECT_EQ(test::Describe(mesh), test::Describe(reference));
  EXPECT_EQ(mesh.vertices[3].quality, 0.375f);
  ASSERT_EQ(opened, 0);
  EXPECT_EQ(reader.version, 1.5f);
}

}  // namespace
}  // namespace quarnel
