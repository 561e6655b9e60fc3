// Face-face adjacency and vertex-face lists of the editable mesh.
//
// Both live in the same three adjFace/adjIndex slots of every FaceT5, so a
// mesh holds the structure built last. Face-face adjacency keeps the faces
// around an edge as a circular ring: a border edge points to its own face, a
// manifold edge links two faces to each other, an edge of three or more faces
// is a ring whose members do not point back to each other.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mesh.h"

namespace quarnel {

// Problem classes reported by CheckFaceFaceTopology.
namespace TopologyProblem {
inline constexpr uint32_t DegenerateFace = 1;
inline constexpr uint32_t BackIndex = 4;
inline constexpr uint32_t VertexMismatch1 = 8;
inline constexpr uint32_t VertexMismatch2 = 16;
inline constexpr uint32_t NonManifoldRing = 32;
inline constexpr uint32_t OpenRing = 64;
inline constexpr uint32_t BorderWithNeighbour = 128;
}  // namespace TopologyProblem

// Whether k names a corner or edge of a face (0, 1 or 2): an adjacency index
// read from a face's links is checked with it before it is used.
inline bool ValidCorner(int k) { return k >= 0 && k < 3; }

// Whether a face has one vertex at two of its corners.
inline bool HasCornerTwice(const FaceT5& f) {
  return f.v[0] == f.v[1] || f.v[1] == f.v[2] || f.v[2] == f.v[0];
}

// Builds face-face rings for every face that is not deleted. With no live
// faces the slots keep their contents.
void BuildFaceFaceAdjacency(MeshT5& mesh);

// Builds the vertex-face lists of every face that is neither deleted nor
// excluded; the last face in array order heads each list.
void BuildVertexFaceAdjacency(MeshT5& mesh);

// Takes face f out of the ring of its edge z; the edge becomes a border of f.
// The ring walk gives up after maxSteps (a ring that does not lead back to f
// leaves the mesh unchanged and returns false).
bool DetachFaceFromRing(FaceT5* f, int z, size_t maxSteps = SIZE_MAX);

// Detaches faces from every ring of three or more until only pairs are left.
int DetachNonManifoldEdges(MeshT5& mesh);

// A mask of TopologyProblem bits, 0 when the adjacency is clean.
uint32_t CheckFaceFaceTopology(const MeshT5& mesh);

// Gives the quadrilateral of f and its neighbour across edge z its other
// diagonal. Only an edge shared by exactly two faces that link back to each
// other through it is flipped; anything else returns false untouched. The
// corners keep their wedges: each face's corners hold the texture
// coordinates they held in the face they came from.
bool FlipEdge(FaceT5* f, int z);

// A position on the surface: a face, one of its edges and one end of it.
struct FacePos {
  FaceT5* f = nullptr;
  int z = 0;
  VertexT5* v = nullptr;

  FacePos() = default;
  FacePos(FaceT5* face, int edge, VertexT5* vert) : f(face), z(edge), v(vert) {}
  FacePos(FaceT5* face, int edge) : f(face), z(edge), v(face->v[edge]) {}

  bool IsBorder() const { return f->adjFace[z] == f; }
  // v becomes the other end of edge z.
  void FlipV() { v = f->v[(z + 1) % 3] != v ? f->v[(z + 1) % 3] : f->v[z]; }
  // z becomes the other edge of f at v.
  void FlipE() { z = f->v[(z + 1) % 3] == v ? (z + 1) % 3 : (z + 2) % 3; }
  // Crosses edge z into the neighbouring face; stays on a border edge.
  void FlipF() {
    FaceT5* g = f->adjFace[z];
    int k = f->adjIndex[z];
    f = g;
    z = k;
  }
  // From a border edge, moves to the next border edge around v and then to
  // that edge's far end, so repeated calls walk a border loop. Returns false
  // (position unchanged) when no border edge is met within maxSteps turns
  // around the vertex, which only bad topology causes.
  bool NextBorder(size_t maxSteps);

  bool operator==(const FacePos&) const = default;
};

}  // namespace quarnel
