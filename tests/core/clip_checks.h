// Checks and set-ups shared by the clip, cap, collapse and geodesic tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "core/mesh.h"
#include "core/normals.h"
#include "support/mesh_builders.h"

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
// its faces alone: each face cut down to that side, as cones from a point of
// the plane, so that the cross-section adds nothing.
inline double ClippedVolume(const MeshT5& m, const Plane3f& plane) {
  const Vec3d n(plane.normal);
  const Vec3d o = n * (double(plane.d) / n.Dot(n));
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

// Live faces whose slot z points to the face itself, counted per edge.
inline int BorderEdges(const MeshT5& m) {
  int n = 0;
  for (const FaceT5& f : m.faces)
    if (IsLive(f.flags))
      for (int z = 0; z < 3; ++z)
        n += f.adjFace[z] == &f;
  return n;
}

// Counts agree with the flags, and no face record points outside the arrays.
inline ::testing::AssertionResult Consistent(const MeshT5& m) {
  if (!PointersInside(m)) return ::testing::AssertionFailure() << "pointer outside the arrays";
  if (m.faceCount != LiveFaces(m))
    return ::testing::AssertionFailure() << "faceCount " << m.faceCount << " live " << LiveFaces(m);
  if (m.vertexCount != LiveVertices(m))
    return ::testing::AssertionFailure()
           << "vertexCount " << m.vertexCount << " live " << LiveVertices(m);
  for (const FaceT5& f : m.faces)
    if (IsLive(f.flags))
      for (const VertexT5* v : f.v)
        if (!IsLive(v->flags)) return ::testing::AssertionFailure() << "live face, deleted corner";
  return ::testing::AssertionSuccess();
}

inline Plane3f MakePlane(float a, float b, float c, float d) {
  return Plane3f{Vec3f(a, b, c), d};
}

inline MeshT5 WithBox(MeshT5 m) {
  UpdateBoundingBox(m);
  return m;
}

}  // namespace quarnel::test
