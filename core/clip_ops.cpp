#include "core/clip_ops.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/cap.h"
#include "core/cap/bodies.h"
#include "core/clean.h"
#include "core/clip.h"
#include "core/normals.h"
#include "core/places.h"
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

// The rounding of p's value a x + b y + c z - d, from the float rounding of
// its coordinates and of the plane's coefficients.
double ValueRounding(const Vec3f& p, const Plane3f& plane) {
  return 4.0 * double(FLT_EPSILON) *
         (std::fabs(double(plane.normal.x) * p.x) + std::fabs(double(plane.normal.y) * p.y) +
          std::fabs(double(plane.normal.z) * p.z) + std::fabs(double(plane.d)));
}

enum class InPlane : int8_t { No, Keep, Remove, Unsure };

// Whether f lies in the plane, every corner on it within the rounding of
// its value (the points the refinement made, and points of the model that
// the plane passes through), and if so which way it faces: towards the
// removed side (Keep) or the kept side (Remove). Unsure where its turn is
// not its own: it stands across the plane, or is no wider than the
// rounding of its corners, as the slivers that the refinement makes next
// to points within rounding of the plane are.
InPlane FaceInPlane(const FaceT5& f, const Plane3f& plane) {
  double rounding = 0.0;
  for (const VertexT5* v : f.v) {
    const double r = ValueRounding(v->position, plane);
    if (!(std::fabs(SignedDistance(v->position, plane)) <= r)) return InPlane::No;
    rounding = std::max(rounding, r);
  }
  const Vec3d n(plane.normal);
  const Vec3d a(f.v[0]->position), b(f.v[1]->position), c(f.v[2]->position);
  const Vec3d cross = (b - a).Cross(c - a);
  const double along = cross.Dot(n);
  const double twiceArea = cross.Norm();
  const double longest = std::max({(b - a).Dot(b - a), (c - b).Dot(c - b), (a - c).Dot(a - c)});
  // Within 60 degrees of the plane, and its height above its longest side
  // over eight times the rounding (in the plane's units).
  if (!(std::fabs(along) > 0.5 * twiceArea * n.Norm())) return InPlane::Unsure;
  if (!(twiceArea * twiceArea > 64.0 * longest * rounding * rounding / n.Dot(n)))
    return InPlane::Unsure;
  return along < 0.0 ? InPlane::Keep : InPlane::Remove;
}

// How the faces lying in the plane meet other faces along an edge by place,
// the two ends of the edges on the plane at one place: a flat-shaded export
// gives each face direction vertices of its own, a triangle soup each face,
// and a face in the plane meets the wall next to it, or the next face in
// the plane, only so.
class PlaceLinks {
 public:
  // inPlane: per face, whether it lies in the plane (decided or unsure).
  PlaceLinks(const MeshT5& mesh, const Plane3f& plane, const std::vector<uint8_t>& inPlane,
             const CutTolerances& tolerances)
      : touches_(mesh.faces.size(), 0) {
    // Per vertex: its place, -1 for none (off the plane or not finite). The
    // points on the plane are grouped at once, within the rounding of the
    // model's coordinates of one another.
    std::vector<int32_t> place(mesh.vertices.size(), -1);
    std::vector<uint32_t> onPlane;
    std::vector<Vec3d> points;
    for (size_t i = 0; i < mesh.vertices.size(); ++i) {
      const Vec3f& p = mesh.vertices[i].position;
      if (!IsLive(mesh.vertices[i].flags) || !std::isfinite(p.x) || !std::isfinite(p.y) ||
          !std::isfinite(p.z) || !(std::fabs(SignedDistance(p, plane)) <= ValueRounding(p, plane)))
        continue;
      onPlane.push_back(uint32_t(i));
      points.push_back(Vec3d(p));
    }
    const std::vector<uint32_t> group = GroupByPlace(points, tolerances.place, tolerances.shape);
    for (size_t k = 0; k < onPlane.size(); ++k)
      place[onPlane[k]] = int32_t(group[k]);
    auto placeOf = [&](const VertexT5* v) {
      return place[mesh.VertexIndex(v)];
    };
    struct EdgeAt {
      uint64_t places;
      size_t face;
      bool inPlane;
    };
    std::vector<EdgeAt> edges;
    for (size_t i = 0; i < mesh.faces.size(); ++i) {
      const FaceT5& f = mesh.faces[i];
      if (!IsLive(f.flags)) continue;
      for (int z = 0; z < 3; ++z) {
        const int32_t a = placeOf(f.v[z]);
        if (a < 0) continue;
        const int32_t b = placeOf(f.v[(z + 1) % 3]);
        if (b < 0 || a == b) continue;
        const uint64_t key = (uint64_t(uint32_t(std::min(a, b))) << 32) | uint32_t(std::max(a, b));
        edges.push_back({key, i, inPlane[i] != 0});
      }
    }
    std::sort(edges.begin(), edges.end(), [](const EdgeAt& x, const EdgeAt& y) {
      return x.places != y.places ? x.places < y.places : x.face < y.face;
    });
    for (size_t s = 0, e = 0; s < edges.size(); s = e) {
      size_t in = 0;
      bool off = false;
      for (e = s; e < edges.size() && edges[e].places == edges[s].places; ++e) {
        in += edges[e].inPlane;
        off = off || !edges[e].inPlane;
      }
      if (in == 0) continue;
      if (off)
        for (size_t k = s; k < e; ++k)
          if (edges[k].inPlane) touches_[edges[k].face] = 1;
      if (in < 2) continue;
      const size_t run = runStart_.size();
      runStart_.push_back(members_.size());
      for (size_t k = s; k < e; ++k)
        if (edges[k].inPlane) {
          members_.push_back(edges[k].face);
          faceRuns_.emplace_back(edges[k].face, run);
        }
    }
    runStart_.push_back(members_.size());
    std::sort(faceRuns_.begin(), faceRuns_.end());
  }

  // Whether the face in the plane meets a face off it along an edge.
  bool TouchesSurface(size_t face) const { return touches_[face] != 0; }

  // visit(j) for each other face in the plane that meets it along an edge.
  template <class Visit>
  void ForEachNeighbour(size_t face, Visit&& visit) const {
    auto it = std::lower_bound(faceRuns_.begin(), faceRuns_.end(), std::pair(face, size_t(0)));
    for (; it != faceRuns_.end() && it->first == face; ++it)
      for (size_t k = runStart_[it->second]; k < runStart_[it->second + 1]; ++k)
        if (members_[k] != face) visit(members_[k]);
  }

 private:
  std::vector<uint8_t> touches_;  // per face
  std::vector<size_t> runStart_;  // per edge shared in the plane: its first member
  std::vector<size_t> members_;   // the faces in the plane along each such edge
  std::vector<std::pair<size_t, size_t>> faceRuns_;  // (face, edge), sorted
};

// A piece of surface lying in the plane on its own, with no face off the
// plane next to it (a flat sheet, not the face of a solid), bounds no solid
// on either side: its faces go by their corners as any other face does, so
// it stays whichever way it faces. A piece is joined through the faces in
// the plane, decided and unsure alike; faces meet by vertex or by place.
// With sheets, its faces are marked there.
void KeepSheetsAlone(const MeshT5& mesh, const std::vector<uint8_t>& unsure,
                     const PlaceLinks& links, std::vector<int8_t>& decided,
                     std::vector<uint8_t>* sheets) {
  const size_t total = mesh.faces.size();
  const FaceT5* const base = mesh.faces.data();
  auto inPlane = [&](size_t i) {
    return unsure[i] != 0 || decided[i] != 0;
  };
  std::vector<uint8_t> seen(total, 0);
  std::vector<size_t> piece;
  for (size_t start = 0; start < total; ++start) {
    if (seen[start] || !inPlane(start)) continue;
    seen[start] = 1;
    piece.assign(1, start);
    bool touchesSurface = false;
    auto join = [&](size_t j) {
      if (!seen[j]) {
        seen[j] = 1;
        piece.push_back(j);
      }
    };
    for (size_t k = 0; k < piece.size(); ++k) {
      const FaceT5& f = mesh.faces[piece[k]];
      for (const FaceT5* n : f.adjFace) {
        if (n == nullptr || n == &f || n < base || n >= base + total || !IsLive(n->flags)) continue;
        const size_t j = mesh.FaceIndex(n);
        if (!inPlane(j))
          touchesSurface = true;
        else
          join(j);
      }
      touchesSurface = touchesSurface || links.TouchesSurface(piece[k]);
      links.ForEachNeighbour(piece[k], join);
    }
    if (!touchesSurface)
      for (size_t i : piece) {
        decided[i] = 0;
        if (sheets != nullptr) (*sheets)[i] = 1;
      }
  }
}

// Per face: 1 to keep, -1 to delete, 0 to decide by its corners (below).
// A face lying in the plane belongs to the solid on the side it faces away
// from: it stays only when it faces the removed side, where it is part of
// the kept solid's face on the cut; facing the kept side it is a face of
// the removed part (the tread of a step cut at its height, keeping the step
// above), and would stay behind as a sheet. The slivers in the plane whose
// turn is not their own go with the faces in the plane that they join
// through other such slivers, nearest first: where the plane passes
// within rounding through a face of the model, they tie its pieces
// together and to the walls on either side. Faces join by vertex, and by
// place (see GroupByPlace) where the model's
// faces have points of their own. With sheets, the faces of flat sheets
// (see KeepSheetsAlone) are marked there.
std::vector<int8_t> DecideFacesInPlane(const MeshT5& mesh, const Plane3f& plane,
                                       std::vector<uint8_t>* sheets,
                                       const CutTolerances& tolerances) {
  const size_t total = mesh.faces.size();
  std::vector<int8_t> decided(total, 0);
  if (sheets != nullptr) sheets->assign(total, 0);
  std::vector<uint8_t> unsure(total, 0), inPlane(total, 0);
  std::vector<size_t> queue;
  for (size_t i = 0; i < total; ++i) {
    const FaceT5& f = mesh.faces[i];
    if (!IsLive(f.flags)) continue;
    const InPlane in = FaceInPlane(f, plane);
    if (in == InPlane::Unsure) {
      unsure[i] = 1;
    } else if (in != InPlane::No) {
      decided[i] = in == InPlane::Keep ? 1 : -1;
      queue.push_back(i);
    }
    inPlane[i] = in != InPlane::No;
  }
  if (queue.empty() && std::find(unsure.begin(), unsure.end(), 1) == unsure.end()) return decided;
  const PlaceLinks links(mesh, plane, inPlane, tolerances);
  const FaceT5* const base = mesh.faces.data();
  for (size_t k = 0; k < queue.size(); ++k) {
    const size_t i = queue[k];
    auto reach = [&](size_t j) {
      if (!unsure[j] || decided[j] != 0) return;
      decided[j] = decided[i];
      queue.push_back(j);
    };
    const FaceT5& f = mesh.faces[i];
    for (const FaceT5* n : f.adjFace) {
      if (n == nullptr || n == &f || n < base || n >= base + total) continue;
      reach(mesh.FaceIndex(n));
    }
    links.ForEachNeighbour(i, reach);
  }
  KeepSheetsAlone(mesh, unsure, links, decided, sheets);
  return decided;
}

// Deletes every live face on the negative side. After the refinement the
// corners a face had before lie all on one side and its new corners on the
// surface, so the corners from before decide: the centroid of a sliver along
// the cut lies within the rounding of float positions of the surface and
// fell on either side, leaving single faces of the far side hanging on the
// cut, where the border then passed one point twice. A face with no corner
// from before off the surface goes by its centroid. Faces with a non-zero
// entry in `decided` (when it is not empty) are kept (1) or deleted (-1) as
// it says. Vertices from index firstNew on are the ones the refinement made.
// With live, it is set per face to whether the face is live afterwards.
template <class Surface>
void DeleteNegativeFaces(MeshT5& mesh, const Surface& surface, size_t firstNew,
                         const std::vector<int8_t>& decided,
                         std::vector<uint8_t>* live = nullptr) {
  if (live != nullptr) live->assign(mesh.faces.size(), 0);
  std::vector<double> value(firstNew);
  for (size_t i = 0; i < firstNew; ++i)
    value[i] = surface.Value(mesh.vertices[i].position);
  for (size_t fi = 0; fi < mesh.faces.size(); ++fi) {
    FaceT5& f = mesh.faces[fi];
    if (!IsLive(f.flags)) continue;
    bool negative;
    if (!decided.empty() && decided[fi] != 0) {
      negative = decided[fi] < 0;
    } else {
      double side = 0.0;
      for (const VertexT5* v : f.v) {
        const size_t i = mesh.VertexIndex(v);
        if (i < firstNew) side += value[i];
      }
      if (side == 0.0) side = surface.Value(Centroid(f));
      negative = side < 0.0;
    }
    if (negative) {
      f.flags |= ElemFlag::Deleted;
      --mesh.faceCount;
    } else if (live != nullptr) {
      (*live)[fi] = 1;
    }
  }
}

}  // namespace

void ClipBySphere(MeshT5& mesh, const Sphere3f& sphere) {
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
  const size_t firstNew = mesh.vertices.size();
  RefineBySphere(mesh, ClipSphere(sphere), ClipSphere(sphere), false);
  DeleteNegativeFaces(mesh, ClipSphere(sphere), firstNew, {});
  RemoveUnreferencedVertices(mesh);
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
}

namespace {

// ClipByPlane; with sheets (for the cap), the cut's points at one place
// are joined before the edge collapse, so that the collapse moves them as
// one, and the faces of flat sheets lying in the plane are marked there.
void ClipAlongPlane(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
                    std::vector<uint8_t>* sheets) {
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
  const size_t firstNew = mesh.vertices.size();
  RefineByPlane(mesh, ClipPlane(plane), ClipPlane(plane), false);
  // For the cap, which faces are live is kept per face: the join below
  // reads it of the neighbours across the cut, which lie anywhere in the
  // face array. Removing vertices changes no face.
  std::vector<uint8_t> live;
  DeleteNegativeFaces(mesh, ClipPlane(plane), firstNew,
                      DecideFacesInPlane(mesh, plane, sheets, tolerances),
                      sheets != nullptr ? &live : nullptr);
  RemoveUnreferencedVertices(mesh);
  if (sheets != nullptr) JoinCutPointsAtOnePlace(mesh, plane, tolerances, &live);
  CollapseClipPlaneEdges(mesh, plane, tolerances);
  BuildFaceFaceAdjacency(mesh);
  FaceBorderFromFF(mesh);
}

}  // namespace

void ClipByPlane(MeshT5& mesh, const Plane3f& plane) {
  ClipAlongPlane(mesh, plane, MeasureCutTolerances(mesh), nullptr);
}

void ClipAndCap(MeshT5& mesh, const Plane3f& plane) {
  const CutTolerances tolerances = MeasureCutTolerances(mesh);
  const std::vector<uint32_t> pieces = SurfacePieces(mesh);
  std::vector<uint8_t> sheets;
  ClipAlongPlane(mesh, plane, tolerances, &sheets);
  CapCut(mesh, plane, tolerances, true, &sheets, &pieces);
}

void CollapseClipPlaneEdges(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances) {
  PlaneEdgeCollapse collapse(mesh);
  collapse.plane = plane;
  collapse.planeTolerance = tolerances.planeTolerance;
  collapse.targetFaceCount = 0;
  collapse.threshold = tolerances.collapseLength;
  collapse.Init();
  collapse.checkLinkConditions = true;
  collapse.Run(2147483647);
  collapse.Finalize();
}

}  // namespace quarnel
