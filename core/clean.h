// In-place cleaning and deletion on the editable mesh.
//
// Nothing is freed or moved: an element is removed by setting
// ElemFlag::Deleted and decrementing the live count, so every pointer into
// the arrays stays valid. None of these rebuilds adjacency, normals, the box
// or the border bits; the caller does that afterwards.
#pragma once

#include <cstdint>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

// Deletes every live, non-excluded face with two equal corner pointers
// (positions are not compared). Returns the number deleted.
int32_t RemoveDegenerateFaces(MeshT5& mesh);

// Merges the live, included vertices at exactly the same position into one
// kept vertex, the first of them by index, and repoints the corners of
// every face that is not deleted. Deleted and excluded vertices are never
// merged away, and none stands between two live ones. Vertices with a NaN
// coordinate never merge. Returns the number merged away.
int32_t MergeDuplicateVertices(MeshT5& mesh);

// Deletes the live vertices that no face uses, keeping excluded (0x4)
// vertices. Referenced vertices are left with ElemFlag::Visited set.
// Returns the number deleted.
int32_t RemoveUnreferencedVertices(MeshT5& mesh);

// Deletes the selected live, non-excluded faces, detaching each from the
// face-face rings of its edges (face-face adjacency must be current) and
// clearing its selection bit. Returns the number deleted.
int32_t DeleteSelectedFaces(MeshT5& mesh);

// Deletes every live face with a selected corner (detached from its rings,
// its selection bit left as it was) and every live selected vertex.
// Returns the number of vertices deleted.
int32_t DeleteSelectedVertices(MeshT5& mesh);

// Deletes the later face of each pair of live faces with the same three
// vertices, unless it is excluded or one of its face-face neighbours is
// deleted or excluded, detaching it from the rings of its edges. Needs valid
// face-face adjacency on every live face.
void RemoveDuplicateFaces(MeshT5& mesh);

// Deletes the faces that hang on the mesh only by non-manifold edges (one
// border edge and two non-manifold ones, or two border edges and one
// non-manifold one), detaching them from those edges' rings, and returns
// their number. Needs face-face adjacency.
int32_t RemoveFacesOnNonManifoldEdges(MeshT5& mesh);

// RemoveDuplicateFaces, then, where it deleted no face,
// RemoveFacesOnNonManifoldEdges, reading the faces for both in one pass.
// Returns whether a duplicate went: the faces that hang are then left.
// With oneWay, where no link changed, it gets a byte per face, read in the
// same pass: 1 where the face is not live or has a link to another face
// that does not link back to it there (an edge FaceBorderFromFF marks
// non-manifold); where a link changed it is left as it was.
bool RemoveDuplicateThenHangingFaces(MeshT5& mesh, std::vector<uint8_t>* oneWay = nullptr);

}  // namespace quarnel
