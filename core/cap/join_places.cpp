#include "core/cap/join_places.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>
#include <array>
#include <utility>
#include "core/cap.h"
#include "core/cap/bodies.h"
#include "core/cap/loops_on_plane.h"
#include "core/cap/surface_edits.h"
#include "core/index_sets.h"
#include "core/parallel_for.h"
#include "core/places.h"
#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// Whether the border edge z of live face f ends at two of the given points.
bool BorderBetween(const MeshT5& mesh, const FaceT5& f, int z, const std::vector<uint8_t>& given) {
  const FaceT5* n = f.adjFace[z];
  return (n == &f || n == nullptr || !IsLive(n->flags)) && given[mesh.VertexIndex(f.v[z])] &&
         given[mesh.VertexIndex(f.v[(z + 1) % 3])];
}

// Per vertex, the points at the other ends of its border edges between
// two points given, and the faces of those edges: two where a loop passes
// through it.
struct LoopNeighbours {
  std::vector<uint8_t> count;
  std::vector<std::array<const VertexT5*, 2>> ends;
  std::vector<std::array<const FaceT5*, 2>> faces;

  LoopNeighbours(const MeshT5& mesh, const std::vector<uint8_t>& given)
      : count(mesh.vertices.size(), 0), ends(mesh.vertices.size()), faces(mesh.vertices.size()) {
    for (const FaceT5& f : mesh.faces)
      for (int z = 0; z < 3 && IsLive(f.flags); ++z)
        if (BorderBetween(mesh, f, z, given)) {
          Add(mesh, f.v[z], f.v[(z + 1) % 3], f);
          Add(mesh, f.v[(z + 1) % 3], f.v[z], f);
        }
  }
  void Add(const MeshT5& mesh, const VertexT5* v, const VertexT5* to, const FaceT5& f) {
    const size_t i = mesh.VertexIndex(v);
    uint8_t& n = count[i];
    if (n < 2) ends[i][n] = to, faces[i][n] = &f;
    n = uint8_t(std::min(3, n + 1));
  }
};

// Whether two faces lie back to back: their normals opposite within
// kBackToBack, as the faces of two bodies resting on one another where
// they touch.
bool BackToBack(const FaceT5& f, const FaceT5& g) {
  constexpr double kBackToBack = 1e-6;  // of the cosine, about 0.08 degrees
  auto normal = [](const FaceT5& h) {
    const Vec3d a(h.v[0]->position), b(h.v[1]->position), c(h.v[2]->position);
    return (b - a).Cross(c - a);
  };
  const Vec3d m = normal(f), n = normal(g);
  const double lengths = m.Norm() * n.Norm();
  return lengths > 0.0 && m.Dot(n) <= -(1.0 - kBackToBack) * lengths;
}

// Whether two points lie no farther apart in any coordinate than tolerance.
bool WithinPlace(const VertexT5* a, const VertexT5* b, double tolerance) {
  const Vec3f& p = a->position;
  const Vec3f& q = b->position;
  return std::fabs(double(p.x) - q.x) <= tolerance && std::fabs(double(p.y) - q.y) <= tolerance &&
         std::fabs(double(p.z) - q.z) <= tolerance;
}

// Whether the loops through a and b (two neighbours each), at one place,
// are two surfaces' that pass there. Where a neighbour of one is at one
// place with one of the other's, the two loops share that side: the
// surfaces are two sides of a seam or of a soup's edge, meeting there,
// unless the sides' faces lie back to back, as where two bodies rest on
// one another (the side's ends would join them into one). Otherwise the
// loops cross, b's neighbours clearly on either side of a's around the
// plane's normal, or run along one another, each of b's neighbours in the
// direction of one of a's (sides a float step apart far from the origin).
bool LoopsPassApart(const LoopNeighbours& n, const MeshT5& mesh, const VertexT5* a,
                    const VertexT5* b, const Vec3d& normal, double shape) {
  const Vec3d u = std::fabs(normal.x) < 0.9 ? normal.Cross(Vec3d(1, 0, 0)) : normal.Cross(Vec3d(0, 1, 0));
  const Vec3d w = normal.Cross(u);
  auto angle = [&](const VertexT5* from, const VertexT5* to) {
    const Vec3d d = Vec3d(to->position) - Vec3d(from->position);
    return std::atan2(d.Dot(w), d.Dot(u));
  };
  const auto& ea = n.ends[mesh.VertexIndex(a)];
  const auto& eb = n.ends[mesh.VertexIndex(b)];
  for (size_t i = 0; i < 2; ++i)
    for (size_t j = 0; j < 2; ++j)
      if (AtOnePlace(Vec3d(ea[i]->position), Vec3d(eb[j]->position), HUGE_VAL, shape))
        return BackToBack(*n.faces[mesh.VertexIndex(a)][i], *n.faces[mesh.VertexIndex(b)][j]);
  constexpr double kClear = 1e-6;  // radians
  const double a0 = angle(a, ea[0]), a1 = std::remainder(angle(a, ea[1]) - a0, 2 * M_PI);
  auto side = [&](const VertexT5* e) {
    const double t = std::remainder(angle(b, e) - a0, 2 * M_PI);
    const bool clear = std::fabs(t) > kClear && std::fabs(t - a1) > kClear;
    return !clear ? -1 : (a1 > 0.0 ? (t > 0.0 && t < a1) : (t < 0.0 && t > a1)) ? 1 : 0;
  };
  const int s0 = side(eb[0]), s1 = side(eb[1]);
  return (s0 >= 0 && s1 >= 0 && s0 != s1) || (s0 < 0 && s1 < 0);
}

// Where the surfaces of two bodies pass through one line, or run along
// one another a rounding step apart, their loops meet at one place, each
// through a point of its own there (two border edges to points given), of
// another piece of surface (LoopsPassApart). Such a set (by place, of
// points) is not joined: shared is cleared for its points. On a seam the
// loop passes from one side's point to the other's.
void KeepBodiesApart(const MeshT5& mesh, const std::vector<VertexT5*>& points,
                     const std::vector<uint32_t>& place, const std::vector<uint8_t>& given,
                     const Vec3d& normal, double shape, std::vector<uint8_t>& shared) {
  // Only shared points are looked at: without one there is nothing to keep
  // apart, and the pass over every face below is not needed.
  if (std::find(shared.begin(), shared.end(), uint8_t(1)) == shared.end()) return;
  const LoopNeighbours neighbours(mesh, given);
  auto through = [&](uint32_t i) { return neighbours.count[mesh.VertexIndex(points[i])] == 2; };
  // Per set, its first point passed through, and whether it has two.
  std::vector<uint32_t> first(points.size(), UINT32_MAX);
  std::vector<uint8_t> twice(points.size(), 0);
  bool any = false;
  for (uint32_t i = 0; i < points.size(); ++i) {
    if (!shared[i] || !through(i)) continue;
    if (first[place[i]] == UINT32_MAX) {
      first[place[i]] = i;
    } else {
      twice[place[i]] = 1;
      any = true;
    }
  }
  if (!any) return;
  const std::vector<uint32_t> piece = SurfacePieces(mesh);
  auto pieceOf = [&](uint32_t i) { return piece[mesh.VertexIndex(points[i])]; };
  std::vector<uint8_t> apart(points.size(), 0);
  for (uint32_t i = 0; i < points.size(); ++i) {
    const uint32_t f = first[place[i]];
    if (twice[place[i]] && through(i) && pieceOf(i) != pieceOf(f) &&
        LoopsPassApart(neighbours, mesh, points[f], points[i], normal, shape))
      apart[place[i]] = 1;
  }
  for (uint32_t i = 0; i < points.size(); ++i)
    if (apart[place[i]]) shared[i] = 0;
}

// The points, each once, in the order of the vertex array; given marks
// them per vertex.
std::vector<VertexT5*> InArrayOrder(MeshT5& mesh, const std::vector<VertexT5*>& points,
                                    std::vector<uint8_t>& given) {
  for (const VertexT5* v : points) given[mesh.VertexIndex(v)] = 1;
  std::vector<VertexT5*> ordered;
  for (size_t i = 0; i < given.size(); ++i)
    if (given[i]) ordered.push_back(&mesh.vertices[i]);
  return ordered;
}

// The places of the linked points (indices of points) made one, each
// place its smallest point.
void LinkPlaces(std::vector<uint32_t>& place,
                const std::vector<std::pair<uint32_t, uint32_t>>& links) {
  for (const auto& [a, b] : links) JoinSets(place, a, b);
  FlattenSets(place);
}

// The links between the given vertices as indices of points (in the order
// of the vertex array, as InArrayOrder gives them).
std::vector<std::pair<uint32_t, uint32_t>> LinksOfPoints(const MeshT5& mesh,
                                                         const std::vector<VertexT5*>& points,
                                                         const VertexLinks& links) {
  std::vector<uint32_t> index(mesh.vertices.size(), UINT32_MAX);
  for (uint32_t i = 0; i < points.size(); ++i) index[mesh.VertexIndex(points[i])] = i;
  std::vector<std::pair<uint32_t, uint32_t>> out;
  for (const auto& [a, b] : links) {
    const uint32_t ia = index[mesh.VertexIndex(a)], ib = index[mesh.VertexIndex(b)];
    if (ia != UINT32_MAX && ib != UINT32_MAX) out.push_back({ia, ib});
  }
  return out;
}

// Per point, whether it is in a set of two or more at one place (place:
// the first point of its set).
std::vector<uint8_t> SharedPoints(const std::vector<uint32_t>& place) {
  std::vector<uint8_t> shared(place.size(), 0);
  for (size_t i = 0; i < place.size(); ++i)
    if (place[i] != i) shared[i] = shared[place[i]] = 1;
  return shared;
}

// Per vertex, the vertex it becomes, or none.
class Joins {
 public:
  explicit Joins(const MeshT5& mesh) : mesh_(mesh) {}
  bool None() const { return into_.empty(); }
  void Set(const VertexT5* v, VertexT5* to) {
    if (into_.empty()) into_.assign(mesh_.vertices.size(), nullptr);
    into_[mesh_.VertexIndex(v)] = to;
  }
  bool Moves(const VertexT5* v) const { return into_[mesh_.VertexIndex(v)] != nullptr; }
  VertexT5* Target(VertexT5* v) const {
    VertexT5* to = into_[mesh_.VertexIndex(v)];
    return to != nullptr ? to : v;
  }

 private:
  const MeshT5& mesh_;
  std::vector<VertexT5*> into_;
};

// The first points of the sets whose join would give an edge more than two
// faces, or two faces that run an edge the same way, sorted: only edges
// with an end in a set change. Faces that the joins would give two corners
// at one place (needles no wider than the rounding, which go where their
// place is joined, as the edge collapse would take them) are listed in
// needles with the place they hang on.
std::vector<const VertexT5*> Refused(MeshT5& mesh, const Joins& joins,
                                     std::vector<std::pair<FaceT5*, const VertexT5*>>& needles) {
  struct Use {
    const VertexT5 *lo, *hi;
    bool forward;
  };
  std::vector<Use> uses;
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    VertexT5* to[3] = {joins.Target(f.v[0]), joins.Target(f.v[1]), joins.Target(f.v[2])};
    int needle = -1;
    for (int z = 0; z < 3; ++z)
      if (to[z] == to[(z + 1) % 3] && f.v[z] != f.v[(z + 1) % 3]) needle = z;
    if (needle >= 0) {
      needles.push_back({&f, to[needle]});
      continue;
    }
    for (int z = 0; z < 3; ++z) {
      if (!joins.Moves(f.v[z]) && !joins.Moves(f.v[(z + 1) % 3])) continue;
      const VertexT5 *ta = to[z], *tb = to[(z + 1) % 3];
      if (ta != tb) uses.push_back({std::min(ta, tb), std::max(ta, tb), ta < tb});
    }
  }
  std::sort(uses.begin(), uses.end(), [](const Use& a, const Use& b) {
    return a.lo != b.lo ? a.lo < b.lo : a.hi < b.hi;
  });
  std::vector<const VertexT5*> refused;
  for (size_t i = 0; i < uses.size();) {
    size_t j = i + 1;
    while (j < uses.size() && uses[j].lo == uses[i].lo && uses[j].hi == uses[i].hi) ++j;
    if (j - i > 2 || (j - i == 2 && uses[i].forward == uses[i + 1].forward))
      refused.insert(refused.end(), {uses[i].lo, uses[i].hi});
    i = j;
  }
  std::sort(refused.begin(), refused.end());
  return refused;
}

// Joins each set of shared points not refused into its first point
// (deleting the others), and takes the refused ones out of joins; returns
// the number of points joined away.
int32_t JoinSets(const std::vector<VertexT5*>& points,
                 const std::vector<uint32_t>& place, const std::vector<uint8_t>& shared,
                 const std::vector<const VertexT5*>& refused, Joins& joins) {
  int32_t joined = 0;
  for (size_t i = 0; i < points.size(); ++i) {
    if (!shared[i]) continue;
    if (std::binary_search(refused.begin(), refused.end(), points[place[i]])) {
      joins.Set(points[i], nullptr);
    } else if (place[i] != i) {
      points[i]->flags |= ElemFlag::Deleted;
      ++joined;
    }
  }
  return joined;
}

}  // namespace

bool JoinAtOnePlace(MeshT5& mesh, const Plane3f& plane, std::vector<VertexT5*> points,
                    const CutTolerances& tolerances, PointsApart* apart,
                    const VertexLinks* links) {
  std::vector<uint8_t> given(mesh.vertices.size(), 0);
  points = InArrayOrder(mesh, points, given);
  std::vector<Vec3d> positions;
  positions.reserve(points.size());
  for (const VertexT5* v : points) positions.push_back(Vec3d(v->position));
  // Each place's first point is the first vertex of the set in the array.
  std::vector<uint32_t> place = GroupByPlace(positions, tolerances.place, tolerances.shape);
  if (links != nullptr && !links->empty()) LinkPlaces(place, LinksOfPoints(mesh, points, *links));
  std::vector<uint8_t> shared = SharedPoints(place);
  const bool separate = std::find(shared.begin(), shared.end(), uint8_t(1)) == shared.end();
  KeepBodiesApart(mesh, points, place, given, Vec3d(plane.normal), tolerances.shape, shared);
  Joins joins(mesh);
  for (size_t i = 0; i < points.size(); ++i)
    if (shared[i]) joins.Set(points[i], points[place[i]]);
  if (joins.None()) {
    if (apart != nullptr) {
      apart->alone = std::move(given);
      apart->tolerance = tolerances.place;
      apart->separate = separate;
    }
    return false;
  }
  std::vector<std::pair<FaceT5*, const VertexT5*>> needles;
  const std::vector<const VertexT5*> refused = Refused(mesh, joins, needles);
  const int32_t joined = JoinSets(points, place, shared, refused, joins);
  if (joined == 0) return false;
  std::vector<FaceT5*> gone;
  for (const auto& [f, at] : needles)
    if (!std::binary_search(refused.begin(), refused.end(), at)) gone.push_back(f);
  for (FaceT5& f : mesh.faces)
    if (IsLive(f.flags))
      for (VertexT5*& v : f.v) v = joins.Target(v);
  mesh.vertexCount -= joined;
  DeleteFacesAndLoneCorners(mesh, gone, false);
  return true;
}

bool JoinLoopPointsAtOnePlace(MeshT5& mesh, const LoopWalks& walks, const Plane3f& plane,
                              const CutTolerances& tolerances, PointsApart& apart) {
  const double tolerance = double(tolerances.planeTolerance);
  // JoinAtOnePlace takes the points in the order of the vertex array: the
  // walks' points are marked per vertex (reading none), and the marked
  // vertices read in array order, where the cut's points lie side by side,
  // each once however often the walks pass it.
  std::vector<uint8_t> onWalk(mesh.vertices.size(), 0);
  for (const FacePos& step : walks.steps) onWalk[mesh.VertexIndex(step.v)] = 1;
  std::vector<VertexT5*> points;
  for (size_t i = 0; i < onWalk.size(); ++i) {
    if (!onWalk[i]) continue;
    VertexT5& v = mesh.vertices[i];
    if (IsLiveIncluded(v.flags) && std::fabs(SignedDistance(v.position, plane)) <= tolerance)
      points.push_back(&v);
  }
  return JoinAtOnePlace(mesh, plane, std::move(points), tolerances, &apart);
}

namespace {

// The points and links that JoinCutPointsAtOnePlace joins, read from
// faces begin .. end: the ends of border edges between points near the
// plane, and the ends of inner edges between them no longer than the
// rounding, as links. A point may be listed more than once.
struct NearEdges {
  std::vector<VertexT5*> points;
  VertexLinks shortInner;
};

// Per face of the array, whether it is live: read from live where given
// (a byte a face, where the flags take a record a face), else from the
// face's flags.
class FaceLiveness {
 public:
  FaceLiveness(const MeshT5& mesh, const std::vector<uint8_t>* live)
      : base_(mesh.faces.data()), live_(live),
        total_(live != nullptr ? std::min(live->size(), mesh.faces.size()) : 0) {}
  bool Live(const FaceT5* f) const {
    const size_t i = size_t(f - base_);
    return f >= base_ && i < total_ ? (*live_)[i] != 0 : IsLive(f->flags);
  }

 private:
  const FaceT5* base_;
  const std::vector<uint8_t>* live_;
  size_t total_;
};

NearEdges EdgesBetweenNearPoints(MeshT5& mesh, const std::vector<uint8_t>& near, double place,
                                 const FaceLiveness& liveness, size_t begin, size_t end) {
  NearEdges r;
  const FaceT5* const base = mesh.faces.data();
  for (size_t i = begin; i < end; ++i) {
    PrefetchAhead(base, i, end);
    const FaceT5& f = base[i];
    if (!liveness.Live(&f)) continue;
    for (int z = 0; z < 3; ++z) {
      VertexT5 *a = f.v[z], *b = f.v[(z + 1) % 3];
      if (!near[mesh.VertexIndex(a)] || !near[mesh.VertexIndex(b)]) continue;
      const FaceT5* n = f.adjFace[z];
      if (n != &f && n != nullptr && liveness.Live(n)) {
        if (!WithinPlace(a, b, place)) continue;
        r.shortInner.push_back({a, b});
      }
      r.points.insert(r.points.end(), {a, b});
    }
  }
  return r;
}

}  // namespace

bool JoinCutPointsAtOnePlace(MeshT5& mesh, const Plane3f& plane,
                             const CutTolerances& tolerances, const std::vector<uint8_t>* live) {
  const double tolerance = double(tolerances.planeTolerance);
  // The points near the plane first, from the vertex array in order; then
  // the faces' edges between two of them, whose neighbours (anywhere in the
  // array) are read only there, range by range on threads. An inner edge no
  // longer than the rounding counts too: where the plane passes through a
  // point of the model, the clip may split its edges within rounding of it,
  // and the point and those splits are one place (joining only the splits,
  // on the border, would give their edge to the point four faces). They
  // are one place by that edge: a split lies along it as far as the
  // rounding of the plane's value at the point allows, in every coordinate,
  // beyond their own coordinates' float steps. The order the points and
  // links come in does not matter (JoinAtOnePlace takes the points in
  // array order, and a link joins two places either way).
  std::vector<uint8_t> near(mesh.vertices.size(), 0);
  bool any = false;
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    const VertexT5& v = mesh.vertices[i];
    near[i] = IsLiveIncluded(v.flags) && std::fabs(SignedDistance(v.position, plane)) <= tolerance;
    any = any || near[i];
  }
  if (!any) return false;
  std::vector<VertexT5*> points;
  VertexLinks shortInner;
  const FaceLiveness liveness(mesh, live);
  for (NearEdges& r : ParallelCollect(mesh.faces.size(), [&](size_t begin, size_t end) {
         return EdgesBetweenNearPoints(mesh, near, tolerances.place, liveness, begin, end);
       })) {
    points.insert(points.end(), r.points.begin(), r.points.end());
    shortInner.insert(shortInner.end(), r.shortInner.begin(), r.shortInner.end());
  }
  return JoinAtOnePlace(mesh, plane, std::move(points), tolerances, nullptr, &shortInner);
}

}  // namespace quarnel
