#include "app/overlay_geometry.h"

#include <cmath>

namespace quarnel {

namespace {

constexpr double kPi = 3.14159265;

Mat4f ToFloat(const Mat4d& m) {
  Mat4f r;
  for (int i = 0; i < 16; ++i) r.m[i] = float(m.m[i]);
  return r;
}

Vec3f Transform(const Mat4f& m, const Vec3f& p) {
  Vec3f r;
  Mat4f::TransformPoint(m, r, p);
  return r;
}

// The most lines on either side of the centre along one axis: the finest
// tick setting (1000 ticks) fits, and no plane size makes a frame draw
// millions of segments.
constexpr int kMaxLinesPerHalf = 500;

// Whole steps in half a plane's side, truncated toward zero as float
// division gives them; a plane wider than the cap keeps the cap's count of
// lines, spread over its whole side.
int LinesPerHalf(float half, float step) {
  if (!(step > 0.0f)) return 0;
  const float r = half / step;
  if (!std::isfinite(r) || r <= 0.0f) return 0;
  return r >= float(kMaxLinesPerHalf) ? kMaxLinesPerHalf : int(r);
}

}  // namespace

void TickSpacing(PlaneGridStyle& style, int ticks, float& size, Vec3f& centre) {
  const double given = std::isfinite(size) && size > 0.0f ? double(size) : 1.0;
  const double s = std::pow(10.0, std::ceil(std::log10(given)));
  size = float(s);
  const float step = float(s * (1.0 / double(ticks < 1 ? 1 : ticks)));
  style.stepU = step;
  style.stepV = step;
  // In float like the line counts: 0.3f / 0.1f is 3 there, not 2.99999...
  for (int i = 0; i < 3; ++i) centre[i] = step * std::trunc(centre[i] / step);
}

PlaneGrid BuildPlaneGrid(const float plane[4], const Vec3f& centre, const Vec3f& up, float sizeU,
                         float sizeV, const PlaneGridStyle& style) {
  Plane3f pl{Vec3f(plane[0], plane[1], plane[2]), plane[3]};
  Vec3f u, v;
  PlaneTangentFrame(pl, u, v, up.x, up.y, up.z);
  const Vec3f& n = pl.normal;
  // The line counts are worked out in float: half a size of 1 holds five
  // steps of 0.1f there, where double division finds only 4.99999...
  const float hu = sizeU * 0.5f, hv = sizeV * 0.5f;
  const int nu = LinesPerHalf(hu, style.stepU);
  const int nv = LinesPerHalf(hv, style.stepV);
  // With no whole step on an axis its lines collapse into the one through
  // the centre.
  const Vec3f du = nu > 0 ? u * (hu / float(nu)) : Vec3f();
  const Vec3f dv = nv > 0 ? v * (hv / float(nv)) : Vec3f();
  const Vec3f p = centre - n * (n.Dot(centre) - double(pl.d));
  const Vec3f uh = u * hu, vh = v * hv;

  PlaneGrid grid;
  grid.corners[0] = p - uh - vh;
  grid.corners[1] = p + uh - vh;
  grid.corners[2] = p + uh + vh;
  grid.corners[3] = p - uh + vh;
  if (style.mode != 1 && style.mode != 2) return grid;
  grid.lines.reserve(size_t(2 * nu + 2 * nv + 2));
  for (int k = -nv; k <= nv; ++k)
    grid.lines.push_back({p - uh + dv * k, p + uh + dv * k});
  for (int k = -nu; k <= nu; ++k)
    grid.lines.push_back({p + du * k - vh, p + du * k + vh});
  return grid;
}

std::vector<std::vector<Vec3f>> WireSphereStrips(int stacks, int slices) {
  std::vector<std::vector<Vec3f>> strips;
  for (int i = 1; i < stacks; ++i) {
    const double t = i * kPi / stacks;
    std::vector<Vec3f> strip;
    for (int j = 0; j <= slices; ++j) {
      const double p = 2.0 * j * kPi / slices;
      strip.emplace_back(float(std::sin(p) * std::sin(t)), float(std::cos(t)),
                         float(std::cos(p) * std::sin(t)));
    }
    strips.push_back(std::move(strip));
  }
  for (int j = 0; j < slices; ++j) {
    const double p = 2.0 * j * kPi / slices;
    std::vector<Vec3f> strip;
    for (int i = 0; i <= stacks; ++i) {
      const double t = i * kPi / stacks;
      strip.emplace_back(float(std::sin(t) * std::cos(p)), float(std::cos(t)),
                         float(std::sin(t) * std::sin(p)));
    }
    strips.push_back(std::move(strip));
  }
  return strips;
}

std::vector<Segment3f> BoxCornerSegments(const BBox3f& box) {
  const Vec3f d = (box.max - box.min) * 0.25;
  std::vector<Segment3f> marks;
  for (int corner = 0; corner < 8; ++corner) {
    Vec3f c;
    Vec3f inward;
    for (int axis = 0; axis < 3; ++axis) {
      const bool high = (corner >> axis) & 1;
      c[axis] = high ? box.max[axis] : box.min[axis];
      inward[axis] = high ? -d[axis] : d[axis];
    }
    for (int axis = 0; axis < 3; ++axis) {
      Vec3f end = c;
      end[axis] = float(double(c[axis]) + inward[axis]);
      marks.push_back({c, end});
    }
  }
  return marks;
}

double RulerStep(double length) {
  if (!(length > 0.0) || !std::isfinite(length)) return 0.0;
  const int k = int(std::trunc(std::log10(length)));
  double step = std::pow(10.0, k);
  while (length / step < 30.0) step *= 0.1;
  return step;
}

std::vector<int> LabelDrops(const std::vector<LabelBox>& labels) {
  // A label without a size (its corner did not project) is in nobody's way.
  auto overlap = [](const LabelBox& a, int ay, const LabelBox& b, int by) {
    return a.width > 0 && a.height > 0 && b.width > 0 && b.height > 0 && a.x < b.x + b.width &&
           b.x < a.x + a.width && ay < by + b.height && by < ay + a.height;
  };
  std::vector<int> drops(labels.size(), 0);
  for (size_t i = 0; i < labels.size(); ++i) {
    const LabelBox& l = labels[i];
    // Each earlier label in the way puts it just below that label; as it
    // only moves down, each one can do so once.
    for (size_t tries = 0; tries < i; ++tries) {
      size_t hit = i;
      for (size_t j = 0; j < i && hit == i; ++j)
        if (overlap(l, l.y - drops[i], labels[j], labels[j].y - drops[j])) hit = j;
      if (hit == i) break;
      drops[i] = l.y - (labels[hit].y - drops[hit] - l.height);
    }
  }
  return drops;
}

void ClipPlaneFromTrack(const Mat4d& track, const Vec3f& normal, const Vec3f& centre, float out[4]) {
  const Mat4f t = ToFloat(track);
  const double d = normal.Dot(centre);
  const Vec3f p0 = normal * d;
  const Vec3f p1 = p0 + normal;
  const Vec3f q0 = Transform(t, p0);
  Vec3f n = Transform(t, p1) - q0;
  n.Normalize();
  out[0] = n.x;
  out[1] = n.y;
  out[2] = n.z;
  out[3] = float(n.Dot(q0));
}

void ClipSphereFromTrack(const Mat4d& track, const Vec3f& centre, double radius, float out[4]) {
  const Mat4f t = ToFloat(track);
  const Vec3f c = Transform(t, centre);
  const Vec3f q = Transform(t, centre + Vec3f(0.0f, 0.0f, float(radius)));
  out[0] = c.x;
  out[1] = c.y;
  out[2] = c.z;
  out[3] = float(Distance(q, c));
}

}  // namespace quarnel
