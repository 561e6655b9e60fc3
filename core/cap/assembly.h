// The cap's faces added to the mesh, linked to the surface and cleaned up.
#pragma once

#include "core/cap/cap_plan.h"
#include "core/cap/cut_places.h"
#include "core/incremental_adjacency.h"
#include "core/mesh.h"
#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarnel {

// What making the cap's corners changed of the surface.
struct SurfaceSplits {
  bool changed = false;       // whether any point or face was made
  size_t firstMade = 0;       // the first face made by the splits
  std::vector<size_t> split;  // the faces split, by index, in order
};

// Makes the points where the cap's loops cross (each the weighted sum of
// the points it is made from), splits the faces whose border edges the cap
// runs through points of its own at those points, and returns the corners
// of the cap's faces, three a face, in their turn.
std::vector<VertexT5*> MakeCapCorners(MeshT5& mesh, const CapPlan& plan, const CutPlaces& places,
                                      SurfaceSplits& splits);

// Adds the cap's faces, green and selected; returns the index of the first.
size_t AddCapFaces(MeshT5& mesh, const std::vector<VertexT5*>& cap);

// How the faces link after JoinCapToSurface. Where no link leads one way,
// every live face links both ways with its neighbours and each edge's
// border bit follows from the face's own link; else the bits of the faces
// that may have such a link are to be set as FaceBorderFromFF sets them.
struct JoinedLinks {
  // Whether a link may lead one way only (on an edge of three faces or
  // more, or after a build over the whole mesh).
  bool oneWay = true;
  // Where oneWay and known, a byte per face: 1 for a face that may have a
  // link one way (the others link both ways or to themselves); else empty,
  // and every face may.
  std::vector<uint8_t> oneWayFaces;
};

// Links the cap's faces to the surface (their corners are the loops'
// points, joined where they stood at one place before the loops were
// found) and takes away duplicate faces and faces hanging on non-manifold
// edges. Returns how the faces link then.
JoinedLinks JoinCapToSurface(MeshT5& mesh, size_t first, const OldFaces& old,
                             const SurfaceSplits& splits);

// Sets each live face's border bits (as links tell), flips the edges
// between faces that lie within a degree of one plane and selects the
// vertices of the selected faces, the cap's.
void FlipCoplanarEdgesAndSelectCap(MeshT5& mesh, const JoinedLinks& links);

}  // namespace quarnel
