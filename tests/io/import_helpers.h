// Loading fixtures through the importer and describing the result in a form
// that two loads can be compared by.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "core/mesh.h"
#include "io/ply_importer.h"
#include "support/ply_fixture.h"

namespace quarnel::test {

struct ProgressCall {
  int percent;
  std::string text;
  bool operator==(const ProgressCall&) const = default;
};

struct LoadResult {
  int result = 0;
  IoMask mask = 0;
  std::vector<ProgressCall> progress;
};

template <class MeshType>
LoadResult LoadFile(MeshType& mesh, const std::string& path, int extraVertexCount = 0,
                    const PlyBinding* extraVertex = nullptr, int extraFaceCount = 0,
                    const PlyBinding* extraFace = nullptr) {
  LoadResult r;
  LoadProgressCallback progress = [&r](int percent, const char* text) {
    r.progress.push_back({percent, text != nullptr ? text : ""});
    return 1;
  };
  r.result = PlyImporter::Open(mesh, path.c_str(), extraVertexCount, extraVertex, extraFaceCount,
                               extraFace, r.mask, progress);
  return r;
}

template <class MeshType>
LoadResult LoadBytes(MeshType& mesh, const std::string& bytes, const std::string& name = "load.ply") {
  std::string path = TempFilePath(name);
  EXPECT_TRUE(WriteFileBytes(path, bytes));
  return LoadFile(mesh, path);
}

// Every field of every record, faces by vertex index, and the mesh members
// that an import sets.
template <class MeshType>
std::string Describe(const MeshType& m) {
  std::ostringstream s;
  s.precision(9);
  s << "v" << m.vertexCount << " f" << m.faceCount << " e" << m.lastError << " cam" << m.hasCamera << "\n";
  if (m.hasCamera) {
    const PlyCamera& c = m.camera;
    s << c.view_px << " " << c.focal << " " << c.viewportx << " " << c.viewporty << " " << c.k4 << "\n";
  }
  for (const auto& t : m.textureNames) s << "tex " << t << "\n";
  for (const auto& t : m.normalMapNames) s << "nrm " << t << "\n";
  for (const auto& v : m.vertices) {
    s << v.position.x << " " << v.position.y << " " << v.position.z << " " << v.flags;
    if constexpr (HasColor<typename MeshType::VertexType>) {
      s << " c" << int(v.color.r) << "," << int(v.color.g) << "," << int(v.color.b) << "," << int(v.color.a);
    }
    if constexpr (HasQuality<typename MeshType::VertexType>) s << " q" << v.quality;
    s << "\n";
  }
  for (const auto& f : m.faces) {
    for (auto* p : f.v) s << (p - m.vertices.data()) << " ";
    s << f.flags;
    if constexpr (HasColor<typename MeshType::FaceType>) {
      s << " c" << int(f.color.r) << "," << int(f.color.g) << "," << int(f.color.b) << "," << int(f.color.a);
    }
    if constexpr (HasQuality<typename MeshType::FaceType>) s << " q" << f.quality;
    if constexpr (HasWedge<typename MeshType::FaceType>) {
      for (const auto& w : f.wedge) s << " w" << w.u << "," << w.v << "," << w.texIndex;
    }
    s << "\n";
  }
  return s.str();
}

inline const PlyFormat kAllFormats[] = {ply_format::Ascii, ply_format::BinaryLittleEndian,
                                        ply_format::BinaryBigEndian};

}  // namespace quarnel::test
