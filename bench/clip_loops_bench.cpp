// Clip and Cap against Apply Clip (Clip by Plane alone) on cuts that meet
// many loops: cubes apart, cubes welded along their edges as the black
// squares of a chessboard (touching), boxes nested in one another, and one
// slab with many holes. Each run times both on fresh copies of the model
// and reports their times and the ratio; the benchmark's own time is Clip
// and Cap's.
//
// Each is timed QUARNEL_CLIP_RUNS times (3 by default), the two taking
// turns, and the shortest time of each counts: a single run swings with
// what the machine and the heap are doing.
//
// 10,000 loops by default. Larger counts are opt-in, since the cap may take
// minutes on them:
//   QUARNEL_CLIP_LOOPS=10000,40000,90000 build/bench/bench_clip_loops
//   QUARNEL_CLIP_LOOPS=90000 build/bench/bench_clip_loops --benchmark_filter=Touching
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/clip_ops.h"
#include "core/normals.h"
#include "cut_families.h"
#include "support/mesh_builders.h"

using namespace quarnel;

namespace {

const Plane3f kCut{Vec3f(0.0f, 0.0f, 1.0f), 0.5f};

// The loop counts to run: QUARNEL_CLIP_LOOPS, comma-separated, or 10,000.
std::vector<int> LoopCounts() {
  const char* given = std::getenv("QUARNEL_CLIP_LOOPS");
  std::vector<int> out;
  for (std::string rest = given ? given : "10000"; !rest.empty();) {
    const size_t comma = rest.find(',');
    const int n = std::atoi(rest.substr(0, comma).c_str());
    if (n > 0) out.push_back(n);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
  }
  return out;
}

// How many times each operation is timed: QUARNEL_CLIP_RUNS, or 3.
int Runs() {
  const char* given = std::getenv("QUARNEL_CLIP_RUNS");
  const int runs = given ? std::atoi(given) : 3;
  return runs > 0 ? runs : 1;
}

MeshT5 Prepared(const test::Soup& soup) {
  MeshT5 m = test::Build<MeshT5>(soup);
  UpdateBoundingBox(m);
  return m;
}

template <class Operation>
double SecondsOf(const MeshT5& source, Operation&& operation) {
  MeshT5 m = source;
  const auto start = std::chrono::steady_clock::now();
  operation(m);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  benchmark::DoNotOptimize(m.faceCount);
  return took.count();
}

void CapAgainstClip(benchmark::State& state, const MeshT5& source) {
  double clip = 0.0, cap = 0.0;
  for (auto _ : state) {
    double c = 1e300, a = 1e300;
    for (int run = 0; run < Runs(); ++run) {
      c = std::min(c, SecondsOf(source, [](MeshT5& m) { ClipByPlane(m, kCut); }));
      a = std::min(a, SecondsOf(source, [](MeshT5& m) { ClipAndCap(m, kCut); }));
    }
    clip += c;
    cap += a;
    state.SetIterationTime(a);
  }
  const double runs = double(state.iterations());
  state.counters["loops"] = double(state.range(0));
  state.counters["faces"] = double(source.faceCount);
  state.counters["clip_s"] = clip / runs;
  state.counters["cap_s"] = cap / runs;
  state.counters["cap/clip"] = cap / clip;
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  state.counters["peak_MB"] = double(ru.ru_maxrss) / 1024.0;
}

void BM_CapLoopsApart(benchmark::State& state) {
  CapAgainstClip(state, Prepared(bench::SeparateCubes(int(state.range(0)))));
}

void BM_CapLoopsTouching(benchmark::State& state) {
  CapAgainstClip(state, Prepared(bench::CheckerCubes(int(state.range(0)))));
}

void BM_CapLoopsNested(benchmark::State& state) {
  CapAgainstClip(state, Prepared(bench::NestedShells(int(state.range(0)))));
}

// Side x side holes and the rim around them.
void BM_CapLoopsManyHoles(benchmark::State& state) {
  const int side = int(std::lround(std::sqrt(double(state.range(0)))));
  CapAgainstClip(state, Prepared(bench::PerforatedSlab(side)));
}

[[maybe_unused]] const bool registered = [] {
  for (auto* bm : {benchmark::RegisterBenchmark("BM_CapLoopsApart", BM_CapLoopsApart),
                   benchmark::RegisterBenchmark("BM_CapLoopsTouching", BM_CapLoopsTouching),
                   benchmark::RegisterBenchmark("BM_CapLoopsNested", BM_CapLoopsNested),
                   benchmark::RegisterBenchmark("BM_CapLoopsManyHoles", BM_CapLoopsManyHoles)}) {
    for (int n : LoopCounts())
      bm->Arg(n);
    bm->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);
  }
  return true;
}();

}  // namespace
