#include "core/cap.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cstdio>
#include <cstdlib>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "core/border_loops.h"
#include "core/clean.h"
#include "core/curvature_flip.h"
#include "core/incremental_adjacency.h"
#include "core/normals.h"
#include "core/polygon_triangulation.h"
#include "core/places.h"
#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// The cap flips the edges between faces whose normals are at most this far
// apart (one degree, in radians).
constexpr float kOneDegree = 0.017453292f;

// One loop of the cut in the plane's frame.
struct CapLoop {
  std::vector<Point2d> points;  // in walk order
  std::vector<VertexT5*> corners;
  double twiceArea = 0.0;  // signed, of the points in walk order
  // Border edges whose face runs them against the walk, less those whose
  // face runs them along it.
  int64_t against = 0;
  Point2d lo, hi;   // box of the points
  int depth = 0;    // loops around this one
  int parent = -1;  // the nearest of them
  bool hole = false;  // capped together with its parent
};

// Whether loop a lies inside loop b, of the same cut: the two do not cross,
// but a may touch b, and a point of a may lie on an edge of b within
// rounding, as where a hole touches its outer loop. a's points vote, the
// first few that lie clearly inside or outside b decide; on a tie, the
// middle of a's largest triangle, well inside a, does.
bool InsideLoop(const CapLoop& a, const CapLoop& b) {
  const double pad = 1e-9 * (std::fabs(b.hi.x - b.lo.x) + std::fabs(b.hi.y - b.lo.y));
  if (a.lo.x < b.lo.x - pad || a.lo.y < b.lo.y - pad || a.hi.x > b.hi.x + pad ||
      a.hi.y > b.hi.y + pad)
    return false;
  constexpr int kLead = 3;
  int in = 0, out = 0;
  for (size_t k = 0; k < a.points.size() && std::abs(in - out) < kLead; ++k) {
    const int c = LoopContains(b.points, a.points[k]);
    in += c == 1;
    out += c == 0;
  }
  if (in != out) return in > out;
  std::vector<int> triangles;
  TriangulatePolygon2D(a.points, triangles);
  double largest = 0.0;
  Point2d middle;
  for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
    const Point2d &p = a.points[size_t(triangles[t])], &q = a.points[size_t(triangles[t + 1])],
                  &r = a.points[size_t(triangles[t + 2])];
    const double twice = (q.x - p.x) * (r.y - p.y) - (q.y - p.y) * (r.x - p.x);
    if (twice > largest) {
      largest = twice;
      middle = {(p.x + q.x + r.x) / 3.0, (p.y + q.y + r.y) / 3.0};
    }
  }
  return largest > 0.0 && LoopContains(b.points, middle) == 1;
}

// Sets each loop's depth (the number of loops around it) and parent (the
// deepest of them).
void NestLoops(std::vector<CapLoop>& caps) {
  std::vector<std::pair<size_t, size_t>> inside;  // (inner, outer)
  for (size_t i = 0; i < caps.size(); ++i) {
    const CapLoop& a = caps[i];
    if (!(std::fabs(a.twiceArea) > 0.0)) continue;
    for (size_t j = 0; j < caps.size(); ++j) {
      const CapLoop& b = caps[j];
      if (j == i || !(std::fabs(b.twiceArea) > std::fabs(a.twiceArea))) continue;
      if (InsideLoop(a, b)) inside.push_back({i, j});
    }
  }
  for (const auto& [i, j] : inside)
    ++caps[i].depth;
  for (const auto& [i, j] : inside)
    if (caps[j].depth == caps[i].depth - 1) caps[i].parent = int(j);
}

// The vote of the loop's border edges on the way its cap turns in the
// plane's frame: positive counter-clockwise, negative clockwise, 0 when they
// do not say.
double CapTurnVote(const CapLoop& c) {
  return c.twiceArea > 0.0 ? double(c.against) : c.twiceArea < 0.0 ? -double(c.against) : 0.0;
}

// The sign of CapTurnVote.
int CapTurn(const CapLoop& c) {
  const double turn = CapTurnVote(c);
  return turn > 0.0 ? 1 : turn < 0.0 ? -1 : 0;
}

// A loop is a hole of the loop around it when the faces on their border
// edges turn the other way in the plane, as the inner wall of a ring does on
// a consistently wound mesh. On an open model a loop can lie inside another
// that turns the same way: an island in a hole that runs partly along the
// model's own border, which is not capped. Cut out of the loop around it,
// such an island would have its edges run the same way by both its faces;
// it is capped on its own, as a loop that nothing holds.
void MarkHoles(std::vector<CapLoop>& caps) {
  std::vector<size_t> order(caps.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&caps](size_t a, size_t b) { return caps[a].depth < caps[b].depth; });
  for (size_t i : order) {
    CapLoop& c = caps[i];
    if (c.parent < 0) continue;
    const CapLoop& around = caps[size_t(c.parent)];
    c.hole = !around.hole && CapTurn(c) != 0 && CapTurn(c) == -CapTurn(around);
  }
}

// The box that every tolerance of the cap comes from: the mesh's box as the
// clip leaves it (the box from before the clip, which its edge collapse
// used), or without one, the box given.
BBox3f ToleranceBox(const MeshT5& mesh, const BBox3f& fallback) {
  return mesh.bbox.IsNull() ? fallback : mesh.bbox;
}

// The tolerance within which a point counts as one of the cut: the clip's
// edge collapse's, 1e-4 of the box's diagonal. The collapse moves points of
// the cut to midpoints of edges whose ends lie within it of the plane: on a
// small loop of a large model that is more than the loop's own share.
double CutTolerance(const MeshT5& mesh, const BBox3f& cut) {
  const BBox3f box = ToleranceBox(mesh, cut);
  return box.IsNull() ? 0.0 : double(float(box.Diag() * double(1e-4f)));
}

// CutTolerance from the mesh's box alone: 0 without one.
double CollapseTolerance(const MeshT5& mesh) {
  BBox3f none;
  none.SetNull();
  return CutTolerance(mesh, none);
}

// Points of the cut closer than this stand at one place: a few float steps
// at the size of the box, the rounding of the model's coordinates (and of
// the trigonometry that made them, as on the two sides of a split seam).
double PlaceTolerance(const MeshT5& mesh, const BBox3f& cut) {
  const BBox3f box = ToleranceBox(mesh, cut);
  if (box.IsNull()) return 0.0;
  double size = 0.0;
  for (const Vec3f& corner : {box.min, box.max})
    size = std::max({size, std::fabs(double(corner.x)), std::fabs(double(corner.y)),
                     std::fabs(double(corner.z))});
  return std::isfinite(size) ? 4.0 * double(FLT_EPSILON) * size : 0.0;
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

// Sets of the given vertices that stand at one place (within tolerance of
// one another, see GroupByPlace) become their first vertex in the array,
// unless joining a set would give an edge more than two faces, or two
// faces running an edge the same way. A face that would get two corners in
// one place is a needle no wider than the rounding: it goes, with the
// corners that no other face uses. Returns whether any were joined: the
// face-face adjacency is then stale.
bool JoinAtOnePlace(MeshT5& mesh, std::vector<VertexT5*> points, double tolerance) {
  std::sort(points.begin(), points.end());
  points.erase(std::unique(points.begin(), points.end()), points.end());
  std::vector<Vec3d> positions;
  positions.reserve(points.size());
  for (const VertexT5* v : points)
    positions.push_back(Vec3d(v->position));
  // Each place's first point is the first vertex of the set in the array.
  const std::vector<uint32_t> place = GroupByPlace(positions, tolerance);
  // into[i]: the vertex that vertex i becomes, or null.
  std::vector<VertexT5*> into;
  std::vector<uint8_t> shared(points.size(), 0);
  for (size_t i = 0; i < points.size(); ++i)
    if (place[i] != i) shared[i] = shared[place[i]] = 1;
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
  if (into.empty()) return false;
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
                              double tolerance, double place) {
  std::vector<VertexT5*> points;
  for (const FacePos& p : walks.steps)
    if (IsLiveIncluded(p.v->flags) &&
        std::fabs(SignedDistance(p.v->position, plane)) <= tolerance)
      points.push_back(p.v);
  return JoinAtOnePlace(mesh, std::move(points), place);
}

}  // namespace

bool JoinCutPointsAtOnePlace(MeshT5& mesh, const Plane3f& plane) {
  BBox3f box;
  box.SetNull();
  if (CollapseTolerance(mesh) == 0.0)
    for (const VertexT5& v : mesh.vertices)
      if (IsLiveIncluded(v.flags)) box.Add(v.position);
  const double tolerance = CutTolerance(mesh, box);
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
  return JoinAtOnePlace(mesh, std::move(points), PlaceTolerance(mesh, box));
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
// and the indices of those on the plane.
void FindLoopsOnPlane(MeshT5& mesh, const Plane3f& plane, LoopWalks& walks,
                      std::vector<size_t>& chosen) {
  std::vector<BorderLoop> loops;
  CollectLoops(mesh, loops, &walks);
  const double collapsed = CollapseTolerance(mesh);
  BBox3f cut;
  cut.SetNull();
  if (CollapseTolerance(mesh) == 0.0)
    for (const FacePos& p : walks.steps)
      cut.Add(p.v->position);
  const double onCut = CutTolerance(mesh, cut);
  const double place = PlaceTolerance(mesh, cut);
  auto collect = [&]() {
    loops.clear();
    CollectLoops(mesh, loops, &walks);
  };
  if (JoinLoopPointsAtOnePlace(mesh, walks, plane, onCut, place)) {
    BuildFaceFaceAdjacency(mesh);
    collect();
  }
  std::vector<uint8_t> whole;
  auto choose = [&]() {
    chosen.clear();
    whole.assign(loops.size(), 0);
    for (size_t i = 0; i < loops.size(); ++i)
      if (LoopOnPlane(walks, i, loops[i], plane, collapsed)) chosen.push_back(i), whole[i] = 1;
    ChainRunsOnPlane(walks, whole, plane, onCut, place, chosen);
  };
  choose();
  if (RemoveSideFacesFlatOnTheCut(mesh, chosen, walks)) {
    collect();
    choose();
  }
}

// The chosen loops in the plane's frame, nested, their holes marked.
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
      // The border edge that ends at p.v, here from the point before it in
      // the walk (at the start, from the last one).
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
  NestLoops(caps);
  MarkHoles(caps);
  return caps;
}

// A loop that is the three edges of one face lying flat on the cut (its
// corners within the cut's tolerance of the plane), and that the cap would
// close on its own, is what the edge collapse leaves of a tip that stood
// just above the plane: under the face the kept part has no thickness, and
// the loop's cap would be the same face again, back to back with it. Such a
// face goes, with the corners that no other face uses, and its loop with
// it. A loop that is a hole is left: the cap of the loop around it leaves
// the face's place open, and the face closes it. caps[k] is the loop of
// walk chosen[k].
void RemoveTipsSquashedOnTheCut(MeshT5& mesh, const LoopWalks& walks,
                                const std::vector<size_t>& chosen, const Plane3f& plane,
                                std::vector<CapLoop>& caps) {
  std::vector<uint8_t> gone(caps.size(), 0);
  std::vector<FaceT5*> faces;
  for (size_t k = 0; k < caps.size(); ++k) {
    const std::span<const FacePos> walk = walks.Of(chosen[k]);
    if (caps[k].hole || walk.size() != 3) continue;
    FaceT5* f = walk[0].f;
    bool lone = f->v[0] != f->v[1] && f->v[1] != f->v[2] && f->v[2] != f->v[0];
    for (int z = 0; z < 3; ++z)
      lone = lone && walk[size_t(z)].f == f && f->adjFace[z] == f;
    if (!lone) continue;
    BBox3f box;
    box.SetNull();
    for (const VertexT5* v : f->v)
      box.Add(v->position);
    const double tolerance = CutTolerance(mesh, box);
    for (const VertexT5* v : f->v)
      lone = lone && std::fabs(SignedDistance(v->position, plane)) <= tolerance;
    for (const CapLoop& c : caps)
      lone = lone && c.parent != int(k);
    if (!lone) continue;
    gone[k] = 1;
    faces.push_back(f);
  }
  if (faces.empty()) return;
  DeleteFacesAndLoneCorners(mesh, faces);
  // The loops that stay, their parents renumbered (none was a gone one).
  std::vector<int> number(caps.size(), -1);
  std::vector<CapLoop> kept;
  for (size_t k = 0; k < caps.size(); ++k)
    if (!gone[k]) {
      number[k] = int(kept.size());
      kept.push_back(std::move(caps[k]));
    }
  for (CapLoop& c : kept)
    if (c.parent >= 0) c.parent = number[size_t(c.parent)];
  caps = std::move(kept);
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
      if (i + 16 < total) PrefetchLinksBack(base[i + 16]);
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

  bool Joins(const VertexT5* a, const VertexT5* b) const {
    return onLoop_[mesh_.VertexIndex(a)] == 2 && onLoop_[mesh_.VertexIndex(b)] == 2 &&
           std::binary_search(chords_.begin(), chords_.end(), Key(a, b));
  }

  // Whether some side of the triangles (indices into corners) is a chord.
  bool AnyOn(const std::vector<int>& triangles, const std::vector<VertexT5*>& corners) const {
    for (size_t t = 0; t + 2 < triangles.size() && !Empty(); t += 3)
      for (int k = 0; k < 3; ++k)
        if (Joins(corners[size_t(triangles[t + size_t(k)])],
                  corners[size_t(triangles[t + size_t(k + 1) % 3])]))
          return true;
    return false;
  }

  // Whether the triangles, added to the surface, leave no edge with more
  // than two faces and no triangle with a corner twice.
  bool KeepManifold(const std::vector<int>& triangles, const std::vector<VertexT5*>& corners) {
    if (!usesSorted_) std::sort(uses_.begin(), uses_.end());
    usesSorted_ = true;
    std::vector<uint64_t> sides;
    for (size_t t = 0; t + 2 < triangles.size(); t += 3)
      for (size_t k = 0; k < 3; ++k) {
        const VertexT5 *a = corners[size_t(triangles[t + k])],
                       *b = corners[size_t(triangles[t + (k + 1) % 3])];
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

// An outer loop with its holes, as the cap triangulates them.
struct LoopAndHoles {
  std::vector<std::vector<Point2d>> polygon;  // the loop, then its holes
  std::vector<VertexT5*> corners;  // of the polygon's points in turn
  // The vote on the way the cap turns in the plane (see CapTurnVote).
  double counterClockwise = 0.0;

  // Triangles as index triples into corners; see TriangulatePolygon2D.
  int Triangulate(std::vector<int>& triangles, const RefusedDiagonal& refused = {}) const {
    triangles.clear();
    return polygon.size() == 1 ? TriangulatePolygon2D(polygon[0], triangles, refused)
                               : TriangulatePolygonWithHoles2D(polygon, triangles, refused);
  }
};

// The loop caps[i] with its holes.
LoopAndHoles GatherLoopAndHoles(const std::vector<CapLoop>& caps, size_t i) {
  const CapLoop& outer = caps[i];
  LoopAndHoles l;
  l.polygon.assign(1, outer.points);
  l.corners = outer.corners;
  // The new faces run each border edge along the walk when the face on it
  // runs it against the walk, as it does all round a consistently wound
  // mesh; whether that turns the cap counter-clockwise in the plane's
  // frame is read from the loop's walk and from its holes' walks.
  l.counterClockwise = CapTurnVote(outer);
  for (size_t j = 0; j < caps.size(); ++j) {
    const CapLoop& h = caps[j];
    if (h.parent == int(i) && h.hole) {
      l.polygon.push_back(h.points);
      l.corners.insert(l.corners.end(), h.corners.begin(), h.corners.end());
      l.counterClockwise -= CapTurnVote(h);
    }
  }
  return l;
}

// The second line for a loop whose triangles lie on a chord: the same
// triangles with the chords flipped away where they can be, else ear
// clipping that refuses every ear closing on a chord. False (the loop stays
// open) when neither gives a complete cap that keeps the surface manifold.
bool AvoidChords(const LoopAndHoles& l, SurfaceChords& chords, std::vector<int>& triangles) {
  const RefusedDiagonal onChord = [&](int a, int b) {
    return chords.Joins(l.corners[size_t(a)], l.corners[size_t(b)]);
  };
  std::vector<Point2d> points;
  for (const std::vector<Point2d>& loop : l.polygon)
    points.insert(points.end(), loop.begin(), loop.end());
  std::vector<int> flipped = triangles;
  if (FlipRefusedDiagonals(points, flipped, onChord) && chords.KeepManifold(flipped, l.corners)) {
    triangles = std::move(flipped);
    return true;
  }
  return l.Triangulate(triangles, onChord) && !chords.AnyOn(triangles, l.corners) &&
         chords.KeepManifold(triangles, l.corners);
}

// What the cap does with a loop of the cut: each loop ends closed, covered
// once, or untouched.
enum class LoopOutcome : uint8_t {
  kClosed,      // capped, together with its holes
  kHole,        // closed by the cap of the loop around it
  kUnfinished,  // left open, with its holes: no complete triangulation
  kOnChord,     // left open, with its holes: every cap found would lie on
                // an edge of the surface or give an edge a third face
};

// The corners of the cap's faces, three a face, each as (a, c, b) for the
// counter-clockwise triangle (a, b, c) in the plane when the cap turns
// counter-clockwise. A loop's triangles come only from a complete
// triangulation of it with its holes (a hole that touches it at points
// splits it into parts, each cut once); outcome tells per loop what became
// of it.
std::vector<VertexT5*> CapFaceCorners(const MeshT5& mesh, const std::vector<CapLoop>& caps,
                                      OldFaces& old, std::vector<LoopOutcome>& outcome) {
  SurfaceChords chords(mesh, caps, old);
  // A loop of n points gives n - 2 triangles, and each hole joined to it two
  // more.
  size_t points = 0;
  for (const CapLoop& c : caps)
    points += c.points.size() + 2;
  std::vector<VertexT5*> cap;
  cap.reserve(3 * points);
  std::vector<int> triangles;
  triangles.reserve(3 * points);
  outcome.assign(caps.size(), LoopOutcome::kHole);
  for (size_t i = 0; i < caps.size(); ++i) {
    if (caps[i].hole) continue;  // capped with the loop around it
    const LoopAndHoles l = GatherLoopAndHoles(caps, i);
    outcome[i] = !l.Triangulate(triangles)                    ? LoopOutcome::kUnfinished
                 : !chords.AnyOn(triangles, l.corners)         ? LoopOutcome::kClosed
                 : AvoidChords(l, chords, triangles)           ? LoopOutcome::kClosed
                                                               : LoopOutcome::kOnChord;
    for (size_t j = 0; j < caps.size(); ++j)
      if (caps[j].parent == int(i) && caps[j].hole && outcome[i] != LoopOutcome::kClosed)
        outcome[j] = outcome[i];
    if (outcome[i] != LoopOutcome::kClosed) continue;
    const bool ccw = l.counterClockwise > 0.0;
    // A triangle (a, b, c) becomes the face (a, c, b) below.
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
      cap.push_back(l.corners[size_t(triangles[t])]);
      cap.push_back(l.corners[size_t(triangles[ccw ? t + 2 : t + 1])]);
      cap.push_back(l.corners[size_t(triangles[ccw ? t + 1 : t + 2])]);
    }
  }
  return cap;
}

// Adds the cap's faces, green and selected; returns the index of the first.
size_t AddCapFaces(MeshT5& mesh, const std::vector<VertexT5*>& cap) {
  // The vertex array does not move here, so the corner pointers stay valid.
  const int added = int(cap.size() / 3);
  FaceT5* first = mesh.AddFaces(added);
  for (int j = 0; j < added; ++j) {
    FaceT5& f = first[j];
    f.v[0] = cap[size_t(3 * j)];
    f.v[1] = cap[size_t(3 * j + 2)];
    f.v[2] = cap[size_t(3 * j + 1)];
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
bool JoinCapToSurface(MeshT5& mesh, size_t first, const OldFaces& old) {
  // The added faces have no adjacency yet: it is made whole before the
  // duplicate search reads it, by linking the added faces where that gives
  // what a build over the whole mesh would.
  bool maybeDuplicates = true;
  if (!LinkAddedFaces(mesh, first, old, maybeDuplicates)) {
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

void CapCut(MeshT5& mesh, const Plane3f& plane, bool adjacencyCurrent) {
  if (!adjacencyCurrent) BuildFaceFaceAdjacency(mesh);
  LoopWalks walks;
  std::vector<size_t> chosen;
  FindLoopsOnPlane(mesh, plane, walks, chosen);
  std::vector<CapLoop> caps = LoopsInPlane(walks, chosen, plane);
  RemoveTipsSquashedOnTheCut(mesh, walks, chosen, plane, caps);
  OldFaces old;
  std::vector<LoopOutcome> outcome;
  const size_t first = AddCapFaces(mesh, CapFaceCorners(mesh, caps, old, outcome));
  const bool bordersSet = JoinCapToSurface(mesh, first, old);
  FlipCoplanarEdgesAndSelectCap(mesh, bordersSet);
}

}  // namespace quarnel

