// Clipping with capping on a generated icosphere of more than 1M faces, on
// a prism whose cut is one loop of about 200,000 points and on fields of up
// to 90,000 pillars, and the triangulation of long cut loops.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/cap.h"
#include "core/clip_ops.h"
#include "core/normals.h"
#include "core/polygon_triangulation.h"
#include "core/topology.h"
#include "cut_families.h"
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
void RunClip(benchmark::State& state, const MeshT5& source, Clip&& clip) {
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
  RunClip(state, BigSphere(), [](MeshT5& m) {
    ClipAndCap(m, Plane3f{Vec3f(0.2f, 0.1f, 1.0f), 30.0f});
  });
}
BENCHMARK(BM_ClipAndCapIcosphere)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipByPlaneIcosphere(benchmark::State& state) {
  RunClip(state, BigSphere(), [](MeshT5& m) {
    ClipByPlane(m, Plane3f{Vec3f(0.2f, 0.1f, 1.0f), 30.0f});
  });
}
BENCHMARK(BM_ClipByPlaneIcosphere)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipBySphereIcosphere(benchmark::State& state) {
  RunClip(state, BigSphere(), [](MeshT5& m) {
    ClipBySphere(m, Sphere3f{Vec3f(600.0f, 0, 0), 500.0f});
  });
}
BENCHMARK(BM_ClipBySphereIcosphere)->Unit(benchmark::kMillisecond)->Iterations(3);

// A prism 1000 high over a star of 100,000 points whose tips and valleys
// alternate between the radii 1000 and 600, the ends fanned from their
// centres: cut across, one loop of about 200,000 points (each side
// quad is crossed on its edge and on its diagonal) whose edges are far longer
// than the clip's edge collapse takes, and whose ears are half reflex.
const MeshT5& StarPrism() {
  static const MeshT5 mesh = [] {
    const int n = 100000;
    const double pi = 3.141592653589793;
    test::Soup s;
    for (float z : {-500.0f, 500.0f})
      for (int i = 0; i < n; ++i) {
        const double a = 2.0 * pi * i / n, r = i % 2 ? 600.0 : 1000.0;
        s.points.push_back({float(r * std::cos(a)), float(r * std::sin(a)), z});
      }
    s.points.push_back({0.0f, 0.0f, -500.0f});
    s.points.push_back({0.0f, 0.0f, 500.0f});
    for (int i = 0; i < n; ++i) {
      const int j = (i + 1) % n;
      s.tris.push_back({i, j, j + n});
      s.tris.push_back({i, j + n, i + n});
      s.tris.push_back({2 * n, j, i});
      s.tris.push_back({2 * n + 1, i + n, j + n});
    }
    MeshT5 m = test::Build<MeshT5>(s);
    UpdateBoundingBox(m);
    return m;
  }();
  return mesh;
}

void BM_ClipAndCapStarPrism(benchmark::State& state) {
  RunClip(state, StarPrism(), [](MeshT5& m) {
    ClipAndCap(m, Plane3f{Vec3f(0.0f, 0.1f, 1.0f), 0.0f});
  });
}
BENCHMARK(BM_ClipAndCapStarPrism)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ClipByPlaneStarPrism(benchmark::State& state) {
  RunClip(state, StarPrism(), [](MeshT5& m) {
    ClipByPlane(m, Plane3f{Vec3f(0.0f, 0.1f, 1.0f), 0.0f});
  });
}
BENCHMARK(BM_ClipByPlaneStarPrism)->Unit(benchmark::kMillisecond)->Iterations(3);

// Square pillars 1 x 1 x 2 on a grid, n of them: apart (spacing 2), or as
// the black squares of a chessboard (spacing 1), where each touches its
// neighbours along a vertical edge. Cut across, n loops of four points:
// apart, each is capped on its own; touching at their corners, all of them
// together.
MeshT5 Pillars(int n, bool touching) {
  test::Soup s;
  const int side = int(std::ceil(std::sqrt(double(touching ? 2 * n : n))));
  int made = 0;
  for (int j = 0; j < side && made < n; ++j)
    for (int i = 0; i < side && made < n; ++i) {
      if (touching && (i + j) % 2) continue;
      const float x = float(touching ? i : 2 * i), y = float(touching ? j : 2 * j);
      const int b = int(s.points.size());
      for (float z : {0.0f, 2.0f})
        for (const auto& c : {std::array<float, 2>{0, 0}, {1, 0}, {1, 1}, {0, 1}})
          s.points.push_back({x + c[0], y + c[1], z});
      for (int k = 0; k < 4; ++k) {
        const int a = b + k, c = b + (k + 1) % 4;
        s.tris.push_back({a, c, c + 4});
        s.tris.push_back({a, c + 4, a + 4});
      }
      for (const std::array<int, 3>& t :
           {std::array<int, 3>{0, 2, 1}, {0, 3, 2}, {4, 5, 6}, {4, 6, 7}})
        s.tris.push_back({b + t[0], b + t[1], b + t[2]});
      ++made;
    }
  MeshT5 m = test::Build<MeshT5>(s);
  UpdateBoundingBox(m);
  return m;
}

// A plate 2 high, with side x side square holes 1 x 1 at spacing 2 and a
// rim 1 wide all round, made on a grid of unit cells: cut across, one loop
// around all the holes, capped together.
MeshT5 PerforatedPlate(int side) {
  test::Soup s;
  const int n = 2 * side + 2;  // grid points along each axis
  auto at = [n](int a, int b, int layer) {
    return layer * n * n + b * n + a;
  };
  for (float z : {0.0f, 2.0f})
    for (int b = 0; b < n; ++b)
      for (int a = 0; a < n; ++a)
        s.points.push_back({float(a - 1), float(b - 1), z});
  // Quads as two triangles, p0 p1 p2 p3 counter-clockwise about their normal.
  auto quad = [&s](int p0, int p1, int p2, int p3) {
    s.tris.push_back({p0, p1, p2});
    s.tris.push_back({p0, p2, p3});
  };
  for (int b = 0; b + 1 < n; ++b)
    for (int a = 0; a + 1 < n; ++a) {
      const int p00 = at(a, b, 0), p10 = at(a + 1, b, 0), p11 = at(a + 1, b + 1, 0),
                p01 = at(a, b + 1, 0), up = n * n;
      if (a % 2 && b % 2) {
        // A hole: its walls face into it.
        const int ring[5] = {p00, p10, p11, p01, p00};
        for (int k = 0; k < 4; ++k)
          quad(ring[k + 1], ring[k], ring[k] + up, ring[k + 1] + up);
        continue;
      }
      quad(p00 + up, p10 + up, p11 + up, p01 + up);
      quad(p00, p01, p11, p10);
    }
  // The rim's outer walls, counter-clockwise round the plate.
  std::vector<int> ring;
  for (int a = 0; a + 1 < n; ++a)
    ring.push_back(at(a, 0, 0));
  for (int b = 0; b + 1 < n; ++b)
    ring.push_back(at(n - 1, b, 0));
  for (int a = n - 1; a > 0; --a)
    ring.push_back(at(a, n - 1, 0));
  for (int b = n - 1; b > 0; --b)
    ring.push_back(at(0, b, 0));
  for (size_t k = 0; k < ring.size(); ++k) {
    const int a = ring[k], c = ring[(k + 1) % ring.size()];
    quad(a, c, c + n * n, a + n * n);
  }
  MeshT5 m = test::Build<MeshT5>(s);
  UpdateBoundingBox(m);
  return m;
}

void BM_ClipAndCapPerforatedPlate(benchmark::State& state) {
  const MeshT5 source = PerforatedPlate(int(state.range(0)));
  {
    MeshT5 m = source;
    BuildFaceFaceAdjacency(m);
    size_t b0 = 0;
    for (auto& f : m.faces)
      for (int z = 0; z < 3; ++z)
        if (f.adjFace[z] == &f) ++b0;
    ClipAndCap(m, Plane3f{Vec3f(0.0f, 0.0f, 1.0f), 0.2f});
    BuildFaceFaceAdjacency(m);
    size_t live = 0, border = 0, sel = 0;
    for (auto& f : m.faces) {
      if (!IsLive(f.flags)) continue;
      ++live;
      if (f.flags & ElemFlag::Selected) ++sel;
      for (int z = 0; z < 3; ++z)
        if (f.adjFace[z] == &f) ++border;
    }
    fprintf(stderr, "before border %zu faces %zu border %zu cap %zu\n", b0, live, border, sel);
  }
  RunClip(state, source, [](MeshT5& m) { ClipAndCap(m, Plane3f{Vec3f(0.0f, 0.0f, 1.0f), 0.2f}); });
}
BENCHMARK(BM_ClipAndCapPerforatedPlate)
    ->Arg(4)
    ->Arg(142)
    ->Arg(300)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void BM_ClipByPlanePerforatedPlate(benchmark::State& state) {
  const MeshT5 source = PerforatedPlate(int(state.range(0)));
  RunClip(state, source, [](MeshT5& m) { ClipByPlane(m, Plane3f{Vec3f(0.0f, 0.0f, 1.0f), 0.2f}); });
}
BENCHMARK(BM_ClipByPlanePerforatedPlate)->Arg(300)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ClipAndCapPillars(benchmark::State& state) {
  const MeshT5 source = Pillars(int(state.range(0)), state.range(1) != 0);
  RunClip(state, source, [](MeshT5& m) { ClipAndCap(m, Plane3f{Vec3f(0.0f, 0.0f, 1.0f), 0.2f}); });
}
BENCHMARK(BM_ClipAndCapPillars)
    ->Args({20000, 0})
    ->Args({90000, 0})
    ->Args({20000, 1})
    ->Args({90000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

void BM_ClipByPlanePillars(benchmark::State& state) {
  const MeshT5 source = Pillars(int(state.range(0)), state.range(1) != 0);
  RunClip(state, source, [](MeshT5& m) { ClipByPlane(m, Plane3f{Vec3f(0.0f, 0.0f, 1.0f), 0.2f}); });
}
BENCHMARK(BM_ClipByPlanePillars)
    ->Args({90000, 0})
    ->Args({90000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

// A slightly wavy circle of `state.range(0)` points and the given radius, as
// a plane cut of a finely tessellated round part leaves it.
void TriangulateWavyCircle(benchmark::State& state, double radius) {
  const int n = int(state.range(0));
  std::vector<Point2d> loop(static_cast<size_t>(n));
  const double pi = 3.141592653589793;
  for (int i = 0; i < n; ++i) {
    double a = 2.0 * pi * i / n;
    double r = radius * (1.0 + 0.002 * std::sin(37.0 * a));
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

void BM_TriangulateCutLoop(benchmark::State& state) {
  TriangulateWavyCircle(state, 20000.0);
}
BENCHMARK(BM_TriangulateCutLoop)->Arg(5000)->Arg(200000)->Unit(benchmark::kMillisecond);

// The same loop at the scale of a unit model: its ears are flatter than any
// fixed margin, so another series of the ear clipping does the work.
void BM_TriangulateFineUnitLoop(benchmark::State& state) {
  TriangulateWavyCircle(state, 1.0);
}
BENCHMARK(BM_TriangulateFineUnitLoop)->Arg(36000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace

// Clip and Cap, and Clip by Plane, of the loop families at z = 0.5: cubes
// apart, cubes touching along their edges (a welded checkerboard), shells
// nested in one another, and a slab with square holes; about 10,000,
// 40,000 and 90,000 loops each.
MeshT5 LoopFamily(int family, int loops) {
  test::Soup s;
  switch (family) {
    case 0: s = bench::SeparateCubes(loops); break;
    case 1: s = bench::CheckerCubes(loops); break;
    case 2: s = bench::NestedShells(loops); break;
    default: s = bench::PerforatedSlab(int(std::lround(std::sqrt(double(loops))))); break;
  }
  MeshT5 m = test::Build<MeshT5>(s);
  UpdateBoundingBox(m);
  return m;
}

void LoopFamilyArgs(benchmark::internal::Benchmark* b) {
  for (int family = 0; family < 4; ++family)
    for (int loops : {10000, 40000, 90000}) b->Args({family, loops});
}

void BM_ClipAndCapLoops(benchmark::State& state) {
  const MeshT5 source = LoopFamily(int(state.range(0)), int(state.range(1)));
  RunClip(state, source, [](MeshT5& m) { ClipAndCap(m, Plane3f{Vec3f(0.0f, 0.0f, 1.0f), 0.5f}); });
}
BENCHMARK(BM_ClipAndCapLoops)->Apply(LoopFamilyArgs)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ClipByPlaneLoops(benchmark::State& state) {
  const MeshT5 source = LoopFamily(int(state.range(0)), int(state.range(1)));
  RunClip(state, source, [](MeshT5& m) { ClipByPlane(m, Plane3f{Vec3f(0.0f, 0.0f, 1.0f), 0.5f}); });
}
BENCHMARK(BM_ClipByPlaneLoops)->Apply(LoopFamilyArgs)->Unit(benchmark::kMillisecond)->Iterations(1);
