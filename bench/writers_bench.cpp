// Output speed of the PLY writer and the STL, OBJ and VRML exporters on a
// generated torus of 1M vertices and 2M faces held in the editable mesh.
// Each save goes through the whole safe-write path (temporary file, flush
// to disk, rename), so the figures are what a user waits for; MB/s counts
// the bytes of the finished file.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "core/normals.h"
#include "io/obj_exporter.h"
#include "io/ply_exporter.h"
#include "io/stl_exporter.h"
#include "io/vrml_exporter.h"
#include "support/mesh_builders.h"

namespace quarnel {
namespace {

// Colours, quality and texture coordinates filled in so that every masked
// attribute has something to write.
const MeshT5& Torus() {
  static const MeshT5 mesh = [] {
    MeshT5 m = test::Build<MeshT5>(test::TorusSoup(1000, 1000, 1.0f, 0.3f));
    for (size_t i = 0; i < m.vertices.size(); ++i) {
      m.vertices[i].color = Color4b{uint8_t(i), uint8_t(i >> 8), uint8_t(i >> 16), 255};
      m.vertices[i].quality = float(i % 1000) * 0.001f;
    }
    for (size_t j = 0; j < m.faces.size(); ++j)
      for (int k = 0; k < 3; ++k)
        m.faces[j].wedge[k] =
            WedgeTexCoord{m.faces[j].v[k]->position.x, m.faces[j].v[k]->position.y, 0};
    ComputeFaceNormals(m, true);
    ComputeVertexNormals(m, true);
    UpdateBoundingBox(m);
    m.textureNames = {"torus.png"};
    return m;
  }();
  return mesh;
}

std::string OutputPath(const char* name) {
  const char* base = std::getenv("TMPDIR");
  return std::string(base && *base ? base : "/tmp") + "/quarnel_writers_bench_" +
         std::to_string(::getpid()) + "_" + name;
}

void Run(benchmark::State& state, const char* name,
         const std::function<bool(const MeshT5&, const char*)>& save) {
  const MeshT5& m = Torus();
  const std::string path = OutputPath(name);
  for (auto _ : state) {
    if (!save(m, path.c_str())) {
      state.SkipWithError("the writer failed");
      break;
    }
  }
  std::error_code ec;
  auto size = std::filesystem::file_size(path, ec);
  std::filesystem::remove(path, ec);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(size));
  state.counters["faces/s"] = benchmark::Counter(double(m.faceCount) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
  state.counters["file_MB"] = double(size) / 1e6;
}

void BM_PlyBinaryGeometry(benchmark::State& state) {
  Run(state, "geometry.ply", [](const MeshT5& m, const char* f) {
    return PlyExporter::Save(m, f, true, 0, nullptr, 0, nullptr, 0) == 0;
  });
}
void BM_PlyBinaryAllAttributes(benchmark::State& state) {
  const IoMask mask = io_mask::VertexFlags | io_mask::VertexColor | io_mask::VertexQuality |
                      io_mask::FaceFlags | io_mask::FaceColor | io_mask::FaceQuality |
                      io_mask::WedgeTexCoord;
  Run(state, "all.ply", [mask](const MeshT5& m, const char* f) {
    return PlyExporter::Save(m, f, true, 0, nullptr, 0, nullptr, mask) == 0;
  });
}
void BM_StlBinary(benchmark::State& state) {
  Run(state, "m.stl",
      [](const MeshT5& m, const char* f) { return StlExporter::Save(m, f, true, nullptr) == 1; });
}
void BM_Obj(benchmark::State& state) {
  Run(state, "m.obj",
      [](const MeshT5& m, const char* f) { return ObjExporter::Save(m, f, 0xFFFF) == 1; });
}
void BM_Vrml(benchmark::State& state) {
  Run(state, "m.wrl",
      [](const MeshT5& m, const char* f) { return VrmlExporter::Save(m, f, 0xFFFF) == 1; });
}

BENCHMARK(BM_PlyBinaryGeometry)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_PlyBinaryAllAttributes)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_StlBinary)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Obj)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();
BENCHMARK(BM_Vrml)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace quarnel
