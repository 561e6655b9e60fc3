// The clip commands of the editable mesh, each one call for the application,
// which then updates the mesh's drawer (the box and normals included).
#pragma once

#include "core/math.h"
#include "core/cut_tolerances.h"
#include "core/mesh.h"

namespace quarnel {

// Splits the mesh along the sphere and deletes the faces whose centroid lies
// inside it, then the vertices left unused. Never capped.
void ClipBySphere(MeshT5& mesh, const Sphere3f& sphere);

// Splits the mesh along the plane a x + b y + c z = d, deletes the faces
// on its negative side and the vertices left unused, then collapses the
// short edges left on the plane. A face lying in the plane stays only when
// it faces the negative side. The tolerances (MeasureCutTolerances) come
// from the mesh as it stands before the cut.
void ClipByPlane(MeshT5& mesh, const Plane3f& plane);

// ClipByPlane, then the cap of the holes the cut left on the plane. The
// cut's points at one place (as on a split seam) are joined before the
// clip's edge collapse (JoinCutPointsAtOnePlace), so that the collapse and
// the cap take each as one point. A flat sheet lying in the plane with no
// face off the plane next to it is left as ClipByPlane leaves it: the cap
// neither covers nor removes it.
void ClipAndCap(MeshT5& mesh, const Plane3f& plane);

// Collapses the edges on the plane not longer than tolerances'
// collapseLength with both ends within its planeTolerance of the plane
// (ClipByPlane runs it with the tolerances from before the cut).
void CollapseClipPlaneEdges(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances);

}  // namespace quarnel
