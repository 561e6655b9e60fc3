// The cap of loops that touch, cross or run along one another: the
// regions their sides wind around, each covered once.
#pragma once

#include "core/cap/cap_loop.h"
#include "core/cap/cap_plan.h"
#include "core/cap/cut_places.h"
#include "core/cap/surface_chords.h"
#include <cstddef>
#include <vector>

namespace quarnel {

// The cap of a group of loops at once: the regions that the loops' sides,
// run as the cap runs them, wind around the way the group's cap turns, cut
// into triangles wherever the loops touch, cross or run along one another.
// A point of a loop that lies on a side of another (within snap) is put
// into that side first, so that loops that touch or run along each other
// share their points. Then every piece of a side must come out as an edge
// on the cap's rim, or as a row of them through points where loops cross;
// or it is run back by a piece of another side, where two loops run along
// each other and the surface closes on itself. Every edge on the rim must
// be such a piece. Where a piece is left off the rim, the regions wound the
// other way are covered too (faces turned against the others, as in the
// inverted lobe of a surface that crosses itself). Returns false, leaving
// plan as it was, where no such cap is found.
bool TessellateGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                     const CutPlaces& places, double snap, SurfaceChords& chords, CapPlan& plan);

}  // namespace quarnel
