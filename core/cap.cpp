#include "core/cap.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

#include "core/clean.h"
#include "core/curvature_flip.h"
#include "core/normals.h"

namespace quarnel {

namespace {

bool ValidCorner(int k) {
  return k >= 0 && k < 3;
}

// Edge z of f is shared with a neighbour that does not point back to f (a
// ring of three or more faces).
bool OnNonManifoldEdge(const FaceT5& f, int z) {
  const FaceT5* n = f.adjFace[z];
  if (n == nullptr || n == &f) return false;
  int k = f.adjIndex[z];
  return !(ValidCorner(k) && n->adjFace[k] == &f);
}

// Walks the loop from start and calls visit(vertex) for every vertex met,
// start first, until the walk is back at start (returns true), visit
// returns false, or maxSteps edges were walked (returns false).
template <class Visit>
bool WalkLoop(const FacePos& start, size_t maxSteps, Visit&& visit) {
  FacePos p = start;
  for (size_t steps = 0; steps < maxSteps; ++steps) {
    if (!visit(p)) return false;
    if (!p.NextBorder(maxSteps)) return false;
    if (p == start) return true;
  }
  return false;
}

// The cap flips the edges between faces whose normals are at most this far
// apart (one degree, in radians).
constexpr float kOneDegree = 0.017453292f;

// Below this share of the loop's squared extent an ear counts as flat.
constexpr double kRelativeMargin = 1e-12;

// A point nearer to the line of a triangle's side than this share of the
// loop's extent is taken as on it: far below the resolution of float
// positions, far above the rounding of the double arithmetic.
constexpr double kOnSide = 1e-9;

// Twice the signed area of the triangle (a, b, c): positive when it runs
// counter-clockwise.
double Cross2d(const Point2d& a, const Point2d& b, const Point2d& c) {
  return (b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x);
}

bool Same(const Point2d& a, const Point2d& b) {
  return a.x == b.x && a.y == b.y;
}

// Squared distance of q from the segment (a, b).
double SegmentDistance2(const Point2d& a, const Point2d& b, const Point2d& q) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  const double length2 = dx * dx + dy * dy;
  double t = length2 > 0.0 ? ((q.x - a.x) * dx + (q.y - a.y) * dy) / length2 : 0.0;
  t = std::clamp(t, 0.0, 1.0);
  const double ex = a.x + t * dx - q.x, ey = a.y + t * dy - q.y;
  return ex * ex + ey * ey;
}

// The ear clipper's working state: the polygon's points, the ring of those
// still in the loop (a linked list of point indices, so that cutting an ear
// costs the same at any length) and a grid of the points, so that the test
// whether an ear holds another point looks only at the points near the ear.
class EarClipper {
 public:
  // order lists the loop's point indices counter-clockwise.
  EarClipper(const std::vector<Point2d>& P, const std::vector<int>& order, double extent)
      : P_(P),
        extent_(extent),
        onSide_(kOnSide * extent),
        next_(P.size(), -1),
        prev_(P.size(), -1),
        rank_(P.size(), -1),
        alive_(P.size(), 0) {
    const int n = int(order.size());
    double far = 0.0;
    for (int i = 0; i < n; ++i) {
      const size_t a = size_t(order[size_t(i)]);
      next_[a] = order[size_t(i + 1 == n ? 0 : i + 1)];
      prev_[a] = order[size_t(i == 0 ? n - 1 : i - 1)];
      rank_[a] = i;
      alive_[a] = 1;
      far = std::max({far, std::fabs(P[a].x), std::fabs(P[a].y)});
    }
    count_ = n;
    any_ = n > 0 ? order[0] : -1;
    // Rounding of the side tests, in model units: far below any tolerance.
    pad_ = 1e-9 * (extent + far);
    BuildGrid();
    byRank_ = order;
    tree_.assign(size_t(n) + 1, 0);
    for (int i = 1; i <= n; ++i) {
      tree_[size_t(i)] += 1;
      const int up = i + (i & -i);
      if (up <= n) tree_[size_t(up)] += tree_[size_t(i)];
    }
    marks_.assign((size_t(n) + 63) / 64, 0);
    markWords_.assign((marks_.size() + 63) / 64, 0);
  }

  // Steps forward from a to b around the loop.
  int Distance(int a, int b) const {
    const int pa = Before(rank_[size_t(a)]), pb = Before(rank_[size_t(b)]);
    return pb >= pa ? pb - pa : count_ - (pa - pb);
  }
  // The point k steps forward from a.
  int Advance(int a, int k) const {
    int target = (Before(rank_[size_t(a)]) + k) % count_;
    // The rank with target points of the loop before it.
    int rank = 0;
    int step = 1;
    while (step * 2 <= int(byRank_.size()))
      step *= 2;
    for (; step > 0; step /= 2)
      if (rank + step <= int(byRank_.size()) && tree_[size_t(rank + step)] <= target) {
        rank += step;
        target -= tree_[size_t(rank)];
      }
    return byRank_[size_t(rank)];
  }

  // Marks of the candidate ears (by their middle point), and the first one
  // marked at or after a around the loop, -1 when none is.
  void Mark(int a, bool on) {
    const size_t r = size_t(rank_[size_t(a)]), word = r / 64;
    if (on) {
      marks_[word] |= uint64_t(1) << (r % 64);
      markWords_[word / 64] |= uint64_t(1) << (word % 64);
    } else {
      marks_[word] &= ~(uint64_t(1) << (r % 64));
      if (marks_[word] == 0) markWords_[word / 64] &= ~(uint64_t(1) << (word % 64));
    }
  }
  int NextMarked(int a) const {
    int r = MarkedFrom(size_t(rank_[size_t(a)]));
    if (r < 0) r = MarkedFrom(0);
    return r < 0 ? -1 : byRank_[size_t(r)];
  }

  int Count() const { return count_; }
  int Next(int a) const { return next_[size_t(a)]; }
  int Prev(int a) const { return prev_[size_t(a)]; }
  const Point2d& At(int a) const { return P_[size_t(a)]; }

  // Some other point of the loop lies inside or on the triangle (u, v, w).
  // A point within rounding of a side's line counts as on it: a point on a
  // straight run of the loop must block the ear whose closing diagonal runs
  // through it, or it would be left on a triangle without area. Points
  // equal to a corner (a loop that passes twice through one place) count.
  bool Blocked(int u, int v, int w) const {
    const Point2d &Pu = At(u), &Pv = At(v), &Pw = At(w);
    const double lvw = std::hypot(Pw.x - Pv.x, Pw.y - Pv.y);
    const double lwu = std::hypot(Pu.x - Pw.x, Pu.y - Pw.y);
    const double luv = std::hypot(Pv.x - Pu.x, Pv.y - Pu.y);
    const double onVW = -kOnSide * extent_ * lvw;
    const double onWU = -kOnSide * extent_ * lwu;
    const double onUV = -kOnSide * extent_ * luv;
    auto inside = [&](int p) {
      if (p == u || p == v || p == w) return false;
      const Point2d& Q = At(p);
      return Cross2d(Pv, Pw, Q) >= onVW && Cross2d(Pw, Pu, Q) >= onWU && Cross2d(Pu, Pv, Q) >= onUV;
    };
    // The points that pass lie in the triangle moved out by onSide_ on each
    // side: the triangle scaled about its incentre by (r + onSide_) / r,
    // with r its inradius.
    const double twice = Cross2d(Pu, Pv, Pw);
    const double perimeter = lvw + lwu + luv;
    const double r = twice / perimeter;
    const double scale = (r + onSide_) / r;
    if (!(twice > 0.0) || !(r > 0.0) || !std::isfinite(scale)) return AnyInLoop(inside);
    const Point2d centre = {(lvw * Pu.x + lwu * Pv.x + luv * Pw.x) / perimeter,
                            (lvw * Pu.y + lwu * Pv.y + luv * Pw.y) / perimeter};
    Point2d moved[3];
    double size = 0.0;
    for (int k = 0; k < 3; ++k) {
      const Point2d& X = k == 0 ? Pu : k == 1 ? Pv : Pw;
      moved[k] = {centre.x + (X.x - centre.x) * scale, centre.y + (X.y - centre.y) * scale};
      size = std::max({size, std::fabs(moved[k].x - centre.x), std::fabs(moved[k].y - centre.y)});
    }
    return AnyNear(moved, pad_ + 1e-9 * size, inside);
  }

  // Some other point of the loop lies in the closed triangle (u, v, w) or
  // within onSide_ of one of its sides; or a point at the place of a corner
  // (where the loop passes twice, as at both ends of a bridge to a hole) has
  // an edge that runs into the triangle.
  bool BlockedStrictly(int u, int v, int w) const {
    const Point2d &Pu = At(u), &Pv = At(v), &Pw = At(w);
    const double near2 = onSide_ * onSide_;
    const double luv = std::hypot(Pv.x - Pu.x, Pv.y - Pu.y);
    const double lvw = std::hypot(Pw.x - Pv.x, Pw.y - Pv.y);
    const double lwu = std::hypot(Pu.x - Pw.x, Pu.y - Pw.y);
    // The edges of point q, which stands at corner C of the triangle (C, A,
    // B) in counter-clockwise order, run strictly between the sides CA, CB.
    auto entersAt = [&](const Point2d& C, const Point2d& A, const Point2d& B, int q) {
      for (int n : {Prev(q), Next(q)}) {
        const Point2d& N = At(n);
        if (Cross2d(C, A, N) > 0.0 && Cross2d(C, N, B) > 0.0) return true;
      }
      return false;
    };
    auto blocks = [&](int p) {
      if (p == u || p == v || p == w) return false;
      const Point2d& Q = At(p);
      if (Same(Q, Pu)) return entersAt(Pu, Pv, Pw, p);
      if (Same(Q, Pv)) return entersAt(Pv, Pw, Pu, p);
      if (Same(Q, Pw)) return entersAt(Pw, Pu, Pv, p);
      const double cuv = Cross2d(Pu, Pv, Q), cvw = Cross2d(Pv, Pw, Q), cwu = Cross2d(Pw, Pu, Q);
      if (cuv >= 0.0 && cvw >= 0.0 && cwu >= 0.0) return true;
      // Further than onSide_ outside one side's line is further from the
      // whole triangle.
      if (cuv < -onSide_ * luv || cvw < -onSide_ * lvw || cwu < -onSide_ * lwu) return false;
      return SegmentDistance2(Pu, Pv, Q) <= near2 || SegmentDistance2(Pv, Pw, Q) <= near2 ||
             SegmentDistance2(Pw, Pu, Q) <= near2;
    };
    const Point2d corners[3] = {Pu, Pv, Pw};
    return AnyNear(corners, pad_ + onSide_, blocks);
  }

  // Some edge of the loop crosses a side of the triangle (u, v, w) from one
  // side to the other: only in a loop that is not simple.
  bool Crossed(int u, int v, int w) const {
    const int corners[3] = {u, v, w};
    int p = any_;
    for (int k = 0; k < count_; ++k, p = Next(p)) {
      const Point2d &A = At(p), &B = At(Next(p));
      for (int s = 0; s < 3; ++s) {
        const Point2d &C = At(corners[s]), &D = At(corners[(s + 1) % 3]);
        if (Cross2d(A, B, C) * Cross2d(A, B, D) < 0.0 && Cross2d(C, D, A) * Cross2d(C, D, B) < 0.0)
          return true;
      }
    }
    return false;
  }

  // The ear to cut when no other passes: the largest counter-clockwise one
  // that holds no other point, that no edge crosses and that is not larger
  // than the loop. -1 when there is none (a loop that is not simple): what
  // remains is left open.
  int BestEar() const {
    // No ear of a simple loop is larger than the loop; a loop that runs back
    // over itself has less area than its ears, or none.
    double loopArea = 0.0;
    int p = any_;
    for (int k = 0; k < count_; ++k, p = Next(p)) {
      const Point2d &a = At(p), &b = At(Next(p));
      loopArea += a.x * b.y - b.x * a.y;
    }
    std::vector<std::pair<double, int>> ears;
    p = any_;
    for (int k = 0; k < count_; ++k, p = Next(p)) {
      const double area = Cross2d(At(Prev(p)), At(p), At(Next(p)));
      if (area > 0.0 && area <= loopArea * (1.0 + 1e-9)) ears.push_back({area, p});
    }
    // Largest first, on a tie the one earlier in the loop as given.
    auto smaller = [this](const std::pair<double, int>& a, const std::pair<double, int>& b) {
      return a.first < b.first ||
             (a.first == b.first && rank_[size_t(a.second)] > rank_[size_t(b.second)]);
    };
    std::make_heap(ears.begin(), ears.end(), smaller);
    while (!ears.empty()) {
      std::pop_heap(ears.begin(), ears.end(), smaller);
      const int v = ears.back().second;
      ears.pop_back();
      const int u = Prev(v), w = Next(v);
      if (!BlockedStrictly(u, v, w) && !Crossed(u, v, w)) return v;
    }
    return -1;
  }

  // Appends the ear at v and takes v out of the loop.
  void Cut(int v, std::vector<int>& triangles) {
    const int u = Prev(v), w = Next(v);
    triangles.push_back(u);
    triangles.push_back(v);
    triangles.push_back(w);
    next_[size_t(u)] = w;
    prev_[size_t(w)] = u;
    alive_[size_t(v)] = 0;
    if (any_ == v) any_ = w;
    --count_;
    Mark(v, false);
    for (size_t i = size_t(rank_[size_t(v)]) + 1; i < tree_.size(); i += i & (~i + 1))
      --tree_[i];
    // The grid's cells keep the points cut away; rebuilt whenever half are
    // gone, a search never looks at many more points than remain.
    if (2 * count_ < built_) BuildGrid();
  }

 private:
  void BuildGrid() {
    built_ = count_;
    double x0 = HUGE_VAL, x1 = -HUGE_VAL, y0 = HUGE_VAL, y1 = -HUGE_VAL;
    int p = any_;
    for (int k = 0; k < count_; ++k, p = Next(p)) {
      x0 = std::min(x0, At(p).x), x1 = std::max(x1, At(p).x);
      y0 = std::min(y0, At(p).y), y1 = std::max(y1, At(p).y);
    }
    // About one cell per point, as square as the box allows.
    const double w = x1 - x0, h = y1 - y0;
    const int cells = std::max(count_, 1);
    int nx = 1, ny = 1;
    if (w > 0.0 && h > 0.0) {
      nx = int(std::clamp(std::sqrt(double(cells) * w / h), 1.0, double(cells)));
      ny = std::max(1, cells / nx);
    } else if (w > 0.0) {
      nx = cells;
    } else if (h > 0.0) {
      ny = cells;
    }
    nx_ = nx, ny_ = ny, x0_ = x0, y0_ = y0;
    cellW_ = w > 0.0 ? w / nx : 1.0;
    cellH_ = h > 0.0 ? h / ny : 1.0;
    start_.assign(size_t(nx) * size_t(ny) + 1, 0);
    p = any_;
    for (int k = 0; k < count_; ++k, p = Next(p))
      ++start_[Cell(At(p)) + 1];
    for (size_t c = 1; c < start_.size(); ++c)
      start_[c] += start_[c - 1];
    items_.resize(size_t(count_));
    itemX_.resize(size_t(count_));
    std::vector<size_t> fill(start_.begin(), start_.end() - 1);
    p = any_;
    for (int k = 0; k < count_; ++k, p = Next(p)) {
      const size_t at = fill[Cell(At(p))]++;
      items_[at] = p;
      itemX_[at] = At(p).x;
    }
  }

  int Column(double x) const {
    const double c = (x - x0_) / cellW_;
    return !(c > 0.0) ? 0 : c >= double(nx_ - 1) ? nx_ - 1 : int(c);
  }
  int Row(double y) const {
    const double c = (y - y0_) / cellH_;
    return !(c > 0.0) ? 0 : c >= double(ny_ - 1) ? ny_ - 1 : int(c);
  }
  size_t Cell(const Point2d& q) const {
    return size_t(Row(q.y)) * size_t(nx_) + size_t(Column(q.x));
  }

  // Whether test(p) holds for a point p of the loop; asks only the points
  // of the grid cells that come within pad of the triangle T, row by row
  // (a long thin ear across the loop meets few of the cells of its box).
  template <class Test>
  bool AnyNear(const Point2d (&T)[3], double pad, Test&& test) const {
    const double y0 = std::min({T[0].y, T[1].y, T[2].y}) - pad;
    const double y1 = std::max({T[0].y, T[1].y, T[2].y}) + pad;
    const double x0 = std::min({T[0].x, T[1].x, T[2].x}) - pad;
    const double x1 = std::max({T[0].x, T[1].x, T[2].x}) + pad;
    if (!(y0 <= y1 && x0 <= x1) || !std::isfinite(y1 - y0) || !std::isfinite(x1 - x0))
      return AnyInLoop(test);
    const int j0 = Row(y0), j1 = Row(y1), i0 = Column(x0), i1 = Column(x1);
    int columns[2];
    double reach[2];
    size_t cells = 0;
    // A small triangle: its box's cells are few.
    if ((i1 - i0 + 1) * (j1 - j0 + 1) <= 16) {
      for (int j = j0; j <= j1; ++j) {
        const size_t row = size_t(j) * size_t(nx_);
        for (size_t k = start_[row + size_t(i0)]; k < start_[row + size_t(i1) + 1]; ++k) {
          const int p = items_[k];
          if (alive_[size_t(p)] && test(p)) return true;
        }
      }
      return false;
    }
    // The count of the cells met decides only which way the points are
    // asked: a box of no more cells than points needs no count.
    const bool fewCells = size_t(i1 - i0 + 1) * size_t(j1 - j0 + 1) <= size_t(count_);
    for (int pass = fewCells ? 1 : 0; pass < 2; ++pass) {
      for (int j = j0; j <= j1; ++j) {
        // The triangle's reach in x over the row's band of y, widened by
        // pad (and by rounding of the row's place).
        const double slack = pad + 1e-9 * cellH_;
        const double b0 = std::max(y0, j == 0 ? y0 : y0_ + j * cellH_) - slack;
        const double b1 = std::min(y1, j == ny_ - 1 ? y1 : y0_ + (j + 1) * cellH_) + slack;
        if (!Reach(T, b0, b1, pad, reach, columns)) continue;
        if (pass == 0) {
          cells += size_t(columns[1] - columns[0] + 1);
          continue;
        }
        // The cells at the ends of the row's run reach beyond the
        // triangle: their points outside its reach in x are passed over
        // before their records are read.
        const size_t row = size_t(j) * size_t(nx_);
        for (size_t k = start_[row + size_t(columns[0])]; k < start_[row + size_t(columns[1]) + 1];
             ++k) {
          if (itemX_[k] < reach[0] || itemX_[k] > reach[1]) continue;
          const int p = items_[k];
          if (alive_[size_t(p)] && test(p)) return true;
        }
      }
      // Beyond as many cells as points a pass over the loop is cheaper.
      if (pass == 0 && cells > size_t(count_)) return AnyInLoop(test);
    }
    return false;
  }

  // The span in x that the triangle T, widened by pad, meets between y = b0
  // and b1, and the columns of the grid it covers; false when it does not
  // reach there.
  bool Reach(const Point2d (&T)[3], double b0, double b1, double pad, double (&span)[2],
             int (&columns)[2]) const {
    double x0 = HUGE_VAL, x1 = -HUGE_VAL;
    for (int k = 0; k < 3; ++k) {
      const Point2d &a = T[k], &b = T[(k + 1) % 3];
      if (a.y >= b0 && a.y <= b1) x0 = std::min(x0, a.x), x1 = std::max(x1, a.x);
      for (double y : {b0, b1})
        if ((a.y < y) != (b.y < y)) {
          const double x = a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y);
          x0 = std::min(x0, x), x1 = std::max(x1, x);
        }
    }
    if (!(x0 <= x1)) return false;
    span[0] = x0 - pad;
    span[1] = x1 + pad;
    columns[0] = Column(span[0]);
    columns[1] = Column(span[1]);
    return true;
  }

  // Points of the loop with a rank below r.
  int Before(int r) const {
    int sum = 0;
    for (size_t i = size_t(r); i > 0; i -= i & (~i + 1))
      sum += tree_[i];
    return sum;
  }

  // The first marked rank from r on, -1 when there is none.
  int MarkedFrom(size_t r) const {
    size_t word = r / 64;
    if (word >= marks_.size()) return -1;
    const uint64_t here = marks_[word] & (~uint64_t(0) << (r % 64));
    if (here) return int(word * 64 + size_t(std::countr_zero(here)));
    ++word;
    for (size_t group = word / 64; group < markWords_.size(); ++group) {
      uint64_t bits = markWords_[group];
      if (group == word / 64) bits &= word % 64 ? ~uint64_t(0) << (word % 64) : ~uint64_t(0);
      if (bits) {
        const size_t w = group * 64 + size_t(std::countr_zero(bits));
        return int(w * 64 + size_t(std::countr_zero(marks_[w])));
      }
    }
    return -1;
  }

  template <class Test>
  bool AnyInLoop(Test&& test) const {
    int p = any_;
    for (int k = 0; k < count_; ++k, p = Next(p))
      if (test(p)) return true;
    return false;
  }

  const std::vector<Point2d>& P_;
  double extent_;  // of the whole loop
  double onSide_;
  double pad_ = 0.0;
  std::vector<int> next_, prev_;
  std::vector<int> rank_;  // place in the loop as given
  std::vector<char> alive_;
  int count_ = 0;
  int any_ = -1;  // some point still in the loop
  // The grid: cells of cellW_ x cellH_ from (x0_, y0_), nx_ by ny_, row by
  // row; the points of cell c are items_[start_[c] .. start_[c + 1]).
  int built_ = 0;
  int nx_ = 1, ny_ = 1;
  double x0_ = 0.0, y0_ = 0.0, cellW_ = 1.0, cellH_ = 1.0;
  std::vector<size_t> start_;
  std::vector<int> items_;
  std::vector<double> itemX_;  // the x of each point in items_
  // The points by rank, a Fenwick tree of the points still in the loop by
  // rank (to count and take steps around it in a few operations) and the
  // marks, one bit per rank with a second level of one bit per word.
  std::vector<int> byRank_;
  std::vector<int> tree_;
  std::vector<uint64_t> marks_, markWords_;
};

// Diagonal of the box of the points: no diagonal of the loop is longer.
double Extent(const std::vector<Point2d>& P) {
  Point2d lo = P[0], hi = P[0];
  for (const Point2d& p : P) {
    lo.x = std::min(lo.x, p.x);
    lo.y = std::min(lo.y, p.y);
    hi.x = std::max(hi.x, p.x);
    hi.y = std::max(hi.y, p.y);
  }
  return std::hypot(hi.x - lo.x, hi.y - lo.y);
}

// Cuts the loop V (point indices into P, counter-clockwise, of area S > 0)
// into triangles; see TriangulatePolygon2D.
int ClipEars(const std::vector<Point2d>& P, const std::vector<int>& V, double S,
             std::vector<int>& triangles) {
  // Ears are cut shortest closing diagonal first: the limit on the diagonal
  // grows by 1.3 whenever a whole round of candidates fails. The first
  // series uses a fixed convexity margin and stops once the limit passes
  // twice the root of the area; the loops it finishes keep the triangles
  // they always had. Small or thin loops that it leaves are finished with a
  // margin relative to the loop's own size and a limit that grows to the
  // loop's extent, beyond which every diagonal is short enough. What fine
  // loops leave then (their ears are flatter than any margin) is cut by a
  // third series that takes every ear with area that holds no point, which
  // a simple polygon always has; when even then no ear passes, the best
  // ears are cut, so the loop always shrinks.
  const int n = int(V.size());
  const double extent = Extent(P);
  // Points so far apart that their distance is no number: no limit on the
  // diagonals could ever pass it.
  if (!std::isfinite(extent)) return 0;
  EarClipper ears(P, V, extent);
  enum Series { kFixedMargin, kRelativeMargin_, kAnyArea, kBestEar };
  int series = kFixedMargin;
  double margin = 0.01;
  double bound = 2.0 * std::sqrt(S);
  double limit = std::sqrt(S) * 0.001;
  int next = V[size_t(n - 1)];  // the first candidate's first corner
  // Twice the area still to cover. An ear larger than that only fits a loop
  // that runs back over itself.
  double left = 2.0 * S;
  // Candidates failed in a row, and the shortest closing diagonal among
  // them that failed only for its length. The loop does not change while
  // candidates fail, so once a whole turn of it has failed, every further
  // candidate fails the same way until the limit passes that diagonal: the
  // rest of the round is skipped, and the limit goes straight to the first
  // step beyond it.
  int failed = 0;
  double nearest = HUGE_VAL;
  // Whether the ear at v has the series' shape, and its closing diagonal.
  auto shaped = [&](int v, double& diagonal, double& area) {
    const Point2d& Pu = ears.At(ears.Prev(v));
    const Point2d& Pv = ears.At(v);
    const Point2d& Pw = ears.At(ears.Next(v));
    const double dx = Pu.x - Pw.x, dy = Pu.y - Pw.y;
    diagonal = std::sqrt(dx * dx + dy * dy);
    area = Cross2d(Pu, Pv, Pw);
    return series == kAnyArea ? area > 0.0 && area <= left + 1e-9 * S : area >= margin;
  };
  // In the first two series the ears that pass the shape and the limit are
  // marked, and the candidates between them, which fail, are counted and
  // passed over at once: a loop of many points whose ears are cut one by
  // one at far places would otherwise cost a turn per ear.
  auto mark = [&](int v) {
    double diagonal, area;
    const bool passes = shaped(v, diagonal, area);
    ears.Mark(v, passes && diagonal < limit);
  };
  auto markAll = [&]() {
    int v = next;
    for (int k = 0; k < ears.Count(); ++k, v = ears.Next(v))
      mark(v);
  };
  markAll();
  for (;;) {
    const int nv = ears.Count();
    if (nv < 3) return 1;
    if (series != kBestEar && failed >= nv) {
      if (series < kAnyArea) {
        int v = next;
        for (int k = 0; k < nv; ++k, v = ears.Next(v)) {
          double diagonal, area;
          if (shaped(v, diagonal, area) && diagonal >= limit) nearest = std::min(nearest, diagonal);
        }
      }
      // A round at one limit is two turns and one candidate more, the first
      // at the new limit: each round that fails moves the start on by one.
      for (;;) {
        limit *= 1.3;
        if (limit > bound) {
          ++series;
          limit = std::sqrt(S) * 0.001;
          bound = extent;
          if (series == kRelativeMargin_) margin = kRelativeMargin * extent * extent;
          break;
        }
        if (nearest < limit) break;
        next = ears.Next(next);
      }
      failed = -1;
      nearest = HUGE_VAL;
      if (series < kAnyArea) markAll();
    }
    if (series == kBestEar) {
      // Every diagonal is short enough and still a whole round failed: the
      // loop is not simple or what is left of it is flat. The rest is cut
      // ear by best ear; more rounds would each cost a pass over the loop
      // per candidate.
      const int v = ears.BestEar();
      if (v < 0) return 0;
      ears.Cut(v, triangles);
      continue;
    }
    if (series < kAnyArea) {
      const int first = ears.Next(next);
      const int marked = ears.NextMarked(first);
      const int skipped = marked < 0 ? 0 : ears.Distance(first, marked);
      if (marked < 0 || failed + skipped >= nv) {
        // The turn ends before the next marked ear.
        next = ears.Advance(next, nv - failed);
        failed = nv;
        continue;
      }
      failed += skipped;
      next = ears.Prev(marked);
    }
    const int u = next;
    const int v = ears.Next(u);
    const int w = ears.Next(v);
    next = v;
    ++failed;
    double diagonal, area;
    if (!shaped(v, diagonal, area)) continue;
    if (diagonal >= limit) {
      nearest = std::min(nearest, diagonal);
      continue;
    }
    if (series == kAnyArea ? ears.BlockedStrictly(u, v, w) : ears.Blocked(u, v, w)) continue;
    ears.Cut(v, triangles);
    left -= area;
    // The first series go on from the ear's far corner, as they always did.
    // The third looks back first: the cut may have made the corner before it
    // an ear, which it would otherwise meet only a turn later.
    if (series < kAnyArea) {
      mark(u);
      mark(w);
    }
    next = series == kAnyArea ? ears.Prev(u) : w;
    failed = 0;
    nearest = HUGE_VAL;
  }
}

// Twice the signed area of the points in their order.
double TwiceArea(const std::vector<Point2d>& P) {
  double sum = 0.0;
  for (size_t i = 0; i < P.size(); ++i) {
    const Point2d &a = P[i == 0 ? P.size() - 1 : i - 1], &b = P[i];
    sum += a.x * b.y - b.x * a.y;
  }
  return sum;
}

// Joins holes into an outer loop by bridges: each hole, the one reaching
// furthest in x first, is cut open at its rightmost point M and joined to
// the point of the ring that M sees first to its right, through a pair of
// coincident edges (both ends of a bridge are doubled).
class HoleBridger {
 public:
  HoleBridger(std::vector<Point2d>& P, std::vector<int>& origin) : P_(P), origin_(origin) {}

  // Links the points [first, first + count) into a ring, counter-clockwise
  // when ccw; returns a point of it.
  int AddRing(size_t first, size_t count, bool ccw) {
    next_.resize(P_.size(), -1);
    prev_.resize(P_.size(), -1);
    for (size_t i = 0; i < count; ++i) {
      const int a = int(first + i), b = int(first + (i + 1) % count);
      if (ccw) {
        next_[size_t(a)] = b, prev_[size_t(b)] = a;
      } else {
        next_[size_t(b)] = a, prev_[size_t(a)] = b;
      }
    }
    return int(first);
  }

  // Bridges the hole that holds point hole into the ring through outer;
  // false when no point of the ring lies to the hole's right.
  bool Bridge(int outer, int hole, size_t ringSize) {
    const int m = Rightmost(hole);
    const int a = Target(outer, m, ringSize);
    if (a < 0) return false;
    Split(a, m);
    return true;
  }

  // The ring through start, as point indices in order.
  std::vector<int> Ring(int start) const {
    std::vector<int> ring;
    int p = start;
    do {
      ring.push_back(p);
      p = next_[size_t(p)];
    } while (p != start && ring.size() <= P_.size());
    return ring;
  }

  int Rightmost(int start) const {
    int best = start;
    for (int p = next_[size_t(start)]; p != start; p = next_[size_t(p)]) {
      const Point2d &q = P_[size_t(p)], &b = P_[size_t(best)];
      if (q.x > b.x || (q.x == b.x && q.y < b.y)) best = p;
    }
    return best;
  }

 private:
  // Point q lies in the interior angle of the ring at p.
  bool LocallyInside(int p, const Point2d& q) const {
    const Point2d &a = P_[size_t(prev_[size_t(p)])], &o = P_[size_t(p)],
                  &b = P_[size_t(next_[size_t(p)])];
    if (Cross2d(a, o, b) >= 0.0) return Cross2d(o, b, q) >= 0.0 && Cross2d(o, q, a) >= 0.0;
    return Cross2d(o, b, q) >= 0.0 || Cross2d(o, q, a) >= 0.0;
  }

  // The point of the ring through outer that the hole's point m is bridged
  // to: of the edge that the ray from m to the right meets first, the end
  // further right, unless other points lie in the triangle between m, the
  // hit and that end; then the one of them nearest in angle to the ray.
  int Target(int outer, int m, size_t ringSize) const {
    const Point2d M = P_[size_t(m)];
    double hitX = HUGE_VAL;
    int end = -1;
    int a = outer;
    for (size_t k = 0; k < ringSize; ++k) {
      const int b = next_[size_t(a)];
      const Point2d &A = P_[size_t(a)], &B = P_[size_t(b)];
      // Edges with the inside of the ring to their left run upwards where
      // the ray meets them from inside.
      if (A.y <= M.y && M.y <= B.y && A.y < B.y) {
        const double x = A.x + (M.y - A.y) * (B.x - A.x) / (B.y - A.y);
        if (x >= M.x && x < hitX) {
          hitX = x;
          end = A.y == M.y ? a : B.y == M.y ? b : A.x > B.x ? a : b;
        }
      }
      a = b;
    }
    if (end < 0) return -1;
    const Point2d I = {hitX, M.y};
    const Point2d E = P_[size_t(end)];
    const double orient = Cross2d(M, I, E);
    int best = -1;
    double bestTan = HUGE_VAL;
    a = outer;
    for (size_t k = 0; k < ringSize; ++k, a = next_[size_t(a)]) {
      const Point2d& Q = P_[size_t(a)];
      if (!Same(Q, E)) {
        if (!(Q.x > M.x) || !(Q.x <= std::max(hitX, E.x))) continue;
        const double c1 = Cross2d(M, I, Q), c2 = Cross2d(I, E, Q), c3 = Cross2d(E, M, Q);
        const bool in = orient >= 0.0 ? c1 >= 0.0 && c2 >= 0.0 && c3 >= 0.0
                                      : c1 <= 0.0 && c2 <= 0.0 && c3 <= 0.0;
        if (!in) continue;
      }
      if (!LocallyInside(a, M)) continue;
      const double tan = std::fabs(Q.y - M.y) / (Q.x - M.x);
      if (best < 0 || tan < bestTan || (tan == bestTan && Q.x < P_[size_t(best)].x)) {
        best = a;
        bestTan = tan;
      }
    }
    return best >= 0 ? best : end;
  }

  // Joins the ring at a to the hole's ring at b: a, b, the hole, b', a'.
  void Split(int a, int b) {
    const int a2 = Copy(a), b2 = Copy(b);
    const int an = next_[size_t(a)], bp = prev_[size_t(b)];
    next_[size_t(a)] = b, prev_[size_t(b)] = a;
    next_[size_t(a2)] = an, prev_[size_t(an)] = a2;
    next_[size_t(b2)] = a2, prev_[size_t(a2)] = b2;
    next_[size_t(bp)] = b2, prev_[size_t(b2)] = bp;
  }

  int Copy(int a) {
    P_.push_back(P_[size_t(a)]);
    origin_.push_back(origin_[size_t(a)]);
    next_.push_back(-1);
    prev_.push_back(-1);
    return int(P_.size() - 1);
  }

  std::vector<Point2d>& P_;
  std::vector<int>& origin_;
  std::vector<int> next_, prev_;
};

// One loop of the cut in the plane's frame.
struct CapLoop {
  std::vector<Point2d> points;  // in walk order
  std::vector<VertexT5*> corners;
  double twiceArea = 0.0;  // signed, of the points in walk order
  // Border edges whose face runs them against the walk, less those whose
  // face runs them along it.
  int64_t against = 0;
  Point2d lo, hi;   // box of the points
  int depth = 0;    // loops around this one
  int parent = -1;  // the nearest of them
  bool hole = false;  // capped together with its parent
};

// 1 when q lies inside the loop, 0 when outside, -1 when on its boundary.
int LoopContains(const std::vector<Point2d>& loop, const Point2d& q) {
  bool inside = false;
  const size_t n = loop.size();
  for (size_t i = 0, j = n - 1; i < n; j = i++) {
    const Point2d &a = loop[j], &b = loop[i];
    if (Same(a, q)) return -1;
    if ((a.y > q.y) != (b.y > q.y)) {
      const double c = Cross2d(a, b, q);
      if (c == 0.0) return -1;
      // The edge meets the ray from q to the right.
      if ((c > 0.0) == (b.y > a.y)) inside = !inside;
    } else if (a.y == q.y && b.y == q.y && std::min(a.x, b.x) <= q.x && q.x <= std::max(a.x, b.x)) {
      return -1;
    }
  }
  return inside ? 1 : 0;
}

// Sets each loop's depth (the number of loops around it) and parent (the
// deepest of them). The loops of one cut do not cross, so one point of a
// loop that is not on the other tells.
void NestLoops(std::vector<CapLoop>& caps) {
  std::vector<std::pair<size_t, size_t>> inside;  // (inner, outer)
  for (size_t i = 0; i < caps.size(); ++i) {
    const CapLoop& a = caps[i];
    if (!(std::fabs(a.twiceArea) > 0.0)) continue;
    for (size_t j = 0; j < caps.size(); ++j) {
      const CapLoop& b = caps[j];
      if (j == i || !(std::fabs(b.twiceArea) > std::fabs(a.twiceArea))) continue;
      if (a.lo.x < b.lo.x || a.lo.y < b.lo.y || a.hi.x > b.hi.x || a.hi.y > b.hi.y) continue;
      int in = -1;
      for (size_t k = 0; k < a.points.size() && in < 0; ++k)
        in = LoopContains(b.points, a.points[k]);
      if (in == 1) inside.push_back({i, j});
    }
  }
  for (const auto& [i, j] : inside)
    ++caps[i].depth;
  for (const auto& [i, j] : inside)
    if (caps[j].depth == caps[i].depth - 1) caps[i].parent = int(j);
}

// The vote of the loop's border edges on the way its cap turns in the
// plane's frame: positive counter-clockwise, negative clockwise, 0 when they
// do not say.
double CapTurnVote(const CapLoop& c) {
  return c.twiceArea > 0.0 ? double(c.against) : c.twiceArea < 0.0 ? -double(c.against) : 0.0;
}

// The sign of CapTurnVote.
int CapTurn(const CapLoop& c) {
  const double turn = CapTurnVote(c);
  return turn > 0.0 ? 1 : turn < 0.0 ? -1 : 0;
}

// A loop is a hole of the loop around it when the faces on their border
// edges turn the other way in the plane, as the inner wall of a ring does on
// a consistently wound mesh. On an open model a loop can lie inside another
// that turns the same way: an island in a hole that runs partly along the
// model's own border, which is not capped. Cut out of the loop around it,
// such an island would have its edges run the same way by both its faces;
// it is capped on its own, as a loop that nothing holds.
void MarkHoles(std::vector<CapLoop>& caps) {
  std::vector<size_t> order(caps.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&caps](size_t a, size_t b) { return caps[a].depth < caps[b].depth; });
  for (size_t i : order) {
    CapLoop& c = caps[i];
    if (c.parent < 0) continue;
    const CapLoop& around = caps[size_t(c.parent)];
    c.hole = !around.hole && CapTurn(c) != 0 && CapTurn(c) == -CapTurn(around);
  }
}

}  // namespace

void CollectBorderLoops(MeshT5& mesh, std::vector<BorderLoop>& out) {
  for (FaceT5& f : mesh.faces)
    if (!(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded))) f.flags &= ~ElemFlag::Visited;
  const size_t bound = 3 * mesh.faces.size();
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Visited | ElemFlag::Excluded2)) continue;
    for (int z = 0; z < 3 && !(f.flags & (ElemFlag::Visited | ElemFlag::Excluded2)); ++z) {
      if (f.adjFace[z] != &f) continue;
      BorderLoop loop;
      loop.startFace = &f;
      loop.startEdge = z;
      loop.startVertex = f.v[z];
      loop.box.SetNull();
      f.flags |= ElemFlag::Visited;
      if (!(loop.startVertex->flags & ElemFlag::Excluded2))
        loop.box.Add(loop.startVertex->position);
      const FacePos start = loop.Start();
      FacePos p = start;
      bool closed = false;
      for (size_t steps = 0; steps < bound; ++steps) {
        if (!p.NextBorder(bound)) break;
        p.f->flags |= ElemFlag::Visited;
        if (!(p.v->flags & ElemFlag::Excluded2)) loop.box.Add(p.v->position);
        ++loop.edgeCount;
        if (p == start) {
          closed = true;
          break;
        }
      }
      if (closed) out.push_back(loop);
    }
  }
}

double BorderLoopLength(const FacePos& start, size_t maxSteps) {
  double length = 0.0;
  WalkLoop(start, maxSteps, [&length](const FacePos& p) {
    const VertexT5* a = p.f->v[p.z];
    const VertexT5* b = p.f->v[(p.z + 1) % 3];
    length += Distance(p.v->position, (a == p.v ? b : a)->position);
    return true;
  });
  return length;
}

int TriangulatePolygon2D(const std::vector<Point2d>& P, std::vector<int>& triangles) {
  const int n = int(P.size());
  if (n < 3) return 0;
  double S = 0.5 * TwiceArea(P);
  std::vector<int> V(static_cast<size_t>(n));
  if (S > 0.0) {
    for (int i = 0; i < n; ++i)
      V[size_t(i)] = i;
  } else {
    for (int i = 0; i < n; ++i)
      V[size_t(i)] = n - 1 - i;
    S = -S;
  }
  // A polygon without area has no ear to cut; a non-finite one has a
  // coordinate that is no number.
  if (!(S > 0.0) || !std::isfinite(S)) return 0;
  return ClipEars(P, V, S, triangles);
}

int TriangulatePolygonWithHoles2D(const std::vector<std::vector<Point2d>>& loops,
                                  std::vector<int>& triangles) {
  if (loops.empty() || loops[0].size() < 3) return 0;
  std::vector<Point2d> P;
  std::vector<int> origin;  // of each point, its index in the loops as given
  for (const std::vector<Point2d>& loop : loops)
    P.insert(P.end(), loop.begin(), loop.end());
  for (size_t i = 0; i < P.size(); ++i)
    origin.push_back(int(i));
  HoleBridger bridger(P, origin);
  const double outerArea = TwiceArea(loops[0]);
  if (!(outerArea != 0.0) || !std::isfinite(outerArea)) return 0;
  const int outer = bridger.AddRing(0, loops[0].size(), outerArea > 0.0);
  size_t ringSize = loops[0].size();
  // Holes run clockwise; one without area or with fewer than three points
  // has nothing to take away.
  std::vector<std::pair<Point2d, int>> holes;
  size_t first = loops[0].size();
  for (size_t h = 1; h < loops.size(); first += loops[h].size(), ++h) {
    const double area = TwiceArea(loops[h]);
    if (loops[h].size() < 3 || !(area != 0.0) || !std::isfinite(area)) continue;
    const int m = bridger.Rightmost(bridger.AddRing(first, loops[h].size(), area < 0.0));
    holes.push_back({P[size_t(m)], m});
  }
  std::sort(holes.begin(), holes.end(), [](const auto& a, const auto& b) {
    return a.first.x > b.first.x || (a.first.x == b.first.x && a.first.y < b.first.y);
  });
  for (const auto& hole : holes) {
    const size_t holeSize = bridger.Ring(hole.second).size();
    if (bridger.Bridge(outer, hole.second, ringSize)) ringSize += holeSize + 2;
  }
  const std::vector<int> V = bridger.Ring(outer);
  std::vector<Point2d> ring;
  for (int p : V)
    ring.push_back(P[size_t(p)]);
  const double S = 0.5 * TwiceArea(ring);
  if (!(S > 0.0) || !std::isfinite(S)) return 0;
  std::vector<int> local;
  const int result = ClipEars(P, V, S, local);
  for (int t : local)
    triangles.push_back(origin[size_t(t)]);
  return result;
}

void RemoveDuplicateFaces(MeshT5& mesh) {
  const size_t total = mesh.faces.size();
  if (total == 0) return;
  // Probing steps by 131 slots; a table size prime to 131 lets the probes
  // reach every slot, and with at most a quarter of them filled the search
  // always meets an empty one.
  size_t size = 4 * total;
  if (size % 131 == 0) ++size;
  std::vector<FaceT5*> table(size, nullptr);
  const size_t bound = total + 1;
  int32_t deleted = 0;
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded2)) continue;
    uint64_t key[3] = {mesh.VertexIndex(f.v[0]), mesh.VertexIndex(f.v[1]),
                       mesh.VertexIndex(f.v[2])};
    std::sort(key, key + 3);
    uint64_t h = key[0] * 0x9E3779B97F4A7C15ull;
    h = (h ^ (h >> 31)) + key[1] * 0xC2B2AE3D27D4EB4Full;
    h = (h ^ (h >> 29)) + key[2] * 0x165667B19E3779F9ull;
    h ^= h >> 32;
    size_t slot = size_t(h % size);
    for (size_t probes = 0; probes < size; ++probes) {
      FaceT5* g = table[slot];
      if (g == nullptr) {
        table[slot] = &f;
        break;
      }
      if (FaceHasVertices(*g, f.v[0], f.v[1], f.v[2])) {
        bool keep = (f.flags & ElemFlag::Excluded) != 0;
        for (int z = 0; z < 3 && !keep; ++z) {
          const FaceT5* n = f.adjFace[z];
          keep = n != nullptr && (n->flags & (ElemFlag::Deleted | ElemFlag::Excluded24));
        }
        if (!keep) {
          for (int z = 0; z < 3; ++z)
            if (f.adjFace[z] != &f && f.adjFace[z] != nullptr) DetachFaceFromRing(&f, z, bound);
          f.flags |= ElemFlag::Deleted;
          ++deleted;
        }
        break;
      }
      slot = (slot + 131) % size;
    }
  }
  mesh.faceCount -= deleted;
}

int32_t RemoveFacesOnNonManifoldEdges(MeshT5& mesh) {
  const size_t bound = mesh.faces.size() + 1;
  int32_t count = 0;
  auto hangs = [](const FaceT5& f, int z) {
    const FaceT5* n = f.adjFace[z];
    return OnNonManifoldEdge(f, z) && !(n->flags & (ElemFlag::Deleted | ElemFlag::Excluded2));
  };
  for (FaceT5& f : mesh.faces) {
    if (f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) continue;
    int borders = 0;
    for (int z = 0; z < 3; ++z)
      borders += f.adjFace[z] == &f;
    if (borders == 1) {
      int hanging = 0;
      for (int z = 0; z < 3; ++z)
        hanging += hangs(f, z);
      if (hanging != 2) continue;
      int detached = 0;
      for (int z = 0; z < 3; ++z)
        if (OnNonManifoldEdge(f, z) && DetachFaceFromRing(&f, z, bound)) ++detached;
      if (detached == 2) {
        f.flags |= ElemFlag::Deleted;
        ++count;
      }
    } else if (borders == 2) {
      for (int z = 0; z < 3; ++z) {
        if (!hangs(f, z)) continue;
        DetachFaceFromRing(&f, z, bound);
        f.flags |= ElemFlag::Deleted;
        ++count;
        break;
      }
    }
  }
  mesh.faceCount -= count;
  return count;
}

namespace {

// The clip's edge collapse moves points of the cut to midpoints of edges
// whose ends lie within its tolerance of the plane: on a small loop of a
// large model that is more than the loop's own share.
double CollapseTolerance(const MeshT5& mesh) {
  return mesh.bbox.IsNull() ? 0.0 : double(float(mesh.bbox.Diag() * double(1e-4f)));
}

// The walk of WalkLoop around each border loop, walked once for all that
// the cap asks of the loops: loop i's steps, start first, are
// steps[first[i] .. first[i + 1]), and closed[i] tells whether its walk came
// back to its start.
struct LoopWalks {
  std::vector<FacePos> steps;
  std::vector<size_t> first;
  std::vector<uint8_t> closed;

  std::span<const FacePos> Of(size_t i) const {
    return {steps.data() + first[i], first[i + 1] - first[i]};
  }
};

void WalkLoops(const std::vector<BorderLoop>& loops, size_t bound, LoopWalks& out) {
  out.steps.clear();
  out.first.assign(1, 0);
  out.closed.clear();
  for (const BorderLoop& loop : loops) {
    const bool closed = WalkLoop(loop.Start(), bound, [&](const FacePos& p) {
      out.steps.push_back(p);
      return true;
    });
    out.first.push_back(out.steps.size());
    out.closed.push_back(closed);
  }
}

// Whether every vertex of the loop lies within 1 % of the loop's box
// diagonal, or within the collapse's tolerance, of the plane: the loops that
// the cap fills.
bool LoopOnPlane(const LoopWalks& walks, size_t i, const BorderLoop& loop, const Plane3f& plane,
                 double collapsed) {
  if (!walks.closed[i]) return false;
  const double tolerance =
      std::max(Distance(loop.box.min, loop.box.max) * double(0.01f), collapsed);
  for (const FacePos& p : walks.Of(i))
    if (!(std::fabs(SignedDistance(p.v->position, plane)) <= tolerance)) return false;
  return true;
}

// Where the cut runs nearly parallel to the surface, the plane edge collapse
// pulls whole side faces onto the cut loop: all three corners on it, the
// face lying in the plane. The kept solid has no thickness there, and the
// loop's cap would cover those faces a second time, facing the other way:
// a cap triangle with the same corners, or cap edges that the side faces
// use too, which leaves edges of three or four faces. Such faces are taken
// away before the cap, which then covers their place once. Only groups of
// them that touch the loop and hang on the rest of the surface go: a flat
// piece of surface lying in the plane on its own is left as it is. chosen
// lists the loops on the plane. Returns whether any face went (the loops
// are then no longer those given).
bool RemoveSideFacesFlatOnTheCut(MeshT5& mesh, const std::vector<size_t>& chosen,
                                 const LoopWalks& walks) {
  if (chosen.empty()) return false;
  const size_t bound = 3 * mesh.faces.size();
  std::vector<uint8_t> onLoop(mesh.vertices.size(), 0);
  // The faces on the loops' edges: every group that goes has one.
  std::vector<FaceT5*> seeds;
  for (size_t i : chosen) {
    for (const FacePos& p : walks.Of(i)) {
      onLoop[mesh.VertexIndex(p.v)] = 1;
      seeds.push_back(p.f);
    }
  }
  if (seeds.empty()) return false;

  auto flat = [&](const FaceT5& f) {
    return !(f.flags & (ElemFlag::Deleted | ElemFlag::Excluded24)) &&
           onLoop[mesh.VertexIndex(f.v[0])] && onLoop[mesh.VertexIndex(f.v[1])] &&
           onLoop[mesh.VertexIndex(f.v[2])];
  };
  // Groups of flat faces joined by edges.
  std::vector<uint8_t> seen(mesh.faces.size(), 0);
  std::vector<FaceT5*> group, doomed;
  for (FaceT5* start : seeds) {
    if (seen[mesh.FaceIndex(start)] || !flat(*start)) continue;
    group.clear();
    group.push_back(start);
    seen[mesh.FaceIndex(start)] = 1;
    bool border = false, attached = false;
    for (size_t i = 0; i < group.size(); ++i) {
      FaceT5* f = group[i];
      for (FaceT5* n : f->adjFace) {
        if (n == f) {
          border = true;
          continue;
        }
        if (n == nullptr || !IsLive(n->flags)) continue;
        if (!flat(*n)) {
          attached = true;
          continue;
        }
        if (seen[mesh.FaceIndex(n)]) continue;
        seen[mesh.FaceIndex(n)] = 1;
        group.push_back(n);
      }
    }
    if (border && attached) doomed.insert(doomed.end(), group.begin(), group.end());
  }
  if (doomed.empty()) return false;

  for (FaceT5* f : doomed) {
    for (int z = 0; z < 3; ++z)
      if (f->adjFace[z] != f && f->adjFace[z] != nullptr) DetachFaceFromRing(f, z, bound);
    f->flags |= ElemFlag::Deleted;
    --mesh.faceCount;
  }
  // Corners that only the removed faces used go with them.
  std::vector<uint8_t> used(mesh.vertices.size(), 0);
  for (const FaceT5& f : mesh.faces)
    if (IsLive(f.flags))
      for (const VertexT5* v : f.v)
        used[mesh.VertexIndex(v)] = 1;
  for (FaceT5* f : doomed)
    for (VertexT5* v : f->v)
      if (!used[mesh.VertexIndex(v)] && IsLive(v->flags)) {
        v->flags |= ElemFlag::Deleted;
        --mesh.vertexCount;
      }
  return true;
}

// Whether two vertices that are not deleted stand at the same place (equal
// coordinates, none of them NaN): without such a pair MergeDuplicateVertices
// merges nothing, and a table of the places finds that sooner than its sort.
bool AnySharedPlace(const MeshT5& mesh) {
  const size_t n = mesh.vertices.size();
  if (n >= size_t(UINT32_MAX) / 4) return true;
  const size_t size = std::bit_ceil(2 * n + 2);
  std::vector<uint32_t> table(size, UINT32_MAX);
  auto bits = [](float c) { return std::bit_cast<uint32_t>(c == 0.0f ? 0.0f : c); };
  for (size_t i = 0; i < n; ++i) {
    const VertexT5& v = mesh.vertices[i];
    const Vec3f& p = v.position;
    if ((v.flags & ElemFlag::Deleted) || std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z))
      continue;
    uint64_t h = (uint64_t(bits(p.x)) * 0x9E3779B97F4A7C15ull) ^
                 (uint64_t(bits(p.y)) * 0xC2B2AE3D27D4EB4Full) ^
                 (uint64_t(bits(p.z)) * 0x165667B19E3779F9ull);
    h ^= h >> 29;
    for (size_t slot = size_t(h) & (size - 1);; slot = (slot + 1) & (size - 1)) {
      const uint32_t k = table[slot];
      if (k == UINT32_MAX) {
        table[slot] = uint32_t(i);
        break;
      }
      const Vec3f& q = mesh.vertices[k].position;
      if (q.x == p.x && q.y == p.y && q.z == p.z) return true;
    }
  }
  return false;
}

// Face-face adjacency for the faces from index first on, added to a mesh
// whose other live faces hold the adjacency that a build over the whole
// mesh gives them, so that the whole mesh then holds what such a build
// would give, without sorting every edge of it. That holds only while no
// edge has three or more faces: such a ring's order is the build's own, so
// then nothing is changed and the answer is false. Also false when a live
// face's links do not come back to it. maybeDuplicates tells whether some
// live face shares all three edges with one other face: without rings,
// two faces with the same corners are such a pair, and without one the
// duplicate search would find nothing.
bool LinkAddedFaces(MeshT5& mesh, size_t first, bool& maybeDuplicates) {
  const size_t faceTotal = mesh.faces.size();
  const size_t vertexTotal = mesh.vertices.size();
  if (first > faceTotal || faceTotal > size_t(INT32_MAX) || vertexTotal > size_t(INT32_MAX))
    return false;
  FaceT5* const base = mesh.faces.data();
  const VertexT5* const vbase = mesh.vertices.data();
  maybeDuplicates = false;
  auto sharesAllEdges = [](const FaceT5& f) {
    return f.adjFace[0] != &f && f.adjFace[0] == f.adjFace[1] && f.adjFace[1] == f.adjFace[2];
  };
  // The corners of the added faces, numbered: only an edge between two of
  // them can be shared with an added face.
  std::vector<int32_t> id(vertexTotal, -1);
  int32_t corners = 0;
  for (size_t i = first; i < faceTotal; ++i)
    for (const VertexT5* v : base[i].v) {
      if (v < vbase || v >= vbase + vertexTotal) return false;
      int32_t& k = id[size_t(v - vbase)];
      if (k < 0) k = corners++;
    }
  struct Use {
    int32_t lo, hi;  // corner numbers of the edge's ends, lo <= hi
    int32_t face;
    int32_t z;
  };
  std::vector<Use> uses;
  uses.reserve(3 * (faceTotal - first) + (faceTotal - first));
  auto add = [&](size_t i, int z) {
    const FaceT5& f = base[i];
    const int32_t a = id[size_t(f.v[z] - vbase)], b = id[size_t(f.v[(z + 1) % 3] - vbase)];
    if (a >= 0 && b >= 0) uses.push_back({std::min(a, b), std::max(a, b), int32_t(i), z});
  };
  for (size_t i = 0; i < first; ++i) {
    const FaceT5& f = base[i];
    if (!IsLive(f.flags)) continue;
    for (int z = 0; z < 3; ++z) {
      const FaceT5* g = f.adjFace[z];
      if (g != &f) {
        const int k = f.adjIndex[z];
        if (g < base || g >= base + first || !ValidCorner(k) || g->adjFace[k] != &f ||
            g->adjIndex[k] != z)
          return false;
      }
      if (id[size_t(f.v[z] - vbase)] >= 0) add(i, z);
    }
    if (sharesAllEdges(f)) maybeDuplicates = true;
  }
  for (size_t i = first; i < faceTotal; ++i)
    for (int z = 0; z < 3; ++z)
      add(i, z);
  // Grouped by edge: counted out by the lower end, then sorted by the
  // other end within each (short) run.
  std::vector<uint32_t> start(size_t(corners) + 1, 0);
  for (const Use& u : uses)
    ++start[size_t(u.lo) + 1];
  for (size_t c = 0; c < size_t(corners); ++c)
    start[c + 1] += start[c];
  std::vector<Use> sorted(uses.size());
  {
    std::vector<uint32_t> at(start.begin(), start.end() - 1);
    for (const Use& u : uses)
      sorted[at[size_t(u.lo)]++] = u;
  }
  for (size_t c = 0; c < size_t(corners); ++c)
    std::sort(sorted.begin() + start[c], sorted.begin() + start[c + 1],
              [](const Use& a, const Use& b) { return a.hi < b.hi; });
  // Each edge of an added face: alone, or with one other use.
  for (size_t i = 0; i < sorted.size();) {
    size_t j = i + 1;
    while (j < sorted.size() && sorted[j].lo == sorted[i].lo && sorted[j].hi == sorted[i].hi) ++j;
    if (j - i > 2) return false;
    i = j;
  }
  for (size_t i = 0; i < sorted.size();) {
    size_t j = i + 1;
    while (j < sorted.size() && sorted[j].lo == sorted[i].lo && sorted[j].hi == sorted[i].hi) ++j;
    const bool added = size_t(sorted[i].face) >= first || size_t(sorted[j - 1].face) >= first;
    if (added) {
      for (size_t k = i; k < j; ++k) {
        const Use& next = k + 1 < j ? sorted[k + 1] : sorted[i];
        FaceT5& f = base[sorted[k].face];
        f.adjFace[sorted[k].z] = &base[next.face];
        f.adjIndex[sorted[k].z] = int8_t(next.z);
      }
    }
    i = j;
  }
  for (size_t i = first; i < faceTotal; ++i)
    if (sharesAllEdges(base[i])) maybeDuplicates = true;
  return true;
}

}  // namespace

void CapCut(MeshT5& mesh, const Plane3f& plane, bool adjacencyCurrent) {
  if (!adjacencyCurrent) BuildFaceFaceAdjacency(mesh);
  std::vector<BorderLoop> loops;
  CollectBorderLoops(mesh, loops);
  const size_t bound = 3 * mesh.faces.size();
  LoopWalks walks;
  const double collapsed = CollapseTolerance(mesh);
  std::vector<size_t> chosen;
  auto choose = [&]() {
    chosen.clear();
    for (size_t i = 0; i < loops.size(); ++i)
      if (LoopOnPlane(walks, i, loops[i], plane, collapsed)) chosen.push_back(i);
  };
  WalkLoops(loops, bound, walks);
  choose();
  if (RemoveSideFacesFlatOnTheCut(mesh, chosen, walks)) {
    loops.clear();
    CollectBorderLoops(mesh, loops);
    WalkLoops(loops, bound, walks);
    choose();
  }

  Plane3f unit = plane;
  Vec3f u, w;
  PlaneTangentFrame(unit, u, w, 0.0f, 1.0f, 0.0f);
  const Vec3d du(u), dw(w);
  std::vector<CapLoop> caps;
  for (size_t i : chosen) {
    CapLoop c;
    const std::span<const FacePos> walk = walks.Of(i);
    c.points.reserve(walk.size());
    c.corners.reserve(walk.size());
    for (const FacePos& p : walk) {
      Vec3d q(p.v->position);
      c.points.push_back({q.Dot(du), q.Dot(dw)});
      c.corners.push_back(p.v);
      // The border edge that ends at p.v, here from the point before it in
      // the walk (at the start, from the last one).
      c.against += p.f->v[(p.z + 1) % 3] == p.v ? -1 : 1;
    }
    c.twiceArea = TwiceArea(c.points);
    c.lo = c.hi = c.points[0];
    for (const Point2d& q : c.points) {
      c.lo.x = std::min(c.lo.x, q.x), c.lo.y = std::min(c.lo.y, q.y);
      c.hi.x = std::max(c.hi.x, q.x), c.hi.y = std::max(c.hi.y, q.y);
    }
    caps.push_back(std::move(c));
  }
  NestLoops(caps);
  MarkHoles(caps);

  // Edges of the surface that join two points of the loops through its
  // inside: a cap triangle on one would give it a third face. A loop whose
  // cap would do so is left open. That happens where the whole kept part is
  // thinner than the collapse's tolerance and lies flat on the plane, its
  // own faces already spanning the loop; on a sound cut there are next to
  // no such edges.
  const uint64_t n = mesh.vertices.size();
  std::vector<uint8_t> onLoop(size_t(n), 0);
  for (const CapLoop& c : caps)
    for (const VertexT5* v : c.corners)
      onLoop[mesh.VertexIndex(v)] = 1;
  auto key = [&mesh, n](const VertexT5* a, const VertexT5* b) {
    const uint64_t i = mesh.VertexIndex(a), j = mesh.VertexIndex(b);
    return i < j ? i * n + j : j * n + i;
  };
  std::vector<uint64_t> chords;
  for (const FaceT5& f : mesh.faces)
    if (IsLive(f.flags))
      for (int z = 0; z < 3; ++z)
        if (f.adjFace[z] != &f && onLoop[mesh.VertexIndex(f.v[z])] &&
            onLoop[mesh.VertexIndex(f.v[(z + 1) % 3])]) {
          chords.push_back(key(f.v[z], f.v[(z + 1) % 3]));
          onLoop[mesh.VertexIndex(f.v[z])] = onLoop[mesh.VertexIndex(f.v[(z + 1) % 3])] = 2;
        }
  std::sort(chords.begin(), chords.end());
  auto onChord = [&](const VertexT5* a, const VertexT5* b) {
    return onLoop[mesh.VertexIndex(a)] == 2 && onLoop[mesh.VertexIndex(b)] == 2 &&
           std::binary_search(chords.begin(), chords.end(), key(a, b));
  };

  std::vector<VertexT5*> cap;
  std::vector<int> triangles;
  std::vector<VertexT5*> corners;
  std::vector<std::vector<Point2d>> polygon;
  for (size_t i = 0; i < caps.size(); ++i) {
    const CapLoop& outer = caps[i];
    if (outer.hole) continue;  // capped with the loop around it
    // The new faces run each border edge along the walk when the face on it
    // runs it against the walk, as it does all round a consistently wound
    // mesh; whether that turns the cap counter-clockwise in the plane's
    // frame is read from the loop's walk and from its holes' walks.
    double counterClockwise = CapTurnVote(outer);
    std::vector<const CapLoop*> holes;
    for (const CapLoop& h : caps)
      if (h.parent == int(i) && h.hole) {
        holes.push_back(&h);
        counterClockwise -= CapTurnVote(h);
      }
    triangles.clear();
    if (holes.empty()) {
      TriangulatePolygon2D(outer.points, triangles);
      corners = outer.corners;
    } else {
      polygon.assign(1, outer.points);
      corners = outer.corners;
      for (const CapLoop* h : holes) {
        polygon.push_back(h->points);
        corners.insert(corners.end(), h->corners.begin(), h->corners.end());
      }
      TriangulatePolygonWithHoles2D(polygon, triangles);
    }
    bool fits = true;
    for (size_t t = 0; t + 2 < triangles.size() && fits && !chords.empty(); t += 3)
      for (int k = 0; k < 3 && fits; ++k)
        fits = !onChord(corners[size_t(triangles[t + size_t(k)])],
                        corners[size_t(triangles[t + size_t(k + 1) % 3])]);
    if (!fits) continue;
    // A triangle (a, b, c) becomes the face (a, c, b) below.
    for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
      cap.push_back(corners[size_t(triangles[t])]);
      cap.push_back(corners[size_t(triangles[counterClockwise > 0.0 ? t + 2 : t + 1])]);
      cap.push_back(corners[size_t(triangles[counterClockwise > 0.0 ? t + 1 : t + 2])]);
    }
  }

  // The vertex array does not move here, so the corner pointers stay valid.
  const int added = int(cap.size() / 3);
  FaceT5* first = mesh.AddFaces(added);
  for (int j = 0; j < added; ++j) {
    FaceT5& f = first[j];
    f.v[0] = cap[size_t(3 * j)];
    f.v[1] = cap[size_t(3 * j + 2)];
    f.v[2] = cap[size_t(3 * j + 1)];
    f.flags = ElemFlag::Selected;
    f.color = Color4b{0, 255, 0, 255};
  }

  const int32_t merged = AnySharedPlace(mesh) ? MergeDuplicateVertices(mesh) : 0;
  // The added faces have no adjacency yet and the old faces' may point to
  // merged vertices' rings: the adjacency is made whole before the
  // duplicate search reads it, by linking the added faces where that gives
  // what a build over the whole mesh would.
  bool maybeDuplicates = true;
  if (merged != 0 || !LinkAddedFaces(mesh, size_t(first - mesh.faces.data()), maybeDuplicates)) {
    BuildFaceFaceAdjacency(mesh);
    maybeDuplicates = true;
  }
  // Without rings and without a pair of faces on the same three edges both
  // searches below would find nothing.
  if (maybeDuplicates) {
    const int32_t beforeDuplicates = mesh.faceCount;
    RemoveDuplicateFaces(mesh);
    // Built again from the same faces the adjacency would come out the same.
    if (mesh.faceCount != beforeDuplicates) BuildFaceFaceAdjacency(mesh);
    RemoveFacesOnNonManifoldEdges(mesh);
  }
  if (maybeDuplicates) {
    FaceBorderFromFF(mesh);
  } else {
    // Every live face links both ways with its neighbours here, so the
    // bits come from the faces' own links alone.
    for (FaceT5& f : mesh.faces) {
      if (!IsLive(f.flags)) continue;
      for (int z = 0; z < 3; ++z)
        f.flags = f.adjFace[z] == &f ? f.flags | ElemFlag::Border(z) : f.flags & ~ElemFlag::Border(z);
    }
  }
  ComputeFaceNormals(mesh, true);
  CoplanarEdgeFlipper flipper(mesh, kOneDegree, false);
  // The faces that the flips gave new corners, and so new normals (of the
  // flipper's own rounding): every other face keeps the corners it had in
  // the passes over all faces.
  std::vector<FaceT5*> flipped;
  flipper.Run(10, &flipped);
  for (FaceT5& f : mesh.faces)
    if (IsLive(f.flags) && (f.flags & ElemFlag::Selected))
      for (VertexT5* v : f.v)
        v->flags |= ElemFlag::Selected;
  const size_t firstSeries = flipped.size();
  flipper.Run(10, &flipped);
  for (size_t i = firstSeries; i < flipped.size(); ++i)
    if (IsLive(flipped[i]->flags) && (flipped[i]->flags & ElemFlag::Selected))
      for (VertexT5* v : flipped[i]->v)
        v->flags |= ElemFlag::Selected;
  for (FaceT5* f : flipped)
    ComputeFaceNormal(*f, true);
}

}  // namespace quarnel
