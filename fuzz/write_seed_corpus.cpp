// Writes the seed corpus of fuzz_ply into the folder given as the argument:
// small sound files of every layout the importers know, in all three
// formats, and a few broken ones.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/ply_fixture.h"

namespace {

using namespace quarnel;
using namespace quarnel::ply_type;
using quarnel::test::PlyFixture;
using quarnel::test::PlyFixtureElement;

PlyFixtureElement Camera() {
  const char* const names[23] = {"view_px", "view_py", "view_pz", "x_axisx", "x_axisy", "x_axisz",
                                 "y_axisx", "y_axisy", "y_axisz", "z_axisx", "z_axisy", "z_axisz",
                                 "focal",   "scalex",  "scaley",  "centerx", "centery", "viewportx",
                                 "viewporty", "k1",    "k2",      "k3",      "k4"};
  PlyFixtureElement e{"camera", {}, {std::vector<double>(23, 1.0)}, -1};
  for (int i = 0; i < 23; ++i) e.properties.push_back({names[i], (i == 17 || i == 18) ? Int : Float});
  return e;
}

std::vector<std::pair<std::string, PlyFixture>> SoundFiles(PlyFormat format) {
  std::vector<std::pair<std::string, PlyFixture>> files;
  files.push_back({"tetra", test::MeshFixture(test::TetrahedronSoup(), format)});
  files.push_back({"cube", test::CubeFixture(format)});

  PlyFixture rich = test::MeshFixture(test::TetrahedronSoup(), format);
  rich.comments = {"TextureFile <this>_tex.png", "TextureNormalFile normal.png"};
  auto& v = rich.elements[0];
  for (const char* p : {"flags"}) v.properties.push_back({p, Int});
  for (const char* p : {"quality", "confidence"}) v.properties.push_back({p, Float});
  for (const char* p : {"red", "green", "blue"}) v.properties.push_back({p, UChar});
  for (auto& rec : v.records) rec.insert(rec.end(), {0, 0.5, 0.25, 10, 20, 30});
  auto& f = rich.elements[1];
  f.properties.push_back({"flags", Int});
  f.properties.push_back({"quality", Float});
  for (const char* p : {"red", "green", "blue"}) f.properties.push_back({p, UChar});
  f.properties.push_back({"texcoord", Float, UChar});
  f.properties.push_back({"texnumber", Int});
  f.properties.push_back({"color", Float, UChar});
  for (auto& rec : f.records) {
    rec.insert(rec.end(), {0, 2.5, 1, 2, 3, 6, 0, 0, 1, 0, 0, 1, 0, 9, 1, 0, 0, 0, 1, 0, 0, 0, 1});
  }
  rich.elements.insert(rich.elements.begin(), Camera());
  files.push_back({"rich", rich});

  PlyFixture strips = test::MeshFixture(test::CubeSoup(), format);
  strips.elements[1] = {"tristrips", {{"vertex_indices", Int, Int}}, {{8, 0, 1, 2, 3, -1, 4, 5, 6}}, -1};
  files.push_back({"strips", strips});

  PlyFixture index = test::MeshFixture(test::TetrahedronSoup(), format);
  index.elements[1].properties[0].name = "vertex_index";
  index.elements.push_back({"other", {{"a", Double}, {"b", Short, UShort}}, {{1, 2, 3, 4}}, -1});
  files.push_back({"vertex_index", index});
  return files;
}

bool Write(const std::filesystem::path& path, const std::string& bytes) {
  if (!test::WriteFileBytes(path.string(), bytes)) {
    std::fprintf(stderr, "cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code error;
  std::filesystem::create_directories(dir, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s\n", dir.string().c_str());
    return 1;
  }
  bool ok = true;
  for (PlyFormat format : {ply_format::Ascii, ply_format::BinaryLittleEndian, ply_format::BinaryBigEndian}) {
    for (const auto& [name, fixture] : SoundFiles(format)) {
      ok = Write(dir / (name + "_" + test::PlyFormatWord(format) + ".ply"), test::PlyFixtureBytes(fixture)) && ok;
    }
  }
  const std::pair<const char*, const char*> broken[] = {
      {"no_format", "ply\nelement vertex 1\nend_header\n"},
      {"bad_type", "ply\nformat ascii 1.0\nelement vertex 1\nproperty real x\nend_header\n"},
      {"quad", "ply\nformat ascii 1.0\nelement vertex 4\nproperty float x\nproperty float y\nproperty float z\n"
               "element face 1\nproperty list uchar int vertex_indices\nend_header\n"
               "0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3\n"},
      {"lying_count", "ply\nformat binary_little_endian 1.0\nelement tristrips 1\n"
                      "property list int int vertex_indices\nend_header\n\xff\xff\xff\x7f\x01\x02"},
  };
  for (const auto& [name, text] : broken) ok = Write(dir / (std::string(name) + ".ply"), text) && ok;
  return ok ? 0 : 1;
}
