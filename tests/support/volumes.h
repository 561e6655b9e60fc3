// Volumes of meshes, shared by the tests and the clip checking tool.
#pragma once

#include "core/math.h"
#include "core/mesh.h"

namespace quarnel::test {

// Volume enclosed by the live faces (outward winding gives a positive
// value), as cones from the point o: the same from any o when the faces
// close consistently.
inline double SignedVolume(const MeshT5& m, const Vec3d& o = Vec3d(0, 0, 0)) {
  double sum = 0.0;
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    Vec3d a(f.v[0]->position), b(f.v[1]->position), c(f.v[2]->position);
    a = a - o, b = b - o, c = c - o;
    sum += a.Dot(b.Cross(c));
  }
  return sum / 6.0;
}

// Volume of the part of a closed mesh on the plane's non-negative side, from
// its faces alone: each face cut down to that side, as cones from the point
// o of the plane, so that the cross-section adds nothing.
inline double ClippedVolume(const MeshT5& m, const Plane3f& plane, const Vec3d& o) {
  const Vec3d n(plane.normal);
  double sum = 0.0;
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    Vec3d kept[4];
    int count = 0;
    for (int k = 0; k < 3; ++k) {
      const Vec3d a(f.v[k]->position), b(f.v[(k + 1) % 3]->position);
      const double sa = n.Dot(a) - plane.d, sb = n.Dot(b) - plane.d;
      if (sa >= 0.0) kept[count++] = a - o;
      if ((sa >= 0.0) != (sb >= 0.0)) kept[count++] = a + (b - a) * (sa / (sa - sb)) - o;
    }
    for (int k = 1; k + 1 < count; ++k)
      sum += kept[0].Dot(kept[k].Cross(kept[k + 1]));
  }
  return sum / 6.0;
}

inline double ClippedVolume(const MeshT5& m, const Plane3f& plane) {
  const Vec3d n(plane.normal);
  return ClippedVolume(m, plane, n * (double(plane.d) / n.Dot(n)));
}

}  // namespace quarnel::test
