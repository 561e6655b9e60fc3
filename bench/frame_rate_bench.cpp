// Frames per second while a drag turns a torus of 1M vertices and 2M faces,
// in the application's real window under X (run under scripts/with-display),
// in the default mode (flat shaded) and in wire: with the drawer's vertex
// arrays and skipped faces as the mesh holder sets them, and with the
// immediate calls the drawer used before, in the same run. When f3d is
// installed it turns the same file in a window of the same size; its frames
// are counted by a small library preloaded into it (swap_counter.c).
//
// Each frame here is one mouse move of the drag followed by the frame it
// causes; the figure is the median gap between frames. The first frame after
// the drawer's update (what a load ends with) is timed on its own. f3d replays the same
// drag from an interaction log and draws one frame per move.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QOpenGLWidget>
#include <QProcess>
#include <QStandardPaths>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "app/command_ids.h"
#include "app_harness.h"
#include "render/gl_mesh.h"
#include "support/mesh_builders.h"
#include "support/ply_fixture.h"

namespace quarnel {
namespace {

constexpr int kRings = 1000, kSides = 1000;  // 1M vertices, 2M faces
constexpr int kMoves = 40;                    // frames timed per drag
constexpr int kStep = 6;                      // pixels per move

// The torus as a binary little-endian PLY: float x, y, z and
// list uchar int vertex_indices.
std::string WriteTorus() {
  const std::string path = test::TempFilePath("torus-2m.ply");
  const test::Soup s = test::TorusSoup(kRings, kSides, 1.0f, 0.3f);
  std::ofstream out(path, std::ios::binary);
  out << "ply\nformat binary_little_endian 1.0\nelement vertex " << s.points.size()
      << "\nproperty float x\nproperty float y\nproperty float z\nelement face " << s.tris.size()
      << "\nproperty list uchar int vertex_indices\nend_header\n";
  for (const Vec3f& p : s.points) out.write(reinterpret_cast<const char*>(p.data()), 12);
  for (const auto& t : s.tris) {
    const unsigned char three = 3;
    const int32_t idx[3] = {t[0], t[1], t[2]};
    out.write(reinterpret_cast<const char*>(&three), 1);
    out.write(reinterpret_cast<const char*>(idx), sizeof idx);
  }
  return out.good() ? path : std::string();
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

void Send(QWidget* view, QEvent::Type type, QPoint p, Qt::MouseButton button, Qt::MouseButtons buttons) {
  QMouseEvent e(type, QPointF(p), QPointF(view->mapToGlobal(p)), button, buttons, Qt::NoModifier);
  QCoreApplication::sendEvent(view, &e);
}

struct Frames {
  double medianMs = 0.0;
  double firstMs = 0.0;  // the frame after the drawer's update, as after a load
};

// The frame after the drawer's update, then a left-button drag across the
// view, one frame per move.
Frames Drag(test::AppHarness& h, CQuarnelView* view, GlMeshT1& drawer) {
  int swaps = 0;
  QObject::connect(view, &QOpenGLWidget::frameSwapped, view, [&swaps] { ++swaps; });
  QElapsedTimer clock;
  auto frame = [&] {
    const int before = swaps;
    view->update();
    clock.restart();
    while (swaps == before) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return double(clock.nsecsElapsed()) / 1e6;
  };
  frame();
  Frames f;
  drawer.Update(GlChange::All);
  f.firstMs = frame();
  const QPoint start(view->width() / 2 - kMoves * kStep / 2, view->height() / 2);
  Send(view, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
  std::vector<double> gaps;
  for (int i = 1; i <= kMoves; ++i) {
    Send(view, QEvent::MouseMove, start + QPoint(i * kStep, 0), Qt::NoButton, Qt::LeftButton);
    gaps.push_back(frame());
  }
  Send(view, QEvent::MouseButtonRelease, start + QPoint(kMoves * kStep, 0), Qt::LeftButton,
       Qt::NoButton);
  h.Pump(50);
  QObject::disconnect(view, &QOpenGLWidget::frameSwapped, view, nullptr);
  f.medianMs = Median(gaps);
  return f;
}

// f3d on the same file and window size, replaying the same drag; the median
// gap between its swaps while it turns, or 0 when it could not be run.
double F3dFrameMs(const std::string& torus, QSize size, const QStringList& options) {
  const QString f3d = QStandardPaths::findExecutable("f3d");
  if (f3d.isEmpty()) return 0.0;
  const std::string log = test::TempFilePath("f3d-drag.log");
  const std::string swaps = test::TempFilePath("f3d-swaps.txt");
  {
    std::ofstream out(log);
    const int x0 = size.width() / 2 - kMoves * kStep / 2, y = size.height() / 2;
    out << "# StreamVersion 1.1\n";
    out << "MouseMoveEvent " << x0 << ' ' << y << " 0 0 0 0\n";
    out << "LeftButtonPressEvent " << x0 << ' ' << y << " 0 0 0 0\n";
    for (int i = 1; i <= kMoves; ++i) out << "MouseMoveEvent " << x0 + i * kStep << ' ' << y << " 0 0 0 0\n";
    out << "LeftButtonReleaseEvent " << x0 + kMoves * kStep << ' ' << y << " 0 0 0 0\n";
  }
  std::remove(swaps.c_str());
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LD_PRELOAD", QUARNEL_SWAP_COUNTER);
  env.insert("QUARNEL_SWAP_LOG", QString::fromStdString(swaps));
  p.setProcessEnvironment(env);
  p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  p.start(f3d, QStringList{"--dry-run", "--quiet",
                           QString("--resolution=%1,%2").arg(size.width()).arg(size.height()),
                           QString::fromStdString("--interaction-test-play=" + log)} +
                   options + QStringList{QString::fromStdString(torus)});
  if (!p.waitForStarted()) return 0.0;
  // After the replay f3d waits for the user: stop it once its swaps stop.
  std::vector<double> times;
  QElapsedTimer quiet;
  quiet.start();
  for (size_t seen = 0; quiet.elapsed() < 3000 && p.state() == QProcess::Running;) {
    p.waitForFinished(200);
    times.clear();
    std::ifstream in(swaps);
    for (long long ns; in >> ns;) times.push_back(double(ns) / 1e6);
    if (times.size() != seen) {
      seen = times.size();
      quiet.restart();
    }
  }
  if (p.state() == QProcess::Running) {
    p.kill();
    p.waitForFinished(5000);
  }
  // The last kMoves swaps are the drag's.
  if (times.size() < size_t(kMoves) + 1) return 0.0;
  std::vector<double> gaps;
  for (size_t i = times.size() - size_t(kMoves); i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
  return Median(gaps);
}

double Fps(double ms) { return ms > 0 ? 1000.0 / ms : 0.0; }

int Run() {
  if (!std::getenv("DISPLAY")) {
    std::puts("bench_frame_rate: no X display (run under scripts/with-display); skipped");
    return 0;
  }
  const std::string torus = WriteTorus();
  if (torus.empty()) {
    std::puts("bench_frame_rate: cannot write the torus");
    return 1;
  }
  test::AppHarness h;
  CQuarnelView* view = h.StartView(torus);
  if (!view) {
    std::puts("bench_frame_rate: the application could not open the torus");
    return 1;
  }
  GlMeshT1& drawer = h.ActiveDoc()->Holder().m_drawer1;
  const uint32_t fast = drawer.hints;
  const uint32_t immediate = fast & ~(GlHint::VertexArrays | GlHint::SkipUncovered);
  const QSize size = view->size();
  std::printf("torus %d vertices, %d faces; view %d x %d\n", kRings * kSides, 2 * kRings * kSides,
              size.width(), size.height());
  std::printf("%-34s %8s %8s %12s\n", "", "ms", "frames/s", "first ms");
  struct Row {
    const char* name;
    int command;
    uint32_t hints;
  };
  const Row rows[] = {{"quarnel default, immediate calls", cmd::kFlatShaded, immediate},
                      {"quarnel default", cmd::kFlatShaded, fast},
                      {"quarnel wire, immediate calls", cmd::kWire, immediate},
                      {"quarnel wire", cmd::kWire, fast}};
  double fps[4] = {};
  for (int i = 0; i < 4; ++i) {
    h.Execute(rows[i].command);
    drawer.hints = rows[i].hints;
    const Frames f = Drag(h, view, drawer);
    fps[i] = Fps(f.medianMs);
    std::printf("%-34s %8.1f %8.2f %12.1f\n", rows[i].name, f.medianMs, fps[i], f.firstMs);
  }
  // The drags left the torus turned: both drawers draw it there. The info
  // pane shows the frame time, which differs, so it is off meanwhile.
  view->m_showInfoPane = false;
  const std::pair<const char*, int> modes[] = {
      {"default", cmd::kFlatShaded}, {"wire", cmd::kWire},           {"smooth", cmd::kSmooth},
      {"hidden line", cmd::kHiddenLine}, {"flat wire", cmd::kFlatWire}, {"points", cmd::kPoints}};
  for (const auto& [name, command] : modes) {
    h.Execute(command);
    drawer.hints = immediate;
    const QImage before = h.Frame(view);
    drawer.hints = fast;
    const QImage after = h.Frame(view);
    std::printf("%s frame identical to the immediate calls': %s\n", name, before == after ? "yes" : "NO");
  }
  view->m_showInfoPane = true;
  const double f3dMs = F3dFrameMs(torus, size, {});
  if (f3dMs <= 0) {
    std::puts("f3d: not installed or not measured");
    return 0;
  }
  // f3d has no wire alone; its nearest is the faces with their edges over.
  const double f3dEdgesMs = F3dFrameMs(torus, size, {"--edges"});
  std::printf("%-34s %8.1f %8.2f\n", "f3d default", f3dMs, Fps(f3dMs));
  std::printf("%-34s %8.1f %8.2f\n", "f3d edges", f3dEdgesMs, Fps(f3dEdgesMs));
  const double f3dFps = Fps(f3dMs);
  std::printf("ratio to f3d default: default %.2f (immediate %.2f), wire %.2f (immediate %.2f)\n",
              fps[1] / f3dFps, fps[0] / f3dFps, fps[3] / f3dFps, fps[2] / f3dFps);
  if (f3dEdgesMs > 0)
    std::printf("ratio to f3d edges: wire %.2f (immediate %.2f)\n", fps[3] / Fps(f3dEdgesMs),
                fps[2] / Fps(f3dEdgesMs));
  return 0;
}

}  // namespace
}  // namespace quarnel

int main() { return quarnel::Run(); }
