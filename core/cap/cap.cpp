#include "core/cap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/cap/assembly.h"
#include "core/cap/bodies.h"
#include "core/cap/cap_loop.h"
#include "core/cap/cap_plan.h"
#include "core/cap/cut_places.h"
#include "core/cap/ear_clipping.h"
#include "core/cap/grouping.h"
#include "core/cap/join_places.h"
#include "core/cap/loops_on_plane.h"
#include "core/cap/surface_chords.h"
#include "core/cap/touching_loops.h"
#include "core/cap/winding.h"
#include "core/parallel_for.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// A group's cap by ear clipping alone: a loop that no other comes near,
// loops that keep apart, loops that touch only at points as simple loops
// traced again (EarClipTouchingLoops). False, leaving plan as it was, where
// none of these closes it.
bool EarClipGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                  const CutPlaces& places, double snap, const SurfaceChords& chords,
                  CapPlan& plan) {
  if (group.size() == 1) return EarClipLoop({&caps[group[0]]}, chords, plan);
  return EarClipApartLoops(caps, group, places, snap, chords, plan) ||
         EarClipTouchingLoops(caps, group, places, snap, chords, plan);
}

// The ear clipping of a range of groups (EarClipGroup): the triangles of
// those it closes, and per group the end of its triangles there, or kOpen
// where ear clipping did not close it.
struct ClippedGroups {
  static constexpr size_t kOpen = SIZE_MAX;
  size_t first = 0;  // group
  std::vector<uint32_t> triangles;
  std::vector<size_t> end;
};

// The groups ear clipped range by range on threads of their own: each
// group's work reads only what no other writes.
std::vector<ClippedGroups> EarClipGroups(const std::vector<CapLoop>& caps,
                                         const std::vector<std::vector<size_t>>& groups,
                                         const CutPlaces& places, double snap,
                                         const SurfaceChords& chords) {
  return ParallelCollect(
      groups.size(),
      [&](size_t begin, size_t end) {
        ClippedGroups r;
        r.first = begin;
        CapPlan plan;
        for (size_t g = begin; g < end; ++g) {
          const bool closed = EarClipGroup(caps, groups[g], places, snap, chords, plan);
          r.end.push_back(closed ? plan.triangles.size() : ClippedGroups::kOpen);
        }
        r.triangles = std::move(plan.triangles);
        return r;
      },
      kParallelCostlyItems);
}

// The cap of the loops, group by group (OverlappingGroups): by ear
// clipping (EarClipGroup) where that closes the group; loops that cross or
// run along one another by their winding (TessellateGroup), one group
// after another, since the points where loops cross are numbered on in
// turn. A group that none of these closes is ear clipped loop by loop
// (EarClipLoopsOfAGroup): no other group is opened by it. The plan lists
// the groups' triangles in the order of the groups.
CapPlan PlanCap(const std::vector<CapLoop>& caps, const std::vector<uint32_t>& body,
                const CutPlaces& places, double snap, SurfaceChords& chords) {
  const std::vector<std::vector<size_t>> groups = OverlappingGroups(caps, body, snap);
  CapPlan plan;
  for (const ClippedGroups& range : EarClipGroups(caps, groups, places, snap, chords)) {
    size_t from = 0;  // the first triangle of the next group that closed
    for (size_t k = 0; k < range.end.size(); ++k) {
      const std::vector<size_t>& group = groups[range.first + k];
      if (range.end[k] != ClippedGroups::kOpen) {
        plan.triangles.insert(plan.triangles.end(), range.triangles.begin() + std::ptrdiff_t(from),
                              range.triangles.begin() + std::ptrdiff_t(range.end[k]));
        from = range.end[k];
      } else if (!TessellateGroup(caps, group, places, snap, chords, plan) && group.size() > 1) {
        EarClipLoopsOfAGroup(caps, group, chords, plan);
      }
    }
  }
  return plan;
}

}  // namespace

void CapCut(MeshT5& mesh, const Plane3f& plane) {
  CapCut(mesh, plane, MeasureCutTolerances(mesh));
}

void CapCut(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
            bool adjacencyCurrent, const std::vector<uint8_t>* sheets,
            const std::vector<uint32_t>* piecesBefore) {
  if (!adjacencyCurrent) BuildFaceFaceAdjacency(mesh);
  LoopWalks walks;
  std::vector<size_t> chosen;
  PointsApart apart;
  FindLoopsOnPlane(mesh, plane, tolerances, walks, chosen, sheets, apart);
  std::vector<CapLoop> caps = LoopsInPlane(walks, chosen, plane);
  RemoveTipsSquashedOnTheCut(mesh, walks, chosen, plane, tolerances, caps);
  std::vector<uint32_t> body = BodiesOfLoops(mesh, caps, piecesBefore);
  const CutPlaces places = NumberPlaces(mesh, caps, tolerances, apart, body);
  SplitAtPinches(caps, body, places.at.size());
  OldFaces old;
  SurfaceChords chords(mesh, caps, walks, chosen, old);
  const CapPlan plan = PlanCap(caps, body, places, tolerances.place, chords);
  SurfaceSplits splits;
  const std::vector<VertexT5*> corners = MakeCapCorners(mesh, plan, places, splits);
  const size_t first = AddCapFaces(mesh, corners);
  const JoinedLinks links = JoinCapToSurface(mesh, first, old, splits);
  FlipCoplanarEdgesAndSelectCap(mesh, links);
}

}  // namespace quarnel
