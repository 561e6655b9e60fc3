// Twelve lines around an axis-aligned box.
#pragma once

#include "core/math.h"

namespace quarnel {

// Draws the box's edges unlit in the current colour: the bottom and top
// rectangles as closed line strips, then the four vertical edges. The box is
// not tested: a null box is drawn between its corners as they stand. The
// lighting switch is back as it was afterwards.
void DrawBox(const BBox3f& box);

}  // namespace quarnel
