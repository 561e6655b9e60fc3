#include "core/clip_ops.h"

#include <cstddef>
#include <vector>

#include "core/cap.h"
#include "core/clean.h"
#include "core/clip.h"
#include "core/normals.h"
#include "core/plane_edge_collapse.h"
#include "core/topology.h"

namespace quarnel {

namespace {

Vec3f Centroid(const FaceT5& f) {
  const double third = double(1.0f / 3.0f);
  const Vec3f& a = f.v[0]->position;
  const Vec3f& b = f.v[1]->position;
  const Vec3f& c = f.v[2]->position;
  return Vec3f(float((double(a.x) + b.x + c.x) * third), float((double(a.y) + b.y + c.y) * third),
               float((double(a.z) + b.z + c.z) * third));
}

// Deletes every live face on the negative side. After the refinement the
// corners a face had before lie all on one side and its new corners on the
// surface, so the corners from before decide: the centroid of a sliver along
// the cut lies within the rounding of float positions of the surface and
// fell on either side, leaving single faces of the far side hanging on the
// cut, where the border then passed one point twice. A face with no corner
// from before off the surface goes by its centroid. Vertices from index
// firstNew on are the ones the refinement made.
template <class Surface>
void DeleteNegativeFaces(MeshT5& mesh, const Surface& surface, size_t firstNew) {
  std::vector<double> value(firstNew);
  for (size_t i = 0; i < firstNew; ++i)
    value[i] = surface.Value(mesh.vertices[i].position);
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    double side = 0.0;
    for (const VertexT5* v : f.v) {
      const size_t i = mesh.VertexIndex(v);
      if (i < firstNew) side += value[i];
    }
    if (side == 0.0) side = surface.Value(Centroid(f));
    if (side < 0.0) {
      f.flags |= ElemFlag::Deleted;
      --mesh.faceCount;
    }
  }
}

}  // namespace

void ClipBySphere(MeshT5& mesh, const Sphere3f& sphere) {
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
  const size_t firstNew = mesh.vertices.size();
  RefineBySphere(mesh, ClipSphere(sphere), ClipSphere(sphere), false);
  DeleteNegativeFaces(mesh, ClipSphere(sphere), firstNew);
  RemoveUnreferencedVertices(mesh);
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
}

namespace {

// ClipByPlane; with joinCut, the cut's points at one place are joined
// before the edge collapse, so that the collapse moves them as one.
void ClipAlongPlane(MeshT5& mesh, const Plane3f& plane, bool joinCut) {
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
  const size_t firstNew = mesh.vertices.size();
  RefineByPlane(mesh, ClipPlane(plane), ClipPlane(plane), false);
  DeleteNegativeFaces(mesh, ClipPlane(plane), firstNew);
  RemoveUnreferencedVertices(mesh);
  if (joinCut) JoinCutPointsAtOnePlace(mesh, plane);
  CollapseClipPlaneEdges(mesh, plane);
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
}

}  // namespace

void ClipByPlane(MeshT5& mesh, const Plane3f& plane) {
  ClipAlongPlane(mesh, plane, false);
}

void ClipAndCap(MeshT5& mesh, const Plane3f& plane) {
  ClipAlongPlane(mesh, plane, true);
  CapCut(mesh, plane, true);
}

void CollapseClipPlaneEdges(MeshT5& mesh, const Plane3f& plane) {
  const double diag = Distance(mesh.bbox.max, mesh.bbox.min);
  PlaneEdgeCollapse::collapsePlane = plane;
  PlaneEdgeCollapse::collapsePlaneTolerance = float(diag * double(1e-4f));
  PlaneEdgeCollapse collapse(mesh);
  collapse.targetFaceCount = 0;
  collapse.threshold = diag * double(0.001f);
  collapse.Init();
  collapse.checkLinkConditions = true;
  collapse.Run(2147483647);
  collapse.Finalize();
}

}  // namespace quarnel
