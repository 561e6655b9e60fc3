#include "core/plane_grid.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace quarnel {

PlaneGrid::PlaneGrid(const Point2d& lo, const Point2d& hi, double least, size_t count)
    : lo_(lo), n_(std::max<int64_t>(1, int64_t(std::sqrt(double(count))))) {
  const double extent = std::max({hi.x - lo.x, hi.y - lo.y, least, 1e-300});
  cell_ = extent / double(n_) * (1.0 + 1e-9);
}

bool PlaneGrid::ShortBox(const Point2d& a, const Point2d& b, int64_t (&box)[4]) const {
  const int64_t ax = Index(a.x, lo_.x), ay = Index(a.y, lo_.y), bx = Index(b.x, lo_.x),
                by = Index(b.y, lo_.y);
  const int64_t wide = std::abs(ax - bx), high = std::abs(ay - by);
  if (std::min(wide, high) > 1) return false;
  // A short segment, or one along a row or a column: the cells of its box,
  // with their neighbours, hold all those below and few more.
  box[0] = std::max<int64_t>(0, std::min(ax, bx) - 1);
  box[1] = std::min(n_ - 1, std::max(ax, bx) + 1);
  box[2] = std::max<int64_t>(0, std::min(ay, by) - 1);
  box[3] = std::min(n_ - 1, std::max(ay, by) + 1);
  return true;
}

void PlaneGrid::Along(const Point2d& a, const Point2d& b, std::vector<int64_t>& cells) const {
  cells.clear();
  int64_t box[4];
  if (ShortBox(a, b, box)) {
    for (int64_t y = box[2]; y <= box[3]; ++y)
      for (int64_t x = box[0]; x <= box[1]; ++x)
        cells.push_back(y * n_ + x);
    return;
  }
  const int64_t steps = int64_t(std::ceil(std::hypot(b.x - a.x, b.y - a.y) / cell_)) + 1;
  for (int64_t k = 0; k <= steps; ++k) {
    const double t = std::min(1.0, double(k) / double(steps));
    const int64_t cx = Index(a.x + (b.x - a.x) * t, lo_.x), cy = Index(a.y + (b.y - a.y) * t, lo_.y);
    for (int64_t y = std::max<int64_t>(0, cy - 1); y <= std::min(n_ - 1, cy + 1); ++y)
      for (int64_t x = std::max<int64_t>(0, cx - 1); x <= std::min(n_ - 1, cx + 1); ++x)
        cells.push_back(y * n_ + x);
  }
  std::sort(cells.begin(), cells.end());
  cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
}

int64_t PlaneGrid::Index(double c, double from) const {
  return std::clamp<int64_t>(int64_t(std::floor((c - from) / cell_)), 0, n_ - 1);
}

}  // namespace quarnel
