// One load per process, for the process-level load benchmark
// (bench/ply_load_process.sh runs this program afresh for every figure):
//
//   ply_load_once gen <folder>          writes torus_binary_little_endian.ply
//                                       and torus_ascii.ply (1M vertices,
//                                       2M faces) into the folder
//   ply_load_once t1|t5 <file>          loads the file into MeshT1 / MeshT5
//   ply_load_once read <file>           floor: reads the file into memory
//   ply_load_once convert <file>        floor: reads a binary little-endian
//                                       file of float x y z and
//                                       list uchar int faces into plain arrays
//   ply_load_once fill1|fill5 <file>    floor: fills fresh MeshT1 / MeshT5
//                                       arrays of the file's vertex and face
//                                       counts with value-initialised records
//                                       (the memory that any load of the
//                                       file into that type must provide)
//
// Prints one line "<ms> <peak RSS MB>": the time from the start of the step
// to its end inside the process, and the peak resident memory of the whole
// process.

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "core/mesh.h"
#include "io/ply_importer.h"
#include "support/mesh_builders.h"
#include "support/ply_fixture.h"

namespace {

using Clock = std::chrono::steady_clock;

double PeakRssMb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_maxrss) / 1024.0;
}

int Generate(const std::string& folder) {
  quarnel::test::Soup torus = quarnel::test::TorusSoup(1000, 1000);
  for (quarnel::PlyFormat f : {quarnel::ply_format::BinaryLittleEndian, quarnel::ply_format::Ascii}) {
    std::string path = folder + "/torus_" + quarnel::test::PlyFormatWord(f) + ".ply";
    if (!quarnel::test::WritePlyFixture(path, quarnel::test::MeshFixture(torus, f))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}

template <class MeshType>
int Load(const char* path) {
  MeshType mesh;
  quarnel::IoMask mask = 0;
  int r = quarnel::PlyImporter::Open(mesh, path, 0, nullptr, 0, nullptr, mask, nullptr);
  if (r != 0) {
    std::fprintf(stderr, "load failed: error %d\n", int(mesh.lastError));
    return 1;
  }
  return mesh.faceCount > 0 ? 0 : 1;
}

bool ReadWhole(const char* path, std::vector<char>& bytes) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  std::rewind(f);
  bytes.resize(std::size_t(size));
  bool ok = std::fread(bytes.data(), 1, bytes.size(), f) == bytes.size();
  std::fclose(f);
  return ok;
}

// The floor: the straight-line conversion that any reader of this layout
// must at least do, with no checks beyond the header's counts.
int Convert(const char* path) {
  std::vector<char> bytes;
  if (!ReadWhole(path, bytes)) return 1;
  std::string_view text(bytes.data(), bytes.size() < 4096 ? bytes.size() : 4096);
  std::size_t end = text.find("end_header\n");
  std::size_t v = text.find("element vertex ");
  std::size_t f = text.find("element face ");
  if (end == text.npos || v == text.npos || f == text.npos) return 1;
  long nv = std::strtol(bytes.data() + v + 15, nullptr, 10);
  long nf = std::strtol(bytes.data() + f + 13, nullptr, 10);
  const char* p = bytes.data() + end + 11;
  std::vector<float> xyz(std::size_t(nv) * 3);
  std::memcpy(xyz.data(), p, xyz.size() * sizeof(float));
  p += xyz.size() * sizeof(float);
  std::vector<std::int32_t> tris(std::size_t(nf) * 3);
  for (long i = 0; i < nf; ++i, p += 13) std::memcpy(&tris[std::size_t(i) * 3], p + 1, 12);
  return tris.back() >= 0 && xyz[0] == xyz[0] ? 0 : 1;
}

// The counts of "element vertex" and "element face" in the header.
bool HeaderCounts(const char* path, long& vertices, long& faces) {
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) return false;
  char head[4096] = {};
  std::size_t got = std::fread(head, 1, sizeof head - 1, f);
  std::fclose(f);
  std::string_view text(head, got);
  std::size_t v = text.find("element vertex ");
  std::size_t fc = text.find("element face ");
  if (v == text.npos || fc == text.npos) return false;
  vertices = std::strtol(head + v + 15, nullptr, 10);
  faces = std::strtol(head + fc + 13, nullptr, 10);
  return true;
}

template <class MeshType>
int Fill(const char* path) {
  long nv = 0, nf = 0;
  if (!HeaderCounts(path, nv, nf)) return 1;
  MeshType mesh;
  mesh.vertices.reserve(std::size_t(nv));
  mesh.faces.reserve(std::size_t(nf));
  for (long i = 0; i < nv; ++i) mesh.vertices.emplace_back().flags = std::uint32_t(i);
  for (long i = 0; i < nf; ++i) mesh.faces.emplace_back().flags = std::uint32_t(i);
  return mesh.faces.empty() || mesh.faces.back().flags != std::uint32_t(nf - 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: ply_load_once gen <folder> | t1|t5|read|convert|fill1|fill5 <file>\n");
    return 2;
  }
  const std::string what = argv[1];
  const char* path = argv[2];
  if (what == "gen") return Generate(path);
  auto start = Clock::now();
  int r = 2;
  if (what == "t1") {
    r = Load<quarnel::MeshT1>(path);
  } else if (what == "t5") {
    r = Load<quarnel::MeshT5>(path);
  } else if (what == "read") {
    std::vector<char> bytes;
    r = ReadWhole(path, bytes) ? 0 : 1;
  } else if (what == "convert") {
    r = Convert(path);
  } else if (what == "fill1") {
    r = Fill<quarnel::MeshT1>(path);
  } else if (what == "fill5") {
    r = Fill<quarnel::MeshT5>(path);
  }
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  if (r != 0) return r;
  std::printf("%.1f %.1f\n", ms, PeakRssMb());
  return 0;
}
