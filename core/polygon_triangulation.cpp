#include "core/polygon_triangulation.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace quarnel {

namespace {

// Columns of the ear test's grid per cell of about one point.
constexpr int kSplit = 4;

// Up to this many points the bridges to holes are searched along the ring
// alone.
constexpr size_t kFewPointsForAGrid = 64;

// Room taken for the grid's entries of the bridger's sides, per side: a
// little more than most sides need.
constexpr size_t kEntriesPerSide = 16;

// Up to this many pairs of points of the outer loop and of holes, points
// at one place are found by asking every pair.
constexpr size_t kFewPointPairs = 256;

// Below this share of the loop's squared extent an ear counts as flat.
constexpr double kRelativeMargin = 1e-12;

// A point nearer to the line of a triangle's side than this share of the
// loop's extent is taken as on it: far below the resolution of float
// positions, far above the rounding of the double arithmetic.
constexpr double kOnSide = 1e-9;

// Points that a model places on one line lie off it by up to a few units
// of float rounding: this share of the points' coordinates.
constexpr double kFloatRounding = 5e-7;

// How far a point that a model places on the line through a and b may lie
// off it: a few units of float rounding of the three points' coordinates.
double FloatRoundingNear(const Point2d& a, const Point2d& b, const Point2d& q) {
  return kFloatRounding *
         std::max({std::fabs(a.x), std::fabs(a.y), std::fabs(b.x), std::fabs(b.y), std::fabs(q.x),
                   std::fabs(q.y)});
}

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

// The ranks (places in a loop as given) of the points still in the loop:
// one bit per rank, and a Fenwick tree of the bits set per word of 64, small
// enough to stay near at hand, to count the points before a rank and find
// the one with a given count before it.
class RanksLeft {
 public:
  // Ranks 0 .. n - 1, all in the loop.
  void Reset(int n) {
    words_.assign((size_t(n) + 63) / 64, ~uint64_t(0));
    if (n % 64 != 0) words_.back() = (uint64_t(1) << (n % 64)) - 1;
    tree_.assign(words_.size() + 1, 0);
    for (size_t i = 1; i < tree_.size(); ++i) {
      tree_[i] += std::popcount(words_[i - 1]);
      const size_t up = i + (i & (~i + 1));
      if (up < tree_.size()) tree_[up] += tree_[i];
    }
  }

  // Ranks below r still in the loop.
  int Before(int r) const {
    const size_t word = size_t(r) / 64;
    int sum = 0;
    for (size_t i = word; i > 0; i -= i & (~i + 1))
      sum += tree_[i];
    if (r % 64 != 0) sum += std::popcount(words_[word] & ((uint64_t(1) << (r % 64)) - 1));
    return sum;
  }

  void Remove(int r) {
    const size_t word = size_t(r) / 64;
    words_[word] &= ~(uint64_t(1) << (r % 64));
    for (size_t i = word + 1; i < tree_.size(); i += i & (~i + 1))
      --tree_[i];
  }

  // The rank in the loop with target ranks in the loop before it (target
  // below their count): the word where the count passes target, then the
  // bit there.
  int Select(int target) const {
    size_t word = 0;
    size_t step = 1;
    while (step * 2 < tree_.size())
      step *= 2;
    for (; step > 0; step /= 2)
      if (word + step < tree_.size() && tree_[word + step] <= target) {
        word += step;
        target -= tree_[word];
      }
    uint64_t bits = words_[word];
    for (int k = 0; k < target; ++k)
      bits &= bits - 1;
    return int(word * 64 + size_t(std::countr_zero(bits)));
  }

 private:
  std::vector<uint64_t> words_;
  std::vector<int> tree_;  // over the words, from 1
};

// The ear clipper's working state: the polygon's points, the ring of those
// still in the loop (a linked list of point indices, so that cutting an ear
// costs the same at any length) and a grid of the points, so that the test
// whether an ear holds another point looks only at the points near the ear.
class EarClipper {
 public:
  // order lists the loop's point indices counter-clockwise.
  // With throughCopies, a point at the place of an ear's corner blocks
  // the ear only where an edge of it runs into the ear (see Blocked).
  EarClipper(const std::vector<Point2d>& P, const std::vector<int>& order, double extent,
             const RefusedDiagonal* refused, bool throughCopies)
      : P_(P),
        refused_(refused && *refused ? refused : nullptr),
        throughCopies_(throughCopies),
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
    left_.Reset(n);
    marks_.assign((size_t(n) + 63) / 64, 0);
    markWords_.assign((marks_.size() + 63) / 64, 0);
  }

  // Steps forward from a to b around the loop: none from a point to itself
  // (as where the next candidate is marked), else counted in the tree.
  int Distance(int a, int b) const {
    if (a == b) return 0;
    const int pa = left_.Before(rank_[size_t(a)]), pb = left_.Before(rank_[size_t(b)]);
    return pb >= pa ? pb - pa : count_ - (pa - pb);
  }
  // The point k steps forward from a.
  int Advance(int a, int k) const {
    return byRank_[size_t(left_.Select((left_.Before(rank_[size_t(a)]) + k) % count_))];
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

  // The ear whose closing diagonal joins u and w may not be cut.
  bool Refused(int u, int w) const { return refused_ && (*refused_)(u, w); }

  // Some other point of the loop lies inside or on the triangle (u, v, w).
  // A point within rounding of a side's line counts as on it: a point on a
  // straight run of the loop must block the ear whose closing diagonal runs
  // through it, or it would be left on a triangle without area. Points
  // equal to a corner (a loop that passes twice through one place) count;
  // with throughCopies_, only where an edge of theirs runs into the
  // triangle, as in BlockedStrictly.
  bool Blocked(int u, int v, int w) const {
    // Of three points left each is a corner of the ear (u, v, w follow one
    // another around the loop): none other is there to block it.
    if (count_ == 3) return false;
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
      if (throughCopies_) {
        if (Same(Q, Pu)) return EntersAt(Pu, Pv, Pw, p);
        if (Same(Q, Pv)) return EntersAt(Pv, Pw, Pu, p);
        if (Same(Q, Pw)) return EntersAt(Pw, Pu, Pv, p);
      }
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

  // Whether an edge of point q, which stands at corner C of the triangle
  // (C, A, B) in counter-clockwise order, runs strictly between the sides
  // CA and CB.
  bool EntersAt(const Point2d& C, const Point2d& A, const Point2d& B, int q) const {
    for (int n : {Prev(q), Next(q)}) {
      const Point2d& N = At(n);
      if (Cross2d(C, A, N) > 0.0 && Cross2d(C, N, B) > 0.0) return true;
    }
    return false;
  }

  // Some other point of the loop lies in the closed triangle (u, v, w) or
  // within onSide_ of one of its sides; or a point at the place of a corner
  // (where the loop passes twice, as at both ends of a bridge to a hole) has
  // an edge that runs into the triangle.
  bool BlockedStrictly(int u, int v, int w) const {
    if (count_ == 3) return false;  // as in Blocked
    const Point2d &Pu = At(u), &Pv = At(v), &Pw = At(w);
    const double near2 = onSide_ * onSide_;
    const double luv = std::hypot(Pv.x - Pu.x, Pv.y - Pu.y);
    const double lvw = std::hypot(Pw.x - Pv.x, Pw.y - Pv.y);
    const double lwu = std::hypot(Pu.x - Pw.x, Pu.y - Pw.y);
    auto blocks = [&](int p) {
      if (p == u || p == v || p == w) return false;
      const Point2d& Q = At(p);
      if (Same(Q, Pu)) return EntersAt(Pu, Pv, Pw, p);
      if (Same(Q, Pv)) return EntersAt(Pv, Pw, Pu, p);
      if (Same(Q, Pw)) return EntersAt(Pw, Pu, Pv, p);
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
      if (!Refused(u, w) && !BlockedStrictly(u, v, w) && !Crossed(u, v, w)) return v;
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
    left_.Remove(rank_[size_t(v)]);
    // The grid's cells keep the points cut away; rebuilt whenever half are
    // gone, a search never looks at many more points than remain. Of three
    // points left each is a corner of the only ear, which no search asks.
    if (count_ > 3 && 2 * count_ < built_) BuildGrid();
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
    // About one cell per point, as square as the box allows, each cut into
    // kSplit columns: a search walks the rows of a triangle's box and reads
    // the points of the cells its reach in x meets, and the cells at the
    // ends of that run reach beyond it by less.
    const double w = x1 - x0, h = y1 - y0;
    const int cells = std::max(count_, 1);
    int nx = 1, ny = 1;
    split_ = 1;
    if (w > 0.0 && h > 0.0) {
      nx = int(std::clamp(std::sqrt(double(cells) * w / h), 1.0, double(cells)));
      ny = std::max(1, cells / nx);
      if (nx <= INT32_MAX / kSplit) {
        nx *= kSplit;
        split_ = kSplit;
      }
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
    fill_.assign(start_.begin(), start_.end() - 1);
    std::vector<uint32_t>& fill = fill_;
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

  // Whether test(p) holds for a live point p in the box x0 .. x1 of rows
  // j0 .. j1, whose cells in x are i0 .. i1.
  template <class Test>
  bool AnyInBox(double x0, double x1, int j0, int j1, int i0, int i1, Test&& test) const {
    for (int j = j0; j <= j1; ++j) {
      const size_t row = size_t(j) * size_t(nx_);
      for (size_t k = start_[row + size_t(i0)]; k < start_[row + size_t(i1) + 1]; ++k) {
        // A cell reaches beyond the box: its points outside the box's
        // span in x are passed over by their x alone.
        if (itemX_[k] < x0 || itemX_[k] > x1) continue;
        const int p = items_[k];
        if (alive_[size_t(p)] && test(p)) return true;
      }
    }
    return false;
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
    // A small triangle: its box's cells are few (as 16 cells of about one
    // point each).
    if (size_t(i1 - i0 + 1) * size_t(j1 - j0 + 1) <= 16 * size_t(split_))
      return AnyInBox(x0, x1, j0, j1, i0, i1, test);
    int columns[2];
    double reach[2];
    size_t cells = 0;
    // The count of the cells met decides only which way the points are
    // asked: a box of no more cells than kSplit per point needs no count.
    const size_t cellBudget = size_t(count_) * size_t(split_);
    const bool fewCells = size_t(i1 - i0 + 1) * size_t(j1 - j0 + 1) <= cellBudget;
    double slope[3];
    for (int k = 0; k < 3; ++k) {
      const Point2d &a = T[k], &b = T[(k + 1) % 3];
      slope[k] = a.y != b.y ? (b.x - a.x) / (b.y - a.y) : 0.0;
    }
    for (int pass = fewCells ? 1 : 0; pass < 2; ++pass) {
      for (int j = j0; j <= j1; ++j) {
        // A row whose cells across the whole box hold no point has none in
        // the triangle's reach either: a long ear across the loop's empty
        // inside passes most rows so.
        if (pass == 1 && start_[size_t(j) * size_t(nx_) + size_t(i0)] ==
                             start_[size_t(j) * size_t(nx_) + size_t(i1) + 1])
          continue;
        // The triangle's reach in x over the row's band of y, widened by
        // pad (and by rounding of the row's place).
        const double slack = pad + 1e-9 * cellH_;
        const double b0 = std::max(y0, j == 0 ? y0 : y0_ + j * cellH_) - slack;
        const double b1 = std::min(y1, j == ny_ - 1 ? y1 : y0_ + (j + 1) * cellH_) + slack;
        if (!Reach(T, slope, b0, b1, pad, reach, columns)) continue;
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
      // Beyond kSplit cells per point a pass over the loop is cheaper.
      if (pass == 0 && cells > cellBudget) return AnyInLoop(test);
    }
    return false;
  }

  // The span in x that the triangle T, widened by pad, meets between y = b0
  // and b1, and the columns of the grid it covers; false when it does not
  // reach there. slope[k] is (b.x - a.x) / (b.y - a.y) of the side from T[k]
  // to the next corner: the side's place at y so found differs from the
  // exact one by rounding far below pad.
  bool Reach(const Point2d (&T)[3], const double (&slope)[3], double b0, double b1, double pad,
             double (&span)[2], int (&columns)[2]) const {
    double x0 = HUGE_VAL, x1 = -HUGE_VAL;
    for (int k = 0; k < 3; ++k) {
      const Point2d &a = T[k], &b = T[(k + 1) % 3];
      if (a.y >= b0 && a.y <= b1) x0 = std::min(x0, a.x), x1 = std::max(x1, a.x);
      for (double y : {b0, b1})
        if ((a.y < y) != (b.y < y)) {
          const double x = a.x + (y - a.y) * slope[k];
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
  const RefusedDiagonal* refused_;  // null when every diagonal may be used
  bool throughCopies_;
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
  int split_ = 1;  // columns per cell of about one point
  std::vector<uint32_t> start_;
  std::vector<uint32_t> fill_;  // BuildGrid's own, kept between its calls
  std::vector<int> items_;
  std::vector<double> itemX_;  // the x of each point in items_
  // The points by rank, a Fenwick tree of the points still in the loop by
  // rank (to count and take steps around it in a few operations) and the
  // marks, one bit per rank with a second level of one bit per word.
  std::vector<int> byRank_;
  RanksLeft left_;
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

// The ear cutting of ClipEars over one loop. Ears are cut shortest closing
// diagonal first: the limit on the diagonal grows by 1.3 whenever a whole
// round of candidates fails. The first series uses a fixed convexity margin
// and stops once the limit passes twice the root of the area. Small or thin
// loops that it leaves are finished with a margin relative to the loop's
// own size and a limit that grows to the loop's extent, beyond which every
// diagonal is short enough. What fine loops leave then (their ears are
// flatter than any margin) is cut by a third series that takes every ear
// with area that holds no point, which a simple polygon always has; when
// even then no ear passes, the best ears are cut, so the loop always
// shrinks.
//
// In the first two series the ears that pass the shape and the limit are
// marked, and the candidates between them, which fail, are counted and
// passed over at once: a loop of many points whose ears are cut one by one
// at far places would otherwise cost a turn per ear. Each ear's closing
// diagonal, NaN where the ear has not the series' shape, is kept with its
// mark: it changes only where an ear is cut next to it, and is marked anew
// there.
class EarSeries {
 public:
  // V lists the loop's point indices into P counter-clockwise; S is its
  // area (> 0) and extent that of P, a finite number.
  EarSeries(const std::vector<Point2d>& P, const std::vector<int>& V, double S, double extent,
            const RefusedDiagonal* refused, bool throughCopies)
      : ears_(P, V, extent, refused, throughCopies),
        S_(S),
        extent_(extent),
        bound_(2.0 * std::sqrt(S)),
        limit_(std::sqrt(S) * 0.001),
        next_(V[V.size() - 1]),
        left_(2.0 * S),
        diagonalOf_(P.size(), std::numeric_limits<double>::quiet_NaN()) {
    MarkAll();
  }

  // Appends the ears cut to triangles. Returns 1 when the loop is cut up
  // completely, 0 when what remains is left open (a loop that is not
  // simple).
  int Cut(std::vector<int>& triangles) {
    for (;;) {
      const int nv = ears_.Count();
      if (nv < 3) return 1;
      if (series_ != kBestEar && failed_ >= nv) EndRound(nv);
      if (series_ == kBestEar) {
        // Every diagonal is short enough and still a whole round failed:
        // the loop is not simple or what is left of it is flat. The rest is
        // cut ear by best ear; more rounds would each cost a pass over the
        // loop per candidate.
        const int v = ears_.BestEar();
        if (v < 0) return 0;
        ears_.Cut(v, triangles);
        continue;
      }
      if (series_ < kAnyArea && !SkipToMarked(nv)) continue;
      TryCandidate(triangles);
    }
  }

 private:
  enum Series { kFixedMargin, kRelativeMargin_, kAnyArea, kBestEar };

  // Whether the ear at v has the series' shape, and its closing diagonal.
  bool Shaped(int v, double& diagonal, double& area) const {
    const Point2d& Pu = ears_.At(ears_.Prev(v));
    const Point2d& Pv = ears_.At(v);
    const Point2d& Pw = ears_.At(ears_.Next(v));
    const double dx = Pu.x - Pw.x, dy = Pu.y - Pw.y;
    diagonal = std::sqrt(dx * dx + dy * dy);
    area = Cross2d(Pu, Pv, Pw);
    return series_ == kAnyArea ? area > 0.0 && area <= left_ + 1e-9 * S_ : area >= margin_;
  }

  // Marks the ear at v when it passes the shape and the limit, and keeps
  // its closing diagonal.
  void Mark(int v) {
    double diagonal, area;
    const bool passes = Shaped(v, diagonal, area);
    diagonalOf_[size_t(v)] = passes ? diagonal : std::numeric_limits<double>::quiet_NaN();
    ears_.Mark(v, passes && diagonal < limit_ && !ears_.Refused(ears_.Prev(v), ears_.Next(v)));
  }

  void MarkAll() {
    int v = next_;
    for (int k = 0; k < ears_.Count(); ++k, v = ears_.Next(v))
      Mark(v);
  }

  // A whole round of the nv candidates failed: the limit grows past the
  // shortest diagonal that failed only for its length, or the next series
  // starts, and the marks are set for the new limit.
  void EndRound(int nv) {
    // The diagonals kept with the marks are those of the loop as it is,
    // which does not change until the marks at the new limit are set.
    const int failedSeries = series_;
    if (series_ < kAnyArea) {
      int v = next_;
      for (int k = 0; k < nv; ++k, v = ears_.Next(v))
        if (diagonalOf_[size_t(v)] >= limit_) nearest_ = std::min(nearest_, diagonalOf_[size_t(v)]);
    }
    RaiseLimit();
    failed_ = -1;
    nearest_ = HUGE_VAL;
    if (series_ < kAnyArea && series_ == failedSeries) {
      int v = next_;
      for (int k = 0; k < ears_.Count(); ++k, v = ears_.Next(v))
        ears_.Mark(v, diagonalOf_[size_t(v)] < limit_ && !ears_.Refused(ears_.Prev(v), ears_.Next(v)));
    } else if (series_ < kAnyArea) {
      MarkAll();
    }
  }

  // The limit at the end of a failed round. The loop does not change while
  // candidates fail, so every further candidate fails the same way until
  // the limit passes the shortest diagonal that failed for its length: the
  // limit goes straight to the first step beyond it. A round at one limit
  // is two turns and one candidate more, the first at the new limit: each
  // round that fails moves the start on by one. Past the series' bound the
  // next series starts.
  void RaiseLimit() {
    for (;;) {
      limit_ *= 1.3;
      if (limit_ > bound_) {
        ++series_;
        limit_ = std::sqrt(S_) * 0.001;
        bound_ = extent_;
        if (series_ == kRelativeMargin_) margin_ = kRelativeMargin * extent_ * extent_;
        return;
      }
      if (nearest_ < limit_) return;
      next_ = ears_.Next(next_);
    }
  }

  // Passes over the candidates up to the next marked ear, counting them as
  // failed. False when the turn ends before it.
  bool SkipToMarked(int nv) {
    const int first = ears_.Next(next_);
    const int marked = ears_.NextMarked(first);
    const int skipped = marked < 0 ? 0 : ears_.Distance(first, marked);
    if (marked < 0 || failed_ + skipped >= nv) {
      next_ = ears_.Advance(next_, nv - failed_);
      failed_ = nv;
      return false;
    }
    failed_ += skipped;
    next_ = ears_.Prev(marked);
    return true;
  }

  // The ear after next_: cut when it passes.
  void TryCandidate(std::vector<int>& triangles) {
    const int u = next_;
    const int v = ears_.Next(u);
    const int w = ears_.Next(v);
    next_ = v;
    ++failed_;
    double diagonal, area;
    if (!Shaped(v, diagonal, area)) return;
    if (diagonal >= limit_) {
      nearest_ = std::min(nearest_, diagonal);
      return;
    }
    if (ears_.Refused(u, w)) return;
    if (series_ == kAnyArea ? ears_.BlockedStrictly(u, v, w) : ears_.Blocked(u, v, w)) return;
    ears_.Cut(v, triangles);
    left_ -= area;
    // The first two series go on from the ear's far corner. The third looks
    // back first: the cut may have made the corner before it an ear, which
    // it would otherwise meet only a turn later.
    if (series_ < kAnyArea) {
      Mark(u);
      Mark(w);
    }
    next_ = series_ == kAnyArea ? ears_.Prev(u) : w;
    failed_ = 0;
    nearest_ = HUGE_VAL;
  }

  EarClipper ears_;
  const double S_;
  const double extent_;
  int series_ = kFixedMargin;
  double margin_ = 0.01;
  double bound_;  // the limit beyond which the series ends
  double limit_;  // on the closing diagonal
  int next_;  // the next candidate's first corner
  // Twice the area still to cover. An ear larger than that only fits a loop
  // that runs back over itself.
  double left_;
  // Candidates failed in a row, and the shortest closing diagonal among
  // them that failed only for its length.
  int failed_ = 0;
  double nearest_ = HUGE_VAL;
  std::vector<double> diagonalOf_;  // by the ear's middle point
};

// Cuts the loop V (point indices into P, counter-clockwise, of area S > 0)
// into triangles, none of them on a diagonal that refused names (when it is
// given); see TriangulatePolygon2D and EarSeries.
int ClipEars(const std::vector<Point2d>& P, const std::vector<int>& V, double S,
             std::vector<int>& triangles, const RefusedDiagonal* refused,
             bool throughCopies = false) {
  const double extent = Extent(P);
  // Points so far apart that their distance is no number: no limit on the
  // diagonals could ever pass it.
  if (!std::isfinite(extent)) return 0;
  EarSeries series(P, V, S, extent, refused, throughCopies);
  return series.Cut(triangles);
}

// Joins holes into an outer loop by bridges: each hole, the one reaching
// furthest in x first, is cut open at its rightmost point M and joined to
// the point of the ring that M sees first to its right, through a pair of
// coincident edges (both ends of a bridge are doubled).
class HoleBridger {
 public:
  // Room is taken at once for the points of up to holes bridges (two
  // copies each), which then add no copies of the lists as they grow.
  HoleBridger(std::vector<Point2d>& P, std::vector<int>& origin, size_t holes)
      : P_(P), origin_(origin), points_(P.size() + 2 * holes) {
    P_.reserve(points_);
    origin_.reserve(points_);
    next_.reserve(points_);
    prev_.reserve(points_);
  }

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
    int a = -1;
    if (!grid_.has_value() || !NearTarget(m, ringSize, a)) a = Target(outer, m, ringSize);
    if (a < 0) return false;
    Split(a, m);
    // The hole's points, for the grid (when there is one) once joined: from
    // m round to the copy of m that Split made last.
    EnterRun(m, int(P_.size() - 1));
    return true;
  }

  // Keeps the sides and points of the ring from now on in a grid over the
  // box of the points (every point the ring will hold stands at one of
  // them), so that a bridge's search looks only near its hole. ring lists
  // the ring's points.
  void Index(const std::vector<int>& ring) {
    Point2d lo = P_[0], hi = P_[0];
    for (const Point2d& p : P_) {
      lo.x = std::min(lo.x, p.x), lo.y = std::min(lo.y, p.y);
      hi.x = std::max(hi.x, p.x), hi.y = std::max(hi.y, p.y);
    }
    if (!std::isfinite(hi.x - lo.x) || !std::isfinite(hi.y - lo.y)) return;
    grid_.emplace(lo, hi, 0.0, P_.size());
    sideHeads_.assign(grid_->Cells(), -1);
    pointHeads_.assign(grid_->Cells(), -1);
    // A side shorter than a cell is listed in the 3 x 3 or 3 x 4 cells
    // around its ends: about 14 entries per side on the whole.
    pointList_.reserve(points_);
    sideList_.reserve(kEntriesPerSide * points_);
    Enter(ring);
  }

  // Joins the hole's ring at its point m to the ring at a, which stands at
  // the same place (a loop pinched there): a, the hole from the point after
  // m round to m, the point after a. False, and nothing joined, when the
  // hole does not lie in the ring's angle at a; a point of the hole within
  // float rounding of a side of that angle counts as inside it, as where
  // the hole's points next to the touch lie on the loop's edges.
  bool JoinAt(int a, int m) {
    const int an = next_[size_t(a)], mn = next_[size_t(m)];
    if (!LocallyInside(a, P_[size_t(mn)], true) ||
        !LocallyInside(a, P_[size_t(prev_[size_t(m)])], true))
      return false;
    // The hole's points, for the grid (when there is one) once joined.
    const std::vector<int> ring = grid_.has_value() ? Ring(m) : std::vector<int>{};
    next_[size_t(a)] = mn, prev_[size_t(mn)] = a;
    next_[size_t(m)] = an, prev_[size_t(an)] = m;
    EnterSide(a);
    Enter(ring);
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
  // With rounding, q may lie outside a side by float rounding.
  bool LocallyInside(int p, const Point2d& q, bool rounding = false) const {
    const Point2d &a = P_[size_t(prev_[size_t(p)])], &o = P_[size_t(p)],
                  &b = P_[size_t(next_[size_t(p)])];
    const double sb =
        rounding ? -FloatRoundingNear(o, b, q) * std::hypot(b.x - o.x, b.y - o.y) : 0.0;
    const double sa =
        rounding ? -FloatRoundingNear(o, a, q) * std::hypot(a.x - o.x, a.y - o.y) : 0.0;
    if (Cross2d(a, o, b) >= 0.0) return Cross2d(o, b, q) >= sb && Cross2d(o, q, a) >= sa;
    return Cross2d(o, b, q) >= sb || Cross2d(o, q, a) >= sa;
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
    int best = -1;
    double bestTan = HUGE_VAL;
    a = outer;
    for (size_t k = 0; k < ringSize; ++k, a = next_[size_t(a)]) {
      const Point2d& Q = P_[size_t(a)];
      if (!Candidate(a, M, I, E)) continue;
      const double tan = std::fabs(Q.y - M.y) / (Q.x - M.x);
      if (best < 0 || tan < bestTan || (tan == bestTan && Q.x < P_[size_t(best)].x)) {
        best = a;
        bestTan = tan;
      }
    }
    return best >= 0 ? best : end;
  }

  // Whether the hole's point M may be bridged to the ring's point q: q lies
  // at E (the end of the side hit at I) or in the triangle (M, I, E), and M
  // in the ring's angle at q.
  bool Candidate(int q, const Point2d& M, const Point2d& I, const Point2d& E) const {
    const Point2d& Q = P_[size_t(q)];
    if (!Same(Q, E)) {
      if (!(Q.x > M.x) || !(Q.x <= std::max(I.x, E.x))) return false;
      const double orient = Cross2d(M, I, E);
      const double c1 = Cross2d(M, I, Q), c2 = Cross2d(I, E, Q), c3 = Cross2d(E, M, Q);
      const bool in = orient >= 0.0 ? c1 >= 0.0 && c2 >= 0.0 && c3 >= 0.0
                                    : c1 <= 0.0 && c2 <= 0.0 && c3 <= 0.0;
      if (!in) return false;
    }
    return LocallyInside(q, M);
  }

  // Joins the ring at a to the hole's ring at b: a, b, the hole, b', a'.
  void Split(int a, int b) {
    const int a2 = Copy(a), b2 = Copy(b);
    const int an = next_[size_t(a)], bp = prev_[size_t(b)];
    next_[size_t(a)] = b, prev_[size_t(b)] = a;
    next_[size_t(a2)] = an, prev_[size_t(an)] = a2;
    next_[size_t(b2)] = a2, prev_[size_t(a2)] = b2;
    next_[size_t(bp)] = b2, prev_[size_t(b2)] = bp;
    EnterSide(a);
    Enter({a2, b2});
  }

  // The side that the ray from M to the right meets first, as Target
  // finds it: where it meets it (hitX, HUGE_VAL for none) and the end of it
  // that Target takes (end, -1 for none). False where two sides' ends tie
  // there. A side that the ray meets at x lies in the cell of the ray's
  // row there.
  bool FirstSideHit(const Point2d& M, double& hitX, int& end) const {
    const PlaneGrid& grid = *grid_;
    hitX = HUGE_VAL;
    end = -1;
    bool tie = false;
    const int64_t row = grid.Row(M.y), n = grid.Side();
    for (int64_t col = grid.Column(M.x); col < n; ++col) {
      if (col > 0 && hitX < grid.Left(col - 1)) break;
      for (int p = sideHeads_[size_t(row * n + col)]; p >= 0; p = sideList_[size_t(p)].next) {
        const int s = sideList_[size_t(p)].of;
        const int b = next_[size_t(s)];
        const Point2d &A = P_[size_t(s)], &B = P_[size_t(b)];
        if (!(A.y <= M.y && M.y <= B.y && A.y < B.y)) continue;
        const double x = A.x + (M.y - A.y) * (B.x - A.x) / (B.y - A.y);
        if (!(x >= M.x) || x > hitX) continue;
        const int e = A.y == M.y ? s : B.y == M.y ? b : A.x > B.x ? s : b;
        if (x < hitX) {
          hitX = x, end = e, tie = false;
        } else if (e != end) {
          tie = true;
        }
      }
    }
    return !tie;
  }

  // Of the candidates in the triangle (M, I, E), the one Target takes: the
  // least angle from the ray, then the least x (best, -1 for none). False
  // where two tie or an angle is not finite. The points lie in the
  // triangle's box, whose cells (x0 .. x1, y0 .. y1) are asked.
  bool BestInTriangle(const Point2d& M, const Point2d& I, const Point2d& E, int64_t x0,
                      int64_t x1, int64_t y0, int64_t y1, int& best) const {
    const int64_t n = grid_->Side();
    best = -1;
    double bestTan = HUGE_VAL;
    bool tie = false;
    for (int64_t y = y0; y <= y1; ++y)
      for (int64_t x = x0; x <= x1; ++x)
        for (int p = pointHeads_[size_t(y * n + x)]; p >= 0; p = pointList_[size_t(p)].next) {
          const int q = pointList_[size_t(p)].of;
          const Point2d& Q = P_[size_t(q)];
          if (!Candidate(q, M, I, E)) continue;
          const double tan = std::fabs(Q.y - M.y) / (Q.x - M.x);
          if (!std::isfinite(tan)) return false;
          if (best < 0 || tan < bestTan || (tan == bestTan && Q.x < P_[size_t(best)].x)) {
            best = q, bestTan = tan, tie = false;
          } else if (tan == bestTan && Q.x == P_[size_t(best)].x) {
            tie = true;
          }
        }
    return !tie;
  }

  // The near search of Target through the grid: false where it cannot
  // tell the point that Target would find (two candidates that Target
  // tells apart only by their order along the ring, or a search wider than
  // the ring), and a is then left alone.
  bool NearTarget(int m, size_t ringSize, int& a) const {
    const PlaneGrid& grid = *grid_;
    const Point2d M = P_[size_t(m)];
    double hitX;
    int end;
    if (!FirstSideHit(M, hitX, end)) return false;
    if (end < 0) {
      a = -1;
      return true;
    }
    const Point2d I = {hitX, M.y};
    const Point2d E = P_[size_t(end)];
    if (!(E.x > M.x)) return false;
    const int64_t n = grid.Side();
    const int64_t x0 = std::max<int64_t>(0, grid.Column(M.x) - 1),
                  x1 = std::min(n - 1, grid.Column(std::max(hitX, E.x)) + 1),
                  y0 = std::max<int64_t>(0, grid.Row(std::min(M.y, E.y)) - 1),
                  y1 = std::min(n - 1, grid.Row(std::max(M.y, E.y)) + 1);
    if (uint64_t(x1 - x0 + 1) * uint64_t(y1 - y0 + 1) > ringSize) return false;
    int best;
    if (!BestInTriangle(M, I, E, x0, x1, y0, y1, best)) return false;
    a = best >= 0 ? best : end;
    return true;
  }

  // Enters the points into the grid, with the sides from them to the next.
  void Enter(const std::vector<int>& points) {
    if (!grid_.has_value()) return;
    for (int p : points) EnterPoint(p);
  }

  // Enters the points of the ring from first on up to the one before stop
  // (at most as many as there are points), as Enter does.
  void EnterRun(int first, int stop) {
    if (!grid_.has_value()) return;
    int p = first;
    for (size_t k = 0; k < P_.size() && p != stop; ++k, p = next_[size_t(p)]) EnterPoint(p);
  }

  // Enters point p into the grid, with the side from it to the next.
  void EnterPoint(int p) {
    const size_t cell = size_t(grid_->Of(P_[size_t(p)]));
    pointList_.push_back({p, pointHeads_[cell]});
    pointHeads_[cell] = int(pointList_.size() - 1);
    EnterSide(p);
  }

  // Enters the side from p to the point after it into the grid.
  void EnterSide(int p) {
    if (!grid_.has_value()) return;
    const Point2d &a = P_[size_t(p)], &b = P_[size_t(next_[size_t(p)])];
    // The cells of PlaneGrid::Along: those of a short side read off its box.
    int64_t box[4];
    if (grid_->ShortBox(a, b, box)) {
      const int64_t n = grid_->Side();
      for (int64_t y = box[2]; y <= box[3]; ++y)
        for (int64_t x = box[0]; x <= box[1]; ++x) ListSide(p, size_t(y * n + x));
      return;
    }
    grid_->Along(a, b, cells_);
    for (int64_t cell : cells_) ListSide(p, size_t(cell));
  }

  // Lists the side from p in the cell.
  void ListSide(int p, size_t cell) {
    sideList_.push_back({p, sideHeads_[cell]});
    sideHeads_[cell] = int(sideList_.size() - 1);
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
  size_t points_;  // the most that the ring will hold
  std::vector<int> next_, prev_;
  // An entry of a cell's list: its point, and the next entry of the list
  // (-1 at the end).
  struct Entry {
    int of, next;
  };
  // With the grid: per cell the first entry of a list of the points whose
  // side to the next point passes near it, and of one of the points in it.
  // A side whose point has since been joined elsewhere stays listed where it
  // was: the search reads each side as it is.
  std::optional<PlaneGrid> grid_;
  std::vector<int> sideHeads_, pointHeads_;
  std::vector<Entry> sideList_, pointList_;
  std::vector<int64_t> cells_;
};

// Whether a point of a hole, loops[1] on, stands at the place of a point
// of the outer loop, loops[0]: over few points by asking every pair, else
// through the places of the outer loop, fewer than the holes' points where
// there are many holes.
// The places of a list of points in a table open by address, about half
// full: a lookup reads a few neighbouring slots of one small array.
class PlaceSet {
 public:
  explicit PlaceSet(const std::vector<Point2d>& points)
      : bits_(std::bit_width(2 * points.size())),
        slots_(size_t(1) << bits_),
        used_(slots_.size(), 0) {
    for (const Point2d& p : points) {
      size_t at = Slot(p);
      while (used_[at] && !Same(slots_[at], p)) at = (at + 1) & (slots_.size() - 1);
      slots_[at] = p;
      used_[at] = 1;
    }
  }

  bool Contains(const Point2d& q) const {
    for (size_t at = Slot(q); used_[at]; at = (at + 1) & (slots_.size() - 1))
      if (Same(slots_[at], q)) return true;
    return false;
  }

 private:
  // The slot a place starts its search at, from the high bits of a mix of
  // its coordinates (0 and -0 are the same place).
  size_t Slot(const Point2d& p) const {
    const uint64_t x = std::bit_cast<uint64_t>(p.x + 0.0), y = std::bit_cast<uint64_t>(p.y + 0.0);
    uint64_t mix = (x * 0x9E3779B97F4A7C15ull) ^ (y * 0xC2B2AE3D27D4EB4Full);
    mix ^= mix >> 29;
    return size_t((mix * 0xBF58476D1CE4E5B9ull) >> (64 - bits_));
  }

  int bits_;
  std::vector<Point2d> slots_;
  std::vector<uint8_t> used_;
};

bool AnyHolePointOnTheOuterLoop(const std::vector<const std::vector<Point2d>*>& loops) {
  size_t holePoints = 0;
  for (size_t h = 1; h < loops.size(); ++h)
    holePoints += loops[h]->size();
  if (loops[0]->size() * holePoints <= kFewPointPairs) {
    for (size_t h = 1; h < loops.size(); ++h)
      for (const Point2d& q : *loops[h])
        for (const Point2d& p : *loops[0])
          if (Same(p, q)) return true;
    return false;
  }
  const PlaceSet outer(*loops[0]);
  for (size_t h = 1; h < loops.size(); ++h)
    for (const Point2d& q : *loops[h])
      if (outer.Contains(q)) return true;
  return false;
}

// Pairs (a, m) of a point a of the outer loop, loops[0], and a point m of a
// hole at the same place, by their indices in the loops in turn.
std::vector<std::pair<int, int>> TouchesOfTheOuterLoop(
    const std::vector<const std::vector<Point2d>*>& loops) {
  struct PlaceHash {
    size_t operator()(const Point2d& p) const {
      // 0 and -0 are the same place.
      const uint64_t x = std::bit_cast<uint64_t>(p.x + 0.0), y = std::bit_cast<uint64_t>(p.y + 0.0);
      return size_t((x * 0x9E3779B97F4A7C15ull) ^ (y * 0xC2B2AE3D27D4EB4Full));
    }
  };
  struct SamePlace {
    bool operator()(const Point2d& a, const Point2d& b) const { return Same(a, b); }
  };
  // Most holes touch nothing: that is told first.
  if (!AnyHolePointOnTheOuterLoop(loops)) return {};
  std::unordered_multimap<Point2d, int, PlaceHash, SamePlace> holePoints;
  int index = int(loops[0]->size());
  for (size_t h = 1; h < loops.size(); ++h)
    for (const Point2d& q : *loops[h])
      holePoints.emplace(q, index++);
  std::vector<std::pair<int, int>> touches;
  for (size_t i = 0; i < loops[0]->size(); ++i) {
    const auto [lo, hi] = holePoints.equal_range((*loops[0])[i]);
    for (auto it = lo; it != hi; ++it)
      touches.push_back({int(i), it->second});
  }
  return touches;
}

// Cuts away the needles of the ring part at the points listed in at: a
// point whose two edges run back along one line (within float rounding), as
// where a hole's point next to a touch lies on the outer loop's edge. The
// needle's triangle has no area, but its sides close the edges along it.
void CutNeedles(const std::vector<Point2d>& P, std::vector<int>& part,
                const std::vector<uint8_t>& at, std::vector<int>& triangles) {
  for (bool cut = true; cut && part.size() >= 3;) {
    cut = false;
    for (size_t k = 0; k < part.size() && part.size() >= 3; ++k) {
      const int v = part[k];
      if (!at[size_t(v)]) continue;
      const int u = part[(k + part.size() - 1) % part.size()], w = part[(k + 1) % part.size()];
      const Point2d &U = P[size_t(u)], &V = P[size_t(v)], &W = P[size_t(w)];
      // U lies on the line from V to W within rounding, on W's side, or W
      // on the line from V to U.
      const double along = (U.x - V.x) * (W.x - V.x) + (U.y - V.y) * (W.y - V.y);
      const double across = std::fabs(Cross2d(U, V, W));
      const double longer =
          std::max(std::hypot(U.x - V.x, U.y - V.y), std::hypot(W.x - V.x, W.y - V.y));
      if (!(along > 0.0) || !(across <= FloatRoundingNear(U, V, W) * longer)) continue;
      triangles.push_back(u);
      triangles.push_back(v);
      triangles.push_back(w);
      part.erase(part.begin() + std::ptrdiff_t(k));
      cut = true;
    }
  }
}

// A hole by its rightmost point: its place, its index and the count of the
// hole's points.
struct Hole {
  Point2d at;
  int m;
  size_t count;
};

// The holes, loops[1] on, as rings of the bridger (clockwise), the one
// reaching furthest in x first. One without area or with fewer than three
// points has nothing to take away.
std::vector<Hole> HolesFromTheRight(const std::vector<const std::vector<Point2d>*>& loops,
                                    const std::vector<Point2d>& P, HoleBridger& bridger) {
  std::vector<Hole> holes;
  holes.reserve(loops.size() - 1);
  size_t first = loops[0]->size();
  for (size_t h = 1; h < loops.size(); first += loops[h]->size(), ++h) {
    const double area = TwiceArea(*loops[h]);
    if (loops[h]->size() < 3 || !(area != 0.0) || !std::isfinite(area)) continue;
    const int m = bridger.Rightmost(bridger.AddRing(first, loops[h]->size(), area < 0.0));
    holes.push_back({P[size_t(m)], m, loops[h]->size()});
  }
  std::sort(holes.begin(), holes.end(), [](const Hole& a, const Hole& b) {
    return a.at.x > b.at.x || (a.at.x == b.at.x && a.at.y < b.at.y);
  });
  return holes;
}

// Joins each hole to the ring through outer (of ringSize points): at the
// first touch of the outer loop with a point of the hole where it fits
// there (joinedAt marks that touch), else by a bridge.
void JoinHoles(const std::vector<Hole>& holes, const std::vector<std::pair<int, int>>& touches,
               int outer, size_t ringSize, HoleBridger& bridger, std::vector<uint8_t>& joinedAt) {
  joinedAt.assign(touches.size(), 0);
  for (const Hole& hole : holes) {
    bool joined = false;
    if (!touches.empty()) {
      const std::vector<int> ring = bridger.Ring(hole.m);
      for (size_t t = 0; t < touches.size() && !joined; ++t) {
        joined = std::find(ring.begin(), ring.end(), touches[t].second) != ring.end() &&
                 bridger.JoinAt(touches[t].first, touches[t].second);
        joinedAt[t] = joined;
      }
    }
    if (joined) {
      ringSize += hole.count;
    } else if (bridger.Bridge(outer, hole.m, ringSize)) {
      ringSize += hole.count + 2;
    }
  }
}

// Every touch of a hole with the outer loop that no hole was joined at
// pinches the region: the ring passes through it twice, and the region
// falls apart there into parts that are each a simple loop.
void SplitAtTouches(const std::vector<std::pair<int, int>>& touches,
                    const std::vector<uint8_t>& joinedAt, std::vector<std::vector<int>>& parts) {
  for (size_t t = 0; t < touches.size(); ++t) {
    if (joinedAt[t]) continue;
    for (size_t k = 0; k < parts.size(); ++k) {
      std::vector<int>& part = parts[k];
      const auto a = std::find(part.begin(), part.end(), touches[t].first);
      const auto m = std::find(part.begin(), part.end(), touches[t].second);
      if (a == part.end() || m == part.end()) continue;
      const auto [lo, hi] = std::minmax(a, m);
      std::vector<int> inner(lo, hi);
      part.erase(lo, hi);
      parts.push_back(std::move(inner));
      break;
    }
  }
}

// The outer loop, loops[0], with the holes joined in (P and origin gain
// the copies at the bridges' ends), as parts that are each a simple loop
// of point indices into P. False where the outer loop has no area.
bool BridgedParts(const std::vector<const std::vector<Point2d>*>& loops,
                  const std::vector<std::pair<int, int>>& touches, std::vector<Point2d>& P,
                  std::vector<int>& origin, std::vector<std::vector<int>>& parts) {
  HoleBridger bridger(P, origin, loops.size() - 1);
  const double outerArea = TwiceArea(*loops[0]);
  if (!(outerArea != 0.0) || !std::isfinite(outerArea)) return false;
  const int outer = bridger.AddRing(0, loops[0]->size(), outerArea > 0.0);
  const std::vector<Hole> holes = HolesFromTheRight(loops, P, bridger);
  // The bridges are searched for through a grid, and the ends of the
  // bridges, each a place where the ring passes twice, do not keep the ears
  // at them waiting for the last series of the clipping (a round over the
  // whole ring for each). Over few points the search along the ring finds
  // the same bridges for less than the grid costs to build.
  if (!holes.empty() && P.size() > kFewPointsForAGrid) bridger.Index(bridger.Ring(outer));
  // A hole that touches the outer loop at a point is joined to it there: a
  // bridge elsewhere would leave the region cut apart at the touch, and the
  // clipping could not finish.
  std::vector<uint8_t> joinedAt;
  JoinHoles(holes, touches, outer, loops[0]->size(), bridger, joinedAt);
  parts.assign(1, bridger.Ring(outer));
  SplitAtTouches(touches, joinedAt, parts);
  return true;
}

// Twice the signed area of the loop of the points of P listed in part.
double TwiceAreaOf(const std::vector<Point2d>& P, const std::vector<int>& part) {
  double sum = 0.0;
  for (size_t i = 0; i < part.size(); ++i) {
    const Point2d &a = P[size_t(part[i == 0 ? part.size() - 1 : i - 1])], &b = P[size_t(part[i])];
    sum += a.x * b.y - b.x * a.y;
  }
  return sum;
}

// Cuts the parts into triangles of point indices into P, appended to
// local; refused names diagonals by the points' origins. 1 when every part
// is cut up completely, 0 when one is left open, -1 when one has no area.
int ClipParts(const std::vector<Point2d>& P, const std::vector<int>& origin,
              const std::vector<std::pair<int, int>>& touches, const RefusedDiagonal& refused,
              std::vector<std::vector<int>>& parts, std::vector<int>& local) {
  const RefusedDiagonal refusedHere = [&](int a, int b) {
    return refused(origin[size_t(a)], origin[size_t(b)]);
  };
  std::vector<uint8_t> touching(touches.empty() ? 0 : P.size(), 0);
  for (const auto& [a, m] : touches)
    touching[size_t(a)] = touching[size_t(m)] = 1;
  int result = 1;
  for (std::vector<int>& part : parts) {
    if (!touches.empty()) CutNeedles(P, part, touching, local);
    if (part.size() < 3) continue;
    const double S = 0.5 * TwiceAreaOf(P, part);
    if (!(S > 0.0) || !std::isfinite(S)) return -1;
    if (!ClipEars(P, part, S, local, refused ? &refusedHere : nullptr, true)) result = 0;
  }
  return result;
}

}  // namespace

double TwiceArea(const std::vector<Point2d>& P) {
  double sum = 0.0;
  for (size_t i = 0; i < P.size(); ++i) {
    const Point2d &a = P[i == 0 ? P.size() - 1 : i - 1], &b = P[i];
    sum += a.x * b.y - b.x * a.y;
  }
  return sum;
}

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

int TriangulatePolygon2D(const std::vector<Point2d>& P, std::vector<int>& triangles,
                         const RefusedDiagonal& refused) {
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
  // Room for a complete cut, taken once: appending to a list that holds
  // more keeps the list's own growth.
  if (triangles.empty()) triangles.reserve(3 * size_t(n - 2));
  return ClipEars(P, V, S, triangles, &refused);
}

int TriangulatePolygonWithHoles2D(const std::vector<std::vector<Point2d>>& loops,
                                  std::vector<int>& triangles, const RefusedDiagonal& refused) {
  std::vector<const std::vector<Point2d>*> listed;
  listed.reserve(loops.size());
  for (const std::vector<Point2d>& loop : loops) listed.push_back(&loop);
  return TriangulatePolygonWithHoles2D(listed, triangles, refused);
}

int TriangulatePolygonWithHoles2D(const std::vector<const std::vector<Point2d>*>& loops,
                                  std::vector<int>& triangles, const RefusedDiagonal& refused) {
  if (loops.empty() || loops[0]->size() < 3) return 0;
  std::vector<Point2d> P;
  std::vector<int> origin;  // of each point, its index in the loops as given
  size_t given = 0;
  for (const std::vector<Point2d>* loop : loops)
    given += loop->size();
  // With room for the copies at both ends of each hole's bridge.
  P.reserve(given + 2 * (loops.size() - 1));
  origin.reserve(P.capacity());
  for (const std::vector<Point2d>* loop : loops)
    P.insert(P.end(), loop->begin(), loop->end());
  for (size_t i = 0; i < P.size(); ++i)
    origin.push_back(int(i));
  // The bridger's lists are gone before the clipping, which takes its room
  // from theirs.
  std::vector<std::vector<int>> parts;
  const std::vector<std::pair<int, int>> touches = TouchesOfTheOuterLoop(loops);
  if (!BridgedParts(loops, touches, P, origin, parts)) return 0;
  std::vector<int> local;
  local.reserve(3 * P.size());
  const int result = ClipParts(P, origin, touches, refused, parts, local);
  if (result < 0) return 0;
  if (triangles.empty()) triangles.reserve(local.size());
  for (int t : local)
    triangles.push_back(origin[size_t(t)]);
  return result;
}

bool FlipRefusedDiagonals(const std::vector<Point2d>& P, std::vector<int>& triangles,
                          const RefusedDiagonal& refused) {
  // Where each directed side runs: the index in triangles of its first end.
  std::unordered_map<uint64_t, size_t> sides;
  auto key = [](int a, int b) { return (uint64_t(uint32_t(a)) << 32) | uint32_t(b); };
  auto first = [](size_t corner) { return corner - corner % 3; };
  auto add = [&](size_t t) {
    for (size_t z = 0; z < 3; ++z)
      if (!sides.emplace(key(triangles[t + z], triangles[t + (z + 1) % 3]), t + z).second)
        return false;
    return true;
  };
  auto remove = [&](size_t t) {
    for (size_t z = 0; z < 3; ++z)
      sides.erase(key(triangles[t + z], triangles[t + (z + 1) % 3]));
  };
  for (size_t t = 0; t + 2 < triangles.size(); t += 3)
    if (!add(t)) return false;
  // Each flip trades a refused side for one that is not: the passes end.
  for (bool flipped = true; flipped;) {
    flipped = false;
    for (size_t corner = 0; corner < triangles.size() - triangles.size() % 3; ++corner) {
      const size_t t = first(corner), z = corner - t;
      const int a = triangles[corner], b = triangles[t + (z + 1) % 3];
      if (!refused(a, b)) continue;
      // The two triangles on the side, (a, b, c) and (b, a, d), become
      // (c, a, d) and (d, b, c): both turn counter-clockwise only where the
      // quadrilateral (a, d, b, c) is strictly convex.
      const auto twin = sides.find(key(b, a));
      if (twin == sides.end()) return false;
      const size_t u = first(twin->second), y = twin->second - u;
      const int c = triangles[t + (z + 2) % 3], d = triangles[u + (y + 2) % 3];
      const Point2d &A = P[size_t(a)], &B = P[size_t(b)], &C = P[size_t(c)], &D = P[size_t(d)];
      if (refused(c, d) || !(Cross2d(C, A, D) > 0.0) || !(Cross2d(D, B, C) > 0.0)) return false;
      remove(t);
      remove(u);
      triangles[t] = c, triangles[t + 1] = a, triangles[t + 2] = d;
      triangles[u] = d, triangles[u + 1] = b, triangles[u + 2] = c;
      if (!add(t) || !add(u)) return false;
      flipped = true;
    }
  }
  return true;
}

}  // namespace quarnel
