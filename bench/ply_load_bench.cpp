// Load speed and memory of the PLY importer on a generated torus of 1M
// vertices and 2M faces, in both binary byte orders and in ASCII.
//
// Peak memory is the largest amount of heap in use during one load above
// what was in use before it, against the size of the loaded mesh's arrays:
// the reader keeps one fixed buffer and never the whole file.
//
// These loads follow each other in one process, which reuses its memory;
// ply_load_process.sh measures loads as a user meets them, one fresh
// process each.

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "core/mesh.h"
#include "io/ply_importer.h"
#include "support/mesh_builders.h"
#include "support/ply_fixture.h"

namespace {

std::atomic<long long> g_heapInUse{0};
std::atomic<long long> g_heapPeak{0};

void NoteAlloc(void* p) {
  if (p == nullptr) return;
  long long now = g_heapInUse += (long long)malloc_usable_size(p);
  long long peak = g_heapPeak.load();
  while (now > peak && !g_heapPeak.compare_exchange_weak(peak, now)) {
  }
}

void NoteFree(void* p) {
  if (p != nullptr) g_heapInUse -= (long long)malloc_usable_size(p);
}

}  // namespace

// The counting allocator hands out malloc'd blocks; releasing them with free
// is its own business.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t n) {
  void* p = std::malloc(n ? n : 1);
  if (p == nullptr) throw std::bad_alloc();
  NoteAlloc(p);
  return p;
}
void* operator new[](std::size_t n) { return operator new(n); }
void operator delete(void* p) noexcept {
  NoteFree(p);
  std::free(p);
}
void operator delete[](void* p) noexcept { operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using quarnel::PlyFormat;
namespace fmt = quarnel::ply_format;

constexpr int kRings = 1000;
constexpr int kSides = 1000;  // 1M vertices, 2M faces

const std::string& TorusFile(PlyFormat format) {
  static std::string paths[4];
  std::string& path = paths[format];
  if (path.empty()) {
    path = quarnel::test::TempFilePath(std::string("torus_") + quarnel::test::PlyFormatWord(format) + ".ply");
    quarnel::test::Soup torus = quarnel::test::TorusSoup(kRings, kSides);
    if (!quarnel::test::WritePlyFixture(path, quarnel::test::MeshFixture(torus, format))) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
  }
  return path;
}

template <class MeshType>
void BM_PlyOpen(benchmark::State& state) {
  const PlyFormat format = PlyFormat(state.range(0));
  const std::string& path = TorusFile(format);
  const auto fileBytes = (long long)std::filesystem::file_size(path);
  long long peak = 0, meshBytes = 0;
  int faces = 0;
  for (auto _ : state) {
    MeshType mesh;
    quarnel::IoMask mask = 0;
    long long before = g_heapInUse.load();
    g_heapPeak = before;
    int r = quarnel::PlyImporter::Open(mesh, path.c_str(), 0, nullptr, 0, nullptr, mask, nullptr);
    peak = g_heapPeak.load() - before;
    if (r != 0) {
      state.SkipWithError("load failed");
      break;
    }
    faces = mesh.faceCount;
    meshBytes = (long long)(mesh.vertices.capacity() * sizeof(typename MeshType::VertexType) +
                            mesh.faces.capacity() * sizeof(typename MeshType::FaceType));
    benchmark::DoNotOptimize(mesh.faces.data());
  }
  state.SetBytesProcessed(state.iterations() * fileBytes);
  state.SetItemsProcessed(state.iterations() * faces);
  state.counters["file_MB"] = double(fileBytes) / 1e6;
  state.counters["mesh_MB"] = double(meshBytes) / 1e6;
  state.counters["peak_MB"] = double(peak) / 1e6;
  state.counters["peak_over_mesh"] = meshBytes > 0 ? double(peak) / double(meshBytes) : 0.0;
}

// What filling fresh arrays of the loaded mesh's size costs by itself (the
// system providing and clearing the pages, and the stores): the floor under
// any load time. Reported as MB/s of the binary file for comparison.
template <class MeshType>
void BM_MeshMemoryFloor(benchmark::State& state) {
  const auto fileBytes = (long long)std::filesystem::file_size(TorusFile(fmt::BinaryLittleEndian));
  for (auto _ : state) {
    MeshType mesh;
    mesh.vertices.reserve(std::size_t(kRings) * kSides);
    mesh.faces.reserve(std::size_t(kRings) * kSides * 2);
    for (int i = 0; i < kRings * kSides; ++i) mesh.vertices.emplace_back();
    for (int i = 0; i < kRings * kSides * 2; ++i) mesh.faces.emplace_back();
    benchmark::DoNotOptimize(mesh.faces.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * fileBytes);
  state.SetItemsProcessed(state.iterations() * kRings * kSides * 2);
}

void Formats(benchmark::internal::Benchmark* b) {
  b->ArgName("format");
  b->Arg(fmt::BinaryLittleEndian)->Arg(fmt::BinaryBigEndian)->Arg(fmt::Ascii);
  b->Unit(benchmark::kMillisecond)->UseRealTime();
}

}  // namespace

BENCHMARK_TEMPLATE(BM_PlyOpen, quarnel::MeshT1)->Apply(Formats);
BENCHMARK_TEMPLATE(BM_PlyOpen, quarnel::MeshT5)->Apply(Formats);
BENCHMARK_TEMPLATE(BM_MeshMemoryFloor, quarnel::MeshT1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_TEMPLATE(BM_MeshMemoryFloor, quarnel::MeshT5)->Unit(benchmark::kMillisecond)->UseRealTime();
