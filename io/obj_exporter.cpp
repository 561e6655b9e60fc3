#include "io/obj_exporter.h"

#include "io/safe_file.h"
#include "io/vertex_numbering.h"

namespace quarnel {

namespace {

enum class NormalMode { None, PerVertex, PerFace };

void Triple(SafeFile& out, const char* tag, const Vec3f& p) {
  out.Text(tag);
  out.G(p.x);
  out.Char(' ');
  out.G(p.y);
  out.Char(' ');
  out.G(p.z);
  out.Char('\n');
}

template <class MeshT>
int SaveObj(const MeshT& m, const char* fileName, IoMask mask) {
  using F = typename MeshT::FaceType;
  VertexNumbering numbering;
  if (!numbering.Build(m)) return 0;
  const auto* base = m.vertices.data();

  bool texCoords = false;
  if constexpr (HasWedge<F>) texCoords = (mask & io_mask::WedgeTexCoord) != 0;
  NormalMode normals = NormalMode::None;
  if (mask & io_mask::VertexNormal)
    normals = NormalMode::PerVertex;
  else if (mask & io_mask::FaceNormal)
    normals = NormalMode::PerFace;

  SafeFile out;
  if (!out.Open(fileName)) return 0;
  out.Text("#OBJ by KelvorLib\n");
  for (size_t i = 0; i < m.vertices.size(); ++i)
    if (numbering.number[i] >= 0) Triple(out, "v ", m.vertices[i].position);

  if constexpr (HasWedge<F>) {
    if (texCoords)
      for (const F& f : m.faces) {
        if (!IsLive(f.flags)) continue;
        for (const auto& w : f.wedge) {
          out.Text("vt ");
          out.G(w.u);
          out.Char(' ');
          out.G(w.v);
          out.Char('\n');
        }
      }
  }

  if (normals == NormalMode::PerVertex) {
    // One "vn" per "v" line, in the same order: the k-th belongs to the k-th.
    for (size_t i = 0; i < m.vertices.size(); ++i)
      if (numbering.number[i] >= 0) Triple(out, "vn ", m.vertices[i].normal);
  } else if (normals == NormalMode::PerFace) {
    for (const F& f : m.faces)
      if (IsLive(f.flags)) Triple(out, "vn ", f.normal);
  }

  long long e = 0;  // position of the face among the live faces
  for (const F& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    out.Char('f');
    for (int k = 0; k < 3; ++k) {
      long long a = numbering.Of(f.v[k], base) + 1;
      out.Char(' ');
      out.Int(a);
      if (texCoords) {
        out.Char('/');
        out.Int(3 * e + k + 1);
      }
      if (normals != NormalMode::None) {
        out.Text(texCoords ? "/" : "//");
        out.Int(normals == NormalMode::PerVertex ? a : e + 1);
      }
    }
    out.Char('\n');
    ++e;
  }
  return out.Commit() ? 1 : 0;
}

}  // namespace

int ObjExporter::Save(const MeshT1& m, const char* fileName, IoMask mask) {
  return SaveObj(m, fileName, mask);
}
int ObjExporter::Save(const MeshT3& m, const char* fileName, IoMask mask) {
  return SaveObj(m, fileName, mask);
}
int ObjExporter::Save(const MeshT4& m, const char* fileName, IoMask mask) {
  return SaveObj(m, fileName, mask);
}
int ObjExporter::Save(const MeshT5& m, const char* fileName, IoMask mask) {
  return SaveObj(m, fileName, mask);
}

}  // namespace quarnel
