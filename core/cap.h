// Closing the holes that a plane clip leaves on its plane. Its steps live in
// core/cap/: the loops on the plane (loops_on_plane.h, their points at one
// place joined by join_places.h), the places of their points (cut_places.h)
// and the body of each loop (bodies.h), the groups of loops whose caps may
// meet (grouping.h), the cover of each group by ear clipping
// (ear_clipping.h, nesting.h) or by winding (winding.h), and the faces
// added to the mesh (assembly.h).
#pragma once

#include "core/math.h"
#include <cstdint>
#include <vector>

#include "core/cut_tolerances.h"
#include "core/mesh.h"

namespace quarnel {

// Joins the points of a plane cut that stand at one place, as the two
// sides of a split seam do where the cut crosses it: of the corners of the
// border edges (edges without a live neighbour across them) that lie within
// the tolerances' planeTolerance of the plane, and of the inner edges between two
// such points no longer than the rounding (the clip splits the edges of a
// point of the model that the plane passes within rounding of right
// beside it), each set at one place (within the rounding of their own
// coordinates of one another, see GroupByPlace) becomes its first vertex
// in the array, unless joining it would give an
// edge more than two faces or two faces running an edge the same way, or
// the loops of two bodies cross there; a face that it would give two
// corners in one place, a needle no wider than the rounding, goes. Vertices
// elsewhere stay as they are, at one place or not. Returns whether any were
// joined; the face-face adjacency is then stale (a live face's neighbour
// may be deleted before the call). Clip and Cap runs it before the edge
// collapse, so that the collapse and the cap take each such place as one
// point. live, when given, holds per face whether it is live (as its flags
// say), so that the neighbours across the cut are not read for it.
bool JoinCutPointsAtOnePlace(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
                             const std::vector<uint8_t>* live = nullptr);

// Closes the border loops that lie on the plane with new faces, green and
// selected; then cleans up, flips coplanar edges and selects the cap's
// vertices. A loop lies on the plane when its points are within 1 % of the
// loop's box diagonal of it, or within the tolerances' planeTolerance
// (Clip and Cap gives those of the model before the clip, which the
// collapse used). The loops' points at one place (as
// JoinCutPointsAtOnePlace takes them) are joined first, and the runs on
// the plane of loops that leave it are taken as pieces of one loop where
// they meet at one place, as on either side of a split seam; vertices off
// the cut stay as they are.
// Each body of the model (a connected piece of surface, with the cavities
// inside it) gets a cap of its own: where bodies overlap, the section is
// covered once for each, and no point of one's cap is another's. The new
// faces use each border edge against the way its face runs, so the cap
// faces the way the mesh does. A body's loops that keep apart are cut by
// ear clipping, each with the loops right inside it that turn the other
// way as its holes; those that touch, cross or run along one another are
// covered by their winding, each region once (a point where loops cross
// becomes a vertex of both edges, the surface's faces split there). Where
// neither gives a complete cover, each loop is ear clipped with its holes
// or on its own; only a loop that no cover closes stays open.
// A loop that is one face lying flat on the cut, whose cap would turn as
// the cut's does, goes with its face.
// Run right after a plane clip with the same plane. Builds the face-face
// adjacency first unless the caller says that it is current (as
// ClipByPlane leaves it). sheets, when given, marks by index the faces of
// flat sheets lying in the plane with no face off it next to them: no
// solid's face, the cap leaves their loops alone. piecesBefore, when
// given, holds per vertex the first vertex of its connected piece of
// surface before the clip (SurfacePieces): a piece the clip parted is
// still one body.
void CapCut(MeshT5& mesh, const Plane3f& plane, const CutTolerances& tolerances,
            bool adjacencyCurrent = false, const std::vector<uint8_t>* sheets = nullptr,
            const std::vector<uint32_t>* piecesBefore = nullptr);
// CapCut with the tolerances of the mesh as it stands.
void CapCut(MeshT5& mesh, const Plane3f& plane);

}  // namespace quarnel
