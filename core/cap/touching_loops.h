// Caps of loops that touch only at points, as the squares of a welded
// chessboard do: the loops' sides, traced again place by place, make
// simple loops that ear clipping closes one by one.
#pragma once

#include "core/cap/cap_loop.h"
#include "core/cap/cap_plan.h"
#include "core/cap/cut_places.h"
#include "core/cap/surface_chords.h"
#include <cstddef>
#include <vector>

namespace quarnel {

// The cap of a group whose loops meet only at shared places: each side is
// taken the way the cap runs it, a side and one running back along it
// between the same two corners go together (the surface closes there by
// itself), and the rest are traced into loops, at each place turning onto
// the next side round from the one that came in, so that the region on
// the cap's side stays beside the loop. Where every loop so traced passes
// each place once and turns the cap's way (none is a hole's rim), no sides
// cross and no point lies on a side, each loop is ear clipped on its own: a
// loop inside another turning the same way is capped on its own wherever
// it goes. Returns false, leaving plan as it was, otherwise, and where no
// two loops meet.
bool EarClipTouchingLoops(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                          const CutPlaces& places, double snap, const SurfaceChords& chords,
                          CapPlan& plan);

}  // namespace quarnel
