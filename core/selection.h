// The selection of the editable mesh (ElemFlag::Selected on vertices and
// faces) and the colourings that show the selection and the border edges.
#pragma once

#include <cstdint>

#include "core/mesh.h"

namespace quarnel {

// Element kinds of the selection operations; any other value does nothing.
namespace SelectKind {
inline constexpr int32_t Vertices = 0;
inline constexpr int32_t Faces = 1;
}  // namespace SelectKind

// Selects every live, non-excluded element of the kind; returns the live
// count of the kind (faceCount or vertexCount), 0 for an unknown kind.
int32_t SelectAll(MeshT5& mesh, int32_t kind);
// Deselects every live, non-excluded element of the kind; returns 0.
int32_t ClearSelection(MeshT5& mesh, int32_t kind);
// Toggles the selection of every live, non-excluded element of the kind;
// returns how many of them are selected afterwards.
int32_t InvertSelection(MeshT5& mesh, int32_t kind);
// Leaves selected exactly the vertices not used by any live, non-excluded,
// unselected face.
void SelectVerticesInsideSelectedFaces(MeshT5& mesh);
// Flood fill over the face-face adjacency from the start face, selecting
// every face reached. Returns the number of faces the fill reached, the start
// face included (0 for no start face).
int32_t SelectConnectedComponent(MeshT5& mesh, FaceT5* start);

namespace detail {
// Live selected records get the colour, other live records white; returns
// the number coloured.
template <class Records>
int32_t ColorSelected(Records& records, Color4b color) {
  int32_t count = 0;
  for (auto& e : records) {
    if (!IsLive(e.flags)) continue;
    if (e.flags & ElemFlag::Selected) {
      e.color = color;
      ++count;
    } else {
      e.color = Color4b{255, 255, 255, 255};
    }
  }
  return count;
}
}  // namespace detail

// Live selected vertices get the colour, other live vertices white; returns
// the number coloured.
template <class MeshT>
requires HasColor<typename MeshT::VertexType> int32_t ColorSelectedVertices(MeshT& mesh,
                                                                            Color4b color) {
  return detail::ColorSelected(mesh.vertices, color);
}

// The same over the faces.
template <class MeshT>
requires HasColor<typename MeshT::FaceType> int32_t ColorSelectedFaces(MeshT& mesh, Color4b color) {
  return detail::ColorSelected(mesh.faces, color);
}

// Every live vertex white, then each border edge's two ends and its face get
// the colour. Needs current border bits.
template <class MeshT>
requires HasColor<typename MeshT::VertexType> && HasColor<typename MeshT::FaceType>
void ColorBorder(MeshT& mesh, Color4b color) {
  for (auto& v : mesh.vertices)
    if (IsLive(v.flags)) v.color = Color4b{255, 255, 255, 255};
  ForEachBorderEdge(mesh, [color](auto& f, int z) {
    f.v[z]->color = color;
    f.v[(z + 1) % 3]->color = color;
    f.color = color;
  });
}

}  // namespace quarnel
