// Caps of loops that keep apart: each loop with its holes cut by ear
// clipping.
#pragma once

#include "core/cap/cap_loop.h"
#include "core/cap/cap_plan.h"
#include "core/cap/cut_places.h"
#include "core/cap/surface_chords.h"
#include <cstddef>
#include <vector>

namespace quarnel {

// The ear clipping of a loop with its holes (loops[0] the loop, the others
// holes inside it): appends its triangles to plan, or returns false where
// it gives no complete cap that avoids the chords and keeps the surface
// manifold.
bool EarClipLoop(const std::vector<const CapLoop*>& loops, const SurfaceChords& chords,
                 CapPlan& plan);

// The cap of a group of loops that keep apart from one another and from
// themselves (no place twice, no point on a side, no sides that meet but
// at their ends) by ear clipping: each loop that is not a hole, with the
// loops right inside it that turn the other way as its holes. A loop inside
// another that turns the same way is capped on its own. Returns false, leaving plan as it was, where the loops
// do not keep apart, their nesting is not clear or a cap is not complete.
bool EarClipApartLoops(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                       const CutPlaces& places, double snap, const SurfaceChords& chords,
                       CapPlan& plan);

// The cap of a group that no cover closed as a whole: each loop that is no
// hole (a loop right inside one, turning the other way, as NestByRays
// finds them) by ear clipping with its holes; where that gives no complete
// cap, or the rays cannot tell the nesting, the loop and each of its holes
// on their own. Only a loop that no cap closes stays open.
void EarClipLoopsOfAGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                          const SurfaceChords& chords, CapPlan& plan);

}  // namespace quarnel
