#include "support/ply_fixture.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace quarnel::test {

namespace {

const char* const kTypeWords[9] = {"none",   "char", "short", "int",   "uchar",
                                   "ushort", "uint", "float", "double"};

template <class T>
void PutBinary(std::string& out, T value, bool bigEndian) {
  char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  bool hostBig = std::endian::native == std::endian::big;
  if (bigEndian != hostBig) {
    for (std::size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(bytes[i], bytes[sizeof(T) - 1 - i]);
  }
  out.append(bytes, sizeof(T));
}

void PutValue(std::string& out, double v, PlyType type, PlyFormat format) {
  if (format == ply_format::Ascii) {
    char text[64];
    std::to_chars_result r;
    switch (type) {
      case ply_type::Float: r = std::to_chars(text, text + sizeof text, float(v)); break;
      case ply_type::Double: r = std::to_chars(text, text + sizeof text, v); break;
      default: r = std::to_chars(text, text + sizeof text, (long long)v); break;
    }
    out.append(text, r.ptr);
    return;
  }
  bool big = format == ply_format::BinaryBigEndian;
  switch (type) {
    case ply_type::Char: PutBinary(out, std::int8_t(v), big); break;
    case ply_type::Short: PutBinary(out, std::int16_t(v), big); break;
    case ply_type::Int: PutBinary(out, std::int32_t(v), big); break;
    case ply_type::UChar: PutBinary(out, std::uint8_t(v), big); break;
    case ply_type::UShort: PutBinary(out, std::uint16_t(v), big); break;
    case ply_type::UInt: PutBinary(out, std::uint32_t(v), big); break;
    case ply_type::Float: PutBinary(out, float(v), big); break;
    case ply_type::Double: PutBinary(out, v, big); break;
    default: break;
  }
}

}  // namespace

const char* PlyFormatWord(PlyFormat format) {
  switch (format) {
    case ply_format::BinaryLittleEndian: return "binary_little_endian";
    case ply_format::BinaryBigEndian: return "binary_big_endian";
    default: return "ascii";
  }
}

std::string PlyFixtureBytes(const PlyFixture& f) {
  std::string out = "ply\nformat ";
  out += PlyFormatWord(f.format);
  out += " 1.0\n";
  for (const std::string& c : f.comments) out += "comment " + c + "\n";
  for (const PlyFixtureElement& e : f.elements) {
    long long count = e.declaredCount >= 0 ? e.declaredCount : (long long)e.records.size();
    out += "element " + e.name + " " + std::to_string(count) + "\n";
    for (const PlyFixtureProperty& p : e.properties) {
      if (p.countType != ply_type::None) {
        out += std::string("property list ") + kTypeWords[p.countType] + " " + kTypeWords[p.type] +
               " " + p.name + "\n";
      } else {
        out += std::string("property ") + kTypeWords[p.type] + " " + p.name + "\n";
      }
    }
  }
  out += "end_header\n";
  for (const PlyFixtureElement& e : f.elements) {
    for (const std::vector<double>& rec : e.records) {
      std::size_t at = 0;
      bool first = true;
      auto put = [&](double v, PlyType t) {
        if (f.format == ply_format::Ascii && !first) out += ' ';
        first = false;
        PutValue(out, v, t, f.format);
      };
      for (const PlyFixtureProperty& p : e.properties) {
        if (at >= rec.size()) break;
        if (p.countType != ply_type::None) {
          double n = rec[at++];
          put(n, p.countType);
          for (long long i = 0; i < (long long)n && at < rec.size(); ++i) put(rec[at++], p.type);
        } else {
          put(rec[at++], p.type);
        }
      }
      if (f.format == ply_format::Ascii) out += '\n';
    }
  }
  return out;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  ok = std::fclose(file) == 0 && ok;
  return ok;
}

bool WritePlyFixture(const std::string& path, const PlyFixture& fixture) {
  return WriteFileBytes(path, PlyFixtureBytes(fixture));
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

namespace {

// This process's folder of temporary files, removed when the process ends.
class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() / ("quarnel-test-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace

std::string TempFilePath(const std::string& name) {
  static TempFolder folder;
  return (folder.Path() / name).string();
}

PlyFixture MeshFixture(const Soup& soup, PlyFormat format) {
  PlyFixture f;
  f.format = format;
  PlyFixtureElement vertex{"vertex",
                           {{"x", ply_type::Float}, {"y", ply_type::Float}, {"z", ply_type::Float}},
                           {},
                           -1};
  for (const Vec3f& p : soup.points) vertex.records.push_back({p.x, p.y, p.z});
  PlyFixtureElement face{"face", {{"vertex_indices", ply_type::Int, ply_type::UChar}}, {}, -1};
  for (const auto& t : soup.tris) face.records.push_back({3, double(t[0]), double(t[1]), double(t[2])});
  f.elements = {std::move(vertex), std::move(face)};
  return f;
}

PlyFixture CubeFixture(PlyFormat format) { return MeshFixture(CubeSoup(), format); }

}  // namespace quarnel::test
