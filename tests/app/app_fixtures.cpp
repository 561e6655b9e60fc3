#include "app_fixtures.h"

namespace quarnel::test {

PlyFixture CenteredCubeFixture(CubeKind kind, PlyFormat format) {
  Soup soup = CubeSoup(1.0f, Vec3f(-0.5f, -0.5f, -0.5f));
  PlyFixture f = MeshFixture(soup, format);
  PlyFixtureElement& vertex = f.elements[0];
  PlyFixtureElement& face = f.elements[1];
  if (kind == CubeKind::Colored) {
    for (const char* c : {"red", "green", "blue"}) vertex.properties.push_back({c, ply_type::UChar});
    for (auto& r : vertex.records) r.insert(r.end(), {200, 30, 30});
  }
  if (kind == CubeKind::Quality) {
    vertex.properties.push_back({"quality", ply_type::Float});
    for (size_t i = 0; i < vertex.records.size(); ++i) vertex.records[i].push_back(double(i));
  }
  if (kind == CubeKind::Textured) {
    f.comments.push_back("TextureFile cube.png");
    face.properties.push_back({"texcoord", ply_type::Float, ply_type::UChar});
    for (auto& r : face.records) r.insert(r.end(), {6, 0, 0, 1, 0, 1, 1});
  }
  return f;
}

std::string WriteCenteredCube(const std::string& name, CubeKind kind, PlyFormat format) {
  std::string path = TempFilePath(name);
  WritePlyFixture(path, CenteredCubeFixture(kind, format));
  return path;
}

std::string WriteTriangle(const std::string& name) {
  Soup soup;
  soup.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  soup.tris = {{0, 1, 2}};
  std::string path = TempFilePath(name);
  WritePlyFixture(path, MeshFixture(soup, ply_format::Ascii));
  return path;
}

std::string WriteTruncatedCube(const std::string& name) {
  PlyFixture f = CenteredCubeFixture(CubeKind::Plain);
  f.elements[1].declaredCount = 20;
  std::string path = TempFilePath(name);
  WritePlyFixture(path, f);
  return path;
}

}  // namespace quarnel::test
