// Cleaning, selection, smoothing, curvature flips and the scalar fields on
// generated meshes of more than 1M faces.
#include <benchmark/benchmark.h>

#include <cmath>

#include "core/clean.h"
#include "core/curvature.h"
#include "core/curvature_flip.h"
#include "core/geodesic.h"
#include "core/normals.h"
#include "core/selection.h"
#include "core/smooth.h"
#include "core/topology.h"
#include "support/mesh_builders.h"

using namespace quarnel;

namespace {

// 709 x 709 vertices, 1 002 528 faces, with a border; the heights are
// wavy so that smoothing and the flips have work to do.
const MeshT5& BigGrid() {
  static const MeshT5 mesh = [] {
    test::Soup s = test::GridSoup(708, 0.01f);
    for (auto& p : s.points)
      p.z = 0.05f * std::sin(7.0f * p.x) * std::cos(5.0f * p.y);
    MeshT5 m = test::Build<MeshT5>(s);
    UpdateBoundingBox(m);
    BuildFaceFaceAdjacency(m);
    FaceBorderFromFF(m);
    ComputeFaceNormals(m, true);
    return m;
  }();
  return mesh;
}

// The same grid with every face owning its own three corners (3M vertices).
const MeshT5& BigSoup() {
  static const MeshT5 mesh = [] {
    const MeshT5& g = BigGrid();
    test::Soup s;
    s.points.reserve(g.faces.size() * 3);
    s.tris.reserve(g.faces.size());
    for (auto& f : g.faces) {
      const int base = int(s.points.size());
      for (auto* v : f.v)
        s.points.push_back(v->position);
      s.tris.push_back({base, base + 1, base + 2});
    }
    return test::Build<MeshT5>(s);
  }();
  return mesh;
}

// A closed torus of 1024 x 512 vertices, 1 048 576 faces.
const MeshT5& BigTorus() {
  static const MeshT5 mesh = test::Build<MeshT5>(test::TorusSoup(1024, 512));
  return mesh;
}

void ReportFaces(benchmark::State& state, const MeshT5& m) {
  state.counters["faces/s"] =
      benchmark::Counter(double(m.faceCount), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_MergeDuplicateVertices(benchmark::State& state) {
  MeshT5 m;
  for (auto _ : state) {
    state.PauseTiming();
    m = BigSoup();
    state.ResumeTiming();
    benchmark::DoNotOptimize(MergeDuplicateVertices(m));
  }
  ReportFaces(state, BigSoup());
}
BENCHMARK(BM_MergeDuplicateVertices)->Unit(benchmark::kMillisecond);

void BM_RemoveUnreferencedVertices(benchmark::State& state) {
  // Every fifth face deleted beforehand, so some vertices lose all faces.
  MeshT5 start = BigGrid();
  for (size_t i = 0; i < start.faces.size(); i += 5) {
    start.faces[i].flags |= ElemFlag::Deleted;
    --start.faceCount;
  }
  MeshT5 m;
  for (auto _ : state) {
    state.PauseTiming();
    m = start;
    state.ResumeTiming();
    benchmark::DoNotOptimize(RemoveUnreferencedVertices(m));
  }
  ReportFaces(state, start);
}
BENCHMARK(BM_RemoveUnreferencedVertices)->Unit(benchmark::kMillisecond);

void BM_SelectConnectedComponent(benchmark::State& state) {
  MeshT5 m = BigGrid();
  for (auto _ : state)
    benchmark::DoNotOptimize(SelectConnectedComponent(m, &m.faces[0]));
  ReportFaces(state, m);
}
BENCHMARK(BM_SelectConnectedComponent)->Unit(benchmark::kMillisecond);

void BM_SmoothVertices(benchmark::State& state) {
  MeshT5 m = BigGrid();
  for (auto _ : state)
    SmoothVertices(m, 1, false);
  ReportFaces(state, m);
}
BENCHMARK(BM_SmoothVertices)->Unit(benchmark::kMillisecond);

void BM_OptimizeCurvature(benchmark::State& state) {
  MeshT5 m;
  for (auto _ : state) {
    state.PauseTiming();
    m = BigGrid();
    state.ResumeTiming();
    benchmark::DoNotOptimize(OptimizeCurvature(m, false));
  }
  ReportFaces(state, BigGrid());
}
BENCHMARK(BM_OptimizeCurvature)->Unit(benchmark::kMillisecond);

void BM_GeodesicDistanceFromBorder(benchmark::State& state) {
  MeshT5 m = BigGrid();
  for (auto _ : state)
    GeodesicDistanceFromBorder(m, false);
  ReportFaces(state, m);
}
BENCHMARK(BM_GeodesicDistanceFromBorder)->Unit(benchmark::kMillisecond);

void BM_GaussianCurvature(benchmark::State& state) {
  MeshT5 m = BigTorus();
  for (auto _ : state)
    GaussianCurvature(m);
  ReportFaces(state, m);
}
BENCHMARK(BM_GaussianCurvature)->Unit(benchmark::kMillisecond);

void BM_SmoothVertexQuality(benchmark::State& state) {
  MeshT5 m = BigTorus();
  GaussianCurvature(m);
  for (auto _ : state)
    SmoothVertexQuality(m, 1, false);
  ReportFaces(state, m);
}
BENCHMARK(BM_SmoothVertexQuality)->Unit(benchmark::kMillisecond);

}  // namespace
