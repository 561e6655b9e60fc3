// Face-face adjacency for faces appended to a mesh whose other faces hold
// it already, linked without a build over the whole mesh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

// What LinkAddedFaces asks of the faces before the added ones, read by the
// caller in a pass over them (they do not change in between): whether every
// live face's links lead to a face of the array on the same edge (back to
// it, or on along the ring of an edge of three or more faces), whether some
// edge has such a ring, whether some live face shares all three edges with
// one other, and, in array order, the sides of live faces that an added
// face may share: every side between two corners of the added faces is
// among them.
struct OldFaces {
  struct Side {
    uint32_t face, z;
    uint32_t from, to;  // vertex indices of the side's ends, in the face's turn
  };
  bool linksBack = true;
  bool rings = false;
  bool sharesAllEdges = false;
  std::vector<Side> loopSides;
};

// Whether f shares all three of its edges with one other face.
inline bool SharesAllEdges(const FaceT5& f) {
  return f.adjFace[0] != &f && f.adjFace[0] == f.adjFace[1] && f.adjFace[1] == f.adjFace[2];
}

// Face-face adjacency for the faces from index first on, added to a mesh
// whose other live faces hold the adjacency that a build over the whole
// mesh gives them, so that the whole mesh then holds what such a build
// would give, without sorting every edge of it (a ring of old faces, on an
// edge of three or more, keeps the order it has). That holds only while no
// edge of an added face has three or more faces: such a ring's order is the
// build's own, so then nothing is changed and the answer is false. Also
// false when a live face's links lead off its edge. maybeDuplicates tells
// whether some edge has a ring or some live face shares all three edges
// with one other face: without rings, two faces with the same corners are
// such a pair, and without either the searches for duplicate faces and for
// faces hanging on rings would find nothing. old tells of the faces before
// first.
bool LinkAddedFaces(MeshT5& mesh, size_t first, const OldFaces& old, bool& maybeDuplicates);

// The same where, besides the faces from index first on, the faces listed
// in changed (indices below first) have new corners: every edge of those
// faces is linked anew, with all the faces on it, found in a pass over the
// faces. False, changing nothing, where an edge of an added or changed
// face has three or more faces, or a live face's links lead off its edge
// (old tells of the faces before first as they were before the change).
bool LinkChangedFaces(MeshT5& mesh, size_t first, const std::vector<size_t>& changed,
                      const OldFaces& old, bool& maybeDuplicates);

}  // namespace quarnel
