// The OpenGL drawer of a mesh: one template over the mesh type, with the
// four drawers of the program as its instances.
//
// The drawer keeps a non-owning pointer to its mesh and the lists derived
// from it (unique edges, line strips, triangle strips, 16-bit index runs).
// Update() brings them up to date after a change; Draw(dm, cm, tm) picks one
// of 128 routines in which the three modes are compile-time constants, so the
// per-face and per-vertex loops never test a mode.
//
// With the VertexArrays hint the triangle fills, the wire's line strips and
// the points go to OpenGL as vertex arrays holding exactly the vertices and
// attributes of the immediate calls, in their order, so the pixels are the
// same; with SkipUncovered as well the fills leave out faces that cover no
// pixel centre (render/screen_coverage.h). Every draw fills its arrays anew
// from the mesh, so no change of the mesh can leave stale data on screen.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/math.h"
#include "core/mesh.h"
#include "render/screen_coverage.h"

namespace quarnel {

// What a draw shows.
enum DrawMode : int32_t {
  DMNone = 0,
  DMBox = 1,
  DMPoints = 2,
  DMWire = 3,
  DMHidden = 4,
  DMFlat = 5,
  DMSmooth = 6,
  DMFlatWire = 7,
};

// Where the colours come from.
enum ColorMode : int32_t {
  CMNone = 0,     // the current colour applies
  CMPerMesh = 1,  // the mesh's one colour
  CMPerFace = 2,
  CMPerVert = 3,
};

// Where the texture coordinates come from.
enum TextureMode : int32_t {
  TMNone = 0,
  TMPerVert = 1,         // no record keeps one: drawn as TMNone
  TMPerWedge = 2,        // corner coordinates, whatever texture is bound
  TMPerWedgeMulti = 3,   // and corner 0's texIndex picks the texture per face
};

// Bits of GlMesh::hints.
namespace GlHint {
inline constexpr uint32_t Strips = 0x1;           // fills draw triangle strips
inline constexpr uint32_t EdgeList = 0x2;         // Update builds edges and line strips
inline constexpr uint32_t DisplayList = 0x4;      // draws record and replay a display list
inline constexpr uint32_t KeepNonManifold = 0x20; // strips: skip DetachNonManifoldEdges
inline constexpr uint32_t VFAdjacency = 0x40;     // Update builds vertex-face adjacency
inline constexpr uint32_t KeepFF = 0x80;          // strips: keep the face-face adjacency
inline constexpr uint32_t KeepVF = 0x100;         // keep the vertex-face adjacency
inline constexpr uint32_t KeepVertexNormals = 0x200;
inline constexpr uint32_t KeepFaceNormals = 0x400;
inline constexpr uint32_t IndexArrays = 0x800;     // with Strips: smooth fill from index runs
inline constexpr uint32_t LazyLineStrips = 0x1000; // wire from line strips built on first use
inline constexpr uint32_t VertexArrays = 0x2000;   // triangle fills, line strips and points from vertex arrays
inline constexpr uint32_t SkipUncovered = 0x4000;  // with VertexArrays: fills leave out faces covering no pixel centre
inline constexpr uint32_t Default = LazyLineStrips;
}  // namespace GlHint

// Bits of the change mask handed to GlMesh::Update.
namespace GlChange {
inline constexpr uint32_t Positions = 0x01;
inline constexpr uint32_t Connectivity = 0x08;
inline constexpr uint32_t Normals = 0x10;
inline constexpr uint32_t All = 0xFF;
}  // namespace GlChange

// A run of `indices` handed to glDrawElements.
struct IndexRun {
  int32_t mode = 0;   // GL_TRIANGLE_STRIP (5) or GL_TRIANGLES (4)
  int32_t count = 0;
  int32_t first = 0;  // position of the run's first index in `indices`
  bool operator==(const IndexRun&) const = default;
};

// The OpenGL names of the textures loaded for a mesh, by texture index.
inline constexpr size_t kTextureSlots = 258;

template <class MeshT>
class GlMesh {
 public:
  using MeshType = MeshT;
  using VertexType = typename MeshT::VertexType;
  using FaceType = typename MeshT::FaceType;
  using Edge = std::pair<VertexType*, VertexType*>;

  // Which of the modes this mesh type keeps the data for. A mode whose data
  // the type lacks draws as the no-colour / no-texture mode.
  static constexpr bool kFaceColor = HasColor<FaceType>;
  static constexpr bool kVertexColor = HasColor<VertexType>;
  static constexpr bool kWedges = HasWedge<FaceType>;
  static constexpr bool kAdjacency = HasAdjacency<FaceType>;
  static constexpr int EffectiveColorMode(int cm) {
    if (cm == CMPerFace && !kFaceColor) return CMNone;
    if (cm == CMPerVert && !kVertexColor) return CMNone;
    return cm;
  }
  static constexpr int EffectiveTextureMode(int tm) {
    return (tm == TMPerWedge || tm == TMPerWedgeMulti) && kWedges ? tm : TMNone;
  }

  MeshT* mesh = nullptr;                   // not owned; null draws and updates nothing
  std::vector<Edge> edges;                 // unique edges, lower address first, sorted
  std::vector<VertexType*> lineStrips;     // null between two strips
  std::vector<VertexType*> strips;         // triangle strips, each ended by a null
  std::vector<FaceType*> stripFaces;       // parallel to strips
  std::array<uint32_t, kTextureSlots> textureIds{};  // filled by the mesh holder; 0 = none
  std::vector<uint16_t> indices;           // vertex slots, for glDrawElements
  std::vector<IndexRun> indexRuns;
  uint32_t hints = GlHint::Default;
  float angle = 0.6283185f;
  float depthOffset = 5e-5f;               // split of the depth range in hidden line, flat wire
  int32_t listId = -1;                     // display list, -1 while none was generated
  int32_t listDrawMode = 0;                // the modes compiled into the list;
  int32_t listTextureMode = 0;             // (0, 0, 0) matches no draw
  int32_t listColorMode = 0;

  GlMesh() = default;
  GlMesh(const GlMesh&) = delete;
  GlMesh& operator=(const GlMesh&) = delete;

  // Draws the mesh in the given modes; a mode out of range draws nothing and
  // makes no OpenGL call. Needs a current OpenGL context.
  void Draw(DrawMode dm, ColorMode cm, TextureMode tm);

  // Brings the mesh's box and normals and the drawer's lists up to date after
  // a change (GlChange bits). Makes no OpenGL call.
  void Update(uint32_t change);

  // The face under window point (x, y) (origin lower left) in selection mode:
  // writes its position in the face array and the barycentric coordinates of
  // `point` in it and returns 1; returns 0 writing nothing when no face is
  // there. The caller's projection and modelview are those of the drawing.
  int PickFace(int x, int y, int* faceIndex, Vec3f point, float barycentric[3]);

  // The list builders (Update and the wire pass call them).
  void BuildEdgeList();
  void BuildLineStrips();

  // The 128 draw routines and the passes they compose; defined in
  // render/gl_mesh_draw.h and compiled for the four mesh types.
  template <int dm, int cm, int tm>
  void Draw();
  template <int cm, int tm>
  void DrawFlatFill();
  template <int cm, int tm>
  void DrawSmoothFill();
  template <int cm>
  void DrawWire();
  template <int cm>
  void DrawPoints();
  void DrawHiddenFill();

 private:
  enum class FillKind { Depth, Flat, Smooth };
  template <FillKind kind, int cm, int tm>
  void Fill();
  template <FillKind kind, int cm, int tm>
  void FillTriangles();
  template <FillKind kind, int cm, int tm>
  void FillTriangleArrays();
  template <FillKind kind>
  void FillStrips();
  void FillIndexRuns();
  void DrawLineStripArrays();
  void DrawPointArrays();
  uint32_t TextureName(int texIndex) const {
    return texIndex >= 0 && size_t(texIndex) < textureIds.size() ? textureIds[size_t(texIndex)] : 0;
  }

  // Scratch of the vertex-array passes, refilled by every draw: nothing in
  // it outlives the draw, so no change of the mesh can leave it stale.
  std::vector<float> stream;
  ScreenCoverage coverage;
};

using GlMeshT1 = GlMesh<MeshT1>;
using GlMeshT3 = GlMesh<MeshT3>;
using GlMeshT4 = GlMesh<MeshT4>;
using GlMeshT5 = GlMesh<MeshT5>;

extern template class GlMesh<MeshT1>;
extern template class GlMesh<MeshT3>;
extern template class GlMesh<MeshT4>;
extern template class GlMesh<MeshT5>;

}  // namespace quarnel
