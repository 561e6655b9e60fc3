#include "io/ply_importer.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <vector>

#include "io/ply_reader.h"

namespace quarnel {

namespace {

std::atomic<bool> g_blockReading{true};

constexpr int kExtraRoom = 256;
constexpr int kIndexRoom = 512;
constexpr int kTexCoordRoom = 32;
constexpr int kColorRoom = 32;

// One record of the file lands here before it is copied into the mesh.
struct VertexStaging {
  float x, y, z;
  std::int32_t flags;
  float quality;  // also the target of "confidence"
  std::uint8_t red, green, blue;
  alignas(8) unsigned char extra[kExtraRoom];
};

struct FaceStaging {
  std::uint8_t indexCount;
  std::int32_t indices[kIndexRoom];
  std::int32_t flags;
  float quality;
  float texcoord[kTexCoordRoom];
  std::uint8_t texcoordCount;
  std::int32_t texNumber;
  float colors[kColorRoom];
  std::uint8_t colorCount;
  std::uint8_t red, green, blue;
  alignas(8) unsigned char extra[kExtraRoom];
};

struct StripStaging {
  std::int32_t indexCount;
  std::int32_t* indices;  // allocated by the reader, released after each strip
};

using namespace ply_type;

constexpr PlyBinding Scalar(const char* element, const char* property, PlyType type,
                            std::size_t offset) {
  return PlyBinding{element, property, type, type, std::int32_t(offset), 0, 0, None, None, 0,
                    ply_format::Unknown, 0};
}

constexpr PlyBinding InPlaceList(const char* element, const char* property, PlyType type,
                                 std::size_t offset, PlyType countType, PlyType countMemType,
                                 std::size_t countOffset, int room) {
  return PlyBinding{element,      property, type, type, std::int32_t(offset), 1, 0, countType,
                    countMemType, std::int32_t(countOffset), ply_format::Unknown, room};
}

#define VS(field) offsetof(VertexStaging, field)
#define FS(field) offsetof(FaceStaging, field)
#define CAM(field) Scalar("camera", #field, Float, offsetof(PlyCamera, field))

const PlyBinding kVertexBindings[PlyImporter::kVertexBindingCount] = {
    Scalar("vertex", "x", Float, VS(x)),
    Scalar("vertex", "y", Float, VS(y)),
    Scalar("vertex", "z", Float, VS(z)),
    Scalar("vertex", "flags", Int, VS(flags)),
    Scalar("vertex", "quality", Float, VS(quality)),
    Scalar("vertex", "red", UChar, VS(red)),
    Scalar("vertex", "green", UChar, VS(green)),
    Scalar("vertex", "blue", UChar, VS(blue)),
    Scalar("vertex", "confidence", Float, VS(quality)),
};
enum { kX, kY, kZ, kVFlags, kVQuality, kVRed, kVGreen, kVBlue, kVConfidence };

const PlyBinding kCameraBindings[23] = {
    CAM(view_px), CAM(view_py), CAM(view_pz), CAM(x_axisx), CAM(x_axisy), CAM(x_axisz),
    CAM(y_axisx), CAM(y_axisy), CAM(y_axisz), CAM(z_axisx), CAM(z_axisy), CAM(z_axisz),
    CAM(focal),   CAM(scalex),  CAM(scaley),  CAM(centerx), CAM(centery),
    Scalar("camera", "viewportx", Int, offsetof(PlyCamera, viewportx)),
    Scalar("camera", "viewporty", Int, offsetof(PlyCamera, viewporty)),
    CAM(k1),      CAM(k2),      CAM(k3),      CAM(k4),
};

const PlyBinding kFaceVertexIndices =
    InPlaceList("face", "vertex_indices", Int, FS(indices), UChar, UChar, FS(indexCount), kIndexRoom);
const PlyBinding kFaceVertexIndex =
    InPlaceList("face", "vertex_index", Int, FS(indices), UChar, Char, FS(indexCount), kIndexRoom);
const PlyBinding kStripVertexIndices = {"tristrips",
                                        "vertex_indices",
                                        Int,
                                        Int,
                                        std::int32_t(offsetof(StripStaging, indices)),
                                        1,
                                        1,
                                        Int,
                                        Int,
                                        std::int32_t(offsetof(StripStaging, indexCount)),
                                        ply_format::Unknown,
                                        0};

const PlyBinding kFaceFlags = Scalar("face", "flags", Int, FS(flags));
const PlyBinding kFaceQuality = Scalar("face", "quality", Float, FS(quality));
const PlyBinding kFaceRed = Scalar("face", "red", UChar, FS(red));
const PlyBinding kFaceGreen = Scalar("face", "green", UChar, FS(green));
const PlyBinding kFaceBlue = Scalar("face", "blue", UChar, FS(blue));
const PlyBinding kFaceTexCoord =
    InPlaceList("face", "texcoord", Float, FS(texcoord), UChar, UChar, FS(texcoordCount), kTexCoordRoom);
const PlyBinding kFaceTexNumber = Scalar("face", "texnumber", Int, FS(texNumber));
const PlyBinding kFaceColor =
    InPlaceList("face", "color", Float, FS(colors), UChar, UChar, FS(colorCount), kColorRoom);

#undef VS
#undef FS
#undef CAM

constexpr Color4b kWhite{255, 255, 255, 255};

// Truncates a colour channel toward zero, clamped to a byte (NaN gives 0).
std::uint8_t ChannelByte(float c) {
  if (!(c > 0.0f)) return 0;
  if (c >= 255.0f) return 255;
  return std::uint8_t(c);
}

// The colour of a "color" list: the mean of its complete RGB triples (at
// most three, each component from 0 to 1); white when it has none.
Color4b ColorFromList(const float* c, int count) {
  int triples = count / 3 < 3 ? count / 3 : 3;
  if (triples == 0) return kWhite;
  float sum[3];
  for (int k = 0; k < 3; ++k) {
    if (triples == 3) {
      sum[k] = (255.0f * c[k] + 255.0f * c[3 + k] + 255.0f * c[6 + k]) * 0.33333334f;
    } else if (triples == 2) {
      sum[k] = (255.0f * c[k] + 255.0f * c[3 + k]) * 0.5f;
    } else {
      sum[k] = 255.0f * c[k];
    }
  }
  return Color4b{ChannelByte(sum[0]), ChannelByte(sum[1]), ChannelByte(sum[2]), 255};
}

// The fewest bytes one record of the element can take in the file and still
// load, so that a lying count never makes us reserve more than the file can
// fill: a number of a text file takes a digit and a separator, a binary value
// its size. A list takes its count, and `requiredItems` items when it is the
// `required` list, whose records load only with that many.
std::uint64_t MinRecordBytes(const PlyElement& e, PlyFormat format, const char* required,
                             std::uint64_t requiredItems) {
  auto size = [](PlyType t) { return IsValidPlyType(t) ? std::uint64_t(kPlyTypeSizes[t]) : 1; };
  std::uint64_t bytes = 0;
  for (const PlyProperty& p : e.properties) {
    const std::uint64_t items =
        p.isList && required != nullptr && p.name == required ? requiredItems : 0;
    if (format == ply_format::Ascii) {
      bytes += 2 * (1 + items);
    } else if (p.isList) {
      bytes += size(p.countType) + items * size(p.fileType);
    } else {
      bytes += size(p.fileType);
    }
  }
  return bytes;
}

// Where one extra value goes: from the staging area to the mesh record.
struct ExtraCopy {
  std::size_t from;
  std::size_t to;
  std::size_t size;
};

void ReportProgress(const LoadProgressCallback& progress, std::int64_t done, std::int64_t total,
                    int base, const char* text) {
  if (progress) progress(int(std::int64_t(50) * done / total + base), text);
}

struct FreeDeleter {
  void operator()(std::int32_t* p) const { PlyFreeList(p); }
};

template <class MeshType>
class Import {
  using V = typename MeshType::VertexType;
  using F = typename MeshType::FaceType;

 public:
  Import(MeshType& mesh, IoMask& mask, const LoadProgressCallback& progress)
      : mesh_(mesh), mask_(mask), progress_(progress) {}

  PlyError Run(const InputFile& file, int extraVertexCount, const PlyBinding* extraVertex,
               int extraFaceCount, const PlyBinding* extraFace);

 private:
  bool Bind(const PlyBinding& b) { return reader_.AddToRead(b) == 0; }
  PlyError BindExtras(int count, const PlyBinding* table, const char* element,
                      std::size_t stagingExtra, std::size_t recordSize, std::vector<ExtraCopy>& copies);
  PlyError ReadCamera(std::int32_t count);
  PlyError ReadVertices(std::int32_t count);
  PlyError ReadFaces(std::int32_t count);
  PlyError ReadStrips(std::int32_t count);
  PlyError DecodeStrip(const std::int32_t* s, std::int32_t length, std::size_t n);
  PlyError DropRecords(std::int32_t count);
  template <class Staging, class Append>
  PlyError ReadRecords(std::int32_t count, int base, const char* text, Append append);
  PlyError AppendVertex(const VertexStaging& st);
  PlyError AppendFace(const FaceStaging& st);
  F& AppendDefaultFace();
  template <class Record>
  void ReserveFor(std::vector<Record>& a, std::int32_t count, const char* requiredList = nullptr);
  std::int64_t ReservableRecords(std::int32_t count, const char* requiredList);
  void TakeTextureNames(const char* fileName);

  MeshType& mesh_;
  IoMask& mask_;
  const LoadProgressCallback& progress_;
  PlyReader reader_;
  std::vector<ExtraCopy> vertexExtras_, faceExtras_;
  bool stripsBound_ = false;
  const char* faceIndexList_ = nullptr;  // the name of the bound face index list
  std::size_t deletedVertices_ = 0;  // of the loaded vertex and face records
  std::size_t deletedFaces_ = 0;
};

template <class MeshType>
PlyError Import<MeshType>::Run(const InputFile& file, int extraVertexCount,
                               const PlyBinding* extraVertex, int extraFaceCount,
                               const PlyBinding* extraFace) {
  if (reader_.OpenRead(file) != 0) return reader_.error;

  int bound = 0;
  while (bound < 23 && Bind(kCameraBindings[bound])) ++bound;
  if (bound == 23) mask_ |= io_mask::Camera;

  for (int i : {kX, kY, kZ}) {
    if (!Bind(kVertexBindings[i])) return ply_error::NoVertexField;
  }

  if (Bind(kFaceVertexIndices)) {
    faceIndexList_ = kFaceVertexIndices.propertyName;
  } else if (Bind(kFaceVertexIndex)) {
    faceIndexList_ = kFaceVertexIndex.propertyName;
  } else {
    if (!Bind(kStripVertexIndices)) return ply_error::NoFaceField;
    stripsBound_ = true;
  }

  if (Bind(kVertexBindings[kVFlags])) mask_ |= io_mask::VertexFlags;
  if constexpr (HasQuality<V>) {
    if (Bind(kVertexBindings[kVQuality]) || Bind(kVertexBindings[kVConfidence])) {
      mask_ |= io_mask::VertexQuality;
    }
  }
  if constexpr (HasColor<V>) {
    if (Bind(kVertexBindings[kVRed]) && Bind(kVertexBindings[kVGreen]) &&
        Bind(kVertexBindings[kVBlue])) {
      mask_ |= io_mask::VertexColor;
    }
  }
  if (Bind(kFaceFlags)) mask_ |= io_mask::FaceFlags;
  if constexpr (HasQuality<F>) {
    if (Bind(kFaceQuality)) mask_ |= io_mask::FaceQuality;
  }
  if constexpr (HasColor<F>) {
    if (Bind(kFaceRed) && Bind(kFaceGreen) && Bind(kFaceBlue)) mask_ |= io_mask::FaceColor;
  }
  if constexpr (HasWedge<F>) {
    if (Bind(kFaceTexCoord)) {
      mask_ |= io_mask::WedgeTexCoord;
      if (Bind(kFaceTexNumber)) mask_ |= io_mask::WedgeTexNumber;
    }
  }
  if constexpr (HasColor<F>) {
    if (Bind(kFaceColor)) mask_ |= io_mask::FaceColorList;
  }

  PlyError e = BindExtras(extraVertexCount, extraVertex, "vertex", offsetof(VertexStaging, extra),
                          sizeof(V), vertexExtras_);
  if (e == ply_error::NoError) {
    e = BindExtras(extraFaceCount, extraFace, "face", offsetof(FaceStaging, extra), sizeof(F),
                   faceExtras_);
  }
  if (e != ply_error::NoError) return e;

  // Faces are triangles with one texture coordinate pair and one colour per
  // corner; records that say so are read in blocks.
  reader_.ExpectListCount("face", "vertex_indices", 3);
  reader_.ExpectListCount("face", "vertex_index", 3);
  reader_.ExpectListCount("face", "texcoord", 6);
  reader_.ExpectListCount("face", "color", 9);

  // Only the first element of each handled name is loaded; the others are
  // read through and dropped.
  PlyElement* firstVertex = reader_.FindElement("vertex");
  PlyElement* firstFace = reader_.FindElement("face");
  PlyElement* firstStrips = reader_.FindElement("tristrips");
  PlyElement* firstCamera = reader_.FindElement("camera");
  mesh_.hasCamera = false;
  for (int i = 0; i < reader_.NumElements(); ++i) {
    PlyElement* element = &reader_.ElementAt(i);
    std::int32_t count = reader_.ElementCount(i);
    reader_.SetCurrentElement(i);
    if (element == firstCamera) {
      e = ReadCamera(count);
    } else if (element == firstVertex) {
      e = ReadVertices(count);
    } else if (element == firstFace && !stripsBound_) {
      e = ReadFaces(count);
    } else if (element == firstStrips && stripsBound_) {
      e = ReadStrips(count);
    } else {
      e = DropRecords(count);
    }
    if (e != ply_error::NoError) return e;
  }

  TakeTextureNames(file.Path().c_str());

  // Counted as the records were appended, so that the arrays are not walked
  // a second time.
  mesh_.vertexCount = std::int32_t(mesh_.vertices.size() - deletedVertices_);
  mesh_.faceCount = std::int32_t(mesh_.faces.size() - deletedFaces_);
  return ply_error::NoError;
}

template <class MeshType>
PlyError Import<MeshType>::BindExtras(int count, const PlyBinding* table, const char* element,
                                      std::size_t stagingExtra, std::size_t recordSize,
                                      std::vector<ExtraCopy>& copies) {
  if (count <= 0 || table == nullptr) return ply_error::NoError;
  std::size_t next = 0;
  for (int i = 0; i < count; ++i) {
    PlyBinding copy = table[i];
    std::size_t size = std::size_t(copy.MemTypeSize());
    // Extra values are copied by size from the staging record of their
    // element into the caller's record: a list, a field outside the record
    // or a property of another element has no sound place there.
    if (copy.isList || copy.offset < 0 || std::size_t(copy.offset) + size > recordSize ||
        next + size > std::size_t(kExtraRoom) || copy.elementName == nullptr ||
        std::strcmp(copy.elementName, element) != 0) {
      return ply_error::BadTypeOnAddToRead;
    }
    std::size_t to = std::size_t(copy.offset);
    copy.offset = std::int32_t(stagingExtra + next);
    if (reader_.AddToRead(copy) != 0) return reader_.error;
    copies.push_back({next, to, size});
    next += size;
  }
  return ply_error::NoError;
}

template <class MeshType>
std::int64_t Import<MeshType>::ReservableRecords(std::int32_t count, const char* requiredList) {
  if (count <= 0) return 0;
  std::uint64_t minBytes = MinRecordBytes(*reader_.CurrentElement(), reader_.format, requiredList, 3);
  std::uint64_t fit = minBytes == 0 ? std::uint64_t(count) : (reader_.Input().Remaining() + 1) / minBytes;
  return std::int64_t(fit < std::uint64_t(count) ? fit : std::uint64_t(count));
}

// Room for the records the file can still hold. The room is only an
// allowance: when the system will not give it, the records grow the array as
// they are read, and a damaged file still ends with the reader's own error.
template <class MeshType>
template <class Record>
void Import<MeshType>::ReserveFor(std::vector<Record>& a, std::int32_t count,
                                  const char* requiredList) {
  try {
    a.reserve(std::size_t(ReservableRecords(count, requiredList)));
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
}

template <class MeshType>
PlyError Import<MeshType>::ReadCamera(std::int32_t count) {
  PlyCamera staging{};
  if (count <= 0) return ply_error::NoError;
  if (reader_.CurrentElement()->properties.empty()) {
    // Records without properties take no bytes: any number of them reads
    // as one.
    count = 1;
  }
  for (std::int32_t j = 0; j < count; ++j) {
    if (reader_.Read(&staging) != 0) return ply_error::UnexpectedEof;
    mesh_.hasCamera = true;
    mesh_.camera = staging;
  }
  return ply_error::NoError;
}

template <class MeshType>
PlyError Import<MeshType>::AppendVertex(const VertexStaging& st) {
  V& v = mesh_.vertices.emplace_back();
  v.position = Vec3f(st.x, st.y, st.z);
  v.flags = (mask_ & io_mask::VertexFlags) ? std::uint32_t(st.flags) : 0u;
  deletedVertices_ += v.flags & ElemFlag::Deleted;
  if constexpr (HasQuality<V>) v.quality = (mask_ & io_mask::VertexQuality) ? st.quality : 1.0f;
  if constexpr (HasColor<V>) {
    v.color = (mask_ & io_mask::VertexColor) ? Color4b{st.red, st.green, st.blue, 255} : kWhite;
  }
  for (const ExtraCopy& c : vertexExtras_) {
    std::memcpy(reinterpret_cast<unsigned char*>(&v) + c.to, st.extra + c.from, c.size);
  }
  return ply_error::NoError;
}

// Reads `count` records of the current element and appends one record of
// the mesh for each, a run at a time: the run is read (in one go where the
// block reader applies, else record by record), then `append` takes its
// records in file order, each appended value-initialised and filled while
// its memory is in the cache, so that the mesh's pages are walked once. A
// record that does not load ends the reading before it takes any room.
// Errors and progress reports come exactly as when every record is read and
// filled before the next is read.
template <class MeshType>
template <class Staging, class Append>
PlyError Import<MeshType>::ReadRecords(std::int32_t count, int base, const char* text,
                                       Append append) {
  // Switched off, every record is read and filled before the next: the
  // reference that the runs must agree with.
  const bool runs = g_blockReading.load(std::memory_order_relaxed);
  const bool blocks = runs && reader_.CanReadBlocks();
  // Staging records start zeroed; fields that no property fills stay so.
  std::vector<Staging> run(runs ? std::max<std::size_t>(8, 65536 / sizeof(Staging)) : 1);
  std::int32_t j = 0;
  while (j < count) {
    const std::size_t want = std::min(std::size_t(count - j), run.size());
    std::size_t got = blocks ? reader_.ReadBlock(reinterpret_cast<char*>(run.data()), sizeof(Staging), want) : 0;
    bool readFailed = false;
    if (got == 0) {
      // Records that the block reader leaves go through the general path.
      const std::size_t one = blocks ? 1 : want;
      while (got < one && !readFailed) {
        if (reader_.Read(&run[got]) == 0) {
          ++got;
        } else {
          readFailed = true;
        }
      }
    }
    for (std::size_t r = 0; r < got; ++r, ++j) {
      if (j % 1000 == 0) ReportProgress(progress_, j, count, base, text);
      PlyError e = append(run[r]);
      if (e != ply_error::NoError) return e;
    }
    if (readFailed) {
      if (j % 1000 == 0) ReportProgress(progress_, j, count, base, text);
      return ply_error::UnexpectedEof;
    }
  }
  return ply_error::NoError;
}

template <class MeshType>
PlyError Import<MeshType>::ReadVertices(std::int32_t count) {
  mesh_.vertices.clear();
  deletedVertices_ = 0;
  if (count <= 0) return ply_error::NoError;
  ReserveFor(mesh_.vertices, count);
  return ReadRecords<VertexStaging>(count, 0, "Vertex Loading",
                                   [this](const VertexStaging& st) { return AppendVertex(st); });
}

// A face as no property fills it: flags 0, quality 1, white.
template <class MeshType>
typename MeshType::FaceType& Import<MeshType>::AppendDefaultFace() {
  F& f = mesh_.faces.emplace_back();
  if constexpr (HasQuality<F>) f.quality = 1.0f;
  if constexpr (HasColor<F>) f.color = kWhite;
  return f;
}

template <class MeshType>
PlyError Import<MeshType>::ReadFaces(std::int32_t count) {
  mesh_.faces.clear();
  deletedFaces_ = 0;
  if (count <= 0) return ply_error::NoError;
  ReserveFor(mesh_.faces, count, faceIndexList_);
  return ReadRecords<FaceStaging>(count, 50, "Face Loading",
                                  [this](const FaceStaging& st) { return AppendFace(st); });
}

template <class MeshType>
PlyError Import<MeshType>::AppendFace(const FaceStaging& st) {
  if (st.indexCount != 3) return ply_error::FaceNotTriangle;
  const std::int32_t i0 = st.indices[0], i1 = st.indices[1], i2 = st.indices[2];
  const std::size_t n = mesh_.vertices.size();
  if (i0 < 0 || std::size_t(i0) >= n || i1 < 0 || std::size_t(i1) >= n || i2 < 0 ||
      std::size_t(i2) >= n) {
    return ply_error::BadVertexIndex;
  }
  F& f = AppendDefaultFace();
  V* base = mesh_.vertices.data();
  f.v[0] = base + i0;
  f.v[1] = base + i1;
  f.v[2] = base + i2;
  if (mask_ & io_mask::FaceFlags) {
    f.flags = std::uint32_t(st.flags);
    deletedFaces_ += f.flags & ElemFlag::Deleted;
  }
  if constexpr (HasQuality<F>) {
    if (mask_ & io_mask::FaceQuality) f.quality = st.quality;
  }
  if constexpr (HasColor<F>) {
    if (mask_ & io_mask::FaceColor) f.color = Color4b{st.red, st.green, st.blue, 255};
    if (mask_ & io_mask::FaceColorList) f.color = ColorFromList(st.colors, st.colorCount);
  }
  if constexpr (HasWedge<F>) {
    if (mask_ & io_mask::WedgeTexCoord) {
      // A short list leaves the missing coordinates at 0.
      const int have = st.texcoordCount;
      std::int16_t tex = (mask_ & io_mask::WedgeTexNumber) ? std::int16_t(st.texNumber) : 0;
      for (int k = 0; k < 3; ++k) {
        f.wedge[k].u = 2 * k < have ? st.texcoord[2 * k] : 0.0f;
        f.wedge[k].v = 2 * k + 1 < have ? st.texcoord[2 * k + 1] : 0.0f;
        f.wedge[k].texIndex = tex;
      }
    }
  }
  for (const ExtraCopy& c : faceExtras_) {
    std::memcpy(reinterpret_cast<unsigned char*>(&f) + c.to, st.extra + c.from, c.size);
  }
  return ply_error::NoError;
}

template <class MeshType>
PlyError Import<MeshType>::ReadStrips(std::int32_t count) {
  mesh_.faces.clear();
  deletedFaces_ = 0;
  if (count <= 0) return ply_error::NoError;
  const std::size_t n = mesh_.vertices.size();
  for (std::int32_t j = 0; j < count; ++j) {
    if (j % 1000 == 0) ReportProgress(progress_, j, count, 50, "Tristrip Face Loading");
    StripStaging st{0, nullptr};
    int read = reader_.Read(&st);
    std::unique_ptr<std::int32_t, FreeDeleter> indices(st.indices);
    if (read != 0) return ply_error::UnexpectedEof;
    if (st.indices == nullptr) continue;
    PlyError e = DecodeStrip(st.indices, st.indexCount, n);
    if (e != ply_error::NoError) return e;
  }
  return ply_error::NoError;
}

template <class MeshType>
PlyError Import<MeshType>::DecodeStrip(const std::int32_t* s, std::int32_t length, std::size_t n) {
  auto inRange = [n](std::int32_t i) { return i >= 0 && std::size_t(i) < n; };
  V* base = mesh_.vertices.data();
  std::int64_t parity = 0;
  for (std::int64_t k = 0; k < std::int64_t(length) - 2; ++k) {
    if (k % 1000 == 0) ReportProgress(progress_, k, length, 50, "Tristrip Face Loading");
    if (!inRange(s[k])) return ply_error::BadVertexIndex;
    if (s[k + 2] == -1) {
      // Restart: the next face begins after the -1 and keeps its order.
      k += 2;
      parity = (k + 1) & 1;
      continue;
    }
    if (!inRange(s[k + 1]) || !inRange(s[k + 2])) return ply_error::BadVertexIndex;
    F& f = AppendDefaultFace();
    f.v[0] = base + s[k];
    f.v[1] = base + s[k + 1];
    f.v[2] = base + s[k + 2];
    if ((k + parity) & 1) std::swap(f.v[0], f.v[1]);
  }
  return ply_error::NoError;
}

template <class MeshType>
PlyError Import<MeshType>::DropRecords(std::int32_t count) {
  if (count <= 0 || reader_.CurrentElement()->properties.empty()) return ply_error::NoError;
  // Properties bound to an element that is not loaded (face attributes when
  // the faces come from strips, or extra bindings of another element) still
  // land somewhere harmless.
  constexpr std::size_t kSize = std::max({sizeof(VertexStaging), sizeof(FaceStaging),
                                          sizeof(StripStaging), sizeof(PlyCamera)});
  struct alignas(8) Scratch {
    unsigned char bytes[kSize];
  };
  auto scratch = std::make_unique<Scratch>();
  for (std::int32_t j = 0; j < count; ++j) {
    if (reader_.Read(scratch.get()) != 0) return ply_error::UnexpectedEof;
  }
  return ply_error::NoError;
}

template <class MeshType>
void Import<MeshType>::TakeTextureNames(const char* fileName) {
  mesh_.textureNames.clear();
  mesh_.normalMapNames.clear();
  static const std::string kTexture = "TextureFile";
  static const std::string kNormal = "TextureNormalFile";
  for (const std::string& c : reader_.comments) {
    if (c.compare(0, kTexture.size(), kTexture) == 0) {
      std::string rest = c.size() > kTexture.size() + 1 ? c.substr(kTexture.size() + 1) : std::string();
      mesh_.textureNames.push_back(PlyTextureName(rest, fileName));
    } else if (c.compare(0, kNormal.size(), kNormal) == 0) {
      std::string rest = c.size() > kNormal.size() + 1 ? c.substr(kNormal.size() + 1) : std::string();
      mesh_.normalMapNames.push_back(PlyTextureName(rest, fileName));
    }
  }
}

}  // namespace

std::string PlyTextureName(const std::string& afterKeyword, const char* plyPath) {
  std::string clean;
  for (char c : afterKeyword) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u > 32 && u < 125) clean.push_back(c);
  }
  std::string base = plyPath != nullptr ? plyPath : "";
  std::size_t slash = base.find_last_of("/\\");
  if (slash != std::string::npos) base.erase(0, slash + 1);
  if (base.size() >= 4) {
    std::string tail = base.substr(base.size() - 4);
    for (char& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (tail == ".ply") base.erase(base.size() - 4);
  }
  static const char kToken[] = "<this>";
  std::string out;
  for (std::size_t i = 0; i < clean.size();) {
    bool match = i + 6 <= clean.size();
    for (std::size_t k = 0; match && k < 6; ++k) {
      match = std::tolower(static_cast<unsigned char>(clean[i + k])) == kToken[k];
    }
    if (match) {
      out += base;
      i += 6;
    } else {
      out.push_back(clean[i++]);
    }
  }
  return out;
}

void PlyImporter::SetBlockReading(bool on) { g_blockReading = on; }
bool PlyImporter::BlockReading() { return g_blockReading; }

const PlyBinding* PlyImporter::VertexBinding(int i) {
  if (i < 0 || i >= kVertexBindingCount) return nullptr;
  return &kVertexBindings[i];
}

template <class MeshType>
int PlyImporter::Open(MeshType& mesh, const char* fileName, int extraVertexCount,
                      const PlyBinding* extraVertex, int extraFaceCount,
                      const PlyBinding* extraFace, IoMask& mask,
                      const LoadProgressCallback& progress) {
  InputFile file;
  if (!file.Open(fileName)) {
    mask = 0;
    mesh.lastError = ply_error::CantOpenFile;
    return -1;
  }
  return Open(mesh, file, extraVertexCount, extraVertex, extraFaceCount, extraFace, mask, progress);
}

template <class MeshType>
int PlyImporter::Open(MeshType& mesh, const InputFile& file, int extraVertexCount,
                      const PlyBinding* extraVertex, int extraFaceCount,
                      const PlyBinding* extraFace, IoMask& mask,
                      const LoadProgressCallback& progress) {
  mask = 0;
  mesh.lastError = ply_error::NoError;
  // The file is read into a fresh mesh that replaces the caller's only when
  // the whole file was read.
  MeshType fresh;
  fresh.color = mesh.color;
  PlyError e = Import<MeshType>(fresh, mask, progress)
                   .Run(file, extraVertexCount, extraVertex, extraFaceCount, extraFace);
  if (e != ply_error::NoError) {
    mesh.lastError = e;
    return -1;
  }
  mesh = std::move(fresh);
  return 0;
}

template <class MeshType>
int PlyImporter::LoadMask(const char* fileName, IoMask& mask, MeshType& mesh) {
  InputFile file;
  if (!file.Open(fileName)) {
    mask = 0;
    mesh.lastError = ply_error::CantOpenFile;
    return 0;
  }
  return LoadMask(file, mask, mesh);
}

template <class MeshType>
int PlyImporter::LoadMask(const InputFile& file, IoMask& mask, MeshType& mesh) {
  mask = 0;
  PlyReader reader;
  if (reader.OpenRead(file) != 0) {
    mesh.lastError = reader.error;
    return 0;
  }
  auto bind = [&reader](const PlyBinding& b) { return reader.AddToRead(b) == 0; };
  if (bind(kVertexBindings[kX]) && bind(kVertexBindings[kY]) && bind(kVertexBindings[kZ])) {
    mask |= io_mask::VertexCoord;
  }
  if (bind(kVertexBindings[kVFlags])) mask |= io_mask::VertexFlags;
  if (bind(kVertexBindings[kVQuality])) mask |= io_mask::VertexQuality;
  if (bind(kVertexBindings[kVConfidence])) mask |= io_mask::VertexQuality;
  if (bind(kVertexBindings[kVRed]) && bind(kVertexBindings[kVGreen]) &&
      bind(kVertexBindings[kVBlue])) {
    mask |= io_mask::VertexColor;
  }
  if (bind(kFaceVertexIndices)) mask |= io_mask::FaceIndices;
  if (bind(kFaceFlags)) mask |= io_mask::FaceFlags;
  if (bind(kFaceQuality)) mask |= io_mask::FaceQuality;
  if (bind(kFaceTexCoord)) mask |= io_mask::WedgeTexCoord;
  if (bind(kFaceTexNumber)) mask |= io_mask::WedgeTexNumber;
  if (bind(kFaceColor)) mask |= io_mask::FaceColorList;
  if (bind(kFaceRed) && bind(kFaceGreen) && bind(kFaceBlue)) mask |= io_mask::FaceColor;
  return 1;
}

#define QUARNEL_PLY_IMPORTER(MeshType)                                                        \
  template int PlyImporter::Open<MeshType>(MeshType&, const char*, int, const PlyBinding*, int, \
                                           const PlyBinding*, IoMask&,                          \
                                           const LoadProgressCallback&);                        \
  template int PlyImporter::Open<MeshType>(MeshType&, const InputFile&, int, const PlyBinding*, \
                                           int, const PlyBinding*, IoMask&,                     \
                                           const LoadProgressCallback&);                        \
  template int PlyImporter::LoadMask<MeshType>(const char*, IoMask&, MeshType&);            \
  template int PlyImporter::LoadMask<MeshType>(const InputFile&, IoMask&, MeshType&);

QUARNEL_PLY_IMPORTER(MeshT1)
QUARNEL_PLY_IMPORTER(MeshT3)
QUARNEL_PLY_IMPORTER(MeshT4)
QUARNEL_PLY_IMPORTER(MeshT5)

#undef QUARNEL_PLY_IMPORTER

}  // namespace quarnel
