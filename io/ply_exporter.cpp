#include "io/ply_exporter.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "io/safe_file.h"
#include "io/vertex_numbering.h"

namespace quarnel {

namespace {

// One value of a record, in binary or as a blank-separated word of a line.
template <bool Binary>
class RecordWriter {
 public:
  explicit RecordWriter(SafeFile& out) : out_(out) {}

  void Float(float v) { Put<&SafeFile::F32>(v); }
  void Double(double v) { Put<&SafeFile::F64>(v); }
  void Int(int32_t v) { Put<&SafeFile::I32>(v); }
  void UInt(uint32_t v) { Put<&SafeFile::U32>(v); }
  // The signed small types go out as their bit patterns.
  void Short(int16_t v) { Put<&SafeFile::U16>(v); }
  void UShort(uint16_t v) { Put<&SafeFile::U16>(v); }
  void Char(int8_t v) { Put<&SafeFile::U8>(v); }
  void UChar(uint8_t v) { Put<&SafeFile::U8>(v); }
  void Color(const Color4b& c) {
    UChar(c.r);
    UChar(c.g);
    UChar(c.b);
    UChar(c.a);
  }
  void EndRecord() {
    if constexpr (!Binary) {
      out_.Char('\n');
      first_ = true;
    }
  }

 private:
  // Binary: the value through `Raw`, converted to its argument type. Text:
  // the next word of the line, a floating-point value with the digits that
  // read back exactly.
  template <auto Raw, class T>
  void Put(T v) {
    if constexpr (Binary) {
      (out_.*Raw)(v);
    } else {
      Sep();
      if constexpr (std::is_floating_point_v<T>)
        out_.Exact(v);
      else
        out_.Int(v);
    }
  }
  void Sep() {
    if (!first_) out_.Char(' ');
    first_ = false;
  }

  SafeFile& out_;
  bool first_ = true;
};

// A field of a record read as its memory type.
struct Scalar {
  bool isFloat = false;
  int64_t i = 0;
  double d = 0.0;
};

Scalar ReadField(const unsigned char* p, PlyType type) {
  Scalar s;
  auto load = [p](auto v) {
    std::memcpy(&v, p, sizeof v);
    return v;
  };
  switch (type) {
    case ply_type::Char:
      s.i = load(int8_t{});
      break;
    case ply_type::Short:
      s.i = load(int16_t{});
      break;
    case ply_type::Int:
      s.i = load(int32_t{});
      break;
    case ply_type::UChar:
      s.i = load(uint8_t{});
      break;
    case ply_type::UShort:
      s.i = load(uint16_t{});
      break;
    case ply_type::UInt:
      s.i = load(uint32_t{});
      break;
    case ply_type::Float:
      s.isFloat = true;
      s.d = load(float{});
      break;
    default:
      s.isFloat = true;
      s.d = load(double{});
      break;
  }
  return s;
}

// Integer of type T from a scalar: integers keep their low-order bytes,
// floating values are truncated toward zero and held to T's range (a value
// beyond it, or undefined, has no meaningful truncation).
template <class T>
T ToInteger(const Scalar& s) {
  if (!s.isFloat) return static_cast<T>(s.i);
  if (std::isnan(s.d)) return 0;
  double t = std::trunc(s.d);
  if (t <= double(std::numeric_limits<T>::min())) return std::numeric_limits<T>::min();
  if (t >= double(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
  return static_cast<T>(t);
}

float ToFloat(const Scalar& s) {
  if (!s.isFloat) return float(s.i);
  if (s.d > double(FLT_MAX)) return HUGE_VALF;
  if (s.d < -double(FLT_MAX)) return -HUGE_VALF;
  return float(s.d);
}

template <bool Binary>
void WriteExtra(RecordWriter<Binary>& w, const void* record, const PlyBinding& b) {
  Scalar s = ReadField(static_cast<const unsigned char*>(record) + b.offset, b.memType);
  switch (b.fileType) {
    case ply_type::Char:
      w.Char(ToInteger<int8_t>(s));
      break;
    case ply_type::Short:
      w.Short(ToInteger<int16_t>(s));
      break;
    case ply_type::Int:
      w.Int(ToInteger<int32_t>(s));
      break;
    case ply_type::UChar:
      w.UChar(ToInteger<uint8_t>(s));
      break;
    case ply_type::UShort:
      w.UShort(ToInteger<uint16_t>(s));
      break;
    case ply_type::UInt:
      w.UInt(ToInteger<uint32_t>(s));
      break;
    case ply_type::Float:
      w.Float(ToFloat(s));
      break;
    default:
      w.Double(s.isFloat ? s.d : double(s.i));
      break;
  }
}

// A property name is one header word.
bool IsHeaderWord(const char* s) {
  if (s == nullptr || *s == '\0') return false;
  for (; *s; ++s)
    if (static_cast<unsigned char>(*s) <= 32) return false;
  return true;
}

// Extra bindings must name a field inside the record and types the file
// knows; anything else would write garbage or read past the record.
bool UsableBindings(int count, const PlyBinding* table, size_t recordSize) {
  if (count <= 0) return true;
  if (table == nullptr) return false;
  for (int i = 0; i < count; ++i) {
    const PlyBinding& b = table[i];
    if (!IsValidPlyType(b.fileType) || !IsValidPlyType(b.memType)) return false;
    if (!IsHeaderWord(b.propertyName)) return false;
    if (b.offset < 0 || size_t(b.offset) + size_t(b.MemTypeSize()) > recordSize) return false;
  }
  return true;
}

// Comment lines end at the line feed, and the importer drops blanks and
// control characters from the names anyway.
void AppendName(std::string& header, const std::string& name) {
  for (char c : name)
    if (static_cast<unsigned char>(c) > 32) header += c;
}

const char kColorLines[] =
    "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n";

std::string Header(const MeshT5& m, bool binary, const VertexNumbering& numbering,
                   int extraVertexCount, const PlyBinding* extraVertex, int extraFaceCount,
                   const PlyBinding* extraFace, IoMask mask, bool camera, bool texNumber) {
  std::string h = "ply\nformat ";
  h += binary ? "binary_little_endian" : "ascii";
  h += " 1.0\ncomment KelvorLIB generated\n";
  if (mask & io_mask::WedgeTexCoord)
    for (const std::string& name : m.textureNames) {
      h += "comment TextureFile ";
      AppendName(h, name);
      h += '\n';
    }
  for (const std::string& name : m.normalMapNames) {
    h += "comment TextureNormalFile ";
    AppendName(h, name);
    h += '\n';
  }
  if (camera) {
    h += "element camera 1\n";
    for (const char* p : {"view_px", "view_py", "view_pz", "x_axisx", "x_axisy", "x_axisz",
                          "y_axisx", "y_axisy", "y_axisz", "z_axisx", "z_axisy", "z_axisz", "focal",
                          "scalex", "scaley", "centerx", "centery"})
      h += std::string("property float ") + p + "\n";
    h += "property int viewportx\nproperty int viewporty\n";
    for (const char* p : {"k1", "k2", "k3", "k4"})
      h += std::string("property float ") + p + "\n";
  }
  h += "element vertex " + std::to_string(numbering.vertexCount) +
       "\nproperty float x\nproperty float y\nproperty float z\n";
  if (mask & io_mask::VertexFlags) h += "property int flags\n";
  if (mask & io_mask::VertexColor) h += kColorLines;
  if (mask & io_mask::VertexQuality) h += "property float quality\n";
  for (int i = 0; i < extraVertexCount; ++i)
    h += std::string("property ") + extraVertex[i].FileTypeName() + " " +
         extraVertex[i].propertyName + "\n";
  h += "element face " + std::to_string(numbering.faceCount) +
       "\nproperty list uchar int vertex_indices\n";
  if (mask & io_mask::FaceFlags) h += "property int flags\n";
  if (mask & io_mask::WedgeTexCoord) h += "property list uchar float texcoord\n";
  if (texNumber) h += "property int texnumber\n";
  if (mask & (io_mask::FaceColor | io_mask::FaceColorList)) h += kColorLines;
  if (mask & io_mask::FaceQuality) h += "property float quality\n";
  for (int i = 0; i < extraFaceCount; ++i)
    h += std::string("property ") + extraFace[i].FileTypeName() + " " + extraFace[i].propertyName +
         "\n";
  h += "end_header\n";
  return h;
}

template <bool Binary>
void WriteBody(SafeFile& out, const MeshT5& m, const VertexNumbering& numbering,
               int extraVertexCount, const PlyBinding* extraVertex, int extraFaceCount,
               const PlyBinding* extraFace, IoMask mask, bool camera, bool texNumber) {
  RecordWriter<Binary> w(out);
  if (camera) {
    const PlyCamera& c = m.camera;
    for (float v : {c.view_px, c.view_py, c.view_pz, c.x_axisx, c.x_axisy, c.x_axisz, c.y_axisx,
                    c.y_axisy, c.y_axisz, c.z_axisx, c.z_axisy, c.z_axisz, c.focal, c.scalex,
                    c.scaley, c.centerx, c.centery})
      w.Float(v);
    w.Int(c.viewportx);
    w.Int(c.viewporty);
    for (float v : {c.k1, c.k2, c.k3, c.k4})
      w.Float(v);
    w.EndRecord();
  }

  const bool vFlags = mask & io_mask::VertexFlags, vColor = mask & io_mask::VertexColor,
             vQuality = mask & io_mask::VertexQuality;
  for (size_t i = 0; i < m.vertices.size(); ++i) {
    if (numbering.number[i] < 0) continue;
    const VertexT5& v = m.vertices[i];
    w.Float(v.position.x);
    w.Float(v.position.y);
    w.Float(v.position.z);
    if (vFlags) w.Int(int32_t(v.flags));
    if (vColor) w.Color(v.color);
    if (vQuality) w.Float(v.quality);
    for (int e = 0; e < extraVertexCount; ++e)
      WriteExtra(w, &v, extraVertex[e]);
    w.EndRecord();
  }

  const bool fFlags = mask & io_mask::FaceFlags, fTex = mask & io_mask::WedgeTexCoord,
             fColor = mask & (io_mask::FaceColor | io_mask::FaceColorList),
             fQuality = mask & io_mask::FaceQuality;
  const VertexT5* base = m.vertices.data();
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    w.UChar(3);
    for (const VertexT5* v : f.v)
      w.Int(numbering.Of(v, base));
    if (fFlags) w.Int(int32_t(f.flags));
    if (fTex) {
      w.UChar(6);
      for (const WedgeTexCoord& t : f.wedge) {
        w.Float(t.u);
        w.Float(t.v);
      }
    }
    if (texNumber) w.Int(f.wedge[0].texIndex);
    if (fColor) w.Color(f.color);
    if (fQuality) w.Float(f.quality);
    for (int e = 0; e < extraFaceCount; ++e)
      WriteExtra(w, &f, extraFace[e]);
    w.EndRecord();
  }
}

}  // namespace

int PlyExporter::Save(const MeshT5& m, const char* fileName, bool binary, int extraVertexCount,
                      const PlyBinding* extraVertex, int extraFaceCount,
                      const PlyBinding* extraFace, IoMask mask) {
  if (extraVertexCount < 0) extraVertexCount = 0;
  if (extraFaceCount < 0) extraFaceCount = 0;
  if (!UsableBindings(extraVertexCount, extraVertex, sizeof(VertexT5)) ||
      !UsableBindings(extraFaceCount, extraFace, sizeof(FaceT5)))
    return -1;
  VertexNumbering numbering;
  if (!numbering.Build(m)) return -1;
  const bool camera = (mask & io_mask::Camera) && m.hasCamera;
  const bool texNumber = (mask & io_mask::WedgeTexCoord) && m.textureNames.size() > 1;

  SafeFile out;
  if (!out.Open(fileName)) return -1;
  out.Text(Header(m, binary, numbering, extraVertexCount, extraVertex, extraFaceCount, extraFace,
                  mask, camera, texNumber));
  if (binary)
    WriteBody<true>(out, m, numbering, extraVertexCount, extraVertex, extraFaceCount, extraFace,
                    mask, camera, texNumber);
  else
    WriteBody<false>(out, m, numbering, extraVertexCount, extraVertex, extraFaceCount, extraFace,
                     mask, camera, texNumber);
  return out.Commit() ? 0 : -1;
}

}  // namespace quarnel
