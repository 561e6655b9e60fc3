// The drawer on a generated torus of about a million faces: the update after
// a load, the wire's edge list and line strips, the triangle strips, frames
// in immediate mode and from vertex arrays, and a rectangle pick. Figures are
// faces per second.
//
// The OpenGL cases need an X display (run under scripts/with-display); they
// are skipped with a message when there is none.
#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include "core/topology.h"
#include "offscreen_gl.h"
#include "render/edge_list.h"
#include "render/gl_mesh.h"
#include "render/gl_pick.h"
#include "render/tri_stripper.h"
#include "support/mesh_builders.h"

namespace quarnel {
namespace {

constexpr int kRings = 1000, kSides = 500;  // 1,000,000 faces, 500,000 vertices
constexpr int kView = 512;

template <class M>
M& Torus() {
  static M m = [] {
    M t = test::Build<M>(test::TorusSoup(kRings, kSides, 0.6f, 0.25f));
    if constexpr (HasColor<typename M::FaceType>)
      for (size_t i = 0; i < t.faces.size(); ++i)
        t.faces[i].color = {uint8_t(i), uint8_t(i >> 8), 200, 255};
    return t;
  }();
  return m;
}

test::OffscreenGl* Gl() {
  static test::OffscreenGl* gl = [] {
    auto* c = new test::OffscreenGl(kView, kView);
    if (c->Ok()) {
      glMatrixMode(GL_PROJECTION);
      glLoadIdentity();
      glOrtho(-1, 1, -1, 1, -1, 1);
      glMatrixMode(GL_MODELVIEW);
      glLoadIdentity();
      glRotated(30, 1, 0, 0);
      glEnable(GL_DEPTH_TEST);
      glEnable(GL_LIGHTING);
      glEnable(GL_LIGHT0);
      glEnable(GL_NORMALIZE);
      glEnable(GL_COLOR_MATERIAL);
    }
    return c;
  }();
  return gl;
}

template <class M>
void SetFaces(benchmark::State& state, const M& m) {
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(m.faces.size()));
  state.counters["faces"] = double(m.faces.size());
}

template <class M>
void BM_UpdateAfterLoad(benchmark::State& state) {
  M& m = Torus<M>();
  GlMesh<M> g;
  g.mesh = &m;
  for (auto _ : state) {
    g.Update(GlChange::All);
    benchmark::DoNotOptimize(m.bbox);
  }
  SetFaces(state, m);
}
BENCHMARK_TEMPLATE(BM_UpdateAfterLoad, MeshT1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_UpdateAfterLoad, MeshT5)->Unit(benchmark::kMillisecond);

template <class M>
void BM_EdgeList(benchmark::State& state) {
  M& m = Torus<M>();
  std::vector<EdgeOf<M>> edges;
  for (auto _ : state) {
    BuildEdgeList(m, edges);
    benchmark::DoNotOptimize(edges.data());
  }
  SetFaces(state, m);
  state.counters["edges"] = double(edges.size());
}
BENCHMARK_TEMPLATE(BM_EdgeList, MeshT1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_EdgeList, MeshT5)->Unit(benchmark::kMillisecond);

template <class M>
void BM_LineStrips(benchmark::State& state) {
  M& m = Torus<M>();
  std::vector<EdgeOf<M>> edges;
  BuildEdgeList(m, edges);
  std::vector<typename M::VertexType*> strips;
  for (auto _ : state) {
    BuildLineStrips(m, edges, strips);
    benchmark::DoNotOptimize(strips.data());
  }
  SetFaces(state, m);
  state.counters["entries"] = double(strips.size());
}
BENCHMARK_TEMPLATE(BM_LineStrips, MeshT1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_LineStrips, MeshT5)->Unit(benchmark::kMillisecond);

template <class M>
void BM_TriangleStrips(benchmark::State& state) {
  M& m = Torus<M>();
  if constexpr (HasAdjacency<typename M::FaceType>) BuildFaceFaceAdjacency(m);
  std::vector<typename M::VertexType*> strips;
  std::vector<typename M::FaceType*> faces;
  for (auto _ : state) {
    TriStripper<M>::Build(m, strips, faces);
    benchmark::DoNotOptimize(strips.data());
  }
  SetFaces(state, m);
  state.counters["vertices/face"] = double(strips.size()) / double(m.faces.size());
}
BENCHMARK_TEMPLATE(BM_TriangleStrips, MeshT1)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_TriangleStrips, MeshT5)->Unit(benchmark::kMillisecond);

// One frame as the application draws it: immediate mode, one call per
// attribute, hints as the mesh holder leaves them.
template <class M>
void BM_Frame(benchmark::State& state, DrawMode dm, ColorMode cm, uint32_t hints) {
  if (!Gl()->Ok()) {
    state.SkipWithError(Gl()->Error().c_str());
    return;
  }
  M& m = Torus<M>();
  GlMesh<M> g;
  g.mesh = &m;
  g.hints = hints;
  g.Update(GlChange::All);
  g.Draw(dm, cm, TMNone);  // builds the line strips of the wire once
  glFinish();
  for (auto _ : state) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    g.Draw(dm, cm, TMNone);
    glFinish();
  }
  SetFaces(state, m);
}
void BM_FrameT3(benchmark::State& s, DrawMode dm, ColorMode cm, uint32_t hints) {
  BM_Frame<MeshT3>(s, dm, cm, hints);
}
void BM_FrameT5(benchmark::State& s, DrawMode dm, ColorMode cm, uint32_t hints) {
  BM_Frame<MeshT5>(s, dm, cm, hints);
}
BENCHMARK_CAPTURE(BM_FrameT3, flat, DMFlat, CMNone, GlHint::Default)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameT3, flat_face_colour, DMFlat, CMPerFace, GlHint::Default)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameT3, smooth, DMSmooth, CMNone, GlHint::Default)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameT3, wire, DMWire, CMNone, GlHint::Default)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameT3, flat_wire, DMFlatWire, CMNone, GlHint::Default)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameT5, smooth_strips, DMSmooth, CMNone, GlHint::Default | GlHint::Strips)
    ->Unit(benchmark::kMillisecond);
// The hints the mesh holder sets after a load: vertex arrays, faces that
// cover no pixel centre left out.
constexpr uint32_t kHolderHints = GlHint::Default | GlHint::VertexArrays | GlHint::SkipUncovered;
BENCHMARK_CAPTURE(BM_FrameT3, flat_arrays, DMFlat, CMNone, kHolderHints)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameT3, flat_face_colour_arrays, DMFlat, CMPerFace, kHolderHints)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_FrameT3, wire_arrays, DMWire, CMNone, kHolderHints)->Unit(benchmark::kMillisecond);

void BM_RectPick(benchmark::State& state) {
  if (!Gl()->Ok()) {
    state.SkipWithError(Gl()->Error().c_str());
    return;
  }
  MeshT5& m = Torus<MeshT5>();
  std::vector<FaceT5*> hits;
  for (auto _ : state) {
    PickFacesInRect(kView / 2, kView / 4, m, hits, 40, 40);
    benchmark::DoNotOptimize(hits.data());
  }
  SetFaces(state, m);
  state.counters["hits"] = double(hits.size());
}
BENCHMARK(BM_RectPick)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quarnel
