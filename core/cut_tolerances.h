// The tolerances of one plane cut, measured once where the cut starts, from
// the model as it stands before it, and passed to every step of the cut:
// the clip, its edge collapse and the cap.
#pragma once

#include "core/math.h"
#include "core/mesh.h"

namespace quarnel {

struct CutTolerances {
  // The box of the vertices that live faces use, finite coordinates only;
  // null when no live face has a finite corner. The box the drawer shows
  // counts every live vertex: one that no face uses (a stray point of a
  // scan) or a coordinate that is not finite would stretch it, and with it
  // every tolerance, until the whole model lay on the plane.
  BBox3f box;
  double diagonal = 0.0;  // of the box; 0 when it is null
  // Within it of the plane a point counts as on the cut (1e-4 of the
  // diagonal).
  float planeTolerance = 0.0f;
  // Edges on the plane shorter than it are collapsed (0.001 of the diagonal).
  double collapseLength = 0.0;
  // Points no farther apart may stand at one place (PlaceTolerance).
  double place = 0.0;
  // Below it no coordinate of points at one place is held to its own float
  // step (ShapeRounding).
  double shape = 0.0;
};

// The tolerances of a cut of the mesh as it stands.
CutTolerances MeasureCutTolerances(const MeshT5& mesh);

}  // namespace quarnel
