// Clipping with capping on a generated icosphere of more than 1M faces, and
// the triangulation of a long cut loop.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cmath>
#include <vector>

#include "core/cap.h"
#include "core/clip_ops.h"
#include "core/normals.h"
#include "support/mesh_builders.h"

using namespace quarnel;

namespace {

// Level 8: 1,310,720 faces, radius 1000.
const MeshT5& BigSphere() {
  static const MeshT5 mesh = [] {
    MeshT5 m = test::Build<MeshT5>(test::IcosphereSoup(8, 1000.0f));
    UpdateBoundingBox(m);
    return m;
  }();
  return mesh;
}

void ReportCommon(benchmark::State& state, double faces) {
  state.counters["faces/s"] =
      benchmark::Counter(faces * double(state.iterations()), benchmark::Counter::kIsRate);
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["peak_MB"] = double(ru.ru_maxrss) / 1024.0;
}

template <class Clip>
void RunClip(benchmark::State& state, Clip&& clip) {
  const MeshT5& source = BigSphere();
  MeshT5 m;
  for (auto _ : state) {
    state.PauseTiming();
    m = source;
    state.ResumeTiming();
    clip(m);
    benchmark::DoNotOptimize(m.faceCount);
  }
  ReportCommon(state, double(source.faceCount));
}

void BM_ClipAndCapIcosphere(benchmark::State& state) {
  RunClip(state, [](MeshT5& m) { ClipAndCap(m, Plane3f{Vec3f(0.2f, 0.1f, 1.0f), 30.0f}); });
}
BENCHMARK(BM_ClipAndCapIcosphere)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipByPlaneIcosphere(benchmark::State& state) {
  RunClip(state, [](MeshT5& m) { ClipByPlane(m, Plane3f{Vec3f(0.2f, 0.1f, 1.0f), 30.0f}); });
}
BENCHMARK(BM_ClipByPlaneIcosphere)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipBySphereIcosphere(benchmark::State& state) {
  RunClip(state, [](MeshT5& m) { ClipBySphere(m, Sphere3f{Vec3f(600.0f, 0, 0), 500.0f}); });
}
BENCHMARK(BM_ClipBySphereIcosphere)->Unit(benchmark::kMillisecond)->Iterations(3);

// A slightly wavy circle of 5,000 points, as a plane cut of a finely
// tessellated round part leaves it.
void BM_TriangulateCutLoop(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<Point2d> loop(static_cast<size_t>(n));
  const double pi = 3.141592653589793;
  for (int i = 0; i < n; ++i) {
    double a = 2.0 * pi * i / n;
    double r = 20000.0 * (1.0 + 0.002 * std::sin(37.0 * a));
    loop[size_t(i)] = {r * std::cos(a), r * std::sin(a)};
  }
  std::vector<int> triangles;
  int result = 0;
  for (auto _ : state) {
    triangles.clear();
    result = TriangulatePolygon2D(loop, triangles);
    benchmark::DoNotOptimize(triangles.data());
  }
  if (result != 1 || triangles.size() != size_t(3 * (n - 2)))
    state.SkipWithError("the loop was not triangulated completely");
  state.counters["points/s"] =
      benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_TriangulateCutLoop)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace
