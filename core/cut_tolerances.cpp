#include "core/cut_tolerances.h"

#include <cmath>

#include "core/places.h"

namespace quarnel {

CutTolerances MeasureCutTolerances(const MeshT5& mesh) {
  CutTolerances t;
  t.box.SetNull();
  for (const FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    for (const VertexT5* v : f.v) {
      const Vec3f& p = v->position;
      if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) t.box.Add(p);
    }
  }
  if (t.box.IsNull()) return t;
  t.diagonal = Distance(t.box.max, t.box.min);
  t.planeTolerance = float(t.diagonal * double(1e-4f));
  t.collapseLength = t.diagonal * double(0.001f);
  t.place = PlaceTolerance(t.box);
  t.shape = ShapeRounding(t.box);
  return t;
}

}  // namespace quarnel
