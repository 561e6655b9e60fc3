// Checks and set-ups shared by the clip, cap, collapse and geodesic tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

#include "core/clean.h"
#include "core/mesh.h"
#include "core/normals.h"
#include "core/topology.h"
#include "support/mesh_builders.h"
#include "support/volumes.h"

namespace quarnel::test {

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

// Border edges that are left once a copy's vertices at equal positions are
// joined: the two sides of a split seam match there.
inline int OpenEdgesAtPlaces(const MeshT5& m) {
  MeshT5 joined = m;
  MergeDuplicateVertices(joined);
  BuildFaceFaceAdjacency(joined);
  return BorderEdges(joined);
}

inline Plane3f MakePlane(float a, float b, float c, float d) {
  return Plane3f{Vec3f(a, b, c), d};
}

inline MeshT5 WithBox(MeshT5 m) {
  UpdateBoundingBox(m);
  return m;
}

}  // namespace quarnel::test
