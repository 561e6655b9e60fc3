#include "core/cap/assembly.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>
#include "core/clean.h"
#include "core/curvature_flip.h"
#include "core/normals.h"
#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// The cap flips the edges between faces whose normals are at most this far
// apart (one degree, in radians).
constexpr float kOneDegree = 0.017453292f;

// Makes the points where the cap's loops cross, each the weighted sum of
// the points it is made from (places, then crossings made before) and with
// the attributes of the heaviest; appends their vertex indices to index
// (which holds the places' first).
void MakeCrossingPoints(MeshT5& mesh, const CapPlan& plan, const CutPlaces& places,
                        std::vector<size_t>& index) {
  const size_t placeCount = places.vertex.size();
  std::vector<Vec3d> made;
  std::vector<size_t> like;  // the vertex each takes its attributes from
  auto position = [&](uint32_t id) {
    return id < placeCount ? Vec3d(places.vertex[id]->position) : made[id - placeCount];
  };
  for (const ContourCrossing& c : plan.crossings) {
    Vec3d p(0, 0, 0);
    double total = 0.0, heaviest = -1.0;
    size_t from = 0;
    for (int k = 0; k < 4; ++k) {
      p = p + position(c.from[k]) * c.weight[k];
      total += c.weight[k];
      if (c.weight[k] > heaviest) heaviest = c.weight[k], from = c.from[k];
    }
    made.push_back(total > 0.0 ? p * (1.0 / total) : position(c.from[0]));
    like.push_back(from < placeCount ? index[from] : like[from - placeCount]);
  }
  const size_t first = mesh.vertices.size();
  mesh.AddVertices(int(made.size()));
  for (size_t k = 0; k < made.size(); ++k) {
    VertexT5& v = mesh.vertices[first + k];
    v = mesh.vertices[like[k]];
    v.position = Vec3f(float(made[k].x), float(made[k].y), float(made[k].z));
    v.flags = 0;
    v.vfFace = nullptr;
    v.vfCorner = 0;
    v.mark = 0;
    index.push_back(first + k);
  }
}

// The corner of face i whose edge runs from a to b, or -1.
int EdgeIn(const MeshT5& mesh, size_t i, const VertexT5* a, const VertexT5* b) {
  const FaceT5& f = mesh.faces[i];
  for (int k = 0; k < 3; ++k)
    if (f.v[k] == a && f.v[(k + 1) % 3] == b) return k;
  return -1;
}

// A point on an edge: where it lies along the edge, the corner the part
// before it ends at and the one the part beyond it starts at.
struct EdgePoint {
  double t;
  VertexT5* end;
  VertexT5* start;
};

// Splits edge z of face fi at the points (sorted along the edge), carrying
// the wedge texture coordinates along; appends the faces made to made.
void SplitEdgeAt(MeshT5& mesh, size_t fi, int z, const std::vector<EdgePoint>& points,
                 std::vector<size_t>& made) {
  const size_t firstMade = mesh.faces.size();
  mesh.AddFaces(int(points.size()));
  FaceT5& f = mesh.faces[fi];
  const WedgeTexCoord wa = f.wedge[z], wb = f.wedge[(z + 1) % 3];
  auto wedgeAt = [&](double t) {
    WedgeTexCoord w = wa;
    w.u = float(double(wa.u) + (double(wb.u) - double(wa.u)) * t);
    w.v = float(double(wa.v) + (double(wb.v) - double(wa.v)) * t);
    return w;
  };
  for (size_t k = 0; k < points.size(); ++k) {
    FaceT5& g = mesh.faces[firstMade + k];
    g = f;
    g.v[z] = points[k].start;
    g.wedge[z] = wedgeAt(points[k].t);
    if (k + 1 < points.size()) {
      g.v[(z + 1) % 3] = points[k + 1].end;
      g.wedge[(z + 1) % 3] = wedgeAt(points[k + 1].t);
    }
    made.push_back(firstMade + k);
  }
  f.v[(z + 1) % 3] = points[0].end;
  f.wedge[(z + 1) % 3] = wedgeAt(points[0].t);
}

// Splits the faces whose border edges the cap runs through points of its
// own at those points (vertex gives each id's vertex), so that no
// T-junction is left; splitFace holds each split's face index as it was
// before faces were added. Each split face's edge runs from corner z to
// corner z + 1; the faces made from a face split before are searched for
// the edge too.
template <class Vertex>
void SplitFacesAtPoints(MeshT5& mesh, const CapPlan& plan, const std::vector<size_t>& splitFace,
                        Vertex&& vertex) {
  std::unordered_map<size_t, std::vector<size_t>> madeFrom;  // by the face split
  for (size_t s = 0; s < plan.splits.size(); ++s) {
    const CapPlan::Split& split = plan.splits[s];
    size_t fi = splitFace[s];
    const VertexT5 *a0 = mesh.faces[fi].v[split.z], *b0 = mesh.faces[fi].v[(split.z + 1) % 3];
    int z = EdgeIn(mesh, fi, a0, b0);
    std::vector<size_t>& made = madeFrom[splitFace[s]];
    for (size_t m = 0; m < made.size() && z < 0; ++m)
      if ((z = EdgeIn(mesh, made[m], a0, b0)) >= 0) fi = made[m];
    if (z < 0) continue;
    const Vec3d a(a0->position), ab = Vec3d(b0->position) - a;
    const double length2 = ab.Dot(ab);
    std::vector<EdgePoint> points;
    for (size_t k = 0; k < split.points.size(); ++k) {
      VertexT5* x = vertex(split.points[k]);
      VertexT5* beyond = split.ahead.empty() ? x : vertex(split.ahead[k]);
      points.push_back({length2 > 0.0 ? (Vec3d(x->position) - a).Dot(ab) / length2 : 0.0, x,
                        beyond});
    }
    std::sort(points.begin(), points.end(),
              [](const EdgePoint& p, const EdgePoint& q) { return p.t < q.t; });
    SplitEdgeAt(mesh, fi, z, points, made);
  }
}

// The faces marked (a byte per face), in array order.
std::vector<FaceT5*> MarkedFaces(MeshT5& mesh, const std::vector<uint8_t>& marked) {
  std::vector<FaceT5*> faces;
  for (size_t i = 0; i < marked.size(); ++i)
    if (marked[i]) faces.push_back(&mesh.faces[i]);
  return faces;
}

// Whether face i may have a link one way only, as links tell.
bool MayLinkOneWay(const JoinedLinks& links, size_t i) {
  return links.oneWay && (links.oneWayFaces.empty() || links.oneWayFaces[i]);
}

// The border bits of f, a live face, from the links: as FaceBorderFromFF
// sets them where a link of f may lead one way only (it reads f's links and
// its neighbours' links back, which setting bits does not change), else
// each from f's own link (the same where every link of f leads both ways or
// to f itself).
void SetBorderBits(MeshT5& mesh, FaceT5& f, const JoinedLinks& links) {
  const size_t i = mesh.FaceIndex(&f);
  // The neighbours lie anywhere in the array: fetched a few faces ahead.
  if (i + 8 < mesh.faces.size() && MayLinkOneWay(links, i + 8))
    PrefetchLinksBack(mesh.faces[i + 8]);
  if (MayLinkOneWay(links, i)) {
    FaceBorderFromFF(mesh, i, i + 1);
    return;
  }
  for (int z = 0; z < 3; ++z)
    f.flags = f.adjFace[z] == &f ? f.flags | ElemFlag::Border(z) : f.flags & ~ElemFlag::Border(z);
}

}  // namespace

std::vector<VertexT5*> MakeCapCorners(MeshT5& mesh, const CapPlan& plan, const CutPlaces& places,
                                      SurfaceSplits& splits) {
  std::vector<size_t> index(places.vertex.size());
  for (size_t i = 0; i < index.size(); ++i) index[i] = mesh.VertexIndex(places.vertex[i]);
  std::vector<size_t> splitFace;
  for (const CapPlan::Split& split : plan.splits) splitFace.push_back(mesh.FaceIndex(split.f));
  splits.changed = !plan.crossings.empty() || !plan.splits.empty();
  splits.firstMade = mesh.faces.size();
  splits.split = splitFace;
  std::sort(splits.split.begin(), splits.split.end());
  splits.split.erase(std::unique(splits.split.begin(), splits.split.end()), splits.split.end());
  if (!plan.crossings.empty()) MakeCrossingPoints(mesh, plan, places, index);
  auto vertex = [&](uint32_t id) { return &mesh.vertices[index[id]]; };
  SplitFacesAtPoints(mesh, plan, splitFace, vertex);
  std::vector<VertexT5*> corners;
  corners.reserve(plan.triangles.size());
  for (uint32_t id : plan.triangles)
    corners.push_back(vertex(id));
  return corners;
}

size_t AddCapFaces(MeshT5& mesh, const std::vector<VertexT5*>& cap) {
  // The vertex array does not move here, so the corner pointers stay valid.
  const int added = int(cap.size() / 3);
  FaceT5* first = mesh.AddFaces(added);
  for (int j = 0; j < added; ++j) {
    FaceT5& f = first[j];
    for (int k = 0; k < 3; ++k)
      f.v[k] = cap[size_t(3 * j + k)];
    f.flags = ElemFlag::Selected;
    f.color = Color4b{0, 255, 0, 255};
  }
  return size_t(first - mesh.faces.data());
}

JoinedLinks JoinCapToSurface(MeshT5& mesh, size_t first, const OldFaces& old,
                             const SurfaceSplits& splits) {
  // The added faces have no adjacency yet: it is made whole before the
  // duplicate search reads it, by linking the added faces, and the faces
  // split and made from them, where that gives what a build over the whole
  // mesh would.
  bool maybeDuplicates = true;
  const bool linked =
      splits.changed ? LinkChangedFaces(mesh, splits.firstMade, splits.split, old, maybeDuplicates)
                     : LinkAddedFaces(mesh, first, old, maybeDuplicates);
  if (!linked) {
    BuildFaceFaceAdjacency(mesh);
    maybeDuplicates = true;
  }
  // Without rings and without a pair of faces on the same three edges both
  // searches below would find nothing. Where they change no link, the pass
  // that reads the faces for them tells which faces may link one way.
  JoinedLinks links;
  links.oneWay = maybeDuplicates;
  if (maybeDuplicates && RemoveDuplicateThenHangingFaces(mesh, &links.oneWayFaces)) {
    // A duplicate went: the faces that hang are sought on the adjacency
    // built again (from the same faces it would come out the same).
    BuildFaceFaceAdjacency(mesh);
    RemoveFacesOnNonManifoldEdges(mesh);
  }
  return links;
}

void FlipCoplanarEdgesAndSelectCap(MeshT5& mesh, const JoinedLinks& links) {
  // The flipper's pass over the faces also sets the border bits and the
  // unit normals, each face its own, and marks the live selected faces, each
  // in its own byte.
  std::vector<uint8_t> marked(mesh.faces.size(), 0);
  CoplanarEdgeFlipper flipper(mesh, kOneDegree, false, [&](FaceT5& f) {
    SetBorderBits(mesh, f, links);
    ComputeFaceNormal(f, true);
    if (f.flags & ElemFlag::Selected) marked[mesh.FaceIndex(&f)] = 1;
  });
  // A flip changes no face's deleted or selected bit.
  const std::vector<FaceT5*> selected = MarkedFaces(mesh, marked);
  // The faces that the flips gave new corners, and so new normals (of the
  // flipper's own rounding): every other face keeps the corners it had in
  // the passes over all faces.
  std::vector<FaceT5*> flipped;
  flipper.Run(10, &flipped);
  for (size_t i = 0; i < selected.size(); ++i) {
    if (i + 8 < selected.size()) PrefetchCorners(*selected[i + 8]);
    for (VertexT5* v : selected[i]->v)
      v->flags |= ElemFlag::Selected;
  }
  const size_t firstSeries = flipped.size();
  flipper.Run(10, &flipped);
  for (size_t i = firstSeries; i < flipped.size(); ++i)
    if (IsLive(flipped[i]->flags) && (flipped[i]->flags & ElemFlag::Selected))
      for (VertexT5* v : flipped[i]->v)
        v->flags |= ElemFlag::Selected;
  for (size_t i = 0; i < flipped.size(); ++i) {
    if (i + 8 < flipped.size()) PrefetchCorners(*flipped[i + 8]);
    ComputeFaceNormal(*flipped[i], true);
  }
}

}  // namespace quarnel
