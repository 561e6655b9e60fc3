// libFuzzer target: arbitrary bytes as a PLY file through the probe and the
// importers of all four mesh types. Besides the sanitizers' findings it
// stops on any result that breaks the importers' promises: an unknown error
// code, a success with faces pointing outside the vertices, or a difference
// between reading records in runs and reading them one by one.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/mesh.h"
#include "io/ply_importer.h"

namespace {

using namespace quarnel;

// The importers read files: each input goes into one unnamed temporary
// file, opened again through its descriptor's path, so that nothing is left
// behind however the run ends.
std::FILE* InputFile() {
  static std::FILE* file = std::tmpfile();
  return file;
}

const std::string& InputPath() {
  static const std::string path =
      InputFile() != nullptr ? "/proc/self/fd/" + std::to_string(::fileno(InputFile())) : std::string();
  return path;
}

bool WriteInput(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = InputFile();
  if (f == nullptr || ::ftruncate(::fileno(f), 0) != 0) return false;
  std::rewind(f);
  return std::fwrite(data, 1, size, f) == size && std::fflush(f) == 0;
}

[[noreturn]] void Broken(const char* what) {
  std::fprintf(stderr, "fuzz_ply: %s\n", what);
  std::abort();
}

struct Outcome {
  int result;
  int error;
  IoMask mask;
  std::vector<std::pair<int, std::string>> progress;
  std::vector<std::int64_t> faces;  // corner indices
  std::vector<std::uint32_t> positions;  // bit patterns: NaN equals itself
  int vertexCount, faceCount;
  bool operator==(const Outcome&) const = default;
};

template <class MeshType>
Outcome Load(bool blocks) {
  PlyImporter::SetBlockReading(blocks);
  MeshType mesh;
  Outcome o{};
  LoadProgressCallback progress = [&o](int percent, const char* text) {
    if (percent < 0 || percent > 100 || text == nullptr) Broken("progress out of range");
    o.progress.emplace_back(percent, text);
    return 1;
  };
  o.result = PlyImporter::Open(mesh, InputPath().c_str(), 0, nullptr, 0, nullptr, o.mask, progress);
  o.error = mesh.lastError;
  if (o.result == 0) {
    if (o.error != 0) Broken("success with an error code");
    const auto* first = mesh.vertices.data();
    const auto* end = first + mesh.vertices.size();
    for (const auto& f : mesh.faces) {
      for (const auto* v : f.v) {
        if (v < first || v >= end) Broken("face corner outside the vertices");
        o.faces.push_back(v - first);
      }
    }
    for (const auto& v : mesh.vertices) {
      for (float c : {v.position.x, v.position.y, v.position.z}) {
        std::uint32_t bits;
        std::memcpy(&bits, &c, sizeof bits);
        o.positions.push_back(bits);
      }
    }
    if (mesh.vertexCount < 0 || std::size_t(mesh.vertexCount) > mesh.vertices.size() || mesh.faceCount < 0 ||
        std::size_t(mesh.faceCount) > mesh.faces.size()) {
      Broken("live counts out of range");
    }
  } else {
    if (o.result != -1) Broken("result neither 0 nor -1");
    if (o.error < 1 || o.error > 17 || o.error == 12) Broken("unexpected error code");
    if (!mesh.vertices.empty() || !mesh.faces.empty()) Broken("a failed load changed the mesh");
  }
  o.vertexCount = mesh.vertexCount;
  o.faceCount = mesh.faceCount;
  return o;
}

template <class MeshType>
void LoadBothWays() {
  Outcome block = Load<MeshType>(true);
  Outcome plain = Load<MeshType>(false);
  if (!(block == plain)) Broken("reading in runs and one by one differ");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (!WriteInput(data, size)) return 0;
  MeshT1 probeMesh;
  IoMask mask = 0;
  int probed = PlyImporter::LoadMask(InputPath().c_str(), mask, probeMesh);
  if (probed == 0 && (probeMesh.lastError < 1 || probeMesh.lastError > 7)) Broken("probe error code");
  if (mask & io_mask::Camera) Broken("probe reported a camera");
  LoadBothWays<MeshT1>();
  LoadBothWays<MeshT3>();
  LoadBothWays<MeshT4>();
  LoadBothWays<MeshT5>();
  return 0;
}
