#include "core/places.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstddef>
#include <numeric>

#include "core/index_sets.h"
#include "core/prefetch.h"

namespace quarnel {

double FloatStep(double size) {
  size = std::fabs(size);
  if (!std::isfinite(size) || !(size < double(FLT_MAX))) return 0.0;
  const float f = float(size);
  return double(std::nextafter(f, FLT_MAX)) - double(f);
}

double OwnRounding(const Vec3d& p) {
  return FloatStep(std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)}));
}

double RoundingAlong(const Vec3f& p, const Plane3f& plane) {
  return 0.5 * (std::fabs(double(plane.normal.x)) * FloatStep(p.x) +
                std::fabs(double(plane.normal.y)) * FloatStep(p.y) +
                std::fabs(double(plane.normal.z)) * FloatStep(p.z));
}

bool AtOnePlace(const Vec3d& p, const Vec3d& q, double tolerance, double shape) {
  for (int a = 0; a < 3; ++a) {
    const double d = std::fabs(p[a] - q[a]);
    // The limit is at most the tolerance, and at least 0 where the
    // tolerance is (the float step is never below 0): the step is worked out
    // only in between.
    if (d > tolerance) return false;
    if (d == 0.0 && tolerance >= 0.0) continue;
    const double own = FloatStep(std::min(std::fabs(p[a]), std::fabs(q[a])));
    if (!(d <= std::min(tolerance, std::max(own, shape)))) return false;
  }
  return true;
}

namespace {

// The cell width of GroupByPlace's grid: far wider than the tolerance, so
// that a point meets only points of the cells that its tolerance reaches
// into, nearly always its own alone; with tolerance 0, a billionth of the
// largest finite coordinate.
double CellWidth(std::span<const Vec3d> points, double tolerance) {
  const double cell = 64.0 * tolerance;
  if (cell > 0.0) return cell;
  double largest = 0.0;
  for (const Vec3d& p : points)
    if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z))
      largest = std::max({largest, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  return largest > 0.0 ? largest * 1e-9 : 1.0;
}

// Points listed by their cells in a hash table, each joined on listing to
// the listed points within reach: parent links them to their places.
class PlaceGrid {
 public:
  PlaceGrid(std::span<const Vec3d> points, double tolerance, double shape)
      : points_(points), tolerance_(tolerance), shape_(shape),
        cell_(CellWidth(points, tolerance)), reach_(0x1p40 * cell_),
        margin_(tolerance >= 0.0 && std::isfinite(tolerance) ? tolerance / cell_ * (1.0 + 1e-12)
                                                             : HUGE_VAL),
        owns_(points.size(), 0),
        alone_(points.size(), 0), size_(std::bit_ceil(2 * points.size() + 2)),
        table_(size_, UINT32_MAX), next_(points.size(), UINT32_MAX), parent_(points.size()) {
    std::iota(parent_.begin(), parent_.end(), 0u);
    // Whether a point's tolerance stays within its cell is read from where
    // it lies in the cell, and worked out from the span only near the
    // cell's sides.
    for (uint32_t i = 0; i < points.size(); ++i) {
      const Vec3d& p = points[i];
      if (!Gridded(p)) continue;
      const double qx = p.x / cell_, qy = p.y / cell_, qz = p.z / cell_;
      const int64_t x = Floor(qx), y = Floor(qy), z = Floor(qz);
      owns_[i] = Key(x, y, z);
      alone_[i] = (WellInside(qx, x) && WellInside(qy, y) && WellInside(qz, z)) || SpanOf(p).Own();
    }
  }

  // Fetches the slots of point i's cells ahead of its Add: the table is far
  // larger than the nearest cache, and points in a row lie in cells far
  // apart in it.
  void FetchCells(uint32_t i) const {
    if (alone_[i]) {
      Prefetch(&table_[size_t(owns_[i]) & (size_ - 1)]);
    } else if (Gridded(points_[i])) {
      const Span r = SpanOf(points_[i]);
      for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y)
          for (int64_t z = r.z0; z <= r.z1; ++z)
            Prefetch(&table_[size_t(Key(x, y, z)) & (size_ - 1)]);
    }
  }

  // Joins point i to the listed points within reach, then lists it in its
  // cell; a point beyond the grid's reach stays a place of its own.
  void Add(uint32_t i) {
    if (!Gridded(points_[i])) return;
    const uint64_t own = owns_[i];
    if (!alone_[i]) {
      const Span r = SpanOf(points_[i]);
      for (int64_t x = r.x0; x <= r.x1; ++x)
        for (int64_t y = r.y0; y <= r.y1; ++y)
          for (int64_t z = r.z0; z <= r.z1; ++z) {
            const uint64_t k = Key(x, y, z);
            if (k != own) Meet(i, Find(k));
          }
    }
    // No slot is taken between this find of its own cell and the listing.
    uint32_t& head = Find(own);
    Meet(i, head);
    next_[i] = head;
    head = i;
  }

  // The place of each point: the smallest index of its set.
  std::vector<uint32_t> Places() {
    FlattenSets(parent_);
    return std::move(parent_);
  }

 private:
  // The cells that a point's tolerance reaches into, as index ranges.
  struct Span {
    int64_t x0, x1, y0, y1, z0, z1;
    bool Own() const { return x0 == x1 && y0 == y1 && z0 == z1; }
  };

  // The floor of c / cell, asked only of coordinates within reach:
  // truncated and stepped down where that rounded up.
  int64_t Index(double c) const { return Floor(c / cell_); }
  static int64_t Floor(double q) {
    const int64_t t = int64_t(q);
    return double(t) > q ? t - 1 : t;
  }
  // Whether the coordinate whose quotient by the cell width is q, in cell
  // t (Floor(q)), lies farther inside the cell than the tolerance by more
  // than the rounding of the quotients of its span's ends (a few steps of
  // q): those ends then have cell t too, as SpanOf works them out.
  bool WellInside(double q, int64_t t) const {
    const double at = q - double(t), margin = margin_ + 1e-13 * (std::fabs(q) + 1.0);
    return at > margin && at < 1.0 - margin;
  }
  // A cell by a hash of its indices alone: two cells with one hash (as good
  // as never) share a list, whose points are compared by their coordinates.
  static uint64_t Key(int64_t x, int64_t y, int64_t z) {
    const uint64_t h = uint64_t(x) * 0x9E3779B97F4A7C15ull ^ uint64_t(y) * 0xC2B2AE3D27D4EB4Full ^
                       uint64_t(z) * 0x165667B19E3779F9ull;
    return h ^ (h >> 29);
  }
  // Coordinates beyond reach cells are not gridded (no model coordinate
  // comes near it).
  bool Gridded(const Vec3d& p) const {
    return std::fabs(p.x) < reach_ && std::fabs(p.y) < reach_ && std::fabs(p.z) < reach_;
  }
  Span SpanOf(const Vec3d& p) const {
    return Span{Index(p.x - tolerance_), Index(p.x + tolerance_), Index(p.y - tolerance_),
                Index(p.y + tolerance_), Index(p.z - tolerance_), Index(p.z + tolerance_)};
  }
  // The slot of a cell: the last point listed of it, UINT32_MAX when empty.
  uint32_t& Find(uint64_t k) {
    for (size_t s = size_t(k) & (size_ - 1);; s = (s + 1) & (size_ - 1)) {
      uint32_t& head = table_[s];
      if (head == UINT32_MAX || owns_[head] == k) return head;
    }
  }
  // Joins point i to each point of the list from head that stands at one
  // place with it.
  void Meet(uint32_t i, uint32_t head) {
    const Vec3d& p = points_[i];
    for (uint32_t j = head; j != UINT32_MAX; j = next_[j]) {
      if (AtOnePlace(p, points_[j], tolerance_, shape_)) {
        JoinSets(parent_, i, j);
      }
    }
  }

  std::span<const Vec3d> points_;
  double tolerance_, shape_, cell_, reach_;
  double margin_;  // the tolerance in cell widths, rounded up; HUGE_VAL where not finite
  std::vector<uint64_t> owns_;  // each gridded point's own cell
  std::vector<uint8_t> alone_;  // whether its tolerance stays within it
  // Per slot the last point listed of its cell: four bytes a slot keep the
  // table within the nearer caches.
  size_t size_;
  std::vector<uint32_t> table_;
  std::vector<uint32_t> next_;  // the point listed before, in the same cell
  std::vector<uint32_t> parent_;
};

}  // namespace

std::vector<uint32_t> GroupByPlace(std::span<const Vec3d> points, double tolerance, double shape) {
  const size_t n = points.size();
  if (n < 2) {
    std::vector<uint32_t> parent(n);
    std::iota(parent.begin(), parent.end(), 0u);
    return parent;
  }
  PlaceGrid grid(points, tolerance, shape);
  constexpr uint32_t kAhead = 16;
  for (uint32_t i = 0; i < n; ++i) {
    if (i + kAhead < n) grid.FetchCells(i + kAhead);
    grid.Add(i);
  }
  return grid.Places();
}

double PlaceTolerance(const BBox3f& box) {
  if (box.IsNull()) return 0.0;
  double size = 0.0;
  for (const Vec3f& corner : {box.min, box.max})
    size = std::max({size, std::fabs(double(corner.x)), std::fabs(double(corner.y)),
                     std::fabs(double(corner.z))});
  return std::isfinite(size) ? 4.0 * double(FLT_EPSILON) * size : 0.0;
}

double ShapeRounding(const BBox3f& box) {
  if (box.IsNull()) return 0.0;
  const double side = std::max({double(box.max.x) - box.min.x, double(box.max.y) - box.min.y,
                                double(box.max.z) - box.min.z});
  return FloatStep(0.5 * side);
}

}  // namespace quarnel
