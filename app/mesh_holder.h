// The document's container of everything mesh-related: one mesh of each type
// with its drawer, the tag of the type in use, the material, the attributes
// of the loaded file and the results computed on request. Every operation
// that serves all types dispatches on the tag.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/material.h"
#include "core/mesh.h"
#include "io/io_mask.h"
#include "io/ply_importer.h"
#include "render/gl_mesh.h"

namespace quarnel {

class MeshHolder {
 public:
  MeshHolder();
  MeshHolder(const MeshHolder&) = delete;
  MeshHolder& operator=(const MeshHolder&) = delete;

  // Tag and files -----------------------------------------------------------
  void SetTag(int tag) { m_tag = tag; }
  int Tag() const { return m_tag; }
  // Reads the header only and chooses the tag from the attributes it names:
  // 4 texture coordinates, 3 colour or quality, else 1.
  bool ProbeFile(const char* path);
  // The same on a file the document opened for the whole load.
  bool ProbeFile(const InputFile& file);
  // Loads the file into a fresh mesh of the tag's type. On success the fresh
  // mesh replaces the old one and is bound to its drawer; on failure the old
  // mesh, its drawer and the load mask stay as they were, so the document can
  // keep showing them. `mask` receives what the importer reported.
  bool Load(const char* path, IoMask& mask, const LoadProgressCallback& progress);
  bool Load(const InputFile& file, IoMask& mask, const LoadProgressCallback& progress);
  // Binary PLY of the editable mesh with the attributes of the load mask.
  // 0 when written, -1 when not.
  int Save(const char* path);
  // The active mesh in the three export formats; true when written.
  bool ExportVrml(const char* path);
  bool ExportObj(const char* path);
  bool ExportStl(const char* path);

  // Drawing and picking ------------------------------------------------------
  void Draw(int drawMode, int colorMode, bool texturing, bool normalMap);
  int PickFace(int x, int y, int* faceIndex, Vec3f point, float barycentric[3]);
  // The active drawer's slot for a texture number; null for a number beyond
  // the table, one spare slot for tag 0.
  uint32_t* GlTextureName(unsigned textureNumber);
  void DrawTextureBoard();
  const BBox3f* TextureBoardBBox() const { return &m_textureBoard.bbox; }

  // Textures (app/textures.cpp) ---------------------------------------------
  // Loads the textures, then the normal maps, named by the active mesh into
  // the drawer's slots (normal map i shares slot i with texture i) and
  // rebuilds the texture board. folder prefixes every name (may be null).
  // Needs a current OpenGL context. Returns 1.
  int LoadTextures(const char* folder, bool flip, int maxSize);
  // 1 when an image was uploaded to the texture, 0 when none could be read.
  int LoadTextureFile(const char* path, uint32_t textureName, bool flip, int maxSize);
  // Uploads to textureName; flips only files named ".png".
  int LoadNormalMapFile(const char* path, uint32_t textureName, bool flip, int maxSize);
  void BuildTextureBoard();
  // The OpenGL texture state and m_textureMode for the next draw.
  void SetupTextureState(bool texturing, bool normalMap);
  // The mirror's reflection replaces the 2D textures while the switch is on
  // and a cube map is named.
  bool Mirrored() const { return m_mirror && m_cubeMapTexture != 0; }
  // Takes back what the mirror's texture state enabled, so that what is
  // drawn after the mesh is not reflective.
  void EndTextureState();
  // The six faces named after path into the cube map textureName, created
  // only while textureName is 0 (app/cube_map.cpp). 0 when the cube-map
  // extension is missing, else 1.
  static int LoadCubeMap(const char* path, uint32_t& textureName);

  // Colourings ---------------------------------------------------------------
  void ColorSelectedVertices();
  void ColorSelectedFaces();
  void ColorByVertexQuality();
  void ColorByFaceQuality();
  void ColorBorder();
  void ColorByGeodesicDistance();
  void ColorByGaussianCurvature();
  void ComputeMassProperties();

  // Every change of the active mesh comes through here: the results computed
  // on request describe the mesh as it was and are dropped; the selection
  // counts are taken again from the flags.
  void MeshChanged();

  // Queries on the active mesh -----------------------------------------------
  const BBox3f* BBox() const;
  int VertexCount() const;
  int FaceCount() const;
  const std::vector<std::string>* TextureNames() const;
  const std::vector<std::string>* NormalMapNames() const;
  std::vector<std::string>* MutableTextureNames();
  std::vector<std::string>* MutableNormalMapNames();
  // Element accessors by place in the vertex or face array. An index out of
  // range, tag 0, or a field the type lacks gives a zero-filled placeholder.
  const Vec3f* VertexPosition(int i) const;
  const Color4b* VertexColor(int i) const;
  const Vec3f* VertexNormal(int i) const;
  const float* VertexQuality(int i) const;
  const Color4b* FaceColor(int i) const;
  const Vec3f* FaceNormal(int i) const;
  const float* FaceQuality(int i) const;
  int FaceVertexIndex(int i, int k) const;

  IoMask LoadMask() const { return m_loadMask; }
  int ErrorCode() const { return m_errorCode; }
  bool MassComputed() const { return m_massComputed; }
  // False when the volume is zero: a centre of mass does not exist then.
  bool HasCenterOfMass() const { return m_hasCenterOfMass; }

  // Members, in the order the views and the later operations expect --------
  int m_tag = 0;
  MeshT1 m_mesh1;
  MeshT3 m_mesh3;
  MeshT4 m_mesh4;
  MeshT5 m_mesh5;
  MeshT4 m_textureBoard;
  GlMeshT4 m_textureBoardDrawer;
  GlMeshT1 m_drawer1;
  GlMeshT3 m_drawer3;
  GlMeshT4 m_drawer4;
  GlMeshT5 m_drawer5;
  int m_textureWidth = 0;
  int m_textureHeight = 0;
  int m_selectedVertexCount = -1;
  int m_selectedFaceCount = -1;
  bool m_borderComputed = false;
  bool m_geodesicComputed = false;
  bool m_massComputed = false;
  int m_textureMode = 0;
  Material m_material;
  float m_lightDirection[3] = {0.0f, 0.0f, 1.0f};
  int m_textureFilter = 2;
  // The view that draws sets both every frame: the holder serves all views of
  // the document, and Mirror is a switch of each view.
  bool m_mirror = false;
  uint32_t m_cubeMapTexture = 0;
  IoMask m_loadMask = 0;
  int m_errorCode = 0;
  float m_surfaceArea = 0.0f;
  float m_volume = 0.0f;
  float m_centerOfMass[3] = {0.0f, 0.0f, 0.0f};

 private:
  // Calls fn(mesh, drawer) for the active tag; false for tag 0.
  template <class Fn>
  bool WithActive(Fn&& fn);
  template <class Fn>
  bool WithActive(Fn&& fn) const;
  // The one switch on the tag behind both; Self is the holder, const or not.
  template <class Self, class Fn>
  static bool Dispatch(Self& self, Fn& fn);
  template <class MeshT, class DrawerT>
  bool LoadInto(MeshT& mesh, DrawerT& drawer, const InputFile& file, IoMask& mask,
                const LoadProgressCallback& progress);
  // Drops the results computed on request for the mesh as it was.
  void ForgetComputed();

  IoMask m_probeMask = 0;
  bool m_hasCenterOfMass = false;
  std::vector<float> m_geodesicDistance;  // per vertex, kept while the mesh stands
};

}  // namespace quarnel
