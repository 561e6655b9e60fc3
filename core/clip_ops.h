// The clip commands of the editable mesh, each one call for the application,
// which then updates the mesh's drawer (the box and normals included).
#pragma once

#include "core/math.h"
#include "core/mesh.h"

namespace quarnel {

// Splits the mesh along the sphere and deletes the faces whose centroid lies
// inside it, then the vertices left unused. Never capped.
void ClipBySphere(MeshT5& mesh, const Sphere3f& sphere);

// The scale that the plane clip's tolerances are taken from: the box of
// the vertices that live faces use, finite coordinates only. The box the
// drawer shows counts every live vertex: one that no face uses (a stray
// point of a scan) or a coordinate that is not finite would stretch it,
// and with it every tolerance, until the whole model lay on the plane.
struct ClipScale {
  BBox3f box;             // null when no live face has a finite corner
  double diagonal = 0.0;  // of the box; 0 when it is null
  // Within it of the plane a point counts as on it (1e-4 of the diagonal).
  float planeTolerance = 0.0f;
  // Edges on the plane shorter than it are collapsed (0.001 of the diagonal).
  double collapseLength = 0.0;
};
ClipScale ClipScaleOf(const MeshT5& mesh);

// While one lives, ClipScaleOf(mesh) answers with the scale the mesh had
// when it was made: the clip, its edge collapse and the cap after it take
// their tolerances from the model as it stood before the cut, not from
// what the cut left of it. One made while another for the same mesh lives
// changes nothing; one for another mesh gives the first back when it ends.
// Each thread keeps its own.
class ClipScaleScope {
 public:
  explicit ClipScaleScope(const MeshT5& mesh);
  ~ClipScaleScope();
  ClipScaleScope(const ClipScaleScope&) = delete;
  ClipScaleScope& operator=(const ClipScaleScope&) = delete;

 private:
  bool owner_ = false;
  const MeshT5* outerMesh_ = nullptr;  // the one pinned before, if any
  ClipScale outerScale_;
};

// Splits the mesh along the plane a x + b y + c z = d, deletes the faces
// on its negative side and the vertices left unused, then collapses the
// short edges left on the plane. A face lying in the plane stays only when
// it faces the negative side. The thresholds of the collapse come from
// ClipScaleOf the mesh from before the cut.
void ClipByPlane(MeshT5& mesh, const Plane3f& plane);

// ClipByPlane, then the cap of the holes the cut left on the plane. The
// cut's points at one place (as on a split seam) are joined before the
// clip's edge collapse (JoinCutPointsAtOnePlace), so that the collapse and
// the cap take each as one point. A flat sheet lying in the plane with no
// face off the plane next to it is left as ClipByPlane leaves it: the cap
// neither covers nor removes it.
void ClipAndCap(MeshT5& mesh, const Plane3f& plane);

// Collapses the edges on the plane that are shorter than 0.001 of the
// diagonal of ClipScaleOf(mesh), with both ends within 0.0001 of it from
// the plane (ClipByPlane runs it with the scale from before the cut).
void CollapseClipPlaneEdges(MeshT5& mesh, const Plane3f& plane);

}  // namespace quarnel
