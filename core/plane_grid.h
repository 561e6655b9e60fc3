// Points in a plane, and a grid of square cells over them for finding what
// lies near a point or along a segment.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quarnel {

struct Point2d {
  double x = 0.0, y = 0.0;
};

// A grid of n x n square cells over a box in the plane, n about the root of
// the count of things it holds.
class PlaneGrid {
 public:
  PlaneGrid(const Point2d& lo, const Point2d& hi, double least, size_t count);

  size_t Cells() const { return size_t(n_ * n_); }
  int64_t Side() const { return n_; }
  int64_t Of(const Point2d& p) const { return Row(p.y) * n_ + Column(p.x); }
  int64_t Column(double x) const { return Index(x, lo_.x); }
  int64_t Row(double y) const { return Index(y, lo_.y); }
  // The left end of column j.
  double Left(int64_t j) const { return lo_.x + double(j) * cell_; }

  // The cells along the segment from a to b, each with its neighbours, once
  // each and in order: whatever lies within a cell of the segment is in one.
  void Along(const Point2d& a, const Point2d& b, std::vector<int64_t>& cells) const;

  // The cells of Along for a segment from a to b that is short, or runs
  // along a row or a column: those of its box with their neighbours,
  // columns box[0] .. box[1] of rows box[2] .. box[3], row by row. False
  // for another segment.
  bool ShortBox(const Point2d& a, const Point2d& b, int64_t (&box)[4]) const;

 private:
  int64_t Index(double c, double from) const;

  Point2d lo_;
  int64_t n_;
  double cell_ = 1.0;
};

}  // namespace quarnel
