#include "core/cap.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <numeric>
#include <span>
#include <unordered_map>
#include <utility>

#include "core/border_loops.h"
#include "core/cap/bodies.h"
#include "core/cap/cap_loop.h"
#include "core/cap/grouping.h"
#include "core/clean.h"
#include "core/clip_ops.h"
#include "core/curvature_flip.h"
#include "core/incremental_adjacency.h"
#include "core/normals.h"
#include "core/polygon_triangulation.h"
#include "core/places.h"
#include "core/plane_tessellation.h"
#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// The cap flips the edges between faces whose normals are at most this far
// apart (one degree, in radians).
constexpr float kOneDegree = 0.017453292f;


// The box that every tolerance of the cap comes from: that of the
// tolerances (from before the clip during Clip and Cap), or without one,
// the box given.
BBox3f ToleranceBox(const CutTolerances& tolerances, const BBox3f& fallback) {
  return tolerances.box.IsNull() ? fallback : tolerances.box;
}

// The tolerance within which a point counts as one of the cut: the clip's
// edge collapse's, 1e-4 of the box's diagonal. The collapse moves points of
// the cut to midpoints of edges whose ends lie within it of the plane: on a
// small loop of a large model that is more than the loop's own share.
double CutTolerance(const CutTolerances& tolerances, const BBox3f& cut) {
  const BBox3f box = ToleranceBox(tolerances, cut);
  return box.IsNull() ? 0.0 : double(float(box.Diag() * double(1e-4f)));
}

// Points of the cut closer than this may stand at one place (see places.h).
double PlaceTolerance(const CutTolerances& tolerances, const BBox3f& cut) {
  return PlaceTolerance(ToleranceBox(tolerances, cut));
}

// Whether every vertex of the loop lies within 1 % of the loop's box
// diagonal, or within the collapse's tolerance, of the plane: the loops that
// the cap fills.
bool LoopOnPlane(const LoopWalks& walks, size_t i, const BorderLoop& loop, const Plane3f& plane,
                 double collapsed) {
  const double tolerance =
      std::max(Distance(loop.box.min, loop.box.max) * double(0.01f), collapsed);
  for (const FacePos& p : walks.Of(i))
    if (!(std::fabs(SignedDistance(p.v->position, plane)) <= tolerance)) return false;
  return true;
}

// Deletes the faces, taking each out of the rings of its edges, and the
// corners that no other live face uses.
void DeleteFacesAndLoneCorners(MeshT5& mesh, const std::vector<FaceT5*>& faces,
                               bool detach = true) {
  if (faces.empty()) return;
  const size_t bound = 3 * mesh.faces.size();
  for (FaceT5* f : faces) {
    for (int z = 0; z < 3 && detach; ++z)
      if (f->adjFace[z] != f && f->adjFace[z] != nullptr) DetachFaceFromRing(f, z, bound);
    f->flags |= ElemFlag::Deleted;
    --mesh.faceCount;
  }
  std::vector<uint8_t> used(mesh.vertices.size(), 0);
  for (const FaceT5& f : mesh.faces)
    if (IsLive(f.flags))
      for (const VertexT5* v : f.v)
        used[mesh.VertexIndex(v)] = 1;
  for (FaceT5* f : faces)
    for (VertexT5* v : f->v)
      if (!used[mesh.VertexIndex(v)] && IsLive(v->flags)) {
        v->flags |= ElemFlag::Deleted;
        --mesh.vertexCount;
      }
}

// Where the cut runs nearly parallel to the surface, the plane edge collapse
// pulls whole side faces onto the cut loop: all three corners on it, the
// face lying in the plane. The kept solid has no thickness there, and the
// loop's cap would cover those faces a second time, facing the other way:
// a cap triangle with the same corners, or cap edges that the side faces
// use too, which leaves edges of three or four faces. Such faces are taken
// away before the cap, which then covers their place once. Only groups of
// them that touch the loop and hang on the rest of the surface go: a flat
// piece of surface lying in the plane on its own is left as it is. chosen
// lists the loops on the plane. Returns whether any face went (the loops
// are then no longer those given).
bool RemoveSideFacesFlatOnTheCut(MeshT5& mesh, const std::vector<size_t>& chosen,
                                 const LoopWalks& walks) {
  if (chosen.empty()) return false;
  std::vector<uint8_t> onLoop(mesh.vertices.size(), 0);
  // The faces on the loops' edges: every group that goes has one.
  std::vector<FaceT5*> seeds;
  for (size_t i : chosen) {
    for (const FacePos& p : walks.Of(i)) {
      onLoop[mesh.VertexIndex(p.v)] = 1;
      seeds.push_back(p.f);
    }
  }
  if (seeds.empty()) return false;

  auto flat = [&](const FaceT5& f) {
    return !(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) &&
           onLoop[mesh.VertexIndex(f.v[0])] && onLoop[mesh.VertexIndex(f.v[1])] &&
           onLoop[mesh.VertexIndex(f.v[2])];
  };
  // Groups of flat faces joined by edges.
  std::vector<uint8_t> seen(mesh.faces.size(), 0);
  std::vector<FaceT5*> group, doomed;
  for (FaceT5* start : seeds) {
    if (seen[mesh.FaceIndex(start)] || !flat(*start)) continue;
    group.clear();
    group.push_back(start);
    seen[mesh.FaceIndex(start)] = 1;
    bool border = false, attached = false;
    for (size_t i = 0; i < group.size(); ++i) {
      FaceT5* f = group[i];
      for (FaceT5* n : f->adjFace) {
        if (n == f) {
          border = true;
          continue;
        }
        if (n == nullptr || !IsLive(n->flags)) continue;
        if (!flat(*n)) {
          attached = true;
          continue;
        }
        if (seen[mesh.FaceIndex(n)]) continue;
        seen[mesh.FaceIndex(n)] = 1;
        group.push_back(n);
      }
    }
    if (border && attached) doomed.insert(doomed.end(), group.begin(), group.end());
  }
  if (doomed.empty()) return false;

  DeleteFacesAndLoneCorners(mesh, doomed);
  return true;
}

// Points of the cut that GroupByPlace found each at a place of its own,
// and the tolerance it found them so with: alone[i] is 1 for vertex i when
// it is one of them. Empty when some of the points shared a place.
struct PointsApart {
  std::vector<uint8_t> alone;
  double tolerance = 0.0;
};

// Whether the border edge z of live face f ends at two of the given points.
bool BorderBetween(const MeshT5& mesh, const FaceT5& f, int z, const std::vector<uint8_t>& given) {
  const FaceT5* n = f.adjFace[z];
  return (n == &f || n == nullptr || !IsLive(n->flags)) && given[mesh.VertexIndex(f.v[z])] &&
         given[mesh.VertexIndex(f.v[(z + 1) % 3])];
}

// Per vertex, the points at the other ends of its border edges between
// two points given: two where a loop passes through it.
struct LoopNeighbours {
  std::vector<uint8_t> count;
  std::vector<std::array<const VertexT5*, 2>> ends;

  LoopNeighbours(const MeshT5& mesh, const std::vector<uint8_t>& given)
      : count(mesh.vertices.size(), 0), ends(mesh.vertices.size()) {
    for (const FaceT5& f : mesh.faces)
      for (int z = 0; z < 3 && IsLive(f.flags); ++z)
        if (BorderBetween(mesh, f, z, given)) {
          Add(mesh, f.v[z], f.v[(z + 1) % 3]);
          Add(mesh, f.v[(z + 1) % 3], f.v[z]);
        }
  }
  void Add(const MeshT5& mesh, const VertexT5* v, const VertexT5* to) {
    uint8_t& n = count[mesh.VertexIndex(v)];
    if (n < 2) ends[mesh.VertexIndex(v)][n] = to;
    n = uint8_t(std::min(3, n + 1));
  }
};

// Whether two points stand at one place, within the rounding of their own
// coordinates.
bool AtOnePlace(const VertexT5* a, const VertexT5* b) {
  const Vec3d p(a->position), q(b->position);
  const double within = std::min(OwnRounding(p), OwnRounding(q));
  return std::fabs(p.x - q.x) <= within && std::fabs(p.y - q.y) <= within &&
         std::fabs(p.z - q.z) <= within;
}

// Whether the loops through a and b (two neighbours each), at one place,
// cross there: b's neighbours lie clearly on either side of a's, around
// the plane's normal, and no neighbour of one is at one place with one of
// the other's (two sides of a seam or of a soup's edge).
bool LoopsCross(const LoopNeighbours& n, const MeshT5& mesh, const VertexT5* a,
                const VertexT5* b, const Vec3d& normal) {
  const Vec3d u = std::fabs(normal.x) < 0.9 ? normal.Cross(Vec3d(1, 0, 0)) : normal.Cross(Vec3d(0, 1, 0));
  const Vec3d w = normal.Cross(u);
  auto angle = [&](const VertexT5* from, const VertexT5* to) {
    const Vec3d d = Vec3d(to->position) - Vec3d(from->position);
    return std::atan2(d.Dot(w), d.Dot(u));
  };
  const auto& ea = n.ends[mesh.VertexIndex(a)];
  const auto& eb = n.ends[mesh.VertexIndex(b)];
  for (const VertexT5* x : ea)
    for (const VertexT5* y : eb)
      if (AtOnePlace(x, y)) return false;
  constexpr double kClear = 1e-6;  // radians
  const double a0 = angle(a, ea[0]), a1 = std::remainder(angle(a, ea[1]) - a0, 2 * M_PI);
  auto side = [&](const VertexT5* e) {
    const double t = std::remainder(angle(b, e) - a0, 2 * M_PI);
    const bool clear = std::fabs(t) > kClear && std::fabs(t - a1) > kClear;
    return !clear ? -1 : (a1 > 0.0 ? (t > 0.0 && t < a1) : (t < 0.0 && t > a1)) ? 1 : 0;
  };
  const int s0 = side(eb[0]), s1 = side(eb[1]);
  return s0 >= 0 && s1 >= 0 && s0 != s1;
}

// Where the surfaces of two bodies pass through one line, their loops
// cross at one place, each through a point of its own there (two border
// edges to points given), of another piece of surface. Such a set (by
// place, of points) is not joined: shared is cleared for its points. On a
// seam the loop passes from one side's point to the other's.
void KeepCrossingBodiesApart(const MeshT5& mesh, const std::vector<VertexT5*>& points,
                             const std::vector<uint32_t>& place, const std::vector<uint8_t>& given,
                             const Vec3d& normal, std::vector<uint8_t>& shared) {
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
        LoopsCross(neighbours, mesh, points[f], points[i], normal))
      apart[place[i]] = 1;
  }
  for (uint32_t i = 0; i < points.size(); ++i)
    if (apart[place[i]]) shared[i] = 0;
}

// Sets of the given vertices that stand at one place (within tolerance of
// one another, see GroupByPlace) become their first vertex in the array,
// unless joining a set would give an edge more than two faces, or two
// faces running an edge the same way, or two bodies' loops cross there
// (KeepCrossingBodiesApart). A face that would get two corners in
// one place is a needle no wider than the rounding: it goes, with the
// corners that no other face uses. With anchors (per vertex), only the sets
// that hold an anchored vertex are joined. Returns whether any were joined:
// the face-face adjacency is then stale. Without anchors, where every
// point stands at a place of its own, they are set in apart (when given).
bool JoinAtOnePlace(MeshT5& mesh, const Plane3f& plane, std::vector<VertexT5*> points,
                    double tolerance,
                    const std::vector<uint8_t>* anchors = nullptr, PointsApart* apart = nullptr) {
  // Each once, in the order of the vertex array.
  std::vector<uint8_t> given(mesh.vertices.size(), 0);
  for (const VertexT5* v : points) given[mesh.VertexIndex(v)] = 1;
  points.clear();
  for (size_t i = 0; i < given.size(); ++i)
    if (given[i]) points.push_back(&mesh.vertices[i]);
  std::vector<Vec3d> positions;
  positions.reserve(points.size());
  for (const VertexT5* v : points)
    positions.push_back(Vec3d(v->position));
  // Each place's first point is the first vertex of the set in the array.
  const std::vector<uint32_t> place = GroupByPlace(positions, tolerance);
  // into[i]: the vertex that vertex i becomes, or null.
  std::vector<VertexT5*> into;
  std::vector<uint8_t> anchored;
  if (anchors != nullptr) {
    anchored.assign(points.size(), 0);
    for (size_t i = 0; i < points.size(); ++i)
      if ((*anchors)[mesh.VertexIndex(points[i])]) anchored[place[i]] = 1;
  }
  std::vector<uint8_t> shared(points.size(), 0);
  for (size_t i = 0; i < points.size(); ++i)
    if (place[i] != i && (anchors == nullptr || anchored[place[i]]))
      shared[i] = shared[place[i]] = 1;
  KeepCrossingBodiesApart(mesh, points, place, given, Vec3d(plane.normal), shared);
  for (size_t i = 0; i < points.size(); ++i) {
    if (!shared[i]) continue;
    if (into.empty()) into.assign(mesh.vertices.size(), nullptr);
    into[mesh.VertexIndex(points[i])] = points[place[i]];
  }
  // The sets, each as the indices of its points, its first point first.
  auto sets = [&](auto&& visit) {
    std::vector<std::vector<size_t>> members;
    std::vector<size_t> slot(points.size(), SIZE_MAX);
    for (size_t i = 0; i < points.size(); ++i) {
      if (!shared[i]) continue;
      if (slot[place[i]] == SIZE_MAX) {
        slot[place[i]] = members.size();
        members.emplace_back();
      }
      members[slot[place[i]]].push_back(i);
    }
    for (const std::vector<size_t>& m : members) visit(m);
  };
  if (into.empty()) {
    if (apart != nullptr && anchors == nullptr) {
      apart->alone = std::move(given);
      apart->tolerance = tolerance;
    }
    return false;
  }
  auto target = [&](VertexT5* v) {
    VertexT5* to = into[mesh.VertexIndex(v)];
    return to != nullptr ? to : v;
  };
  // A set is refused where joining it would give a face two corners in one
  // place, an edge more than two faces, or two faces that run an edge the
  // same way: only edges with an end in a set change.
  struct Use {
    const VertexT5 *lo, *hi;
    bool forward;
  };
  std::vector<Use> uses;
  std::vector<const VertexT5*> refused;
  // Faces with two corners at one place: needles no wider than the
  // rounding, which go where their place is joined (as the edge collapse
  // would take them), with the place they hang on.
  std::vector<std::pair<FaceT5*, const VertexT5*>> needles;
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    const VertexT5* to[3] = {target(f.v[0]), target(f.v[1]), target(f.v[2])};
    int needle = -1;
    for (int z = 0; z < 3; ++z)
      if (to[z] == to[(z + 1) % 3] && f.v[z] != f.v[(z + 1) % 3]) needle = z;
    if (needle >= 0) {
      needles.push_back({&f, to[needle]});
      continue;
    }
    for (int z = 0; z < 3; ++z) {
      VertexT5 *a = f.v[z], *b = f.v[(z + 1) % 3];
      if (into[mesh.VertexIndex(a)] == nullptr && into[mesh.VertexIndex(b)] == nullptr) continue;
      const VertexT5 *ta = to[z], *tb = to[(z + 1) % 3];
      if (ta != tb) uses.push_back({std::min(ta, tb), std::max(ta, tb), ta < tb});
    }
  }
  std::sort(uses.begin(), uses.end(), [](const Use& a, const Use& b) {
    return a.lo != b.lo ? a.lo < b.lo : a.hi < b.hi;
  });
  for (size_t i = 0; i < uses.size();) {
    size_t j = i + 1;
    while (j < uses.size() && uses[j].lo == uses[i].lo && uses[j].hi == uses[i].hi) ++j;
    if (j - i > 2 || (j - i == 2 && uses[i].forward == uses[i + 1].forward)) {
      refused.push_back(uses[i].lo);
      refused.push_back(uses[i].hi);
    }
    i = j;
  }
  std::sort(refused.begin(), refused.end());
  int32_t joined = 0;
  sets([&](const std::vector<size_t>& set) {
    const bool refuse = std::binary_search(refused.begin(), refused.end(), points[set[0]]);
    for (size_t k = 1; k < set.size(); ++k) {
      if (refuse) {
        into[mesh.VertexIndex(points[set[k]])] = nullptr;
        continue;
      }
      points[set[k]]->flags |= ElemFlag::Deleted;
      ++joined;
    }
    if (refuse) into[mesh.VertexIndex(points[set[0]])] = nullptr;
  });
  if (joined == 0) return false;
  std::vector<FaceT5*> gone;
  for (const auto& [f, at] : needles)
    if (!std::binary_search(refused.begin(), refused.end(), at)) gone.push_back(f);
  for (FaceT5& f : mesh.faces)
    if (IsLive(f.flags))
      for (VertexT5*& v : f.v)
        v = target(v);
  mesh.vertexCount -= joined;
  DeleteFacesAndLoneCorners(mesh, gone, false);
  return true;
}

// The points of the loops, as JoinCutPointsAtOnePlace takes the corners of
// the border edges: those within tolerance of the plane.
bool JoinLoopPointsAtOnePlace(MeshT5& mesh, const LoopWalks& walks, const Plane3f& plane,
                              double tolerance, double place, PointsApart& apart) {
  std::vector<VertexT5*> points;
  for (const FacePos& p : walks.steps)
    if (IsLiveIncluded(p.v->flags) &&
        std::fabs(SignedDistance(p.v->position, plane)) <= tolerance)
      points.push_back(p.v);
  return JoinAtOnePlace(mesh, plane, std::move(points), place, nullptr, &apart);
}

}  // namespace

bool JoinCutPointsAtOnePlace(MeshT5& mesh, const Plane3f& plane,
                             const CutTolerances& tolerances) {
  BBox3f box;
  box.SetNull();
  if (double(tolerances.planeTolerance) == 0.0)
    for (const VertexT5& v : mesh.vertices)
      if (IsLiveIncluded(v.flags)) box.Add(v.position);
  const double tolerance = CutTolerance(tolerances, box);
  // The points near the plane first, from the vertex array in order; then
  // the faces' edges between two of them, whose neighbours (anywhere in the
  // array) are read only there.
  std::vector<uint8_t> near(mesh.vertices.size(), 0);
  bool any = false;
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    const VertexT5& v = mesh.vertices[i];
    near[i] = IsLiveIncluded(v.flags) && std::fabs(SignedDistance(v.position, plane)) <= tolerance;
    any = any || near[i];
  }
  if (!any) return false;
  const FaceT5* const base = mesh.faces.data();
  const size_t total = mesh.faces.size();
  std::vector<VertexT5*> points;
  for (size_t i = 0; i < total; ++i) {
    PrefetchAhead(base, i, total);
    const FaceT5& f = base[i];
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      VertexT5 *a = f.v[z], *b = f.v[(z + 1) % 3];
      uint8_t &na = near[mesh.VertexIndex(a)], &nb = near[mesh.VertexIndex(b)];
      if (!na || !nb) continue;
      const FaceT5* n = f.adjFace[z];
      if (n != &f && n != nullptr && IsLive(n->flags)) continue;
      // 2: taken already.
      if (na == 1) points.push_back(a);
      if (nb == 1) points.push_back(b);
      na = nb = 2;
    }
  }
  return JoinAtOnePlace(mesh, plane, std::move(points), PlaceTolerance(tolerances, box));
}

namespace {

// The border edges on the plane of the loops that leave it, in runs from a
// point where such a loop comes onto the plane to one where it leaves it,
// joined end to start where one run ends at the place where another
// begins (within the place tolerance, see GroupByPlace): across a split
// seam the cut's loop is broken into pieces of the loops of the two sides,
// which meet there. Each chain of runs that comes back to its start is appended
// to the walks as a loop of the cut, and its index to chosen. whole[i]
// tells whether loop i lies on the plane as a whole.
void ChainRunsOnPlane(LoopWalks& walks, const std::vector<uint8_t>& whole, const Plane3f& plane,
                      double tolerance, double place, std::vector<size_t>& chosen) {
  struct Run {
    size_t loop, first, count;  // steps first .. first + count - 1 of the loop's walk, cyclic
    const VertexT5 *from, *to;
    uint32_t fromPlace = 0, toPlace = 0;
  };
  std::vector<Run> runs;
  std::vector<uint8_t> on;
  for (size_t i = 0; i + 1 < walks.first.size(); ++i) {
    if (whole[i]) continue;
    const std::span<const FacePos> w = walks.Of(i);
    const size_t n = w.size();
    on.assign(n, 0);
    size_t off = n;
    for (size_t k = 0; k < n; ++k) {
      on[k] = std::fabs(SignedDistance(w[k].v->position, plane)) <= tolerance;
      if (!on[k]) off = k;
    }
    if (off == n) continue;
    // Step k is the edge from the point of step k - 1 to its own; from a
    // point off the plane round to it again.
    bool open = false;
    for (size_t t = 1; t <= n; ++t) {
      const size_t k = (off + t) % n, before = (k + n - 1) % n;
      if (on[before] && on[k]) {
        if (!open) runs.push_back({i, k, 0, w[before].v, nullptr, 0, 0});
        open = true;
        ++runs.back().count;
        runs.back().to = w[k].v;
      } else {
        open = false;
      }
    }
  }
  if (runs.empty()) return;
  {
    std::vector<Vec3d> ends;
    ends.reserve(2 * runs.size());
    for (const Run& run : runs) {
      ends.push_back(Vec3d(run.from->position));
      ends.push_back(Vec3d(run.to->position));
    }
    const std::vector<uint32_t> at = GroupByPlace(ends, place);
    for (size_t r = 0; r < runs.size(); ++r)
      runs[r].fromPlace = at[2 * r], runs[r].toPlace = at[2 * r + 1];
  }
  std::vector<size_t> byStart(runs.size());
  for (size_t r = 0; r < runs.size(); ++r)
    byStart[r] = r;
  std::sort(byStart.begin(), byStart.end(),
            [&runs](size_t a, size_t b) { return runs[a].fromPlace < runs[b].fromPlace; });
  std::vector<uint8_t> used(runs.size(), 0);
  // An unused run from place v, or runs.size().
  auto from = [&](uint32_t v) {
    auto it = std::lower_bound(byStart.begin(), byStart.end(), v,
                               [&runs](size_t r, uint32_t p) { return runs[r].fromPlace < p; });
    for (; it != byStart.end() && runs[*it].fromPlace == v; ++it)
      if (!used[*it]) return *it;
    return runs.size();
  };
  std::vector<size_t> chain;
  std::vector<FacePos> steps;
  for (size_t r = 0; r < runs.size(); ++r) {
    if (used[r]) continue;
    used[r] = 1;
    chain.assign(1, r);
    // Each turn takes a run that was not used: bounded by their number.
    while (runs[chain.back()].toPlace != runs[r].fromPlace) {
      const size_t next = from(runs[chain.back()].toPlace);
      if (next == runs.size()) break;
      used[next] = 1;
      chain.push_back(next);
    }
    if (runs[chain.back()].toPlace != runs[r].fromPlace) continue;
    steps.clear();
    for (size_t c : chain) {
      const Run& run = runs[c];
      const std::span<const FacePos> w = walks.Of(run.loop);
      for (size_t k = 0; k < run.count; ++k)
        steps.push_back(w[(run.first + k) % w.size()]);
    }
    walks.steps.insert(walks.steps.end(), steps.begin(), steps.end());
    walks.first.push_back(walks.steps.size());
    chosen.push_back(walks.first.size() - 2);
  }
}

// The loops of the cut that the cap fills, after its points at one place
// were joined and the side faces that lie flat on them went: their walks,
// and the indices of those on the plane. Loops along a face of sheets (by
// index, when given) are left out. Where the loops' points near the plane
// each stand at a place of their own, they are set in apart; no point moves
// after that.
void FindLoopsOnPlane(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
                      LoopWalks& walks, std::vector<size_t>& chosen,
                      const std::vector<uint8_t>* sheets, PointsApart& apart) {
  std::vector<BorderLoop> loops;
  CollectLoops(mesh, loops, &walks);
  const double collapsed = double(tolerances.planeTolerance);
  BBox3f cut;
  cut.SetNull();
  if (double(tolerances.planeTolerance) == 0.0)
    for (const FacePos& p : walks.steps)
      cut.Add(p.v->position);
  const double onCut = CutTolerance(tolerances, cut);
  const double place = PlaceTolerance(tolerances, cut);
  auto collect = [&]() {
    loops.clear();
    CollectLoops(mesh, loops, &walks);
  };
  if (JoinLoopPointsAtOnePlace(mesh, walks, plane, onCut, place, apart)) {
    BuildFaceFaceAdjacency(mesh);
    collect();
  }
  std::vector<uint8_t> whole;
  auto choose = [&]() {
    chosen.clear();
    whole.assign(loops.size(), 0);
    for (size_t i = 0; i < loops.size(); ++i) {
      bool sheet = false;
      if (sheets != nullptr)
        for (const FacePos& p : walks.Of(i)) {
          const size_t f = mesh.FaceIndex(p.f);
          sheet = sheet || (f < sheets->size() && (*sheets)[f]);
        }
      // A sheet's loop is taken as lying on the plane whole, and not chosen,
      // so that no run of it is chained either.
      if (sheet) whole[i] = 1;
      else if (LoopOnPlane(walks, i, loops[i], plane, collapsed)) chosen.push_back(i), whole[i] = 1;
    }
    ChainRunsOnPlane(walks, whole, plane, onCut, place, chosen);
  };
  choose();
  // The loops chosen by their own size may run farther from the plane than
  // the points joined above: where one does, their points at one place are
  // joined too, with the points of any loop at one place with them. Where
  // a split seam runs off the cut, the loop on one side of it may be chosen
  // by its size and the loop on the other side, smaller, not: joined, the
  // two are one loop of the cut.
  bool farther = false;
  for (size_t i : chosen)
    for (const FacePos& p : walks.Of(i))
      farther = farther || !(std::fabs(SignedDistance(p.v->position, plane)) <= onCut);
  if (farther) {
    std::vector<uint8_t> onChosen(mesh.vertices.size(), 0);
    for (size_t i : chosen)
      for (const FacePos& p : walks.Of(i))
        onChosen[mesh.VertexIndex(p.v)] = 1;
    std::vector<VertexT5*> points;
    for (size_t i = 0; i < loops.size(); ++i)
      for (const FacePos& p : walks.Of(i))
        if (IsLiveIncluded(p.v->flags)) points.push_back(p.v);
    if (JoinAtOnePlace(mesh, plane, std::move(points), place, &onChosen)) {
      BuildFaceFaceAdjacency(mesh);
      collect();
      choose();
    }
  }
  if (RemoveSideFacesFlatOnTheCut(mesh, chosen, walks)) {
    collect();
    choose();
  }
}

// The chosen loops in the plane's frame.
std::vector<CapLoop> LoopsInPlane(const LoopWalks& walks, const std::vector<size_t>& chosen,
                                  const Plane3f& plane) {
  Plane3f unit = plane;
  Vec3f u, w;
  PlaneTangentFrame(unit, u, w, 0.0f, 1.0f, 0.0f);
  const Vec3d du(u), dw(w);
  std::vector<CapLoop> caps;
  for (size_t i : chosen) {
    CapLoop c;
    const std::span<const FacePos> walk = walks.Of(i);
    c.points.reserve(walk.size());
    c.corners.reserve(walk.size());
    c.edges.assign(walk.begin(), walk.end());
    for (size_t k = 0; k < walk.size(); ++k) {
      // The walk's faces and corners lie anywhere in the arrays.
      if (k + 8 < walk.size()) {
        PrefetchRecord(walk[k + 8].f);
        Prefetch(walk[k + 8].v);
      }
      const FacePos& p = walk[k];
      Vec3d q(p.v->position);
      c.points.push_back({q.Dot(du), q.Dot(dw)});
      c.corners.push_back(p.v);
      c.against += p.f->v[(p.z + 1) % 3] == p.v ? -1 : 1;
    }
    c.twiceArea = TwiceArea(c.points);
    c.lo = c.hi = c.points[0];
    for (const Point2d& q : c.points) {
      c.lo.x = std::min(c.lo.x, q.x), c.lo.y = std::min(c.lo.y, q.y);
      c.hi.x = std::max(c.hi.x, q.x), c.hi.y = std::max(c.hi.y, q.y);
    }
    caps.push_back(std::move(c));
  }
  return caps;
}


// A loop that is the three edges of one face lying flat on the cut (its
// corners within the cut's tolerance of the plane), and whose cap turns as
// the cut's does, is what the edge collapse leaves of a tip that stood just
// above the plane: under the face the kept part has no thickness, and the
// loop's cap would be the same face again, back to back with it. Such a
// face goes, with the corners that no other face uses, and its loop with
// it. A loop whose cap turns the other way is a hole: the cap around it
// leaves the face's place open, and the face closes it. caps[k] is the loop
// of walk chosen[k].
void RemoveTipsSquashedOnTheCut(MeshT5& mesh, const LoopWalks& walks,
                                const std::vector<size_t>& chosen, const Plane3f& plane,
                                const CutTolerances& tolerances, std::vector<CapLoop>& caps) {
  std::vector<uint8_t> gone(caps.size(), 0);
  std::vector<FaceT5*> faces;
  const int turn = CutTurn(caps);
  for (size_t k = 0; k < caps.size(); ++k) {
    const std::span<const FacePos> walk = walks.Of(chosen[k]);
    if (walk.size() != 3 || caps[k].CapArea() * turn < 0.0) continue;
    FaceT5* f = walk[0].f;
    bool lone = f->v[0] != f->v[1] && f->v[1] != f->v[2] && f->v[2] != f->v[0];
    for (int z = 0; z < 3; ++z)
      lone = lone && walk[size_t(z)].f == f && f->adjFace[z] == f;
    if (!lone) continue;
    BBox3f box;
    box.SetNull();
    for (const VertexT5* v : f->v)
      box.Add(v->position);
    const double tolerance = CutTolerance(tolerances, box);
    for (const VertexT5* v : f->v)
      lone = lone && std::fabs(SignedDistance(v->position, plane)) <= tolerance;
    if (!lone) continue;
    gone[k] = 1;
    faces.push_back(f);
  }
  if (faces.empty()) return;
  DeleteFacesAndLoneCorners(mesh, faces);
  std::vector<CapLoop> kept;
  for (size_t k = 0; k < caps.size(); ++k)
    if (!gone[k]) kept.push_back(std::move(caps[k]));
  caps = std::move(kept);
}

// The places of the loops' points (see GroupByPlace): each loop's places,
// and per place its point in the plane and its first vertex.
struct CutPlaces {
  std::vector<Point2d> at;
  std::vector<VertexT5*> vertex;
  std::vector<double> rounding;  // OwnRounding of the vertex
};

// Corners that were found apart with this tolerance, none of them met twice,
// are each a place of their own: they have not moved since, and of fewer
// points no two come nearer. Otherwise the places are grouped afresh.
// Points of different bodies (body, per loop) are never one place.
CutPlaces NumberPlaces(const MeshT5& mesh, std::vector<CapLoop>& caps, double tolerance,
                       PointsApart& apart, const std::vector<uint32_t>& body) {
  bool alone = tolerance > 0.0 && apart.tolerance == tolerance && !apart.alone.empty();
  size_t count = 0;
  for (const CapLoop& c : caps) {
    count += c.corners.size();
    if (alone)
      for (const VertexT5* v : c.corners) {
        // 2: met.
        uint8_t& a = apart.alone[mesh.VertexIndex(v)];
        alone = alone && a == 1;
        a = 2;
      }
  }
  std::vector<uint32_t> group(count);
  if (alone) {
    std::iota(group.begin(), group.end(), 0u);
  } else {
    std::vector<Vec3d> positions;
    for (const CapLoop& c : caps)
      for (const VertexT5* v : c.corners)
        positions.push_back(Vec3d(v->position));
    group = GroupByPlace(positions, tolerance);
  }
  std::vector<uint32_t> number(group.size(), UINT32_MAX), bodyAt(group.size(), 0);
  // Places of a group of points of a body other than its first point's.
  std::unordered_map<uint64_t, uint32_t> others;
  CutPlaces places;
  size_t i = 0;
  for (size_t l = 0; l < caps.size(); ++l) {
    CapLoop& c = caps[l];
    c.places.resize(c.corners.size());
    for (size_t k = 0; k < c.corners.size(); ++k, ++i) {
      if (number[group[i]] == UINT32_MAX) bodyAt[group[i]] = body[l];
      uint32_t& n = bodyAt[group[i]] == body[l]
                        ? number[group[i]]
                        : others.try_emplace(uint64_t(group[i]) << 32 | body[l], UINT32_MAX)
                              .first->second;
      if (n == UINT32_MAX) {
        n = uint32_t(places.at.size());
        places.at.push_back(c.points[k]);
        places.vertex.push_back(c.corners[k]);
        places.rounding.push_back(OwnRounding(Vec3d(c.corners[k]->position)));
      }
      c.places[k] = n;
    }
  }
  return places;
}

// Edges of the surface that join two points of the loops through its
// inside: a cap triangle on one would give it a third face. The plane edge
// collapse can leave such a chord across the cap's region, where it merges
// a point just off the plane into a loop point and the point had an edge to
// another loop point; or the whole kept part is thinner than the collapse's
// tolerance and lies flat on the plane, its own faces already spanning the
// loop.
class SurfaceChords {
 public:
  // Also reads what old holds of the faces.
  SurfaceChords(const MeshT5& mesh, const std::vector<CapLoop>& caps, OldFaces& old)
      : mesh_(mesh), n_(mesh.vertices.size()), onLoop_(size_t(n_), 0) {
    for (const CapLoop& c : caps)
      for (const VertexT5* v : c.corners)
        onLoop_[mesh.VertexIndex(v)] = 1;
    const FaceT5* const base = mesh.faces.data();
    const size_t total = mesh.faces.size();
    for (size_t i = 0; i < total; ++i) {
      PrefetchAhead(base, i, total);
      // Only a live face's links are followed.
      if (i + 16 < total && IsLive(base[i + 16].flags)) PrefetchLinksBack(base[i + 16]);
      const FaceT5& f = base[i];
      if (!IsLive(f.flags)) continue;
      for (int z = 0; z < 3; ++z) {
        const FaceT5* g = f.adjFace[z];
        if (g != &f && old.linksBack) {
          const int k = f.adjIndex[z];
          old.linksBack = g >= base && g < base + total && ValidCorner(k) && g->adjFace[k] == &f &&
                          g->adjIndex[k] == z;
        }
        if (onLoop_[mesh.VertexIndex(f.v[z])] && onLoop_[mesh.VertexIndex(f.v[(z + 1) % 3])]) {
          old.loopSides.push_back({uint32_t(i), uint32_t(z), uint32_t(mesh.VertexIndex(f.v[z])),
                                   uint32_t(mesh.VertexIndex(f.v[(z + 1) % 3]))});
          uses_.push_back(Key(f.v[z], f.v[(z + 1) % 3]));
          if (f.adjFace[z] == &f) continue;
          chords_.push_back(uses_.back());
          onLoop_[mesh.VertexIndex(f.v[z])] = onLoop_[mesh.VertexIndex(f.v[(z + 1) % 3])] = 2;
        }
      }
      if (SharesAllEdges(f)) old.sharesAllEdges = true;
    }
    std::sort(chords_.begin(), chords_.end());
  }

  bool Empty() const { return chords_.empty(); }

  // Whether a and b, both points of the loops, are the ends of a chord;
  // a null point (one the cap makes) is no loop's.
  bool Joins(const VertexT5* a, const VertexT5* b) const {
    return a != nullptr && b != nullptr && onLoop_[mesh_.VertexIndex(a)] == 2 &&
           onLoop_[mesh_.VertexIndex(b)] == 2 &&
           std::binary_search(chords_.begin(), chords_.end(), Key(a, b));
  }

  // Whether some side of the triangles (indices into corners) is a chord.
  template <class Index>
  bool AnyOn(const std::vector<Index>& triangles, const std::vector<VertexT5*>& corners) const {
    for (size_t t = 0; t + 2 < triangles.size() && !Empty(); t += 3)
      for (int k = 0; k < 3; ++k)
        if (Joins(corners[size_t(triangles[t + size_t(k)])],
                  corners[size_t(triangles[t + size_t(k + 1) % 3])]))
          return true;
    return false;
  }

  // Whether the triangles, added to the surface, leave no edge with more
  // than two faces and no triangle with a corner twice. Sides with a null
  // end (a point the cap makes) are new to the surface.
  template <class Index>
  bool KeepManifold(const std::vector<Index>& triangles, const std::vector<VertexT5*>& corners) {
    if (!usesSorted_) std::sort(uses_.begin(), uses_.end());
    usesSorted_ = true;
    std::vector<uint64_t> sides;
    for (size_t t = 0; t + 2 < triangles.size(); t += 3)
      for (size_t k = 0; k < 3; ++k) {
        const VertexT5 *a = corners[size_t(triangles[t + k])],
                       *b = corners[size_t(triangles[t + (k + 1) % 3])];
        if (a == nullptr || b == nullptr) continue;
        if (a == b) return false;
        sides.push_back(Key(a, b));
      }
    std::sort(sides.begin(), sides.end());
    for (size_t i = 0; i < sides.size();) {
      size_t j = i + 1;
      while (j < sides.size() && sides[j] == sides[i]) ++j;
      const auto [lo, hi] = std::equal_range(uses_.begin(), uses_.end(), sides[i]);
      if (j - i + size_t(hi - lo) > 2) return false;
      i = j;
    }
    return true;
  }

 private:
  uint64_t Key(const VertexT5* a, const VertexT5* b) const {
    const uint64_t i = mesh_.VertexIndex(a), j = mesh_.VertexIndex(b);
    return i < j ? i * n_ + j : j * n_ + i;
  }

  const MeshT5& mesh_;
  uint64_t n_;
  std::vector<uint8_t> onLoop_;  // 1 on a loop, 2 also at the end of a chord
  std::vector<uint64_t> chords_;
  std::vector<uint64_t> uses_;  // of every face's sides between loop points
  bool usesSorted_ = false;
};

// A border edge of a loop as the cap runs it, from place p to place q:
// edge z of face f.
struct CapSide {
  uint32_t p, q;
  FaceT5* f;
  int z;
};

// What the cap adds: triangles as place triples in the turn of the faces,
// the points it makes where loops cross (numbered on from the places), and
// the border edges on which it puts points of its own, so that the faces
// there are split at them.
struct CapPlan {
  std::vector<uint32_t> triangles;
  std::vector<ContourCrossing> crossings;
  struct Split {
    FaceT5* f;
    int z;
    std::vector<uint32_t> points;
  };
  std::vector<Split> splits;
};

// The ear clipping of a loop with its holes (loops[0] the loop, the others
// holes inside it): appends its triangles to plan, or returns false where
// it gives no complete cap that avoids the chords and keeps the surface
// manifold.
bool EarClipLoop(const std::vector<const CapLoop*>& loops, SurfaceChords& chords, CapPlan& plan) {
  std::vector<Point2d> points;
  std::vector<VertexT5*> corners;
  std::vector<uint32_t> places;
  std::vector<std::vector<Point2d>> polygon;
  for (const CapLoop* c : loops) {
    points.insert(points.end(), c->points.begin(), c->points.end());
    corners.insert(corners.end(), c->corners.begin(), c->corners.end());
    places.insert(places.end(), c->places.begin(), c->places.end());
    if (loops.size() > 1) polygon.push_back(c->points);
  }
  auto cut = [&](std::vector<int>& triangles, const RefusedDiagonal& refused) {
    triangles.clear();
    return (loops.size() == 1 ? TriangulatePolygon2D(points, triangles, refused)
                              : TriangulatePolygonWithHoles2D(polygon, triangles, refused)) == 1;
  };
  std::vector<int> triangles;
  if (!cut(triangles, {})) return false;
  if (chords.AnyOn(triangles, corners)) {
    const RefusedDiagonal onChord = [&](int a, int b) {
      return chords.Joins(corners[size_t(a)], corners[size_t(b)]);
    };
    std::vector<int> flipped = triangles;
    if (FlipRefusedDiagonals(points, flipped, onChord) && chords.KeepManifold(flipped, corners)) {
      triangles = std::move(flipped);
    } else if (!cut(triangles, onChord) || chords.AnyOn(triangles, corners) ||
               !chords.KeepManifold(triangles, corners)) {
      return false;
    }
  }
  // Counter-clockwise triangles, turned as the cap turns.
  const bool ccw = loops[0]->CapArea() > 0.0;
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    plan.triangles.push_back(places[size_t(triangles[t])]);
    plan.triangles.push_back(places[size_t(triangles[ccw ? t + 1 : t + 2])]);
    plan.triangles.push_back(places[size_t(triangles[ccw ? t + 2 : t + 1])]);
  }
  return true;
}

// The sides near each cell of a grid (see PlaneGrid::Along): those near
// cell c are in[start[c]] .. in[start[c + 1] - 1], in the order of their
// index. ends(s) gives the end points of side s.
struct SidesByCell {
  template <class Ends>
  SidesByCell(const PlaneGrid& grid, size_t count, Ends&& ends) : start(grid.Cells() + 1, 0) {
    std::vector<std::pair<uint32_t, uint32_t>> near;  // (cell, side)
    std::vector<int64_t> cells;
    for (uint32_t s = 0; s < count; ++s) {
      const auto [a, b] = ends(s);
      grid.Along(a, b, cells);
      for (int64_t c : cells) near.push_back({uint32_t(c), s});
    }
    for (const auto& [c, s] : near) ++start[size_t(c) + 1];
    for (size_t c = 0; c + 1 < start.size(); ++c) start[c + 1] += start[c];
    in.resize(near.size());
    std::vector<size_t> fill(start.begin(), start.end() - 1);
    for (const auto& [c, s] : near) in[fill[c]++] = s;
  }

  std::vector<size_t> start;
  std::vector<uint32_t> in;
};

// For each side, the points of ids that lie on it (within reach of it, and
// within the rounding of the point's own coordinates, strictly between its
// ends), found through a grid of the points.
std::vector<std::vector<uint32_t>> PointsOnSides(const std::vector<CapSide>& sides,
                                                 const std::vector<Point2d>& at,
                                                 const std::vector<double>& rounding,
                                                 const std::vector<uint32_t>& ids, double reach) {
  std::vector<std::vector<uint32_t>> on(sides.size());
  if (ids.empty()) return on;
  Point2d lo = at[ids[0]], hi = lo;
  for (uint32_t id : ids) {
    lo.x = std::min(lo.x, at[id].x), lo.y = std::min(lo.y, at[id].y);
    hi.x = std::max(hi.x, at[id].x), hi.y = std::max(hi.y, at[id].y);
  }
  const PlaneGrid grid(lo, hi, reach, ids.size());
  std::vector<std::vector<uint32_t>> in(grid.Cells());
  for (uint32_t id : ids)
    in[size_t(grid.Of(at[id]))].push_back(id);
  std::vector<int64_t> cells;
  for (size_t s = 0; s < sides.size(); ++s) {
    const Point2d a = at[sides[s].p], b = at[sides[s].q];
    const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    if (!(length > 0.0)) continue;
    grid.Along(a, b, cells);
    std::vector<std::pair<double, uint32_t>> found;
    for (int64_t c : cells)
      for (uint32_t id : in[size_t(c)]) {
        if (id == sides[s].p || id == sides[s].q) continue;
        const Point2d q = at[id];
        const double along = ((q.x - a.x) * dx + (q.y - a.y) * dy) / (length * length);
        const double off = std::fabs((q.x - a.x) * dy - (q.y - a.y) * dx) / length;
        if (along > 0.0 && along < 1.0 && off <= std::min(reach, rounding[id]))
          found.push_back({along, id});
      }
    std::sort(found.begin(), found.end());
    for (const auto& [t, id] : found) on[s].push_back(id);
  }
  return on;
}

// Whether two of the sides (each from its start to its end point) cross,
// each passing strictly between the other's ends, found through a grid of
// cells along them. Sides that share an end point are not asked.
bool AnySidesCross(const std::vector<std::pair<uint32_t, uint32_t>>& sides,
                   const std::vector<Point2d>& at) {
  if (sides.size() < 2) return false;
  Point2d lo = at[sides[0].first], hi = lo;
  for (const auto& [a, b] : sides)
    for (uint32_t id : {a, b}) {
      lo.x = std::min(lo.x, at[id].x), lo.y = std::min(lo.y, at[id].y);
      hi.x = std::max(hi.x, at[id].x), hi.y = std::max(hi.y, at[id].y);
    }
  const PlaneGrid grid(lo, hi, 0.0, sides.size());
  const SidesByCell near(grid, sides.size(), [&](uint32_t s) {
    return std::pair(at[sides[s].first], at[sides[s].second]);
  });
  auto turn = [](const Point2d& p, const Point2d& q, const Point2d& r) {
    const double d = (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    return d > 0.0 ? 1 : d < 0.0 ? -1 : 0;
  };
  for (size_t cell = 0; cell < grid.Cells(); ++cell) {
    const size_t i = near.start[cell], j = near.start[cell + 1];
    for (size_t u = i; u < j; ++u)
      for (size_t v = u + 1; v < j; ++v) {
        const auto [a, b] = sides[near.in[u]];
        const auto [c, d] = sides[near.in[v]];
        if (a == c || a == d || b == c || b == d) continue;
        // Touching (a point on the other side) is found by the caller.
        if (turn(at[a], at[b], at[c]) * turn(at[a], at[b], at[d]) < 0 &&
            turn(at[c], at[d], at[a]) * turn(at[c], at[d], at[b]) < 0)
          return true;
      }
  }
  return false;
}

// The nesting of loops that keep apart (see EarClipApartLoops): each loop's
// parent is the innermost loop around it (-1 for none), found by a ray from
// the loop's rightmost point to the right, through a grid of the sides: the
// first side it meets tells the parent.
// Where that side, taken as its loop runs counter-clockwise, runs upwards
// the ray leaves its loop there, which is the parent; where it runs
// downwards the ray enters a loop beside this one, whose parent is this
// one's too. That loop reaches further right: order lists the loops by
// their right ends, from the right. A vertex on the ray counts as below it
// (as though the ray ran a little above). False where two loops' sides
// meet the ray at about one place, or one about at its start.
bool NestByRays(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                std::vector<int>& parent, std::vector<size_t>& order) {
  const size_t k = group.size();
  std::vector<size_t> first(k + 1, 0);  // of each loop's sides
  Point2d lo = caps[group[0]].lo, hi = caps[group[0]].hi;
  for (size_t a = 0; a < k; ++a) {
    const CapLoop& c = caps[group[a]];
    first[a + 1] = first[a] + c.points.size();
    lo.x = std::min(lo.x, c.lo.x), lo.y = std::min(lo.y, c.lo.y);
    hi.x = std::max(hi.x, c.hi.x), hi.y = std::max(hi.y, c.hi.y);
  }
  const double close =
      1e-9 * std::max({hi.x - lo.x, hi.y - lo.y, std::fabs(lo.x), std::fabs(lo.y),
                       std::fabs(hi.x), std::fabs(hi.y)});
  const PlaneGrid grid(lo, hi, 0.0, first[k]);
  // Side s of loop a runs from point s - first[a] to the next.
  std::vector<uint32_t> loopOf(first[k]);
  for (size_t a = 0; a < k; ++a)
    for (size_t s = first[a]; s < first[a + 1]; ++s) loopOf[s] = uint32_t(a);
  const SidesByCell near(grid, first[k], [&](uint32_t s) {
    const std::vector<Point2d>& p = caps[group[loopOf[s]]].points;
    const size_t i = s - first[loopOf[s]];
    return std::pair(p[i], p[(i + 1) % p.size()]);
  });
  order.resize(k);
  for (size_t a = 0; a < k; ++a)
    order[a] = a;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    return caps[group[a]].hi.x > caps[group[b]].hi.x;
  });
  parent.assign(k, -1);
  struct Hit {
    double x, slope;  // where the side meets the ray, and its dx / dy
    uint32_t side;
  };
  std::vector<Hit> hits;
  for (size_t a : order) {
    const std::vector<Point2d>& p = caps[group[a]].points;
    Point2d m = p[0];
    for (const Point2d& q : p)
      if (q.x > m.x) m = q;
    hits.clear();
    double nearest = HUGE_VAL;
    const int64_t row = grid.Row(m.y), n = grid.Side();
    for (int64_t col = grid.Column(m.x); col < n; ++col) {
      if (col > 0 && nearest + close < grid.Left(col - 1)) break;
      const int64_t c = row * n + col;
      for (size_t e = near.start[size_t(c)]; e < near.start[size_t(c) + 1]; ++e) {
        const uint32_t s = near.in[e];
        const size_t b = loopOf[s];
        if (b == a) continue;
        const std::vector<Point2d>& q = caps[group[b]].points;
        const size_t i = s - first[b];
        const Point2d &u = q[i], &v = q[(i + 1) % q.size()];
        if ((u.y > m.y) == (v.y > m.y)) continue;
        const double x = u.y == m.y ? u.x : v.y == m.y ? v.x : u.x + (m.y - u.y) * (v.x - u.x) / (v.y - u.y);
        if (!(x > m.x - close)) continue;
        hits.push_back({x, (v.x - u.x) / (v.y - u.y), s});
        nearest = std::min(nearest, x);
      }
    }
    if (hits.empty()) continue;
    if (!(nearest > m.x + close)) return false;
    // The nearest: the first along a ray a little above this one.
    const Hit* best = nullptr;
    for (const Hit& h : hits)
      if (h.x == nearest && (best == nullptr || h.slope < best->slope)) best = &h;
    for (const Hit& h : hits) {
      // The other side at best's end on the ray, a little further on.
      const bool beyond =
          loopOf[h.side] == loopOf[best->side] && h.x == nearest && h.slope > best->slope;
      if (h.side != best->side && !beyond && h.x <= nearest + close) return false;
    }
    const size_t b = loopOf[best->side];
    const CapLoop& d = caps[group[b]];
    const std::vector<Point2d>& q = d.points;
    const size_t i = best->side - first[b];
    const bool upwards = (q[(i + 1) % q.size()].y > q[i].y) == (d.twiceArea > 0.0);
    if (upwards) {
      parent[a] = int(b);
    } else {
      if (!(d.hi.x > caps[group[a]].hi.x)) return false;
      parent[a] = parent[b];
    }
  }
  return true;
}

// The cap of a group of loops that keep apart from one another and from
// themselves (no place twice, no point on a side, no sides that meet but
// at their ends) by ear clipping: each loop that is not a hole, with the
// loops right inside it that turn the other way as its holes. A loop inside
// another that turns the same way is capped on its own (see
// TessellateGroup). Returns false, leaving plan as it was, where the loops
// do not keep apart, their nesting is not clear or a cap is not complete.
bool EarClipApartLoops(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                       const CutPlaces& places, double snap, SurfaceChords& chords, CapPlan& plan) {
  std::vector<uint32_t> ids;
  std::vector<CapSide> sides;
  std::vector<std::pair<uint32_t, uint32_t>> ends;
  for (size_t i : group) {
    const CapLoop& c = caps[i];
    if (c.places.size() < 3 || !(std::fabs(c.twiceArea) > 0.0)) return false;
    for (size_t k = 0; k < c.places.size(); ++k) {
      ids.push_back(c.places[k]);
      const uint32_t next = c.places[(k + 1) % c.places.size()];
      sides.push_back({c.places[k], next, nullptr, 0});
      ends.push_back({c.places[k], next});
    }
  }
  std::vector<uint32_t> sorted = ids;
  std::sort(sorted.begin(), sorted.end());
  if (std::adjacent_find(sorted.begin(), sorted.end()) != sorted.end()) return false;
  for (const std::vector<uint32_t>& on : PointsOnSides(sides, places.at, places.rounding, ids, snap))
    if (!on.empty()) return false;
  if (AnySidesCross(ends, places.at)) return false;
  // Each loop's place among the others: its parent the innermost loop
  // around it, parents before the loops inside them.
  const size_t k = group.size();
  std::vector<int> parent;
  std::vector<size_t> order;
  if (!NestByRays(caps, group, parent, order)) return false;
  // A loop right inside a hole is none.
  std::vector<uint8_t> hole(k, 0);
  for (size_t a : order)
    if (parent[a] >= 0 && !hole[size_t(parent[a])]) {
      const double turn = caps[group[a]].CapArea(),
                   around = caps[group[size_t(parent[a])]].CapArea();
      hole[a] = (turn > 0.0) != (around > 0.0);
    }
  // Each loop's holes in turn.
  std::vector<std::vector<size_t>> holes(k);
  for (size_t b = 0; b < k; ++b)
    if (hole[b]) holes[size_t(parent[b])].push_back(b);
  const size_t triangles0 = plan.triangles.size();
  for (size_t a = 0; a < k; ++a) {
    if (hole[a]) continue;
    std::vector<const CapLoop*> loops{&caps[group[a]]};
    for (size_t b : holes[a]) loops.push_back(&caps[group[b]]);
    if (!EarClipLoop(loops, chords, plan)) {
      plan.triangles.resize(triangles0);
      return false;
    }
  }
  return true;
}

// The cap of a group of loops at once: the regions that the loops' sides,
// run as the cap runs them, wind around the way the group's cap turns, cut
// into triangles wherever the loops touch, cross or run along one another.
// A point of a loop that lies on a side of another (within snap) is put
// into that side first, so that loops that touch or run along each other
// share their points. Then every piece of a side must come out as an edge
// on the cap's rim, or as a row of them through points where loops cross;
// or it is run back by a piece of another side, where two loops run along
// each other and the surface closes on itself. Every edge on the rim must
// be such a piece. Loops wholly inside the cap (a loop inside another that
// turns the same way, as an island on an open model) are capped again on
// their own after the others. Returns false, leaving plan as it was, where
// no such cap is found.
bool TessellateGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                     const CutPlaces& places, double snap, SurfaceChords& chords, CapPlan& plan) {
  const size_t triangles0 = plan.triangles.size(), crossings0 = plan.crossings.size(),
               splits0 = plan.splits.size();
  auto undo = [&]() {
    plan.triangles.resize(triangles0);
    plan.crossings.resize(crossings0);
    plan.splits.resize(splits0);
    return false;
  };
  const uint32_t placeTotal = uint32_t(places.at.size());
  auto key = [](uint32_t a, uint32_t b) { return uint64_t(a) << 32 | b; };
  // Each border edge once, as the cap runs it: against the way its face
  // runs it, so that the sides' winding is the cap's.
  std::vector<CapSide> all;
  std::vector<size_t> loopOfSide;
  {
    // Border edges that come twice (a loop of one edge's sides) count once:
    // the first time.
    std::vector<std::pair<uint64_t, size_t>> edges;
    for (size_t i : group)
      for (const FacePos& e : caps[i].edges)
        edges.push_back({uint64_t(reinterpret_cast<uintptr_t>(e.f)) * 4 + uint64_t(e.z), edges.size()});
    std::sort(edges.begin(), edges.end());
    std::vector<uint8_t> again(edges.size(), 0);
    for (size_t k = 1; k < edges.size(); ++k)
      if (edges[k].first == edges[k - 1].first) again[edges[k].second] = 1;
    size_t walked = 0;
    for (size_t i : group) {
      const CapLoop& c = caps[i];
      const size_t n = c.places.size();
      for (size_t k = 0; k < n; ++k) {
        const FacePos& e = c.edges[k];
        if (again[walked++]) continue;
        const uint32_t here = c.places[k], before = c.places[(k + n - 1) % n];
        const bool faceAlongWalk = e.f->v[(e.z + 1) % 3] == c.corners[k];
        const uint32_t from = faceAlongWalk ? here : before, to = faceAlongWalk ? before : here;
        if (from == to) continue;
        all.push_back({from, to, e.f, e.z});
        loopOfSide.push_back(i);
      }
    }
  }
  // The sides chained into cycles at their places, keeping to one loop
  // where they can.
  std::vector<std::vector<size_t>> cycles;
  {
    // The sides by the place they start at.
    std::vector<std::pair<uint32_t, size_t>> out;
    for (size_t s = 0; s < all.size(); ++s) out.push_back({all[s].p, s});
    std::sort(out.begin(), out.end());
    std::vector<uint8_t> used(all.size(), 0);
    for (size_t s0 = 0; s0 < all.size(); ++s0) {
      if (used[s0]) continue;
      std::vector<size_t> cycle;
      size_t s = s0;
      for (size_t step = 0; step < all.size(); ++step) {
        used[s] = 1;
        cycle.push_back(s);
        if (all[s].q == all[s0].p) break;
        // The first side unused from there, or the last of the same loop.
        size_t pick = SIZE_MAX;
        for (auto j = std::lower_bound(out.begin(), out.end(), std::pair(all[s].q, size_t(0)));
             j != out.end() && j->first == all[s].q; ++j) {
          if (used[j->second]) continue;
          if (pick == SIZE_MAX || loopOfSide[j->second] == loopOfSide[s0]) pick = j->second;
        }
        if (pick == SIZE_MAX) return undo();  // the sides do not close
        s = pick;
      }
      if (all[cycle.back()].q != all[s0].p) return undo();
      cycles.push_back(std::move(cycle));
    }
  }
  std::vector<size_t> pending(cycles.size());
  for (size_t i = 0; i < pending.size(); ++i)
    pending[i] = i;
  // Each turn caps at least one loop or gives up: bounded by the loops.
  while (!pending.empty()) {
    std::vector<size_t> current = std::move(pending), later;
    pending.clear();
    bool capped = false;
    // The regions wound the way the loops turn as a whole come first; the
    // others are asked for only where those do not account for every side:
    // on a clean solid there are none.
    double twiceArea = 0.0;
    for (size_t g : current)
      for (size_t s : cycles[g]) {
        const Point2d a = places.at[all[s].p], b = places.at[all[s].q];
        twiceArea += a.x * b.y - a.y * b.x;
      }
    const int first = twiceArea < 0.0 ? -1 : 1;
    bool bothWays = false;
    auto again = [&]() {
      const bool retry = !bothWays;
      bothWays = true;
      return retry;
    };
    while (!capped) {
      std::vector<CapSide> sides;
      std::vector<size_t> loopOf;  // of each side, into current
      std::vector<uint32_t> ids;
      for (size_t g = 0; g < current.size(); ++g) {
        for (size_t s : cycles[current[g]]) {
          sides.push_back(all[s]);
          loopOf.push_back(g);
          ids.push_back(all[s].p);
        }
      }
      std::sort(ids.begin(), ids.end());
      ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
      // The group's places numbered from 0 on their own: a cut has many
      // groups, and none may cost as much as all the cut's places.
      const uint32_t placeCount = uint32_t(ids.size());
      std::vector<Point2d> groupAt;
      std::vector<VertexT5*> groupVertex;
      std::vector<double> groupRounding;
      for (uint32_t id : ids) {
        groupAt.push_back(places.at[id]);
        groupRounding.push_back(places.rounding[id]);
        groupVertex.push_back(places.vertex[id]);
      }
      for (CapSide& side : sides) {
        side.p = uint32_t(std::lower_bound(ids.begin(), ids.end(), side.p) - ids.begin());
        side.q = uint32_t(std::lower_bound(ids.begin(), ids.end(), side.q) - ids.begin());
      }
      std::vector<uint32_t> numbers(placeCount);
      for (uint32_t i = 0; i < placeCount; ++i) numbers[i] = i;
      const std::vector<std::vector<uint32_t>> on = PointsOnSides(sides, groupAt, groupRounding, numbers, snap);
      std::vector<std::vector<uint32_t>> contours(current.size());
      for (size_t s = 0; s < sides.size(); ++s) {
        contours[loopOf[s]].push_back(sides[s].p);
        contours[loopOf[s]].insert(contours[loopOf[s]].end(), on[s].begin(), on[s].end());
      }
      // The regions the sides wind around positively are covered by faces
      // turning counter-clockwise, those they wind around negatively by
      // faces turning clockwise: where loops of a model that is not a clean
      // solid cross, both are met.
      std::vector<uint32_t> tris;
      std::vector<ContourCrossing> made;
      std::vector<Point2d> at = groupAt;
      for (int turn : {first, -first}) {
        if (turn != first && !bothWays) break;
        std::vector<uint32_t> local;
        std::vector<ContourCrossing> crossings;
        if (!TessellateByWinding(groupAt, contours, turn, snap, local, crossings)) return undo();
        // This pass's crossings follow the other's.
        const uint32_t shift = uint32_t(made.size());
        auto own = [&](uint32_t id) { return id < placeCount ? id : id + shift; };
        for (ContourCrossing c : crossings) {
          Point2d q;
          double total = 0.0;
          for (int k = 0; k < 4; ++k) {
            c.from[k] = own(c.from[k]);
            q.x += c.weight[k] * at[c.from[k]].x;
            q.y += c.weight[k] * at[c.from[k]].y;
            total += c.weight[k];
          }
          if (total > 0.0) q.x /= total, q.y /= total;
          at.push_back(q);
          made.push_back(c);
        }
        std::vector<uint32_t> pass;
        for (size_t t = 0; t + 2 < local.size(); t += 3)
          pass.insert(pass.end(), {own(local[t]), own(local[t + 1]), own(local[t + 2])});
        std::vector<VertexT5*> corners = groupVertex;
        corners.resize(at.size(), nullptr);
        if (chords.AnyOn(pass, corners)) {
          const RefusedDiagonal onChord = [&](int a, int b) {
            return chords.Joins(corners[size_t(a)], corners[size_t(b)]);
          };
          std::vector<int> ccw;
          for (size_t t = 0; t + 2 < pass.size(); t += 3)
            ccw.insert(ccw.end(), {int(pass[t]), int(pass[turn > 0 ? t + 1 : t + 2]),
                                   int(pass[turn > 0 ? t + 2 : t + 1])});
          if (!FlipRefusedDiagonals(at, ccw, onChord)) return undo();
          for (size_t t = 0; t + 2 < ccw.size(); t += 3) {
            pass[t] = uint32_t(ccw[t]);
            pass[t + 1] = uint32_t(ccw[turn > 0 ? t + 1 : t + 2]);
            pass[t + 2] = uint32_t(ccw[turn > 0 ? t + 2 : t + 1]);
          }
        }
        tris.insert(tris.end(), pass.begin(), pass.end());
      }
      // Each crossing once (both passes make those on the line between
      // their regions), and none at one place with another.
      {
        std::vector<Vec3d> points;
        for (size_t k = placeCount; k < at.size(); ++k) points.push_back(Vec3d(at[k].x, at[k].y, 0.0));
        const std::vector<uint32_t> same = GroupByPlace(points, snap);
        std::vector<uint32_t> number(points.size());
        std::vector<ContourCrossing> kept;
        std::vector<Point2d> keptAt(groupAt);
        for (size_t k = 0; k < points.size(); ++k) {
          if (same[k] != k) {
            number[k] = number[same[k]];
            continue;
          }
          number[k] = placeCount + uint32_t(kept.size());
          kept.push_back(made[k]);
          keptAt.push_back(at[placeCount + k]);
        }
        auto renumber = [&](uint32_t id) { return id < placeCount ? id : number[id - placeCount]; };
        for (ContourCrossing& c : kept)
          for (uint32_t& from : c.from) from = renumber(from);
        for (uint32_t& id : tris) id = renumber(id);
        made = std::move(kept);
        at = std::move(keptAt);
      }
      {
        std::vector<uint32_t> proper;
        for (size_t t = 0; t + 2 < tris.size(); t += 3)
          if (tris[t] != tris[t + 1] && tris[t + 1] != tris[t + 2] && tris[t + 2] != tris[t])
            proper.insert(proper.end(), {tris[t], tris[t + 1], tris[t + 2]});
        tris = std::move(proper);
      }
      // Ids of this turn's crossings follow those of earlier groups and
      // turns.
      const uint32_t offset = placeTotal + uint32_t(plan.crossings.size());
      auto global = [&](uint32_t id) { return id < placeCount ? ids[id] : id - placeCount + offset; };
      std::vector<VertexT5*> corners = groupVertex;
      corners.resize(at.size(), nullptr);
      // The cap's rim: its directed edges that no other of its triangles
      // runs back, as often as they are left over.
      std::vector<uint64_t> uses;
      for (size_t t = 0; t + 2 < tris.size(); t += 3)
        for (size_t k = 0; k < 3; ++k) uses.push_back(key(tris[t + k], tris[t + (k + 1) % 3]));
      std::sort(uses.begin(), uses.end());
      // By the place they start at, each with whether a row has taken it.
      std::vector<std::pair<uint32_t, uint32_t>> rimEdges;
      for (size_t i = 0; i < uses.size();) {
        size_t j = i + 1;
        while (j < uses.size() && uses[j] == uses[i]) ++j;
        const uint64_t e = uses[i];
        const auto [lo, hi] =
            std::equal_range(uses.begin(), uses.end(), key(uint32_t(e), uint32_t(e >> 32)));
        for (int64_t k = int64_t(j - i) - int64_t(hi - lo); k > 0; --k)
          rimEdges.push_back({uint32_t(e >> 32), uint32_t(e)});
        i = j;
      }
      std::vector<uint8_t> taken(rimEdges.size(), 0);
      size_t rim = rimEdges.size();
      auto rimFrom = [&](uint32_t a) {
        return size_t(std::lower_bound(rimEdges.begin(), rimEdges.end(), std::pair(a, 0u)) -
                      rimEdges.begin());
      };
      auto take = [&](uint32_t a, uint32_t b) {
        for (size_t i = rimFrom(a); i < rimEdges.size() && rimEdges[i].first == a; ++i)
          if (!taken[i] && rimEdges[i].second == b) {
            taken[i] = 1;
            --rim;
            return true;
          }
        return false;
      };
      // The rim's row of edges from a to b through crossings on the piece.
      auto row = [&](uint32_t from, uint32_t to, std::vector<uint32_t>& through) {
        const Point2d a = at[from], b = at[to];
        const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
        if (!(length2 > 0.0)) return false;
        const double reach = std::max(snap, 1e-9 * std::sqrt(length2));
        const size_t start = through.size();
        std::vector<size_t> onTheWay;
        uint32_t cur = from;
        double along = 0.0;
        for (size_t step = 0; step <= made.size(); ++step) {
          if (take(cur, to)) return true;
          bool moved = false;
          for (size_t i = rimFrom(cur); i < rimEdges.size() && rimEdges[i].first == cur; ++i) {
            const uint32_t next = rimEdges[i].second;
            if (taken[i] || next < placeCount) continue;
            const Point2d x = at[next];
            const double t = ((x.x - a.x) * dx + (x.y - a.y) * dy) / length2;
            const double off = std::fabs((x.x - a.x) * dy - (x.y - a.y) * dx) / std::sqrt(length2);
            if (t > along && t < 1.0 && off <= reach) {
              taken[i] = 1;
              --rim;
              onTheWay.push_back(i);
              through.push_back(next);
              cur = next;
              along = t;
              moved = true;
              break;
            }
          }
          if (!moved) break;
        }
        // Not found: the rim's edges taken on the way go back.
        for (size_t i : onTheWay) {
          taken[i] = 0;
          ++rim;
        }
        through.resize(start);
        return false;
      };
      // Pieces run back by another piece: the surface closes on itself.
      struct Piece {
        uint32_t a, b;
        size_t side;
        bool done = false;
      };
      std::vector<Piece> pieces;
      for (size_t s = 0; s < sides.size(); ++s) {
        uint32_t from = sides[s].p;
        for (uint32_t x : on[s]) {
          pieces.push_back({from, x, s});
          from = x;
        }
        pieces.push_back({from, sides[s].q, s});
      }
      {
        // Each piece meets the last one left open that runs it back: the
        // open pieces of each kind as a stack, linked through below.
        std::vector<uint64_t> kinds;
        for (const Piece& piece : pieces) kinds.push_back(key(piece.a, piece.b));
        std::sort(kinds.begin(), kinds.end());
        kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
        auto kind = [&](uint64_t k) {
          const auto it = std::lower_bound(kinds.begin(), kinds.end(), k);
          return it != kinds.end() && *it == k ? size_t(it - kinds.begin()) : SIZE_MAX;
        };
        std::vector<size_t> top(kinds.size(), SIZE_MAX), below(pieces.size(), SIZE_MAX);
        for (size_t i = 0; i < pieces.size(); ++i) {
          const size_t back = kind(key(pieces[i].b, pieces[i].a));
          if (back != SIZE_MAX && top[back] != SIZE_MAX) {
            const size_t j = top[back];
            top[back] = below[j];
            pieces[j].done = pieces[i].done = true;
          } else {
            const size_t own = kind(key(pieces[i].a, pieces[i].b));
            below[i] = top[own];
            top[own] = i;
          }
        }
      }
      std::vector<uint8_t> onRim(current.size(), 0), offRim(current.size(), 0);
      std::vector<std::vector<uint32_t>> through(sides.size());
      for (Piece& piece : pieces) {
        if (piece.done) continue;
        const size_t g = loopOf[piece.side];
        if (row(piece.a, piece.b, through[piece.side]))
          onRim[g] = 1;
        else
          offRim[g] = 1;
      }
      std::vector<size_t> whole, inside;
      for (size_t g = 0; g < current.size(); ++g) {
        if (onRim[g] && offRim[g]) {
          if (again()) break;
          return undo();
        }
        (offRim[g] ? inside : whole).push_back(current[g]);
      }
      if (whole.size() + inside.size() != current.size()) continue;  // asked again
      if (!inside.empty() && again()) continue;
      if (!inside.empty()) {
        // Cap the others without them first.
        if (whole.empty()) return undo();
        later.insert(later.end(), inside.begin(), inside.end());
        current = std::move(whole);
        continue;
      }
      if (rim != 0 && again()) continue;
      if (rim != 0 || !chords.KeepManifold(tris, corners)) return undo();
      // A face split at a point gets an edge from it to the face's third
      // corner: two faces that would get the same such edge (both edges
      // crossing at the point belong to faces with one corner in common, a
      // surface that crosses itself) would give it four faces.
      {
        std::vector<std::pair<uint32_t, const VertexT5*>> spokes;
        for (size_t s = 0; s < sides.size(); ++s) {
          const VertexT5* far = sides[s].f->v[(sides[s].z + 2) % 3];
          for (uint32_t id : on[s]) spokes.push_back({id, far});
          for (uint32_t id : through[s]) spokes.push_back({id, far});
        }
        std::sort(spokes.begin(), spokes.end());
        if (std::adjacent_find(spokes.begin(), spokes.end()) != spokes.end()) return undo();
      }
      for (uint32_t id : tris) plan.triangles.push_back(global(id));
      for (ContourCrossing c : made) {
        for (uint32_t& from : c.from) from = global(from);
        plan.crossings.push_back(c);
      }
      for (size_t s = 0; s < sides.size(); ++s) {
        if (on[s].empty() && through[s].empty()) continue;
        CapPlan::Split split{sides[s].f, sides[s].z, on[s]};
        for (uint32_t id : through[s]) split.points.push_back(global(id));
        plan.splits.push_back(std::move(split));
      }
      capped = true;
    }
    pending = std::move(later);
  }
  return true;
}

// Groups of up to this many loops with no complete cover are nested by
// pairs; beyond, each of their loops is capped on its own.
constexpr size_t kNestedFallback = 64;

// The parent of each loop of the group (into group, -1 for none), the
// innermost loop around it (InsideLoop), found by pairs.
std::vector<int> NestByVotes(const std::vector<CapLoop>& caps, const std::vector<size_t>& group) {
  const size_t k = group.size();
  std::vector<int> parent(k, -1);
  std::vector<double> around(k, HUGE_VAL);
  for (size_t a = 0; a < k && k <= kNestedFallback; ++a) {
    const CapLoop& c = caps[group[a]];
    for (size_t b = 0; b < k; ++b) {
      const CapLoop& d = caps[group[b]];
      const double area = std::fabs(d.twiceArea);
      if (b == a || !(area > std::fabs(c.twiceArea)) || !(area < around[a])) continue;
      if (InsideLoop(c, d)) parent[a] = int(b), around[a] = area;
    }
  }
  return parent;
}

// The cap of a group that no cover closed as a whole: each loop that is no
// hole (a loop right inside one, turning the other way) by ear clipping
// with its holes; where that gives no complete cap, the loop and each of
// its holes on their own. Only a loop that no cap closes stays open.
void EarClipLoopsOfAGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                          SurfaceChords& chords, CapPlan& plan) {
  const std::vector<int> parent = NestByVotes(caps, group);
  std::vector<std::vector<const CapLoop*>> holes(group.size());
  std::vector<uint8_t> hole(group.size(), 0);
  for (size_t a = 0; a < group.size(); ++a) {
    const int p = parent[a];
    hole[a] = p >= 0 && parent[size_t(p)] < 0 &&
              (caps[group[a]].CapArea() > 0.0) != (caps[group[size_t(p)]].CapArea() > 0.0);
    if (hole[a]) holes[size_t(p)].push_back(&caps[group[a]]);
  }
  for (size_t a = 0; a < group.size(); ++a) {
    if (hole[a]) continue;
    std::vector<const CapLoop*> loops{&caps[group[a]]};
    loops.insert(loops.end(), holes[a].begin(), holes[a].end());
    if (EarClipLoop(loops, chords, plan)) continue;
    for (const CapLoop* loop : loops) EarClipLoop({loop}, chords, plan);
  }
}

// The cap of the loops, group by group (OverlappingGroups): a loop that no
// other comes near, and loops that keep apart, by ear clipping; loops that
// touch, cross or run along one another by their winding
// (TessellateGroup). A group that none of these closes is ear clipped loop
// by loop (EarClipLoopsOfAGroup): no other group is opened by it.
CapPlan PlanCap(const std::vector<CapLoop>& caps, const std::vector<uint32_t>& body,
                const CutPlaces& places, double apart, double snap, SurfaceChords& chords) {
  CapPlan plan;
  for (const std::vector<size_t>& group : OverlappingGroups(caps, body, apart, snap)) {
    if (group.size() == 1 && EarClipLoop({&caps[group[0]]}, chords, plan)) continue;
    if (group.size() > 1 && EarClipApartLoops(caps, group, places, snap, chords, plan)) continue;
    if (TessellateGroup(caps, group, places, snap, chords, plan)) continue;
    if (group.size() > 1) EarClipLoopsOfAGroup(caps, group, chords, plan);
  }
  return plan;
}

// Makes the points where the cap's loops cross (each the weighted sum of
// the points it is made from), splits the faces whose border edges the cap
// runs through points of its own at those points, and returns the corners
// of the cap's faces, three a face, in their turn. surfaceChanged tells
// whether any point or face was made.
std::vector<VertexT5*> MakeCapCorners(MeshT5& mesh, const CapPlan& plan, const CutPlaces& places,
                                      bool& surfaceChanged) {
  const size_t placeCount = places.vertex.size();
  std::vector<size_t> index(placeCount);
  for (size_t i = 0; i < placeCount; ++i)
    index[i] = mesh.VertexIndex(places.vertex[i]);
  std::vector<size_t> splitFace;
  for (const CapPlan::Split& split : plan.splits)
    splitFace.push_back(mesh.FaceIndex(split.f));
  surfaceChanged = !plan.crossings.empty() || !plan.splits.empty();
  if (!plan.crossings.empty()) {
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
  auto vertex = [&](uint32_t id) { return &mesh.vertices[index[id]]; };
  // Each split face's edge runs from corner z to corner z + 1; the faces
  // made from a face split before are searched for the edge too.
  std::vector<std::pair<size_t, size_t>> madeFrom;  // (face, made from)
  for (size_t s = 0; s < plan.splits.size(); ++s) {
    const CapPlan::Split& split = plan.splits[s];
    size_t fi = splitFace[s];
    const FaceT5& original = mesh.faces[fi];
    const VertexT5 *a0 = original.v[split.z], *b0 = original.v[(split.z + 1) % 3];
    int z = -1;
    auto edgeIn = [&](size_t i) {
      const FaceT5& f = mesh.faces[i];
      for (int k = 0; k < 3; ++k)
        if (f.v[k] == a0 && f.v[(k + 1) % 3] == b0) return k;
      return -1;
    };
    z = edgeIn(fi);
    for (size_t m = 0; m < madeFrom.size() && z < 0; ++m)
      if (madeFrom[m].second == splitFace[s] && (z = edgeIn(madeFrom[m].first)) >= 0)
        fi = madeFrom[m].first;
    if (z < 0) continue;
    const Vec3d a(a0->position), b(b0->position);
    const Vec3d ab = b - a;
    const double length2 = ab.Dot(ab);
    std::vector<std::pair<double, VertexT5*>> points;
    for (uint32_t id : split.points) {
      VertexT5* x = vertex(id);
      points.push_back({length2 > 0.0 ? (Vec3d(x->position) - a).Dot(ab) / length2 : 0.0, x});
    }
    std::sort(points.begin(), points.end(),
              [](const auto& p, const auto& q) { return p.first < q.first; });
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
      g.v[z] = points[k].second;
      g.wedge[z] = wedgeAt(points[k].first);
      if (k + 1 < points.size()) {
        g.v[(z + 1) % 3] = points[k + 1].second;
        g.wedge[(z + 1) % 3] = wedgeAt(points[k + 1].first);
      }
      madeFrom.push_back({firstMade + k, splitFace[s]});
    }
    f.v[(z + 1) % 3] = points[0].second;
    f.wedge[(z + 1) % 3] = wedgeAt(points[0].first);
  }
  std::vector<VertexT5*> corners;
  corners.reserve(plan.triangles.size());
  for (uint32_t id : plan.triangles)
    corners.push_back(vertex(id));
  return corners;
}

// Adds the cap's faces, green and selected; returns the index of the first.
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

// Links the cap's faces to the surface (their corners are the loops'
// points, joined where they stood at one place before the loops were
// found), takes away duplicate faces and faces hanging on non-manifold
// edges, and sets the border bits; returns whether it set them. When every
// live face links both ways with its neighbours it leaves them to the pass
// over the faces that follows, which reads them from each face's own links.
bool JoinCapToSurface(MeshT5& mesh, size_t first, const OldFaces& old, bool surfaceChanged) {
  // The added faces have no adjacency yet: it is made whole before the
  // duplicate search reads it, by linking the added faces where that gives
  // what a build over the whole mesh would (not where faces of the surface
  // were split).
  bool maybeDuplicates = true;
  if (surfaceChanged || !LinkAddedFaces(mesh, first, old, maybeDuplicates)) {
    BuildFaceFaceAdjacency(mesh);
    maybeDuplicates = true;
  }
  // Without rings and without a pair of faces on the same three edges both
  // searches below would find nothing.
  if (maybeDuplicates) {
    const int32_t beforeDuplicates = mesh.faceCount;
    RemoveDuplicateFaces(mesh);
    // Built again from the same faces the adjacency would come out the same.
    if (mesh.faceCount != beforeDuplicates) BuildFaceFaceAdjacency(mesh);
    RemoveFacesOnNonManifoldEdges(mesh);
    FaceBorderFromFF(mesh);
  }
  return maybeDuplicates;
}

// Flips the edges between faces that lie within a degree of one plane and
// selects the vertices of the selected faces, the cap's. Unless
// bordersSet, first sets each live face's border bits from its own links.
void FlipCoplanarEdgesAndSelectCap(MeshT5& mesh, bool bordersSet) {
  // The flipper's pass over the faces also sets the border bits and the
  // unit normals, and lists the selected faces: a flip changes no face's
  // deleted or selected bit.
  std::vector<FaceT5*> selected;
  CoplanarEdgeFlipper flipper(mesh, kOneDegree, false, [&](FaceT5& f) {
    if (!bordersSet)
      for (int z = 0; z < 3; ++z)
        f.flags = f.adjFace[z] == &f ? f.flags | ElemFlag::Border(z)
                                     : f.flags & ~ElemFlag::Border(z);
    ComputeFaceNormal(f, true);
    if (f.flags & ElemFlag::Selected) selected.push_back(&f);
  });
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

}  // namespace

void CapCut(MeshT5& mesh, const Plane3f& plane) {
  CapCut(mesh, plane, MeasureCutTolerances(mesh));
}

void CapCut(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
            bool adjacencyCurrent, const std::vector<uint8_t>* sheets) {
  if (!adjacencyCurrent) BuildFaceFaceAdjacency(mesh);
  LoopWalks walks;
  std::vector<size_t> chosen;
  PointsApart apart;
  FindLoopsOnPlane(mesh, plane, tolerances, walks, chosen, sheets, apart);
  std::vector<CapLoop> caps = LoopsInPlane(walks, chosen, plane);
  RemoveTipsSquashedOnTheCut(mesh, walks, chosen, plane, tolerances, caps);
  BBox3f cut;
  cut.SetNull();
  for (const CapLoop& c : caps)
    for (const VertexT5* v : c.corners)
      cut.Add(v->position);
  const double place = PlaceTolerance(tolerances, cut);
  std::vector<uint32_t> body = BodiesOfLoops(mesh, caps);
  const CutPlaces places = NumberPlaces(mesh, caps, place, apart, body);
  SplitAtPinches(caps, body, places.at.size());
  OldFaces old;
  SurfaceChords chords(mesh, caps, old);
  const CapPlan plan = PlanCap(caps, body, places, CutTolerance(tolerances, cut), place, chords);
  bool surfaceChanged = false;
  const std::vector<VertexT5*> corners = MakeCapCorners(mesh, plan, places, surfaceChanged);
  const size_t first = AddCapFaces(mesh, corners);
  const bool bordersSet = JoinCapToSurface(mesh, first, old, surfaceChanged);
  FlipCoplanarEdgesAndSelectCap(mesh, bordersSet);
}

}  // namespace quarnel

