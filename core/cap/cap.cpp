#include "core/cap.h"

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
#include "core/topology.h"

namespace quarnel {

namespace {

// The cap of the loops, group by group (OverlappingGroups): a loop that no
// other comes near, and loops that keep apart, by ear clipping; loops that
// touch only at points as simple loops traced again (EarClipTouchingLoops);
// loops that cross or run along one another by their winding
// (TessellateGroup). A group that none of these closes is ear clipped loop
// by loop (EarClipLoopsOfAGroup): no other group is opened by it.
CapPlan PlanCap(const std::vector<CapLoop>& caps, const std::vector<uint32_t>& body,
                const CutPlaces& places, double snap, SurfaceChords& chords) {
  CapPlan plan;
  for (const std::vector<size_t>& group : OverlappingGroups(caps, body, snap)) {
    if (group.size() == 1 && EarClipLoop({&caps[group[0]]}, chords, plan)) continue;
    if (group.size() > 1 && EarClipApartLoops(caps, group, places, snap, chords, plan)) continue;
    if (group.size() > 1 && EarClipTouchingLoops(caps, group, places, snap, chords, plan)) continue;
    if (TessellateGroup(caps, group, places, snap, chords, plan)) continue;
    if (group.size() > 1) EarClipLoopsOfAGroup(caps, group, chords, plan);
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
  SurfaceChords chords(mesh, caps, old);
  const CapPlan plan = PlanCap(caps, body, places, tolerances.place, chords);
  SurfaceSplits splits;
  const std::vector<VertexT5*> corners = MakeCapCorners(mesh, plan, places, splits);
  const size_t first = AddCapFaces(mesh, corners);
  const bool bordersSet = JoinCapToSurface(mesh, first, old, splits);
  FlipCoplanarEdgesAndSelectCap(mesh, bordersSet);
}

}  // namespace quarnel
