// Reading records in runs, fixed-size ones straight from the buffer, must
// give exactly what reading them one by one, property by property, gives:
// the same meshes, error codes and progress reports, on sound and on
// damaged files.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "import_helpers.h"

namespace quarnel {
namespace {

using namespace ply_type;
using test::PlyFixture;
using test::PlyFixtureElement;

// A mesh file with random attributes: mostly triangles, now and then a quad,
// a short texture list or a colour list of another length.
PlyFixture RandomMesh(std::mt19937& rng, PlyFormat format) {
  auto chance = [&rng](int percent) { return int(rng() % 100) < percent; };
  const int vertices = 1 + int(rng() % 1500);
  const int faces = int(rng() % 3000);
  PlyFixtureElement v{"vertex", {{"x", Float}, {"y", Float}, {"z", Float}}, {}, -1};
  bool vflags = chance(50), vquality = chance(50), vcolor = chance(50), vextra = chance(50);
  if (vflags) v.properties.push_back({"flags", Int});
  if (vextra) v.properties.push_back({"nx", Double});
  if (vquality) v.properties.push_back({"quality", Float});
  if (vcolor) {
    for (const char* c : {"red", "green", "blue"}) v.properties.push_back({c, UChar});
  }
  for (int i = 0; i < vertices; ++i) {
    std::vector<double> rec = {double(rng() % 1000) / 7, double(i), -double(i) / 3};
    if (vflags) rec.push_back(chance(5) ? 1 : 0);
    if (vextra) rec.push_back(1.0 / (i + 1));
    if (vquality) rec.push_back(double(i) * 0.25);
    if (vcolor) rec.insert(rec.end(), {double(i % 256), double(rng() % 256), 7});
    v.records.push_back(rec);
  }
  PlyFixtureElement f{"face", {{"vertex_indices", Int, UChar}}, {}, -1};
  bool fflags = chance(50), tex = chance(50), texnum = chance(50), color = chance(30), rgb = chance(30);
  if (fflags) f.properties.push_back({"flags", Int});
  if (tex) f.properties.push_back({"texcoord", Float, UChar});
  if (texnum) f.properties.push_back({"texnumber", Int});
  if (color) f.properties.push_back({"color", Float, UChar});
  if (rgb) {
    for (const char* c : {"red", "green", "blue"}) f.properties.push_back({c, UChar});
  }
  const bool odd = chance(40);  // a few faces that are no triangles or point too far
  for (int i = 0; i < faces; ++i) {
    int corners = odd && chance(1) ? (chance(50) ? 4 : 2) : 3;
    std::vector<double> rec = {double(corners)};
    for (int k = 0; k < corners; ++k) {
      rec.push_back(double(rng() % std::uint32_t(vertices + (odd && chance(1) ? 1 : 0))));
    }
    if (fflags) rec.push_back(double(rng() % 64));
    if (tex) {
      int n = chance(3) ? int(rng() % 8) : 6;
      rec.push_back(n);
      for (int k = 0; k < n; ++k) rec.push_back(double(k) / 8);
    }
    if (texnum) rec.push_back(double(int(rng() % 5) - 1));
    if (color) {
      int n = chance(5) ? int(rng() % 12) : 9;
      rec.push_back(n);
      for (int k = 0; k < n; ++k) rec.push_back(double(rng() % 100) / 99);
    }
    if (rgb) rec.insert(rec.end(), {1, 2, 3});
    f.records.push_back(rec);
  }
  PlyFixture file;
  file.format = format;
  file.comments = {"TextureFile t.png"};
  file.elements = {v, f};
  if (chance(30)) file.elements.push_back({"extra", {{"a", Short}, {"b", Int, UShort}}, {{1, 2, 3, 4}, {5, 0}}, -1});
  return file;
}

template <class MeshType>
void ExpectSameLoads(const std::string& bytes) {
  const std::string path = test::TempFilePath("agree.ply");
  ASSERT_TRUE(test::WriteFileBytes(path, bytes));
  MeshType blockMesh, plainMesh;
  PlyImporter::SetBlockReading(true);
  test::LoadResult block = test::LoadFile(blockMesh, path);
  PlyImporter::SetBlockReading(false);
  test::LoadResult plain = test::LoadFile(plainMesh, path);
  PlyImporter::SetBlockReading(true);
  ASSERT_EQ(block.result, plain.result);
  ASSERT_EQ(blockMesh.lastError, plainMesh.lastError);
  ASSERT_EQ(block.mask, plain.mask);
  ASSERT_EQ(block.progress, plain.progress);
  ASSERT_EQ(test::Describe(blockMesh), test::Describe(plainMesh));
}

TEST(PlyBlockReading, AgreesWithReadingPropertyByProperty) {
  std::mt19937 rng(20240611);
  int failures = 0, successes = 0;
  for (int round = 0; round < 24; ++round) {
    PlyFormat format = round % 3 == 0   ? ply_format::BinaryBigEndian
                       : round % 3 == 1 ? ply_format::BinaryLittleEndian
                                        : ply_format::Ascii;
    const std::string bytes = test::PlyFixtureBytes(RandomMesh(rng, format));
    SCOPED_TRACE(round);
    std::vector<std::string> variants = {bytes, bytes.substr(0, bytes.size() * 3 / 4),
                                         bytes.substr(0, bytes.size() - 1)};
    std::string damaged = bytes;
    for (int k = 0; k < 20; ++k) damaged[bytes.size() / 2 + rng() % (bytes.size() / 2)] = char(rng());
    variants.push_back(damaged);
    for (const std::string& v : variants) {
      ExpectSameLoads<MeshT1>(v);
      ExpectSameLoads<MeshT3>(v);
      ExpectSameLoads<MeshT4>(v);
      ExpectSameLoads<MeshT5>(v);
      MeshT5 probe;
      (test::LoadBytes(probe, v).result == 0 ? successes : failures)++;
    }
  }
  // Both outcomes were exercised.
  EXPECT_GT(successes, 5);
  EXPECT_GT(failures, 5);
}

TEST(PlyBlockReading, IsUsedForTheCommonLayout) {
  // A sound torus reads the same either way; this also covers long runs of
  // records across many buffer refills.
  const std::string bytes =
      test::PlyFixtureBytes(test::MeshFixture(test::TorusSoup(120, 100), ply_format::BinaryLittleEndian));
  ExpectSameLoads<MeshT1>(bytes);
  ExpectSameLoads<MeshT5>(bytes);
}

}  // namespace
}  // namespace quarnel
