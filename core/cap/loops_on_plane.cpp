#include "core/cap/loops_on_plane.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>
#include <span>
#include "core/cap/surface_edits.h"
#include "core/parallel_for.h"
#include "core/places.h"
#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// Whether point p lies within tolerance of the plane, past what its own
// rounding moves it off.
bool OnCut(const Vec3f& p, const Plane3f& plane, double tolerance) {
  const double d = std::fabs(SignedDistance(p, plane));
  // A finite distance within a finite tolerance comes of finite numbers, whose
  // rounding only adds to the tolerance: it need not be worked out.
  if (d <= tolerance && std::isfinite(tolerance)) return true;
  return d <= tolerance + RoundingAlong(p, plane);
}

// Whether every point of walk i lies within 1 % of the loop's box
// diagonal, or within the collapse's tolerance, of the plane: the loops
// that the cap fills. Where it does, within tells whether every point lies
// within the collapse's tolerance itself. The points are read from the
// walk, in order.
bool LoopOnPlane(const LoopWalks& walks, size_t i, const BorderLoop& loop, const Plane3f& plane,
                 double collapsed, bool& within) {
  const double tolerance =
      std::max(Distance(loop.box.min, loop.box.max) * double(0.01f), collapsed);
  within = true;
  for (size_t k = walks.first[i]; k < walks.first[i + 1]; ++k) {
    if (!OnCut(walks.points[k], plane, tolerance)) return false;
    within = within && OnCut(walks.points[k], plane, collapsed);
  }
  return true;
}

// How a loop lies: off the plane, on it (LoopOnPlane) with every point
// within the collapse's tolerance or some farther, or on a flat sheet lying
// in the plane (a face of the loop marked in sheets).
enum class Lying : uint8_t { Off, OnPlane, OnPlaneFarther, InSheet };

// How each loop lies, each read on its own.
std::vector<Lying> HowLoopsLie(const MeshT5& mesh, const LoopWalks& walks,
                               const std::vector<BorderLoop>& loops, const Plane3f& plane,
                               double onCut, const std::vector<uint8_t>* sheets) {
  std::vector<Lying> lying(loops.size(), Lying::Off);
  ParallelFor(loops.size(), [&](size_t i) {
    bool sheet = false;
    if (sheets != nullptr)
      for (const FacePos& p : walks.Of(i)) {
        const size_t f = mesh.FaceIndex(p.f);
        sheet = sheet || (f < sheets->size() && (*sheets)[f]);
      }
    bool within = true;
    if (sheet)
      lying[i] = Lying::InSheet;
    else if (LoopOnPlane(walks, i, loops[i], plane, onCut, within))
      lying[i] = within ? Lying::OnPlane : Lying::OnPlaneFarther;
  });
  return lying;
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
  std::vector<const VertexT5*> thirds;  // of the seeds, as the walks read them
  for (size_t i : chosen) {
    for (size_t k = walks.first[i]; k < walks.first[i + 1]; ++k) {
      onLoop[mesh.VertexIndex(walks.steps[k].v)] = 1;
      seeds.push_back(walks.steps[k].f);
      thirds.push_back(walks.thirds[k]);
    }
  }
  if (seeds.empty()) return false;

  auto flat = [&](const FaceT5& f) {
    return !(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) &&
           onLoop[mesh.VertexIndex(f.v[0])] && onLoop[mesh.VertexIndex(f.v[1])] &&
           onLoop[mesh.VertexIndex(f.v[2])];
  };
  // Which seeds are flat, read on all cores: a flat seed's third corner is
  // on a loop, and only such seeds are read (they lie anywhere in the face
  // array, and few are).
  auto maybe = [&](size_t s) { return onLoop[mesh.VertexIndex(thirds[s])] != 0; };
  std::vector<uint8_t> flatSeed(seeds.size(), 0);
  ParallelFor(seeds.size(), [&](size_t s) {
    if (s + 8 < seeds.size() && maybe(s + 8)) PrefetchRecord(seeds[s + 8]);
    flatSeed[s] = maybe(s) && flat(*seeds[s]);
  });
  // Groups of flat faces joined by edges.
  std::vector<uint8_t> seen(mesh.faces.size(), 0);
  std::vector<FaceT5*> group, doomed;
  for (size_t s = 0; s < seeds.size(); ++s) {
    FaceT5* start = seeds[s];
    if (!flatSeed[s] || seen[mesh.FaceIndex(start)]) continue;
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

// The border edges on the plane of the loops that leave it, in runs from a
// point where such a loop comes onto the plane to one where it leaves it,
// joined end to start where one run ends at the place where another
// begins (within the place tolerance, see GroupByPlace): across a split
// seam the cut's loop is broken into pieces of the loops of the two sides,
// which meet there. Each chain of runs that comes back to its start is appended
// to the walks as a loop of the cut, and its index to chosen. whole[i]
// tells whether loop i lies on the plane as a whole.
// A run of a loop's border edges on the plane: steps first .. first +
// count - 1 of the loop's walk (cyclic), from point from to point to, and
// the places of its ends.
struct Run {
  size_t loop, first, count;
  const VertexT5 *from, *to;
  uint32_t fromPlace = 0, toPlace = 0;
};

// Appends the runs on the plane (within tolerance) of loop i's walk w,
// which leaves the plane somewhere. Step k is the edge from the point of
// step k - 1 to its own; the runs are read from a point off the plane
// round to it again.
void RunsOfLoop(size_t i, const LoopWalks& walks, const Plane3f& plane, double tolerance,
                std::vector<Run>& runs) {
  const std::span<const FacePos> w = walks.Of(i);
  const Vec3f* points = walks.points.data() + walks.first[i];
  const size_t n = w.size();
  std::vector<uint8_t> on(n, 0);
  size_t off = n;
  for (size_t k = 0; k < n; ++k) {
    on[k] = OnCut(points[k], plane, tolerance);
    if (!on[k]) off = k;
  }
  if (off == n) return;
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

// Sets the places of the runs' ends (within place of one another).
void PlaceRunEnds(std::vector<Run>& runs, const CutTolerances& tolerances) {
  std::vector<Vec3d> ends;
  ends.reserve(2 * runs.size());
  for (const Run& run : runs) {
    ends.push_back(Vec3d(run.from->position));
    ends.push_back(Vec3d(run.to->position));
  }
  const std::vector<uint32_t> at = GroupByPlace(ends, tolerances.place, tolerances.shape);
  for (size_t r = 0; r < runs.size(); ++r)
    runs[r].fromPlace = at[2 * r], runs[r].toPlace = at[2 * r + 1];
}

// The runs chained end to start at one place into cycles, each run once;
// chains that do not come back to their start are left out.
std::vector<std::vector<size_t>> ChainRuns(const std::vector<Run>& runs) {
  std::vector<size_t> byStart(runs.size());
  for (size_t r = 0; r < runs.size(); ++r) byStart[r] = r;
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
  std::vector<std::vector<size_t>> chains;
  for (size_t r = 0; r < runs.size(); ++r) {
    if (used[r]) continue;
    used[r] = 1;
    std::vector<size_t> chain(1, r);
    // Each turn takes a run that was not used: bounded by their number.
    while (runs[chain.back()].toPlace != runs[r].fromPlace) {
      const size_t next = from(runs[chain.back()].toPlace);
      if (next == runs.size()) break;
      used[next] = 1;
      chain.push_back(next);
    }
    if (runs[chain.back()].toPlace == runs[r].fromPlace) chains.push_back(std::move(chain));
  }
  return chains;
}

void ChainRunsOnPlane(LoopWalks& walks, const std::vector<uint8_t>& whole, const Plane3f& plane,
                      const CutTolerances& tolerances, std::vector<size_t>& chosen) {
  std::vector<Run> runs;
  for (size_t i = 0; i + 1 < walks.first.size(); ++i)
    if (!whole[i]) RunsOfLoop(i, walks, plane, double(tolerances.planeTolerance), runs);
  if (runs.empty()) return;
  PlaceRunEnds(runs, tolerances);
  for (const std::vector<size_t>& chain : ChainRuns(runs)) {
    for (size_t c : chain) {
      const Run& run = runs[c];
      const size_t n = walks.Of(run.loop).size();
      for (size_t k = 0; k < run.count; ++k) walks.Copy(run.loop, (run.first + k) % n);
    }
    walks.first.push_back(walks.steps.size());
    chosen.push_back(walks.first.size() - 2);
  }
}

// The loops chosen by their own size may run farther from the plane than
// onCut, within which the points were joined before (the runs chained on
// the plane keep within it): where one does (farther), the points of the
// count loops that stand at one place are joined. Where a split seam runs
// off the cut, the loop on one side of it may be chosen by its size and the
// loop on the other side, smaller, not: joined, the two are one loop of the
// cut. Returns whether any were joined.
bool JoinFartherPoints(MeshT5& mesh, const Plane3f& plane, const LoopWalks& walks, size_t count,
                       bool farther, const CutTolerances& tolerances) {
  if (!farther) return false;
  std::vector<VertexT5*> points;
  for (size_t i = 0; i < count; ++i)
    for (const FacePos& p : walks.Of(i))
      if (IsLiveIncluded(p.v->flags)) points.push_back(p.v);
  return JoinAtOnePlace(mesh, plane, std::move(points), tolerances);
}

}  // namespace

void FindLoopsOnPlane(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
                      LoopWalks& walks, std::vector<size_t>& chosen,
                      const std::vector<uint8_t>* sheets, PointsApart& apart) {
  std::vector<BorderLoop> loops;
  CollectLoops(mesh, loops, &walks);
  // The collapse moves points of the cut to midpoints of edges whose ends
  // lie within planeTolerance of the plane: on a small loop of a large
  // model that is more than the loop's own share.
  const double onCut = double(tolerances.planeTolerance);
  auto collect = [&]() {
    loops.clear();
    CollectLoops(mesh, loops, &walks);
  };
  if (JoinLoopPointsAtOnePlace(mesh, walks, plane, tolerances, apart)) {
    BuildFaceFaceAdjacency(mesh);
    collect();
  }
  std::vector<uint8_t> whole;
  bool farther = false;
  auto choose = [&]() {
    chosen.clear();
    whole.assign(loops.size(), 0);
    farther = false;
    const std::vector<Lying> lying = HowLoopsLie(mesh, walks, loops, plane, onCut, sheets);
    for (size_t i = 0; i < loops.size(); ++i) {
      // A sheet's loop is taken as lying on the plane whole, and not chosen,
      // so that no run of it is chained either.
      if (lying[i] == Lying::InSheet)
        whole[i] = 1;
      else if (lying[i] == Lying::OnPlane || lying[i] == Lying::OnPlaneFarther)
        chosen.push_back(i), whole[i] = 1;
      farther = farther || lying[i] == Lying::OnPlaneFarther;
    }
    ChainRunsOnPlane(walks, whole, plane, tolerances, chosen);
  };
  choose();
  if (JoinFartherPoints(mesh, plane, walks, loops.size(), farther, tolerances)) {
    BuildFaceFaceAdjacency(mesh);
    collect();
    choose();
  }
  if (RemoveSideFacesFlatOnTheCut(mesh, chosen, walks)) {
    collect();
    choose();
  }
}

namespace {

// The loop of walk i in the plane's frame (du, dw). Its points and each
// edge's turn (CapLoop::turns) are read from the walk: no face or vertex is
// read again.
CapLoop LoopInPlane(const LoopWalks& walks, size_t i, const Vec3d& du, const Vec3d& dw) {
  const std::span<const FacePos> walk = walks.Of(i);
  const uint8_t* ends = walks.ends.data() + walks.first[i];
  const Vec3f* points = walks.points.data() + walks.first[i];
  CapLoop c;
  c.points.reserve(walk.size());
  c.corners.reserve(walk.size());
  c.turns.reserve(walk.size());
  c.edges.assign(walk.begin(), walk.end());
  for (size_t k = 0; k < walk.size(); ++k) {
    const FacePos& p = walk[k];
    Vec3d q(points[k]);
    c.points.push_back({q.Dot(du), q.Dot(dw)});
    c.corners.push_back(p.v);
    c.turns.push_back(int8_t(ends[k] ? -1 : 1));
    c.against += c.turns.back();
  }
  c.Measure();
  return c;
}

}  // namespace

std::vector<CapLoop> LoopsInPlane(const LoopWalks& walks, const std::vector<size_t>& chosen,
                                  const Plane3f& plane) {
  Plane3f unit = plane;
  Vec3f u, w;
  PlaneTangentFrame(unit, u, w, 0.0f, 1.0f, 0.0f);
  const Vec3d du(u), dw(w);
  // Each loop on its own, loop by loop on threads.
  std::vector<CapLoop> caps(chosen.size());
  ParallelFor(
      chosen.size(), [&](size_t j) { caps[j] = LoopInPlane(walks, chosen[j], du, dw); },
      kParallelCostlyItems);
  return caps;
}

void RemoveTipsSquashedOnTheCut(MeshT5& mesh, const LoopWalks& walks,
                                std::vector<size_t>& chosen, const Plane3f& plane,
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
    for (const VertexT5* v : f->v)
      lone = lone && OnCut(v->position, plane, double(tolerances.planeTolerance));
    if (!lone) continue;
    gone[k] = 1;
    faces.push_back(f);
  }
  if (faces.empty()) return;
  DeleteFacesAndLoneCorners(mesh, faces);
  std::vector<CapLoop> kept;
  size_t left = 0;
  for (size_t k = 0; k < caps.size(); ++k)
    if (!gone[k]) kept.push_back(std::move(caps[k])), chosen[left++] = chosen[k];
  caps = std::move(kept);
  chosen.resize(left);
}

}  // namespace quarnel
