#include "core/plane_tessellation.h"

#include <GL/glu.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>

namespace quarnel {

namespace {

// Ids travel through the tessellator as its vertex data, offset by one so
// that no id is a null pointer.
void* AsData(uint32_t id) { return reinterpret_cast<void*>(uintptr_t(id) + 1); }
uint32_t AsId(const void* data) { return uint32_t(reinterpret_cast<uintptr_t>(data) - 1); }

struct Run {
  const std::vector<Point2d>* points;
  std::vector<Point2d> made;  // the crossings' places
  double snap = 0.0;
  std::vector<uint32_t>* triangles;
  std::vector<ContourCrossing>* crossings;
  bool failed = false;

  Point2d At(uint32_t id) const {
    return id < points->size() ? (*points)[id] : made[id - points->size()];
  }
};

void GLAPIENTRY OnVertex(void* data, void* run) {
  static_cast<Run*>(run)->triangles->push_back(AsId(data));
}

// Asked for only so that the output is plain triangles.
void GLAPIENTRY OnEdgeFlag(GLboolean, void*) {}

void GLAPIENTRY OnError(GLenum, void* run) { static_cast<Run*>(run)->failed = true; }

void GLAPIENTRY OnCombine(GLdouble coords[3], void* data[4], GLfloat weight[4], void** out,
                        void* r) {
  Run& run = *static_cast<Run*>(r);
  const Point2d at{coords[0], coords[1]};
  // The nearest of the points it is made from, when within the snap.
  double best = run.snap;
  bool found = false;
  uint32_t nearest = 0;
  for (int k = 0; k < 4; ++k) {
    if (data[k] == nullptr) continue;
    const Point2d p = run.At(AsId(data[k]));
    const double d = std::hypot(p.x - at.x, p.y - at.y);
    if (d <= best) {
      best = d;
      nearest = AsId(data[k]);
      found = true;
    }
  }
  if (found) {
    *out = AsData(nearest);
    return;
  }
  ContourCrossing c;
  for (int k = 0; k < 4; ++k) {
    c.from[k] = data[k] == nullptr ? 0u : AsId(data[k]);
    c.weight[k] = data[k] == nullptr ? 0.0 : double(weight[k]);
  }
  const uint32_t id = uint32_t(run.points->size() + run.made.size());
  run.made.push_back(at);
  run.crossings->push_back(c);
  *out = AsData(id);
}

struct TessDeleter {
  void operator()(GLUtesselator* t) const { gluDeleteTess(t); }
};

}  // namespace

bool TessellateByWinding(const std::vector<Point2d>& points,
                         const std::vector<std::vector<uint32_t>>& contours, int sign, double snap,
                         std::vector<uint32_t>& triangles, std::vector<ContourCrossing>& crossings) {
  triangles.clear();
  crossings.clear();
  std::unique_ptr<GLUtesselator, TessDeleter> tess(gluNewTess());
  if (!tess) return false;
  Run run{&points, {}, snap, &triangles, &crossings, false};
  using Callback = void(GLAPIENTRY*)();
  gluTessCallback(tess.get(), GLU_TESS_VERTEX_DATA, reinterpret_cast<Callback>(&OnVertex));
  gluTessCallback(tess.get(), GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<Callback>(&OnEdgeFlag));
  gluTessCallback(tess.get(), GLU_TESS_ERROR_DATA, reinterpret_cast<Callback>(&OnError));
  gluTessCallback(tess.get(), GLU_TESS_COMBINE_DATA, reinterpret_cast<Callback>(&OnCombine));
  gluTessProperty(tess.get(), GLU_TESS_WINDING_RULE,
                  sign > 0 ? GLU_TESS_WINDING_POSITIVE : GLU_TESS_WINDING_NEGATIVE);
  gluTessNormal(tess.get(), 0.0, 0.0, 1.0);
  gluTessBeginPolygon(tess.get(), &run);
  // The coordinates stay in place until the polygon ends.
  size_t total = 0;
  for (const std::vector<uint32_t>& contour : contours)
    total += contour.size();
  std::vector<GLdouble> coords(3 * total, 0.0);
  size_t at = 0;
  for (const std::vector<uint32_t>& contour : contours) {
    gluTessBeginContour(tess.get());
    for (uint32_t id : contour) {
      const Point2d& p = points[id];
      coords[3 * at] = p.x;
      coords[3 * at + 1] = p.y;
      gluTessVertex(tess.get(), &coords[3 * at], AsData(id));
      ++at;
    }
    gluTessEndContour(tess.get());
  }
  gluTessEndPolygon(tess.get());
  if (run.failed || triangles.size() % 3 != 0) {
    triangles.clear();
    return false;
  }
  // The tessellator gives every triangle counter-clockwise about its normal.
  if (sign < 0)
    for (size_t t = 0; t + 2 < triangles.size(); t += 3)
      std::swap(triangles[t + 1], triangles[t + 2]);
  return true;
}

}  // namespace quarnel
