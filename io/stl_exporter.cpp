#include "io/stl_exporter.h"

#include <cmath>
#include <cstring>

#include "io/safe_file.h"

namespace quarnel {

namespace {

Vec3f UnitNormal(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2) {
  // In double, so that a tiny but real triangle still gets a unit normal
  // instead of an overflowing reciprocal.
  double e1x = double(p1.x) - p0.x, e1y = double(p1.y) - p0.y, e1z = double(p1.z) - p0.z;
  double e2x = double(p2.x) - p0.x, e2y = double(p2.y) - p0.y, e2z = double(p2.z) - p0.z;
  double nx = e1y * e2z - e1z * e2y;
  double ny = e1z * e2x - e1x * e2z;
  double nz = e1x * e2y - e1y * e2x;
  double len = std::sqrt(nx * nx + ny * ny + nz * nz);
  if (len > 0.0) {
    double inv = 1.0 / len;
    nx *= inv;
    ny *= inv;
    nz *= inv;
  }
  return Vec3f{float(nx), float(ny), float(nz)};
}

template <class MeshT>
int SaveStl(const MeshT& m, const char* fileName, bool binary, const char* name) {
  // The header counts the records actually written.
  std::uint32_t live = 0;
  for (const auto& f : m.faces)
    live += IsLive(f.flags) ? 1 : 0;

  SafeFile out;
  if (!out.Open(fileName)) return 0;
  if (binary) {
    char header[80];
    if (name) {
      std::memset(header, 0, sizeof header);
      std::memcpy(header, name, strnlen(name, sizeof header));
    } else {
      std::memset(header, ' ', sizeof header);
      std::memcpy(header, "Kelvor", 6);
    }
    out.Write(header, sizeof header);
    out.U32(live);
  } else {
    out.Text("solid ");
    out.Text(name ? name : "kelvor");
    out.Char('\n');
  }

  for (const auto& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    const Vec3f& p0 = f.v[0]->position;
    const Vec3f& p1 = f.v[1]->position;
    const Vec3f& p2 = f.v[2]->position;
    const Vec3f n = UnitNormal(p0, p1, p2);
    if (binary) {
      for (const Vec3f* p : {&n, &p0, &p1, &p2}) {
        out.F32(p->x);
        out.F32(p->y);
        out.F32(p->z);
      }
      out.U16(0);
    } else {
      out.Text("  facet normal ");
      out.E13(n.x);
      out.Char(' ');
      out.E13(n.y);
      out.Char(' ');
      out.E13(n.z);
      out.Text("\n    outer loop\n");
      for (const Vec3f* p : {&p0, &p1, &p2}) {
        out.Text("      vertex  ");
        out.E13(p->x);
        out.Char(' ');
        out.E13(p->y);
        out.Char(' ');
        out.E13(p->z);
        out.Char('\n');
      }
      out.Text("    endloop\n  endfacet\n");
    }
  }
  if (!binary) out.Text("endsolid kelvor\n");
  return out.Commit() ? 1 : 0;
}

}  // namespace

int StlExporter::Save(const MeshT1& m, const char* fileName, bool binary, const char* name) {
  return SaveStl(m, fileName, binary, name);
}
int StlExporter::Save(const MeshT3& m, const char* fileName, bool binary, const char* name) {
  return SaveStl(m, fileName, binary, name);
}
int StlExporter::Save(const MeshT4& m, const char* fileName, bool binary, const char* name) {
  return SaveStl(m, fileName, binary, name);
}
int StlExporter::Save(const MeshT5& m, const char* fileName, bool binary, const char* name) {
  return SaveStl(m, fileName, binary, name);
}

}  // namespace quarnel
