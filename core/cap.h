// Closing the holes that a plane clip leaves on its plane. The cap's loops
// are found by border_loops.h and cut into triangles in the plane by
// polygon_triangulation.h; the faces added are linked to the surface by
// incremental_adjacency.h and cleaned up by clean.h.
#pragma once

#include "core/math.h"
#include "core/mesh.h"

namespace quarnel {

// Joins the points of a plane cut that stand at one place, as the two
// sides of a split seam do where the cut crosses it: of the corners of the
// border edges (edges without a live neighbour across them) that lie within
// the clip's edge collapse tolerance of the plane (that of ClipScaleOf,
// or 1e-4 of the live vertices' box when it has none), each set
// with equal coordinates becomes its first vertex in the array, unless
// joining it would give a face two corners in one place, an edge more than
// two faces or two faces running an edge the same way. Vertices elsewhere stay as
// they are, at one place or not. Returns whether any were joined; the
// face-face adjacency is then stale (a live face's neighbour may be deleted
// before the call). Clip and Cap runs it before the edge collapse, so that
// the collapse and the cap take each such place as one point.
bool JoinCutPointsAtOnePlace(MeshT5& mesh, const Plane3f& plane);

// Closes every border loop that lies on the plane with new faces, green and
// selected; then cleans up, flips coplanar edges and selects the cap's
// vertices. A loop lies on the plane when its points are within 1 % of the
// loop's box diagonal of it, or within the tolerance of the clip's edge
// collapse (that of ClipScaleOf: Clip and Cap gives it the scale from
// before the clip, which the collapse used). Loops inside another loop are
// holes of the nearest one around them (or islands in a hole, and so on),
// and each outer loop is capped together with its holes. The loops' points
// at one place are joined first (JoinCutPointsAtOnePlace, here for the
// points on the loops), and the runs on the plane of loops that leave it
// are taken as pieces of one loop where they meet at such a point, as on
// either side of a split seam; vertices off the cut stay as they are. A
// loop that is one face lying flat on the cut, which no loop around it
// holds as a hole, goes with its face. The new faces use each border edge
// against the way its face runs, so the cap faces the way the mesh does.
// Run right after a plane clip with the same plane. Builds the face-face
// adjacency first unless the caller says that it is current (as
// ClipByPlane leaves it).
void CapCut(MeshT5& mesh, const Plane3f& plane, bool adjacencyCurrent = false);

}  // namespace quarnel
