// The user's wait from File Open to the first frame, stage by stage, on a
// generated binary PLY of 2M faces (a 1000 x 1000 grid, 1M vertices): the
// header probe, the import, the drawer's update after the load, the whole
// open through the document, and the view's first frame.
//
// Each stage reports its peak resident memory ("peak_MB", the process's
// high-water mark, reset before the stage) next to the loaded mesh's arrays
// ("mesh_MB"). The first frame needs an X display (scripts/with-display);
// without one it is skipped with a message.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/mesh_holder.h"
#include "app/quarnel_app.h"
#include "app/quarnel_doc.h"
#include "app/quarnel_view.h"
#include "io/ply_importer.h"
#include "platform/clipboard_blocks.h"
#include "platform/file_dialogs.h"
#include "platform/gl_context.h"
#include "platform/messages.h"
#include "platform/profile.h"

namespace quarnel {
namespace {

constexpr int kGrid = 1000;  // kGrid x kGrid squares, two faces each

// Writes the grid as a binary little-endian PLY once per process.
const std::string& GridFile() {
  static const std::string path = [] {
    std::string p = (std::filesystem::temp_directory_path() /
                     ("quarnel-app-bench-" + std::to_string(::getpid()) + ".ply"))
                        .string();
    std::ofstream out(p, std::ios::binary);
    const int n = kGrid + 1;
    out << "ply\nformat binary_little_endian 1.0\nelement vertex " << n * n
        << "\nproperty float x\nproperty float y\nproperty float z\nelement face "
        << 2 * kGrid * kGrid << "\nproperty list uchar int vertex_indices\nend_header\n";
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const float p3[3] = {float(i) / kGrid - 0.5f, float(j) / kGrid - 0.5f,
                             0.05f * float((i * 7 + j * 13) % 17) / 17.0f};
        out.write(reinterpret_cast<const char*>(p3), sizeof p3);
      }
    auto face = [&](int a, int b, int c) {
      const unsigned char three = 3;
      const int32_t idx[3] = {a, b, c};
      out.write(reinterpret_cast<const char*>(&three), 1);
      out.write(reinterpret_cast<const char*>(idx), sizeof idx);
    };
    for (int j = 0; j < kGrid; ++j)
      for (int i = 0; i < kGrid; ++i) {
        const int v = j * n + i;
        face(v, v + 1, v + n + 1);
        face(v, v + n + 1, v + n);
      }
    std::atexit([] { std::filesystem::remove(GridFile()); });
    return p;
  }();
  return path;
}

double FileMB() { return double(std::filesystem::file_size(GridFile())) / 1e6; }

// The process's peak resident memory since the last reset, in MB.
void ResetPeak() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}
double PeakMB() {
  double kb = 0;
  if (FILE* f = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, f))
      if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1) break;
    std::fclose(f);
  }
  return kb / 1e3;
}

template <class M>
double MeshMB(const M& m) {
  return double(m.vertices.size() * sizeof(typename M::VertexType) +
                m.faces.size() * sizeof(typename M::FaceType)) /
         1e6;
}

const LoadProgressCallback kNoProgress = [](int, const char*) { return 1; };

void BM_Probe(benchmark::State& state) {
  const std::string& path = GridFile();
  for (auto _ : state) {
    MeshHolder holder;
    benchmark::DoNotOptimize(holder.ProbeFile(path.c_str()));
  }
}
BENCHMARK(BM_Probe)->Unit(benchmark::kMicrosecond);

void BM_Import(benchmark::State& state) {
  const std::string& path = GridFile();
  double peak = 0, mesh = 0;
  for (auto _ : state) {
    ResetPeak();
    MeshT1 m;
    IoMask mask = 0;
    if (PlyImporter::Open(m, path.c_str(), 0, nullptr, 0, nullptr, mask, kNoProgress) != 0)
      state.SkipWithError("the import failed");
    peak = PeakMB();
    mesh = MeshMB(m);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FileMB() * 1e6));
  state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kGrid * kGrid);
  state.counters["peak_MB"] = peak;
  state.counters["mesh_MB"] = mesh;
}
BENCHMARK(BM_Import)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DrawerUpdate(benchmark::State& state) {
  MeshT1 m;
  IoMask mask = 0;
  PlyImporter::Open(m, GridFile().c_str(), 0, nullptr, 0, nullptr, mask, kNoProgress);
  GlMeshT1 drawer;
  drawer.mesh = &m;
  drawer.hints &= ~GlHint::Strips;
  for (auto _ : state) drawer.Update(GlChange::All);
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(m.faces.size()));
}
BENCHMARK(BM_DrawerUpdate)->Unit(benchmark::kMillisecond)->Iterations(3);

DocumentServices QuietServices(bool editMode) {
  DocumentServices s;
  s.editMode = editMode;
  return s;
}

// The whole open as File Open runs it: probe, import into a fresh mesh,
// drawer update. Edit mode loads the editable mesh type, the heaviest.
void BM_DocumentOpen(benchmark::State& state) {
  const bool edit = state.range(0) != 0;
  const QString path = QString::fromStdString(GridFile());
  double peak = 0, mesh = 0;
  for (auto _ : state) {
    ResetPeak();
    CQuarnelDoc doc(QuietServices(edit));
    if (!doc.OnOpenDocument(path)) state.SkipWithError("the open failed");
    peak = PeakMB();
    mesh = edit ? MeshMB(doc.Holder().m_mesh5) : MeshMB(doc.Holder().m_mesh1);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(FileMB() * 1e6));
  state.counters["peak_MB"] = peak;
  state.counters["mesh_MB"] = mesh;
}
BENCHMARK(BM_DocumentOpen)->Arg(0)->Arg(1)->ArgNames({"edit"})->Unit(benchmark::kMillisecond)->Iterations(2);

// The view's first frame after the open: context, fonts, extension probe,
// initial update and one frame of the 2M faces, flat shaded. Then the
// frames that follow.
void BM_FirstFrame(benchmark::State& state) {
  if (std::getenv("DISPLAY") == nullptr) {
    state.SkipWithError("no X display (run under scripts/with-display)");
    return;
  }
  static int argc = 1;
  static char name[] = "bench_app_open";
  static char* argv[] = {name, nullptr};
  static QApplication* qapp = [] {
    PrepareOpenGLApplication();
    return new QApplication(argc, argv);
  }();
  (void)qapp;
  MemoryProfile profile;
  ScriptedMessageSink messages;
  ScriptedFileDialogs dialogs;
  MemoryClipboardBlocks clipboard;
  AppServices services;
  services.profile = &profile;
  services.messages = &messages;
  services.dialogs = &dialogs;
  services.clipboard = &clipboard;
  CQuarnelApp app(services);
  CQuarnelDoc doc(QuietServices(false));
  if (!doc.OnOpenDocument(QString::fromStdString(GridFile()))) {
    state.SkipWithError("the open failed");
    return;
  }
  const bool first = state.range(0) == 0;
  std::unique_ptr<CQuarnelView> view;
  auto makeView = [&] {
    view = std::make_unique<CQuarnelView>(app, doc);
    view->resize(800, 600);
    view->show();
  };
  if (!first) {
    makeView();
    view->grabFramebuffer();
  }
  for (auto _ : state) {
    if (first) {
      state.PauseTiming();
      view.reset();
      makeView();
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(view->grabFramebuffer());
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * 2 * kGrid * kGrid);
}
BENCHMARK(BM_FirstFrame)->Arg(0)->Arg(1)->ArgNames({"later"})->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace quarnel
