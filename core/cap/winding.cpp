#include "core/cap/winding.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core/cap/side_grids.h"
#include "core/places.h"
#include "core/plane_tessellation.h"

namespace quarnel {

namespace {

// A directed edge from a to b as one number, sorted by a first.
uint64_t Key(uint32_t a, uint32_t b) { return uint64_t(a) << 32 | b; }

// The group's border edges, each once, as the cap runs them (against the
// way their face runs them, so that the sides' winding is the cap's), and
// the loop of each.
struct GroupSides {
  std::vector<CapSide> all;
  std::vector<size_t> loop;
};

// Per border edge of the group's loops, in their order, whether an earlier
// step ran it too (a loop of one edge's sides): such edges count once.
std::vector<uint8_t> EdgesAgain(const std::vector<CapLoop>& caps, const std::vector<size_t>& group) {
  std::vector<std::pair<uint64_t, size_t>> edges;
  for (size_t i : group)
    for (const FacePos& e : caps[i].edges)
      edges.push_back({uint64_t(reinterpret_cast<uintptr_t>(e.f)) * 4 + uint64_t(e.z), edges.size()});
  std::sort(edges.begin(), edges.end());
  std::vector<uint8_t> again(edges.size(), 0);
  for (size_t k = 1; k < edges.size(); ++k)
    if (edges[k].first == edges[k - 1].first) again[edges[k].second] = 1;
  return again;
}

// The group's sides: from place to place, none from a place to itself.
GroupSides SidesOfGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group) {
  const std::vector<uint8_t> again = EdgesAgain(caps, group);
  GroupSides sides;
  size_t walked = 0;
  for (size_t i : group) {
    const CapLoop& c = caps[i];
    const size_t n = c.places.size();
    for (size_t k = 0; k < n; ++k) {
      const FacePos& e = c.edges[k];
      if (again[walked++]) continue;
      const uint32_t here = c.places[k], before = c.places[(k + n - 1) % n];
      const bool faceAlongWalk = c.turns[k] < 0;
      const uint32_t from = faceAlongWalk ? here : before, to = faceAlongWalk ? before : here;
      if (from == to) continue;
      sides.all.push_back({from, to, e.f, e.z});
      sides.loop.push_back(i);
    }
  }
  return sides;
}

// The sides chained into cycles at their places, keeping to one loop where
// they can; false where they do not close.
bool ChainCycles(const GroupSides& sides, std::vector<std::vector<size_t>>& cycles) {
  const std::vector<CapSide>& all = sides.all;
  std::vector<std::pair<uint32_t, size_t>> out;  // by the place they start at
  for (size_t s = 0; s < all.size(); ++s) out.push_back({all[s].p, s});
  std::sort(out.begin(), out.end());
  std::vector<uint8_t> used(all.size(), 0);
  for (size_t s0 = 0; s0 < all.size(); ++s0) {
    if (used[s0]) continue;
    std::vector<size_t> cycle;
    size_t s = s0;
    for (size_t step = 0; step < all.size(); ++step) {
      used[s] = 1;
      cycle.push_back(s);
      if (all[s].q == all[s0].p) break;
      // The first side unused from there, or the last of the same loop.
      size_t pick = SIZE_MAX;
      for (auto j = std::lower_bound(out.begin(), out.end(), std::pair(all[s].q, size_t(0)));
           j != out.end() && j->first == all[s].q; ++j)
        if (!used[j->second] && (pick == SIZE_MAX || sides.loop[j->second] == sides.loop[s0]))
          pick = j->second;
      if (pick == SIZE_MAX) return false;
      s = pick;
    }
    if (all[cycle.back()].q != all[s0].p) return false;
    cycles.push_back(std::move(cycle));
  }
  return true;
}

// The way the cycles turn as a whole: 1 counter-clockwise (or none), -1
// clockwise.
int TurnOf(const std::vector<std::vector<size_t>>& cycles, const std::vector<CapSide>& all,
           const CutPlaces& places) {
  double twiceArea = 0.0;
  for (const std::vector<size_t>& cycle : cycles)
    for (size_t s : cycle) {
      const Point2d a = places.at[all[s].p], b = places.at[all[s].q];
      twiceArea += a.x * b.y - a.y * b.x;
    }
  return twiceArea < 0.0 ? -1 : 1;
}

// The cycles, with their places numbered from 0 on their own
// (a cut has many groups, and none may cost as much as all the cut's
// places), and the places that lie on each side (within snap).
struct Frame {
  std::vector<CapSide> sides;
  std::vector<size_t> loopOf;  // the cycle of each side
  std::vector<uint32_t> ids;   // the cut's place of each of the frame's
  std::vector<Point2d> at;
  std::vector<VertexT5*> vertex;
  std::vector<double> rounding;
  uint32_t placeCount = 0;
  std::vector<std::vector<uint32_t>> on;  // per side, in order along it

  uint32_t Local(uint32_t id) const {
    return uint32_t(std::lower_bound(ids.begin(), ids.end(), id) - ids.begin());
  }
};

// The frame of the cycles, the points on each side found within snap.
Frame FrameOf(const std::vector<std::vector<size_t>>& cycles, const std::vector<CapSide>& all,
              const CutPlaces& places, double snap) {
  Frame f;
  for (size_t g = 0; g < cycles.size(); ++g)
    for (size_t s : cycles[g]) {
      f.sides.push_back(all[s]);
      f.loopOf.push_back(g);
      f.ids.push_back(all[s].p);
    }
  std::sort(f.ids.begin(), f.ids.end());
  f.ids.erase(std::unique(f.ids.begin(), f.ids.end()), f.ids.end());
  f.placeCount = uint32_t(f.ids.size());
  for (uint32_t id : f.ids) {
    f.at.push_back(places.at[id]);
    f.rounding.push_back(places.rounding[id]);
    f.vertex.push_back(places.vertex[id]);
  }
  for (CapSide& side : f.sides) side.p = f.Local(side.p), side.q = f.Local(side.q);
  std::vector<uint32_t> numbers(f.placeCount);
  for (uint32_t i = 0; i < f.placeCount; ++i) numbers[i] = i;
  f.on = PointsOnSides(f.sides, f.at, f.rounding, numbers, snap);
  return f;
}

// The contours of the cycles, with the places on their sides.
std::vector<std::vector<uint32_t>> ContoursOf(const Frame& f, size_t count) {
  std::vector<std::vector<uint32_t>> contours(count);
  for (size_t s = 0; s < f.sides.size(); ++s) {
    std::vector<uint32_t>& c = contours[f.loopOf[s]];
    c.push_back(f.sides[s].p);
    c.insert(c.end(), f.on[s].begin(), f.on[s].end());
  }
  return contours;
}

// The triangles of a cover, as the frame's places and then the crossings
// made (by their points in at).
struct Cover {
  std::vector<uint32_t> tris;
  std::vector<ContourCrossing> made;
  std::vector<Point2d> at;
};

// Appends the crossings of a pass (numbered after the cover's) and their
// points; returns the cover's id of each of the pass's ids.
std::vector<uint32_t> AddCrossings(const std::vector<ContourCrossing>& crossings,
                                   uint32_t placeCount, Cover& cover) {
  const uint32_t shift = uint32_t(cover.made.size());
  auto own = [&](uint32_t id) { return id < placeCount ? id : id + shift; };
  for (ContourCrossing c : crossings) {
    Point2d q;
    double total = 0.0;
    for (int k = 0; k < 4; ++k) {
      c.from[k] = own(c.from[k]);
      q.x += c.weight[k] * cover.at[c.from[k]].x;
      q.y += c.weight[k] * cover.at[c.from[k]].y;
      total += c.weight[k];
    }
    if (total > 0.0) q.x /= total, q.y /= total;
    cover.at.push_back(q);
    cover.made.push_back(c);
  }
  std::vector<uint32_t> ids(placeCount + crossings.size());
  for (uint32_t i = 0; i < ids.size(); ++i) ids[i] = own(i);
  return ids;
}

// Adds the triangles over the regions the contours wind around with the
// sign of turn, turning that way; false where the tessellation fails.
bool AddPass(const Frame& f, const std::vector<std::vector<uint32_t>>& contours, int turn,
             double snap, Cover& cover) {
  std::vector<uint32_t> local;
  std::vector<ContourCrossing> crossings;
  if (!TessellateByWinding(f.at, contours, turn, snap, local, crossings)) return false;
  const std::vector<uint32_t> own = AddCrossings(crossings, f.placeCount, cover);
  for (uint32_t id : local) cover.tris.push_back(own[id]);
  return true;
}

// Each crossing once (both passes make those on the line between their
// regions), none at one place with another, and no triangle with a corner
// twice.
void MergeCrossings(uint32_t placeCount, double snap, double shape, Cover& cover) {
  std::vector<Vec3d> points;
  for (size_t k = placeCount; k < cover.at.size(); ++k)
    points.push_back(Vec3d(cover.at[k].x, cover.at[k].y, 0.0));
  const std::vector<uint32_t> same = GroupByPlace(points, snap, shape);
  std::vector<uint32_t> number(points.size());
  std::vector<ContourCrossing> kept;
  std::vector<Point2d> keptAt(cover.at.begin(), cover.at.begin() + placeCount);
  for (size_t k = 0; k < points.size(); ++k) {
    if (same[k] != k) {
      number[k] = number[same[k]];
      continue;
    }
    number[k] = placeCount + uint32_t(kept.size());
    kept.push_back(cover.made[k]);
    keptAt.push_back(cover.at[placeCount + k]);
  }
  auto renumber = [&](uint32_t id) { return id < placeCount ? id : number[id - placeCount]; };
  for (ContourCrossing& c : kept)
    for (uint32_t& from : c.from) from = renumber(from);
  std::vector<uint32_t> proper;
  for (size_t t = 0; t + 2 < cover.tris.size(); t += 3) {
    const uint32_t a = renumber(cover.tris[t]), b = renumber(cover.tris[t + 1]),
                   c = renumber(cover.tris[t + 2]);
    if (a != b && b != c && c != a) proper.insert(proper.end(), {a, b, c});
  }
  cover.tris = std::move(proper);
  cover.made = std::move(kept);
  cover.at = std::move(keptAt);
}

// The cover's rim: its directed edges that no other of its triangles runs
// back, as often as they are left over, by the place they start at; each
// taken at most once by the loops' sides.
class Rim {
 public:
  explicit Rim(const std::vector<uint32_t>& tris) {
    std::vector<uint64_t> uses;
    for (size_t t = 0; t + 2 < tris.size(); t += 3)
      for (size_t k = 0; k < 3; ++k) uses.push_back(Key(tris[t + k], tris[t + (k + 1) % 3]));
    std::sort(uses.begin(), uses.end());
    for (size_t i = 0; i < uses.size();) {
      size_t j = i + 1;
      while (j < uses.size() && uses[j] == uses[i]) ++j;
      const uint64_t e = uses[i];
      const auto [lo, hi] =
          std::equal_range(uses.begin(), uses.end(), Key(uint32_t(e), uint32_t(e >> 32)));
      for (int64_t k = int64_t(j - i) - int64_t(hi - lo); k > 0; --k)
        edges_.push_back({uint32_t(e >> 32), uint32_t(e)});
      i = j;
    }
    taken_.assign(edges_.size(), 0);
    left_ = edges_.size();
  }

  size_t Left() const { return left_; }

  // Takes an edge from a to b of the rim; false where none is left.
  bool Take(uint32_t a, uint32_t b) {
    for (size_t i = From(a); i < edges_.size() && edges_[i].first == a; ++i)
      if (!taken_[i] && edges_[i].second == b) {
        Mark(i, true);
        return true;
      }
    return false;
  }

  // Takes the rim's row of edges from `from` to `to` through crossings
  // (ids from placeCount on, at at) along the piece between them, within
  // reach of it, appending the crossings to through; false, taking
  // nothing, where there is no such row.
  bool Row(uint32_t from, uint32_t to, const Frame& f, const Cover& cover, double snap,
           std::vector<uint32_t>& through) {
    const Point2d a = cover.at[from], b = cover.at[to];
    const double dx = b.x - a.x, dy = b.y - a.y, length2 = dx * dx + dy * dy;
    if (!(length2 > 0.0)) return false;
    const double reach = std::max(snap, 1e-9 * std::sqrt(length2));
    const size_t start = through.size();
    std::vector<size_t> onTheWay;
    uint32_t cur = from;
    double along = 0.0;
    for (size_t step = 0; step <= cover.made.size(); ++step) {
      if (Take(cur, to)) return true;
      const size_t i = NextAlong(cur, a, dx, dy, length2, reach, f.placeCount, cover, along);
      if (i == SIZE_MAX) break;
      Mark(i, true);
      onTheWay.push_back(i);
      through.push_back(cur = edges_[i].second);
    }
    for (size_t i : onTheWay) Mark(i, false);
    through.resize(start);
    return false;
  }

 private:
  size_t From(uint32_t a) const {
    return size_t(std::lower_bound(edges_.begin(), edges_.end(), std::pair(a, 0u)) -
                  edges_.begin());
  }
  void Mark(size_t i, bool taken) {
    taken_[i] = taken;
    taken ? --left_ : ++left_;
  }
  // The first edge left from cur to a crossing further along the piece
  // from a (by dx, dy) than along, within reach of it; along moves there.
  size_t NextAlong(uint32_t cur, const Point2d& a, double dx, double dy, double length2,
                   double reach, uint32_t placeCount, const Cover& cover, double& along) const {
    for (size_t i = From(cur); i < edges_.size() && edges_[i].first == cur; ++i) {
      const uint32_t next = edges_[i].second;
      if (taken_[i] || next < placeCount) continue;
      const Point2d x = cover.at[next];
      const double t = ((x.x - a.x) * dx + (x.y - a.y) * dy) / length2;
      const double off = std::fabs((x.x - a.x) * dy - (x.y - a.y) * dx) / std::sqrt(length2);
      if (t > along && t < 1.0 && off <= reach) {
        along = t;
        return i;
      }
    }
    return SIZE_MAX;
  }

  std::vector<std::pair<uint32_t, uint32_t>> edges_;
  std::vector<uint8_t> taken_;
  size_t left_ = 0;
};

// A piece of a side between places on it.
struct Piece {
  uint32_t a, b;
  size_t side;
  bool done = false;  // run back by another piece: the surface closes on itself
};

// The sides' pieces; each meets the last one left open that runs it back:
// the open pieces of each kind as a stack, linked through below.
std::vector<Piece> PiecesOf(const Frame& f) {
  std::vector<Piece> pieces;
  for (size_t s = 0; s < f.sides.size(); ++s) {
    uint32_t from = f.sides[s].p;
    for (uint32_t x : f.on[s]) {
      pieces.push_back({from, x, s});
      from = x;
    }
    pieces.push_back({from, f.sides[s].q, s});
  }
  std::vector<uint64_t> kinds;
  for (const Piece& piece : pieces) kinds.push_back(Key(piece.a, piece.b));
  std::sort(kinds.begin(), kinds.end());
  kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
  auto kind = [&](uint64_t k) {
    const auto it = std::lower_bound(kinds.begin(), kinds.end(), k);
    return it != kinds.end() && *it == k ? size_t(it - kinds.begin()) : SIZE_MAX;
  };
  std::vector<size_t> top(kinds.size(), SIZE_MAX), below(pieces.size(), SIZE_MAX);
  for (size_t i = 0; i < pieces.size(); ++i) {
    const size_t back = kind(Key(pieces[i].b, pieces[i].a));
    if (back != SIZE_MAX && top[back] != SIZE_MAX) {
      const size_t j = top[back];
      top[back] = below[j];
      pieces[j].done = pieces[i].done = true;
    } else {
      const size_t own = kind(Key(pieces[i].a, pieces[i].b));
      below[i] = top[own];
      top[own] = i;
    }
  }
  return pieces;
}

// A crossing on a side's row along the rim, with the points before and
// after it on the row.
struct OnRow {
  uint32_t x;
  size_t side;
  uint32_t before, after;
};

// Takes the rim's row of each piece of a side that no other piece runs
// back (through: the crossings on its way, per side, and rows: each with
// its neighbours); false where a piece has no such row: it lies inside the
// cover, or crosses its rim.
bool PiecesOnRim(const Frame& f, const Cover& cover, double snap, Rim& rim,
                 std::vector<std::vector<uint32_t>>& through, std::vector<OnRow>& rows) {
  through.assign(f.sides.size(), {});
  for (const Piece& piece : PiecesOf(f)) {
    if (piece.done) continue;
    std::vector<uint32_t>& row = through[piece.side];
    const size_t start = row.size();
    if (!rim.Row(piece.a, piece.b, f, cover, snap, row)) return false;
    for (size_t k = start; k < row.size(); ++k)
      rows.push_back({row[k], piece.side, k == start ? piece.a : row[k - 1],
                      k + 1 == row.size() ? piece.b : row[k + 1]});
  }
  return true;
}

// The third corner of a side's face, off the plane.
const VertexT5* FarCorner(const CapSide& side) { return side.f->v[(side.z + 2) % 3]; }

// Whether two faces split at one point would get the same edge from it to
// their third corner (both edges crossing at the point belong to faces
// with one corner in common, a surface that crosses itself) and the point
// has no second vertex (in doubled, sorted) to keep them apart: it would
// have four faces.
bool SpokesMeet(const Frame& f, const std::vector<std::vector<uint32_t>>& through,
                const std::vector<uint32_t>& doubled) {
  std::vector<std::pair<uint32_t, const VertexT5*>> spokes;
  for (size_t s = 0; s < f.sides.size(); ++s) {
    for (uint32_t id : f.on[s]) spokes.push_back({id, FarCorner(f.sides[s])});
    for (uint32_t id : through[s]) spokes.push_back({id, FarCorner(f.sides[s])});
  }
  std::sort(spokes.begin(), spokes.end());
  for (size_t k = 1; k < spokes.size(); ++k)
    if (spokes[k] == spokes[k - 1] &&
        !std::binary_search(doubled.begin(), doubled.end(), spokes[k].first))
      return true;
  return false;
}

// Triangles of the cover round a point, each running back the edge out of
// the point of the one before: from the one whose edge into the point is
// on the rim to the one whose edge out of it is. Their first indices in
// tris, and the far ends of those two rim edges.
struct Fan {
  std::vector<size_t> tris;
  uint32_t in = 0, out = 0;
};

// The fans of the cover's triangles round point x; empty where a triangle
// at x is in none, or two run one edge from x the same way.
std::vector<Fan> FansAt(const std::vector<uint32_t>& tris, uint32_t x) {
  struct At {
    size_t t;
    uint32_t out, in;  // the far ends of its edges out of x and into x
  };
  std::vector<At> at;
  for (size_t t = 0; t + 2 < tris.size(); t += 3)
    for (size_t k = 0; k < 3; ++k)
      if (tris[t + k] == x) at.push_back({t, tris[t + (k + 1) % 3], tris[t + (k + 2) % 3]});
  // The triangle whose edge into x comes from y: SIZE_MAX for none, at.size() for two.
  auto into = [&](uint32_t y) {
    size_t found = SIZE_MAX;
    for (size_t j = 0; j < at.size(); ++j)
      if (at[j].in == y) found = found == SIZE_MAX ? j : at.size();
    return found;
  };
  std::vector<Fan> fans;
  std::vector<uint8_t> used(at.size(), 0);
  size_t runs = 0;
  for (size_t j = 0; j < at.size(); ++j) {
    bool first = true;
    for (const At& a : at) first = first && a.out != at[j].in;
    if (!first) continue;
    Fan fan{{}, at[j].in, 0};
    for (size_t i = j; i != SIZE_MAX; i = into(fan.out)) {
      if (i == at.size() || used[i]) return {};
      used[i] = 1, ++runs;
      fan.tris.push_back(at[i].t);
      fan.out = at[i].out;
    }
    fans.push_back(std::move(fan));
  }
  return runs == at.size() ? fans : std::vector<Fan>{};
}

// Where a side's face is split at a crossing that has two points: the
// point the part before it (towards the face's corner z) ends at, and the
// one the part beyond it starts at.
struct Beside {
  size_t side;
  uint32_t x, end, start;
};

// Gives crossing x a second point, for the cover's second fan round it,
// where exactly two sides cross there whose faces share their third corner
// and the cover's triangles make two fans round it (the lobes of a surface
// that crosses itself along the faces' common line): each face's part
// beside a fan then takes that fan's point, so that a spoke from either
// point to the shared corner has two faces, not four. Appends x to doubled
// and the two sides' parts to beside; false, changing nothing, otherwise.
bool DoubleCrossing(const Frame& f, const OnRow& r, const OnRow& u, Cover& cover,
                    std::vector<uint32_t>& doubled, std::vector<Beside>& beside) {
  if (r.side == u.side || FarCorner(f.sides[r.side]) != FarCorner(f.sides[u.side])) return false;
  const std::vector<Fan> fans = FansAt(cover.tris, r.x);
  if (fans.size() != 2) return false;
  const uint32_t second = uint32_t(cover.at.size());
  auto pointOf = [&](uint32_t y, bool in) {
    for (size_t n = 0; n < fans.size(); ++n)
      if ((in ? fans[n].in : fans[n].out) == y) return n == 0 ? r.x : second;
    return UINT32_MAX;
  };
  std::vector<Beside> parts;
  for (const OnRow* row : {&r, &u})
    parts.push_back({row->side, r.x, pointOf(row->after, false), pointOf(row->before, true)});
  for (const Beside& b : parts)
    if (b.end == UINT32_MAX || b.start == UINT32_MAX || b.end == b.start) return false;
  cover.made.push_back(cover.made[r.x - f.placeCount]);
  cover.at.push_back(cover.at[r.x]);
  for (size_t t : fans[1].tris)
    for (size_t k = 0; k < 3; ++k)
      if (cover.tris[t + k] == r.x) cover.tris[t + k] = second;
  doubled.push_back(r.x);
  beside.insert(beside.end(), parts.begin(), parts.end());
  return true;
}

// DoubleCrossing at each crossing that two rows pass, on sides whose faces
// are split (not kept whole); doubled comes out sorted.
void DoubleCrossings(const Frame& f, std::vector<OnRow> rows, const std::vector<uint8_t>& whole,
                     Cover& cover, std::vector<uint32_t>& doubled, std::vector<Beside>& beside) {
  std::sort(rows.begin(), rows.end(), [](const OnRow& a, const OnRow& b) {
    return a.x != b.x ? a.x < b.x : a.side < b.side;
  });
  for (size_t i = 0, j = 0; i < rows.size(); i = j) {
    for (j = i + 1; j < rows.size() && rows[j].x == rows[i].x;) ++j;
    if (j - i == 2 && !whole[rows[i].side] && !whole[rows[i + 1].side])
      DoubleCrossing(f, rows[i], rows[i + 1], cover, doubled, beside);
  }
}

// Per side, whether its face is kept whole rather than split at the points
// on it: the split would give an edge from one of them to the face's third
// corner that the surface has already (faces that overlap, of a surface
// that crosses itself), and the edge would keep a third face. A face the
// split makes again goes with the one it doubles.
std::vector<uint8_t> KeptWhole(const Frame& f, SurfaceChords& chords) {
  std::vector<uint8_t> whole(f.sides.size(), 0);
  for (size_t s = 0; s < f.sides.size(); ++s) {
    const VertexT5 *p = f.vertex[f.sides[s].p], *q = f.vertex[f.sides[s].q];
    for (uint32_t id : f.on[s])
      if (chords.FacesLeftOn(f.vertex[id], FarCorner(f.sides[s]), p, q) > 0) whole[s] = 1;
  }
  return whole;
}

// The faces without area that join side s, kept whole, to the points on
// it (cover ids): the polygon from p to q (as the cap runs the side) and
// back through the points, fanned from p. Its edge from p to q meets the
// side's face, the others the cover's faces along the side.
std::vector<uint32_t> Needles(const Frame& f, size_t s, const Cover& cover,
                              const std::vector<uint32_t>& through) {
  const uint32_t p = f.sides[s].p, q = f.sides[s].q;
  const Point2d a = cover.at[p], b = cover.at[q];
  std::vector<std::pair<double, uint32_t>> along;
  for (const std::vector<uint32_t>* ids : {&f.on[s], &through})
    for (uint32_t id : *ids) {
      const Point2d x = cover.at[id];
      along.push_back({(x.x - a.x) * (b.x - a.x) + (x.y - a.y) * (b.y - a.y), id});
    }
  std::sort(along.begin(), along.end());
  std::vector<uint32_t> tris;
  uint32_t last = q;
  for (auto it = along.rbegin(); it != along.rend(); ++it) {
    tris.insert(tris.end(), {p, last, it->second});
    last = it->second;
  }
  return tris;
}

// Appends the cover to the plan: its ids as the cut's places, its
// crossings numbered after the plan's (which follow the placeTotal
// places), the sides split at points on them (at a doubled crossing,
// each part at its own point, as beside says), and those kept whole
// joined to the points by faces without area.
void Emit(const Frame& f, const Cover& cover, const std::vector<std::vector<uint32_t>>& through,
          const std::vector<Beside>& beside, const std::vector<uint8_t>& whole,
          uint32_t placeTotal, CapPlan& plan) {
  const uint32_t offset = placeTotal + uint32_t(plan.crossings.size());
  auto global = [&](uint32_t id) {
    return id < f.placeCount ? f.ids[id] : id - f.placeCount + offset;
  };
  for (uint32_t id : cover.tris) plan.triangles.push_back(global(id));
  for (ContourCrossing c : cover.made) {
    for (uint32_t& from : c.from) from = global(from);
    plan.crossings.push_back(c);
  }
  for (size_t s = 0; s < f.sides.size(); ++s) {
    if (f.on[s].empty() && through[s].empty()) continue;
    if (whole[s]) {
      for (uint32_t id : Needles(f, s, cover, through[s])) plan.triangles.push_back(global(id));
      continue;
    }
    CapPlan::Split split{f.sides[s].f, f.sides[s].z, {}, {}};
    for (uint32_t id : f.on[s]) split.points.push_back(global(id));
    for (uint32_t id : through[s]) split.points.push_back(global(id));
    split.ahead = split.points;
    bool twoPoints = false;
    for (const Beside& b : beside) {
      if (b.side != s) continue;
      const auto at = std::find(through[s].begin(), through[s].end(), b.x);
      const size_t k = f.on[s].size() + size_t(at - through[s].begin());
      split.points[k] = global(b.end), split.ahead[k] = global(b.start), twoPoints = true;
    }
    if (!twoPoints) split.ahead.clear();
    plan.splits.push_back(std::move(split));
  }
}

// What an attempt at covering the cycles came to.
enum class Attempt { kCapped, kBothWays, kFailed };

// One attempt at covering the cycles (the regions wound as first, and with
// bothWays the others too): appends the cover to plan where every piece of
// a side is on its rim or run back, and every rim edge is such a piece; or
// says what to try next.
Attempt TryCover(const std::vector<std::vector<size_t>>& cycles, const GroupSides& sides,
                 const CutPlaces& places, double snap, int first, bool bothWays,
                 SurfaceChords& chords, CapPlan& plan) {
  const Frame f = FrameOf(cycles, sides.all, places, snap);
  const std::vector<std::vector<uint32_t>> contours = ContoursOf(f, cycles.size());
  Cover cover{{}, {}, f.at};
  for (int turn : {first, -first})
    if ((turn == first || bothWays) && !AddPass(f, contours, turn, snap, cover))
      return Attempt::kFailed;
  MergeCrossings(f.placeCount, snap, places.shape, cover);
  Rim rim(cover.tris);
  std::vector<std::vector<uint32_t>> through;
  std::vector<OnRow> rows;
  if (!PiecesOnRim(f, cover, snap, rim, through, rows) || rim.Left() != 0)
    return bothWays ? Attempt::kFailed : Attempt::kBothWays;
  const std::vector<uint8_t> whole = KeptWhole(f, chords);
  std::vector<uint32_t> doubled;
  std::vector<Beside> beside;
  DoubleCrossings(f, rows, whole, cover, doubled, beside);
  std::vector<VertexT5*> corners = f.vertex;
  corners.resize(cover.at.size(), nullptr);
  if (!chords.KeepManifold(cover.tris, corners) || SpokesMeet(f, through, doubled))
    return Attempt::kFailed;
  Emit(f, cover, through, beside, whole, uint32_t(places.at.size()), plan);
  return Attempt::kCapped;
}

// Covers the cycles as a whole: the regions they wind around the way they
// turn as a whole, or where that leaves a piece off the rim, both ways;
// false where neither is a complete cover.
bool CoverCycles(const std::vector<std::vector<size_t>>& cycles, const GroupSides& sides,
                 const CutPlaces& places, double snap, SurfaceChords& chords, CapPlan& plan) {
  const int first = TurnOf(cycles, sides.all, places);
  for (bool bothWays : {false, true}) {
    const Attempt a = TryCover(cycles, sides, places, snap, first, bothWays, chords, plan);
    if (a != Attempt::kBothWays) return a == Attempt::kCapped;
  }
  return false;
}

}  // namespace

bool TessellateGroup(const std::vector<CapLoop>& caps, const std::vector<size_t>& group,
                     const CutPlaces& places, double snap, SurfaceChords& chords, CapPlan& plan) {
  const size_t triangles0 = plan.triangles.size(), crossings0 = plan.crossings.size(),
               splits0 = plan.splits.size();
  const GroupSides sides = SidesOfGroup(caps, group);
  std::vector<std::vector<size_t>> cycles;
  if (ChainCycles(sides, cycles) && CoverCycles(cycles, sides, places, snap, chords, plan))
    return true;
  plan.triangles.resize(triangles0);
  plan.crossings.resize(crossings0);
  plan.splits.resize(splits0);
  return false;
}

}  // namespace quarnel
