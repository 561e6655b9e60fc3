#include "app/mesh_holder.h"

#include <cmath>
#include <utility>

#include "core/color_ramp.h"
#include "core/curvature.h"
#include "core/geodesic.h"
#include "core/mass_properties.h"
#include "core/normals.h"
#include "core/selection.h"
#include "core/topology.h"
#include "io/obj_exporter.h"
#include "io/ply_exporter.h"
#include "io/stl_exporter.h"
#include "io/vrml_exporter.h"

namespace quarnel {

namespace {

// Zero-filled stand-ins for what a mesh type or an index cannot give.
struct Placeholders {
  Vec3f vec;
  Color4b color;
  float scalar = 0.0f;
  BBox3f box;  // null
  std::vector<std::string> names;
  uint32_t textureSlot = 0;
};

Placeholders& Static() {
  static Placeholders p;
  return p;
}

constexpr Color4b kSelectionColor{128, 128, 255, 255};
constexpr Color4b kBorderColor{0, 0, 255, 255};
constexpr IoMask kExportAll = 0xFFFF;

template <class Records>
int CountSelected(const Records& records) {
  int count = 0;
  for (const auto& e : records)
    if (IsLive(e.flags) && (e.flags & ElemFlag::Selected)) ++count;
  return count;
}

template <class Records>
bool InRange(const Records& records, int i) {
  return i >= 0 && size_t(i) < records.size();
}

// The vertex quality of the editable mesh, saved around a colouring that
// writes its own scalar field there: the quality read from the file is what
// a save writes and what "Vertex Quality" shows.
class SavedVertexQuality {
 public:
  explicit SavedVertexQuality(MeshT5& mesh) : mesh_(mesh) {
    saved_.reserve(mesh.vertices.size());
    for (const VertexT5& v : mesh.vertices) saved_.push_back(v.quality);
  }
  ~SavedVertexQuality() {
    for (size_t i = 0; i < saved_.size() && i < mesh_.vertices.size(); ++i)
      mesh_.vertices[i].quality = saved_[i];
  }
  SavedVertexQuality(const SavedVertexQuality&) = delete;
  SavedVertexQuality& operator=(const SavedVertexQuality&) = delete;

 private:
  MeshT5& mesh_;
  std::vector<float> saved_;
};

}  // namespace

MeshHolder::MeshHolder() { m_material.SetPreset(1); }

template <class Self, class Fn>
bool MeshHolder::Dispatch(Self& self, Fn& fn) {
  switch (self.m_tag) {
    case 1: fn(self.m_mesh1, self.m_drawer1); return true;
    case 3: fn(self.m_mesh3, self.m_drawer3); return true;
    case 4: fn(self.m_mesh4, self.m_drawer4); return true;
    case 5: fn(self.m_mesh5, self.m_drawer5); return true;
    default: return false;
  }
}

template <class Fn>
bool MeshHolder::WithActive(Fn&& fn) {
  return Dispatch(*this, fn);
}

template <class Fn>
bool MeshHolder::WithActive(Fn&& fn) const {
  return Dispatch(*this, fn);
}

// ---------------------------------------------------------------------------
// Files

bool MeshHolder::ProbeFile(const char* path) {
  InputFile file;
  file.Open(path);
  return ProbeFile(file);
}

bool MeshHolder::ProbeFile(const InputFile& file) {
  m_probeMask = 0;
  // The probe reads only the header; a scratch mesh takes its error code so
  // the mesh on show is not touched.
  MeshT1 scratch;
  int ok = PlyImporter::LoadMask(file, m_probeMask, scratch);
  m_errorCode = scratch.lastError;
  namespace io = io_mask;
  if (m_probeMask & io::WedgeTexCoord)
    m_tag = 4;
  else if (m_probeMask & (io::FaceQuality | io::VertexQuality | io::FaceColorList |
                          io::FaceColor | io::VertexColor))
    m_tag = 3;
  else
    m_tag = 1;
  return ok != 0;
}

template <class MeshT, class DrawerT>
bool MeshHolder::LoadInto(MeshT& mesh, DrawerT& drawer, const InputFile& file, IoMask& mask,
                          const LoadProgressCallback& progress) {
  MeshT fresh;
  IoMask loaded = 0;
  int result = PlyImporter::Open(fresh, file, 0, nullptr, 0, nullptr, loaded, progress);
  m_errorCode = fresh.lastError;
  mask = loaded;
  if (result != 0) return false;
  // Moving keeps the record arrays where they are, so the faces' pointers
  // into them stay valid.
  mesh = std::move(fresh);
  m_loadMask = loaded;
  drawer.mesh = &mesh;
  drawer.hints &= ~GlHint::Strips;
  // Arrays carry the same vertices as the immediate calls, in far fewer
  // calls, and the faces that cover no pixel centre (most of them on a
  // large mesh) are left out: the frames look the same and come faster.
  drawer.hints |= GlHint::VertexArrays | GlHint::SkipUncovered;
  drawer.depthOffset = 0.0005f;
  drawer.Update(GlChange::All);
  // A fresh mesh shows no counts until its selection is coloured: its flags
  // need no count here.
  ForgetComputed();
  m_selectedVertexCount = -1;
  m_selectedFaceCount = -1;
  return true;
}

bool MeshHolder::Load(const char* path, IoMask& mask, const LoadProgressCallback& progress) {
  InputFile file;
  file.Open(path);
  return Load(file, mask, progress);
}

bool MeshHolder::Load(const InputFile& file, IoMask& mask, const LoadProgressCallback& progress) {
  bool ok = false;
  if (!WithActive([&](auto& mesh, auto& drawer) {
        ok = LoadInto(mesh, drawer, file, mask, progress);
      }))
    mask = 0;
  return ok;
}

int MeshHolder::Save(const char* path) {
  return PlyExporter::Save(m_mesh5, path, true, 0, nullptr, 0, nullptr, m_loadMask);
}

bool MeshHolder::ExportVrml(const char* path) {
  bool ok = false;
  WithActive([&](const auto& mesh, auto&) { ok = VrmlExporter::Save(mesh, path, kExportAll) == 1; });
  return ok;
}

bool MeshHolder::ExportObj(const char* path) {
  bool ok = false;
  WithActive([&](const auto& mesh, auto&) { ok = ObjExporter::Save(mesh, path, kExportAll) == 1; });
  return ok;
}

bool MeshHolder::ExportStl(const char* path) {
  bool ok = false;
  WithActive([&](const auto& mesh, auto&) { ok = StlExporter::Save(mesh, path, true, nullptr) == 1; });
  return ok;
}

// ---------------------------------------------------------------------------
// Drawing and picking

void MeshHolder::Draw(int drawMode, int colorMode, bool texturing, bool normalMap) {
  SetupTextureState(texturing, normalMap);
  const int cm = normalMap ? 0 : colorMode;
  WithActive([&](auto&, auto& drawer) {
    drawer.Draw(DrawMode(drawMode), ColorMode(cm), TextureMode(m_textureMode));
  });
  EndTextureState();
}

int MeshHolder::PickFace(int x, int y, int* faceIndex, Vec3f point, float barycentric[3]) {
  int hit = 0;
  WithActive([&](auto&, auto& drawer) { hit = drawer.PickFace(x, y, faceIndex, point, barycentric); });
  return hit;
}

uint32_t* MeshHolder::GlTextureName(unsigned textureNumber) {
  uint32_t* slot = &Static().textureSlot;
  WithActive([&](auto&, auto& drawer) {
    slot = textureNumber < drawer.textureIds.size() ? &drawer.textureIds[textureNumber] : nullptr;
  });
  return slot;
}

void MeshHolder::DrawTextureBoard() { m_textureBoardDrawer.Draw(DMFlat, CMNone, TMPerWedgeMulti); }

// ---------------------------------------------------------------------------
// Colourings

void MeshHolder::ColorSelectedVertices() {
  int count = 0;
  WithActive([&](auto& mesh, auto&) {
    using V = typename std::decay_t<decltype(mesh)>::VertexType;
    if constexpr (HasColor<V>) count = quarnel::ColorSelectedVertices(mesh, kSelectionColor);
  });
  if (m_tag != 0) m_selectedVertexCount = count;
}

void MeshHolder::ColorSelectedFaces() {
  int count = 0;
  WithActive([&](auto& mesh, auto&) {
    using F = typename std::decay_t<decltype(mesh)>::FaceType;
    if constexpr (HasColor<F>) count = quarnel::ColorSelectedFaces(mesh, kSelectionColor);
  });
  if (m_tag != 0) m_selectedFaceCount = count;
}

void MeshHolder::ColorByVertexQuality() {
  WithActive([&](auto& mesh, auto&) {
    using V = typename std::decay_t<decltype(mesh)>::VertexType;
    if constexpr (HasColor<V> && HasQuality<V>) ColorVerticesByQualityRange(mesh);
  });
}

void MeshHolder::ColorByFaceQuality() {
  WithActive([&](auto& mesh, auto&) {
    using F = typename std::decay_t<decltype(mesh)>::FaceType;
    if constexpr (HasColor<F> && HasQuality<F>) ColorFacesByQualityRange(mesh);
  });
}

void MeshHolder::ColorBorder() {
  WithActive([&](auto& mesh, auto&) {
    using M = std::decay_t<decltype(mesh)>;
    if constexpr (HasColor<typename M::VertexType> && HasColor<typename M::FaceType>) {
      if (!m_borderComputed) {
        if constexpr (std::is_same_v<M, MeshT5>) {
          BuildFaceFaceAdjacency(mesh);
          FaceBorderFromFF(mesh);
        } else {
          FaceBorderFromEdgeList(mesh);
        }
        m_borderComputed = true;
      }
      quarnel::ColorBorder(mesh, kBorderColor);
    }
  });
}

void MeshHolder::ColorByGeodesicDistance() {
  if (m_tag != 5) return;
  SavedVertexQuality saved(m_mesh5);
  if (!m_geodesicComputed || m_geodesicDistance.size() != m_mesh5.vertices.size()) {
    GeodesicDistanceFromBorder(m_mesh5, false);
    // The distance leaves vertex-face lists in the adjacency slots; the
    // selection and editing commands expect face-face adjacency there.
    BuildFaceFaceAdjacency(m_mesh5);
    m_geodesicDistance.clear();
    m_geodesicDistance.reserve(m_mesh5.vertices.size());
    for (const VertexT5& v : m_mesh5.vertices) m_geodesicDistance.push_back(v.quality);
    m_geodesicComputed = true;
  } else {
    for (size_t i = 0; i < m_mesh5.vertices.size(); ++i)
      m_mesh5.vertices[i].quality = m_geodesicDistance[i];
  }
  ColorVerticesByQualityRange(m_mesh5);
}

void MeshHolder::ColorByGaussianCurvature() {
  if (m_tag != 5) return;
  SavedVertexQuality saved(m_mesh5);
  GaussianCurvature(m_mesh5);
  SmoothVertexQuality(m_mesh5, 1, false);
  ColorVerticesByQualityHistogram(m_mesh5);
}

void MeshHolder::ComputeMassProperties() {
  if (m_massComputed) return;
  WithActive([&](auto& mesh, auto&) {
    ComputeFaceNormals(mesh, true);
    MassProperties mp;
    mp.ComputeVolumeIntegrals(mesh);
    m_volume = float(mp.T0);
    m_hasCenterOfMass = mp.T0 != 0.0 && std::isfinite(mp.T0);
    for (int i = 0; i < 3; ++i)
      m_centerOfMass[i] = m_hasCenterOfMass ? float(mp.T1[i] * (1.0 / mp.T0)) : 0.0f;
    m_surfaceArea = float(SurfaceArea(mesh));
    m_massComputed = true;
  });
}

void MeshHolder::MeshChanged() {
  // The selection lives in the elements' flags and outlasts most edits: a
  // clip keeps the selected faces it leaves standing, smoothing moves them,
  // a cap selects the faces it adds. The counts are taken again from the
  // flags; where nothing is selected any longer the pane shows none.
  int vertices = 0, faces = 0;
  WithActive([&](auto& mesh, auto&) {
    vertices = CountSelected(mesh.vertices);
    faces = CountSelected(mesh.faces);
  });
  const bool any = vertices > 0 || faces > 0;
  m_selectedVertexCount = any ? vertices : -1;
  m_selectedFaceCount = any ? faces : -1;
  ForgetComputed();
}

void MeshHolder::ForgetComputed() {
  m_massComputed = false;
  m_hasCenterOfMass = false;
  m_borderComputed = false;
  m_geodesicComputed = false;
  m_geodesicDistance.clear();
}

// ---------------------------------------------------------------------------
// Queries

const BBox3f* MeshHolder::BBox() const {
  const BBox3f* box = &Static().box;
  WithActive([&](const auto& mesh, const auto&) { box = &mesh.bbox; });
  return box;
}

int MeshHolder::VertexCount() const {
  int n = 0;
  WithActive([&](const auto& mesh, const auto&) { n = mesh.vertexCount; });
  return n;
}

int MeshHolder::FaceCount() const {
  int n = 0;
  WithActive([&](const auto& mesh, const auto&) { n = mesh.faceCount; });
  return n;
}

const std::vector<std::string>* MeshHolder::TextureNames() const {
  const std::vector<std::string>* names = &Static().names;
  WithActive([&](const auto& mesh, const auto&) { names = &mesh.textureNames; });
  return names;
}

const std::vector<std::string>* MeshHolder::NormalMapNames() const {
  const std::vector<std::string>* names = &Static().names;
  WithActive([&](const auto& mesh, const auto&) { names = &mesh.normalMapNames; });
  return names;
}

std::vector<std::string>* MeshHolder::MutableTextureNames() {
  std::vector<std::string>* names = nullptr;
  WithActive([&](auto& mesh, auto&) { names = &mesh.textureNames; });
  return names;
}

std::vector<std::string>* MeshHolder::MutableNormalMapNames() {
  std::vector<std::string>* names = nullptr;
  WithActive([&](auto& mesh, auto&) { names = &mesh.normalMapNames; });
  return names;
}

const Vec3f* MeshHolder::VertexPosition(int i) const {
  const Vec3f* p = &Static().vec;
  WithActive([&](const auto& mesh, const auto&) {
    if (InRange(mesh.vertices, i)) p = &mesh.vertices[size_t(i)].position;
  });
  return p;
}

const Vec3f* MeshHolder::VertexNormal(int i) const {
  const Vec3f* p = &Static().vec;
  WithActive([&](const auto& mesh, const auto&) {
    if (InRange(mesh.vertices, i)) p = &mesh.vertices[size_t(i)].normal;
  });
  return p;
}

const Color4b* MeshHolder::VertexColor(int i) const {
  const Color4b* p = &Static().color;
  WithActive([&](const auto& mesh, const auto&) {
    using V = typename std::decay_t<decltype(mesh)>::VertexType;
    if constexpr (HasColor<V>)
      if (InRange(mesh.vertices, i)) p = &mesh.vertices[size_t(i)].color;
  });
  return p;
}

const float* MeshHolder::VertexQuality(int i) const {
  const float* p = &Static().scalar;
  WithActive([&](const auto& mesh, const auto&) {
    using V = typename std::decay_t<decltype(mesh)>::VertexType;
    if constexpr (HasQuality<V>)
      if (InRange(mesh.vertices, i)) p = &mesh.vertices[size_t(i)].quality;
  });
  return p;
}

const Color4b* MeshHolder::FaceColor(int i) const {
  const Color4b* p = &Static().color;
  WithActive([&](const auto& mesh, const auto&) {
    using F = typename std::decay_t<decltype(mesh)>::FaceType;
    if constexpr (HasColor<F>)
      if (InRange(mesh.faces, i)) p = &mesh.faces[size_t(i)].color;
  });
  return p;
}

const Vec3f* MeshHolder::FaceNormal(int i) const {
  const Vec3f* p = &Static().vec;
  WithActive([&](const auto& mesh, const auto&) {
    if (InRange(mesh.faces, i)) p = &mesh.faces[size_t(i)].normal;
  });
  return p;
}

const float* MeshHolder::FaceQuality(int i) const {
  const float* p = &Static().scalar;
  WithActive([&](const auto& mesh, const auto&) {
    using F = typename std::decay_t<decltype(mesh)>::FaceType;
    if constexpr (HasQuality<F>)
      if (InRange(mesh.faces, i)) p = &mesh.faces[size_t(i)].quality;
  });
  return p;
}

int MeshHolder::FaceVertexIndex(int i, int k) const {
  int index = 0;
  WithActive([&](const auto& mesh, const auto&) {
    if (InRange(mesh.faces, i) && k >= 0 && k < 3) {
      const auto* v = mesh.faces[size_t(i)].v[k];
      if (v) index = int(mesh.VertexIndex(v));
    }
  });
  return index;
}

}  // namespace quarnel
