// Topology, normals and box on a generated mesh of more than 1M faces.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include "core/normals.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;

namespace {

const MeshT5& BigMesh() {
  static const MeshT5 mesh = test::Build<MeshT5>(test::TorusSoup(1024, 512));  // 1M faces
  return mesh;
}

void ReportCommon(benchmark::State& state, const MeshT5& m) {
  state.counters["faces/s"] = benchmark::Counter(double(m.faceCount) * double(state.iterations()),
                                                 benchmark::Counter::kIsRate);
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["peak_MB"] = double(ru.ru_maxrss) / 1024.0;
}

void BM_BuildFaceFaceAdjacency(benchmark::State& state) {
  MeshT5 m = BigMesh();
  for (auto _ : state) BuildFaceFaceAdjacency(m);
  ReportCommon(state, m);
}
BENCHMARK(BM_BuildFaceFaceAdjacency)->Unit(benchmark::kMillisecond);

void BM_BuildVertexFaceAdjacency(benchmark::State& state) {
  MeshT5 m = BigMesh();
  for (auto _ : state) BuildVertexFaceAdjacency(m);
  ReportCommon(state, m);
}
BENCHMARK(BM_BuildVertexFaceAdjacency)->Unit(benchmark::kMillisecond);

void BM_NormalsAndBox(benchmark::State& state) {
  MeshT5 m = BigMesh();
  for (auto _ : state) {
    UpdateBoundingBox(m);
    ComputeFaceNormals(m, false);
    ComputeVertexNormals(m, false);
  }
  ReportCommon(state, m);
}
BENCHMARK(BM_NormalsAndBox)->Unit(benchmark::kMillisecond);

void BM_BorderFromEdgeList(benchmark::State& state) {
  MeshT5 m = BigMesh();
  for (auto _ : state) FaceBorderFromEdgeList(m);
  ReportCommon(state, m);
}
BENCHMARK(BM_BorderFromEdgeList)->Unit(benchmark::kMillisecond);

}  // namespace
