// Small meshes of any of the four types, built in memory for tests and
// benchmarks. All builders produce consistently oriented faces with outward
// normals (counter-clockwise seen from outside).
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "core/mesh.h"

namespace quarnel::test {

struct Soup {
  std::vector<Vec3f> points;
  std::vector<std::array<int, 3>> tris;
};

// Fills a mesh of any type from points and index triples; live counts set,
// colours white (opaque) where the type has them.
template <class MeshT>
MeshT Build(const Soup& s) {
  MeshT m;
  m.vertices.resize(s.points.size());
  for (size_t i = 0; i < s.points.size(); ++i) {
    m.vertices[i].position = s.points[i];
    if constexpr (HasColor<typename MeshT::VertexType>)
      m.vertices[i].color = Color4b{255, 255, 255, 255};
  }
  m.faces.resize(s.tris.size());
  for (size_t i = 0; i < s.tris.size(); ++i) {
    for (int k = 0; k < 3; ++k) m.faces[i].v[k] = &m.vertices[size_t(s.tris[i][k])];
    if constexpr (HasColor<typename MeshT::FaceType>)
      m.faces[i].color = Color4b{255, 255, 255, 255};
  }
  m.vertexCount = int32_t(s.points.size());
  m.faceCount = int32_t(s.tris.size());
  return m;
}

// The same from the points and triples themselves.
template <class MeshT>
MeshT Build(std::vector<Vec3f> points, std::vector<std::array<int, 3>> tris) {
  return Build<MeshT>(Soup{std::move(points), std::move(tris)});
}

// Regular tetrahedron-like: (0,0,0), (1,0,0), (0,1,0), (0,0,1).
Soup TetrahedronSoup();
// Unit cube [0,1]^3: 8 vertices, 12 faces.
Soup CubeSoup(float size = 1.0f, Vec3f origin = {0, 0, 0});
// The same cube with every triangle owning its own three corners (36 points).
Soup CubeTriangleSoup();
// Subdivided icosahedron on a sphere; level 0 is the icosahedron (12, 20).
Soup IcosphereSoup(int level, float radius = 1.0f, Vec3f center = {0, 0, 0});
// (n+1) x (n+1) vertices on the unit-spaced grid z = 0, 2 n^2 faces, normals +z.
Soup GridSoup(int n, float spacing = 1.0f);
// Torus with `rings` x `sides` vertices and 2 * rings * sides faces.
Soup TorusSoup(int rings, int sides, float R = 1.0f, float r = 0.3f);
// The same surface with every triangle owning its own three corners.
Soup TriangleSoupOf(const Soup& s);
// The same surface as a flat-shaded export gives it: one point per place
// and face direction, so that faces meet across a crease only by place.
Soup FlatShadedSoup(const Soup& s);
// Box [0, length] x [0, 1] x [0, 1] whose four long sides are strips of
// `segments` unit-wide squares, two triangles each; the ends are one square.
Soup BeamSoup(float length, int segments);

template <class MeshT>
MeshT Tetrahedron() { return Build<MeshT>(TetrahedronSoup()); }
template <class MeshT>
MeshT Cube(float size = 1.0f) { return Build<MeshT>(CubeSoup(size)); }
template <class MeshT>
MeshT Icosphere(int level, float radius = 1.0f) { return Build<MeshT>(IcosphereSoup(level, radius)); }
template <class MeshT>
MeshT Grid(int n, float spacing = 1.0f) { return Build<MeshT>(GridSoup(n, spacing)); }

// A cube with face `deleted` flagged deleted (faceCount 11).
template <class MeshT>
MeshT CubeWithDeletedFace(int deleted = 0) {
  MeshT m = Cube<MeshT>();
  m.faces[size_t(deleted)].flags |= ElemFlag::Deleted;
  --m.faceCount;
  return m;
}

// Number of live faces / vertices, counted from the flags.
template <class MeshT>
int LiveFaces(const MeshT& m) {
  int n = 0;
  for (auto& f : m.faces) n += IsLive(f.flags);
  return n;
}
template <class MeshT>
int LiveVertices(const MeshT& m) {
  int n = 0;
  for (auto& v : m.vertices) n += IsLive(v.flags);
  return n;
}

// True when every face record (deleted ones too) points into the mesh's
// vertex array, and every adjacency pointer, where the type has one, into
// its face array or is null.
template <class MeshT>
bool PointersInside(const MeshT& m) {
  for (auto& f : m.faces) {
    for (auto* p : f.v)
      if (p < m.vertices.data() || p >= m.vertices.data() + m.vertices.size()) return false;
    if constexpr (HasAdjacency<typename MeshT::FaceType>)
      for (auto* a : f.adjFace)
        if (a && (a < m.faces.data() || a >= m.faces.data() + m.faces.size())) return false;
  }
  return true;
}

// True when no live face has a deleted corner.
template <class MeshT>
bool NoLiveFaceOnDeletedVertex(const MeshT& m) {
  for (auto& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    for (auto* v : f.v)
      if (!IsLive(v->flags)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Meshes whose vertices are split at equal positions, as files with texture
// seams have them.

// A UV sphere of `slices` columns and `stacks` bands, wound outwards. Its
// seam (longitude 0) is split: each of its points comes twice, once for
// each side. Each pole is one point per face around it. With trigSeam the
// seam's second points are made by the trigonometry at longitude 2 pi, as
// a script makes them: they differ from the first by its residues.
Soup SplitSeamSphereSoup(int slices, int stacks, float radius = 1.0f, bool trigSeam = false);
// A torus of `rings` x `sides` points (R 1, r 0.3) whose meridian at
// longitude 0 is split, its second points made by the trigonometry at
// longitude 2 pi.
Soup SplitMeridianTorusSoup(int rings, int sides);
// A torus laid out as TorusSoup's, with a texture coordinate per corner:
// (i / rings, j / sides) at grid point (i, j), 1 on the far side of each
// seam. With split, the points on both seams come twice, once for each
// side; without, the faces on either side of a seam share them and differ
// in their corners' coordinates only. bump moves each point along the tube's
// radius by up to that share of it, so that no quad is flat.
MeshT5 TexturedTorus(int rings, int sides, bool split, float bump = 0.0f);
// The live faces of `after` that are not selected (not a cap) and have a
// corner at a point of `before` with a texture coordinate that no corner
// of `before` had there, or that span more than half the texture (lie
// across a seam).
int FacesWithStrayTexCoords(const MeshT5& before, const MeshT5& after);
// A closed pipe from z = 0 to `height` around a circle of radius 1 with
// `sides` points, whose bore, a circle of radius 0.5 with `boreSides`
// (fewer) points, touches the wall along the line x = 1, y = 0. The wall
// and the bore have points of their own on that line, in `rows` + 1 rows;
// the two end rows share theirs.
Soup TangentBorePipeSoup(int sides, int boreSides, int rows, float height);

}  // namespace quarnel::test

// ---- Pipes whose bore touches the wall -------------------------------------

namespace quarnel::test {

// A closed pipe along z from z = -1 to 1, with rings at z = -1, 0 and 1: a
// wall of n points on the unit circle (point k at angle 2 pi k / n) and a
// bore of the n points given for z = 0, counter-clockwise, point k facing
// wall point k; at the ends the bore is shrunk to 0.8 about its centre, and
// strips between the two rings close the ends. The bore points listed in
// touch stand at their wall points at z = 0: the wall's own vertex there
// when shared, else a vertex of their own at the same place.
Soup PipeSoup(const std::vector<std::array<double, 2>>& bore, const std::vector<int>& touch,
              bool shared);

// Bores of PipeSoup for n points: a circle of radius r touching the wall
// at wall point t; an ellipse of half axes 1 and b, touching at wall
// points 0 and n / 2.
std::vector<std::array<double, 2>> TouchingCircleBore(int n, double r, int t);
std::vector<std::array<double, 2>> TouchingEllipseBore(int n, double b);

}  // namespace quarnel::test

// ---- Solids of unit cubes, for cuts along one of their faces ----

namespace quarnel::test {

// The surface of a set of unit cubes (cell (i, j, k) spans [i, i + 1] x
// [j, j + 1] x [k, k + 1]): two triangles per cube side that no other cube
// covers, corners shared. Cubes must not touch along an edge alone.
Soup VoxelSoup(const std::vector<std::array<int, 3>>& cells);
// Two steps of voxels: the block [0, 8] x [0, 8] x [0, 4] with the block
// [0, 4] x [0, 8] x [4, 8] on it; the tread lies at z = 4 over x in [4, 8].
Soup StairSoup();

}  // namespace quarnel::test
