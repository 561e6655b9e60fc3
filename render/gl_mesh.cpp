#include "render/gl_mesh.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <array>
#include <utility>

#include "core/normals.h"
#include "core/topology.h"
#include "render/edge_list.h"
#include "render/gl_mesh_draw.h"
#include "render/gl_pick.h"
#include "render/tri_stripper.h"

namespace quarnel {

static_assert(kRunTriangles == GL_TRIANGLES && kRunTriangleStrip == GL_TRIANGLE_STRIP);

namespace {

// The 128 draw routines of one drawer type, at index dm * 16 + cm * 4 + tm.
template <class MeshT, size_t... I>
constexpr auto MakeDrawTable(std::index_sequence<I...>) {
  using Routine = void (GlMesh<MeshT>::*)();
  return std::array<Routine, sizeof...(I)>{
      &GlMesh<MeshT>::template Draw<int(I / 16), int(I / 4 % 4), int(I % 4)>...};
}

template <class MeshT>
constexpr auto kDrawTable = MakeDrawTable<MeshT>(std::make_index_sequence<128>{});

}  // namespace

template <class MeshT>
void GlMesh<MeshT>::Draw(DrawMode dm, ColorMode cm, TextureMode tm) {
  if (uint32_t(dm) > 7 || uint32_t(cm) > 3 || uint32_t(tm) > 3) return;
  (this->*kDrawTable<MeshT>[size_t(dm) * 16 + size_t(cm) * 4 + size_t(tm)])();
}

template <class MeshT>
void GlMesh<MeshT>::BuildEdgeList() {
  quarnel::BuildEdgeList(*mesh, edges);
}

template <class MeshT>
void GlMesh<MeshT>::BuildLineStrips() {
  quarnel::BuildLineStrips(*mesh, edges, lineStrips);
}

template <class MeshT>
void GlMesh<MeshT>::Update(uint32_t change) {
  if (!mesh) return;
  uint32_t m = change;
  if (m & (GlChange::Positions | GlChange::Connectivity)) {
    UpdateBoundingBox(*mesh);
    if (!(hints & GlHint::KeepFaceNormals)) ComputeFaceNormals(*mesh, false);
    if (!(hints & GlHint::KeepVertexNormals)) ComputeVertexNormals(*mesh, false);
    m |= GlChange::Normals;
  }
  if ((m & GlChange::Connectivity) && (hints & GlHint::EdgeList)) {
    BuildEdgeList();
    BuildLineStrips();
  }
  if ((m & GlChange::Connectivity) && (hints & GlHint::LazyLineStrips))
    std::vector<VertexType*>().swap(lineStrips);
  if ((m & GlChange::Connectivity) && (hints & GlHint::Strips)) {
    if constexpr (kAdjacency) {
      // Strips cross edges of at most two faces.
      if (!(hints & GlHint::KeepFF)) BuildFaceFaceAdjacency(*mesh);
      if (!(hints & GlHint::KeepNonManifold)) DetachNonManifoldEdges(*mesh);
    }
    TriStripper<MeshT>::Build(*mesh, strips, stripFaces);
  }
  if constexpr (HasVF<VertexType>) {
    if ((m & GlChange::Normals) && (hints & GlHint::VFAdjacency) && !(hints & GlHint::KeepVF))
      BuildVertexFaceAdjacency(*mesh);
  }
  if (m != 0) {
    listDrawMode = 0;
    listColorMode = 0;
    listTextureMode = 0;
  }
  if ((hints & GlHint::Strips) && (hints & GlHint::IndexArrays))
    TriStripper<MeshT>::BuildIndexArrays(*mesh, strips, indexRuns, indices);
}

template <class MeshT>
int GlMesh<MeshT>::PickFace(int x, int y, int* faceIndex, Vec3f point, float barycentric[3]) {
  if (!mesh) return 0;
  std::vector<FaceType*> hits;
  if (PickFacesInRect(x, y, *mesh, hits, 1, 1) <= 0) return 0;
  const FaceType* f = hits.front();
  if (faceIndex) *faceIndex = int(mesh->FaceIndex(f));
  // A face degenerate in every projection leaves the coordinates unwritten.
  if (barycentric) FaceBarycentric(*f, point, barycentric[0], barycentric[1], barycentric[2]);
  return 1;
}

template class GlMesh<MeshT1>;
template class GlMesh<MeshT3>;
template class GlMesh<MeshT4>;
template class GlMesh<MeshT5>;

}  // namespace quarnel
