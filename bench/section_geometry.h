// The plane geometry of a cut's exact cross-section, as clip_check measures
// it: segments of the section in the plane's frame, whether they cross, and
// the area they wind round.
#pragma once

#include <array>
#include <vector>

namespace quarnel::bench {

// A segment in the plane's frame; a directed one runs from where its face
// leaves the kept side to where it comes back.
using Seg2 = std::array<std::array<double, 2>, 2>;

// Whether segments (given by their ends and the ids of their end points)
// meet anywhere but at a shared end point.
bool AnyCrossing(const std::vector<Seg2>& segs, const std::vector<std::array<int, 2>>& ends);

// The area of the section with each region counted as often as the
// directed segments wind round it (|winding number|): in each slab between
// neighbouring ends and crossings the segments lie in an order, and the
// winding changes by one at each. -1 when there are too many segments to do
// it slab by slab.
double LayeredArea(const std::vector<Seg2>& segs);

}  // namespace quarnel::bench
