// Numbers in PLY text are read the same whatever the user's locale.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

// Every spelling that the C library's "%f" and "%d" read as one whole
// number, and only those, loads: a vertex's x (float) and flags (int) and a
// face's list count and first index take the token of each row in turn.
TEST(PlyLocale, NumberSpellingsThroughAWholeLoad) {
  enum Field { X, Flags, Count, Index };
  struct Row {
    Field field;
    const char* token;
    bool loads;
    double value;  // x as read, or the integer
  };
  const double inf = INFINITY, nan = NAN;
  const std::vector<Row> rows = {
      {X, "1.5", true, 1.5},           {X, "-2.5e3", true, -2500},     {X, "+.5", true, 0.5},
      {X, "7.", true, 7},              {X, "1E-2", true, 0.01f},       {X, "+1e+1", true, 10},
      {X, "0x1p-2", true, 0.25},       {X, "-0X1.8P1", true, -3},      {X, "+0x.8", true, 0.5},
      {X, "0x10", true, 16},           {X, "0xAbp0", true, 171},       {X, "-0x1p-200", true, -0.0},
      {X, "inf", true, inf},           {X, "-Infinity", true, -inf},   {X, "+INF", true, inf},
      {X, "nan", true, nan},           {X, "-NaN", true, nan},         {X, "1e-50", true, 0.0},
      {X, "0x", false, 0},             {X, "0x-1", false, 0},          {X, "0xp1", false, 0},
      {X, "0x1p", false, 0},           {X, "1e", false, 0},            {X, "+-1", false, 0},
      {X, "--1", false, 0},            {X, "1,5", false, 0},           {X, "1.5.2", false, 0},
      {X, "0x1p200", false, 0},        {X, "infinit", false, 0},       {X, ".", false, 0},
      {Flags, "+6", true, 6},          {Flags, "-6", true, -6},        {Flags, "006", true, 6},
      {Flags, "-0", true, 0},          {Flags, "6.0", false, 0},       {Flags, "0x6", false, 0},
      {Flags, "+-6", false, 0},        {Flags, "6e0", false, 0},       {Count, "+3", true, 3},
      {Count, "03", true, 3},          {Count, "-3", false, 0},        {Index, "+0", true, 0},
      {Index, "-0", true, 0},          {Index, "0.0", false, 0},
  };
  auto load = [](const Row& row, MeshT1& mesh) {
    std::string tokens[4] = {"0", "0", "3", "0"};
    tokens[row.field] = row.token;
    const std::string bytes =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
        "property float z\nproperty int flags\nelement face 1\n"
        "property list uchar int vertex_indices\nend_header\n" +
        tokens[X] + " 0 0 " + tokens[Flags] + "\n1 0 0 0\n0 1 0 0\n" + tokens[Count] + " " +
        tokens[Index] + " 1 2\n";
    return test::LoadBytes(mesh, bytes).result;
  };
  auto check = [&](const char* locale) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(locale) + " " + row.token);
      MeshT1 mesh;
      const int result = load(row, mesh);
      if (!row.loads) {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(mesh.lastError, ply_error::UnexpectedEof);
        continue;
      }
      EXPECT_EQ(result, 0);
      if (result != 0) continue;
      const float x = mesh.vertices[0].position.x;
      switch (row.field) {
        case X:
          if (std::isnan(row.value)) {
            EXPECT_TRUE(std::isnan(x));
          } else {
            EXPECT_EQ(x, float(row.value));
            EXPECT_EQ(std::signbit(x), std::signbit(row.value));
          }
          break;
        case Flags: EXPECT_EQ(mesh.vertices[0].flags, std::uint32_t(std::int32_t(row.value))); break;
        case Count:
        case Index: EXPECT_EQ(mesh.faces[0].v[0], &mesh.vertices[0]); break;
      }
    }
  };
  check("C");
  const std::string locale = UseCommaLocale();
  if (locale.empty()) return;
  check(locale.c_str());
  std::setlocale(LC_ALL, "C");
}

}  // namespace
}  // namespace quarnel
