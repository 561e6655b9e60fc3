#include "cut_families.h"

#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>
#include <set>
#include <utility>

namespace quarnel::bench {

using test::Soup;

namespace {

using F3 = std::array<float, 3>;

// ---------------------------------------------------------------------------
// Bodies.

// Adds a body with vertices of its own.
void Append(Soup& out, const Soup& body) {
  const int base = int(out.points.size());
  out.points.insert(out.points.end(), body.points.begin(), body.points.end());
  for (const auto& t : body.tris)
    out.tris.push_back({t[0] + base, t[1] + base, t[2] + base});
}

// Points at one place become one, the first of them.
Soup Welded(const Soup& s) {
  std::map<F3, int> at;
  std::vector<int> to(s.points.size());
  Soup out;
  for (size_t i = 0; i < s.points.size(); ++i) {
    const Vec3f& p = s.points[i];
    const auto [it, added] = at.try_emplace(F3{p.x, p.y, p.z}, int(out.points.size()));
    if (added) out.points.push_back(p);
    to[i] = it->second;
  }
  for (const auto& t : s.tris)
    out.tris.push_back({to[size_t(t[0])], to[size_t(t[1])], to[size_t(t[2])]});
  return out;
}

Soup Inward(Soup s) {
  for (auto& t : s.tris)
    std::swap(t[1], t[2]);
  return s;
}

double Volume(const Soup& s) {
  double sum = 0.0;
  for (const auto& t : s.tris) {
    const Vec3d a(s.points[size_t(t[0])]), b(s.points[size_t(t[1])]), c(s.points[size_t(t[2])]);
    sum += a.Dot(b.Cross(c));
  }
  return sum / 6.0;
}

Soup Outward(Soup s) {
  return Volume(s) < 0.0 ? Inward(std::move(s)) : s;
}

void Quad(Soup& s, int a, int b, int c, int d) {
  s.tris.push_back({a, b, c});
  s.tris.push_back({a, c, d});
}

// Point i of n + 1 from lo to hi, the ends exactly.
float Lerp(float lo, float hi, int i, int n) {
  if (i == 0) return lo;
  if (i == n) return hi;
  return float(lo + (double(hi) - lo) * i / n);
}

// The box [lo, hi], each side n x n squares of two triangles, wound outwards.
Soup GridBox(F3 lo, F3 hi, int n) {
  Soup s;
  for (int a = 0; a < 3; ++a)
    for (int side = 0; side < 2; ++side) {
      // (u, v, a) is right-handed on the high side, left-handed on the low.
      const int u = side ? (a + 1) % 3 : (a + 2) % 3, v = side ? (a + 2) % 3 : (a + 1) % 3;
      const int base = int(s.points.size());
      for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
          F3 p;
          p[size_t(a)] = side ? hi[size_t(a)] : lo[size_t(a)];
          p[size_t(u)] = Lerp(lo[size_t(u)], hi[size_t(u)], i, n);
          p[size_t(v)] = Lerp(lo[size_t(v)], hi[size_t(v)], j, n);
          s.points.push_back({p[0], p[1], p[2]});
        }
      auto at = [&](int i, int j) { return base + j * (n + 1) + i; };
      for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
          Quad(s, at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
    }
  return Welded(s);
}

Soup CubeAbout(F3 centre, float half, bool inward) {
  const Soup box = GridBox({centre[0] - half, centre[1] - half, centre[2] - half},
                           {centre[0] + half, centre[1] + half, centre[2] + half}, 1);
  return inward ? Inward(box) : box;
}

void Move(Soup& s, Vec3d by) {
  for (Vec3f& p : s.points)
    p = (Vec3d(p) + by).ToFloat();
}

// A region of the plane, cut into triangles counter-clockwise.
struct Region {
  std::vector<std::array<double, 2>> points;
  std::vector<std::array<int, 3>> tris;
};

// The prism over the region from w0 to w1, its sides `rows` rows high;
// `axes` names the coordinates that the region's two and the height become.
// Its sides stand on the region's border: the edges that one triangle alone
// runs. Wound outwards.
Soup Prism(const Region& r, float w0, float w1, int rows, std::array<int, 3> axes) {
  Soup s;
  const int n = int(r.points.size());
  for (int k = 0; k <= rows; ++k)
    for (const auto& q : r.points) {
      F3 p;
      p[size_t(axes[0])] = float(q[0]);
      p[size_t(axes[1])] = float(q[1]);
      p[size_t(axes[2])] = Lerp(w0, w1, k, rows);
      s.points.push_back({p[0], p[1], p[2]});
    }
  auto at = [n](int k, int i) { return k * n + i; };
  std::set<std::pair<int, int>> runs;
  for (const auto& t : r.tris) {
    s.tris.push_back({at(0, t[0]), at(0, t[1]), at(0, t[2])});
    s.tris.push_back({at(rows, t[0]), at(rows, t[2]), at(rows, t[1])});
    for (int z = 0; z < 3; ++z)
      runs.insert({t[size_t(z)], t[size_t((z + 1) % 3)]});
  }
  for (const auto& [a, b] : runs) {
    if (runs.count({b, a})) continue;
    for (int k = 0; k < rows; ++k)
      Quad(s, at(k, b), at(k, a), at(k + 1, a), at(k + 1, b));
  }
  return Outward(s);
}

// The float step above the largest coordinate of a model reaching |x| + 1.
double StepAt(double x) {
  const float m = float(std::fabs(x) + 1.0);
  return double(std::nextafter(m, std::numeric_limits<float>::infinity())) - m;
}

Plane3f PlaneThrough(Vec3d normal, Vec3d point) {
  normal.Normalize();
  return Plane3f{normal.ToFloat(), float(normal.Dot(point))};
}

// Both sides of the plane through `point`: the cut keeps either.
void BothWays(CutModel& m, Vec3d normal, Vec3d point) {
  m.cuts.push_back(PlaneThrough(normal, point));
  m.cuts.push_back(PlaneThrough(normal * -1.0, point));
}

BBox3f BoxAbout(Vec3d centre, double half) {
  BBox3f b;
  b.Add((centre - Vec3d(half, half, half)).ToFloat());
  b.Add((centre + Vec3d(half, half, half)).ToFloat());
  return b;
}

// ---------------------------------------------------------------------------
// Parameters.

struct Args {
  std::vector<double> values;
  double operator()(size_t i, double fallback) const {
    return i < values.size() ? values[i] : fallback;
  }
};

bool ParseArgs(const std::vector<std::string>& parts, Args& args, std::string& message) {
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string& s = parts[i];
    double v = 0.0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size() || !std::isfinite(v)) {
      message = "parameter " + std::to_string(i) + " (\"" + s + "\") is not a number";
      return false;
    }
    args.values.push_back(v);
  }
  return true;
}

// A count parameter within [lo, hi].
bool Count(const Args& a, size_t i, int fallback, int lo, int hi, int& out, std::string& message) {
  const double v = a(i, fallback);
  if (v != std::floor(v) || v < lo || v > hi) {
    message = "parameter " + std::to_string(i + 1) + " must be a whole number from " +
              std::to_string(lo) + " to " + std::to_string(hi);
    return false;
  }
  out = int(v);
  return true;
}

bool Positive(const Args& a, size_t i, double fallback, double& out, std::string& message) {
  out = a(i, fallback);
  if (out > 0.0) return true;
  message = "parameter " + std::to_string(i + 1) + " must be positive";
  return false;
}

using Maker = std::function<bool(const Args&, CutModel&, std::string&)>;

// ---------------------------------------------------------------------------
// Bodies that pass through each other.

bool Boxes2(const Args& a, CutModel& m, std::string& msg) {
  int n = 0;
  if (!Count(a, 0, 2, 1, 100, n, msg)) return false;
  const F3 d{float(a(1, 1)), float(a(2, 1)), float(a(3, 1))};
  Append(m.soup, GridBox({0, 0, 0}, {2, 2, 2}, n));
  Append(m.soup, GridBox(d, {d[0] + 2, d[1] + 2, d[2] + 2}, n));
  BothWays(m, {0, 0, 1}, {0, 0, 1.2});
  return true;
}

bool Spheres2(const Args& a, CutModel& m, std::string& msg) {
  int level = 0;
  if (!Count(a, 0, 3, 0, 7, level, msg)) return false;
  const float d = float(a(1, 1));
  Append(m.soup, test::IcosphereSoup(level));
  Append(m.soup, test::IcosphereSoup(level, 1.0f, {d, 0.05f, 0.02f}));
  BothWays(m, {0, 0, 1}, {0, 0, 0.3});
  return true;
}

bool TorusRings(const Args& a, int& rings, int& sides, std::string& msg) {
  return Count(a, 0, 48, 3, 4096, rings, msg) && Count(a, 1, 24, 3, 4096, sides, msg);
}

bool TorusBar(const Args& a, CutModel& m, std::string& msg) {
  int rings = 0, sides = 0;
  if (!TorusRings(a, rings, sides, msg)) return false;
  Append(m.soup, test::TorusSoup(rings, sides));
  Append(m.soup, GridBox({0.4f, -0.1f, -0.1f}, {1.6f, 0.1f, 0.1f}, 2));
  BothWays(m, {0, 0.1, 1}, {1, 0, 0.05});
  return true;
}

bool Tori2(const Args& a, CutModel& m, std::string& msg) {
  int rings = 0, sides = 0;
  if (!TorusRings(a, rings, sides, msg)) return false;
  Append(m.soup, test::TorusSoup(rings, sides));
  Soup second = test::TorusSoup(rings, sides);
  Move(second, {1.2, 0.1, 0.05});
  Append(m.soup, second);
  BothWays(m, {0, 0, 1}, {0, 0, 0.1});
  return true;
}

// A box standing on another, moved by (dx, dy) across it: the two meet
// over a face, each with vertices of its own, as parts of an assembly do.
bool Stacked(const Args& a, CutModel& m, std::string&) {
  const float dx = float(a(0, 0.5)), dy = float(a(1, 0.25));
  Append(m.soup, GridBox({0, 0, 0}, {2, 2, 2}, 2));
  Append(m.soup, GridBox({dx, dy, 2}, {dx + 2, dy + 2, 4}, 2));
  BothWays(m, {1, 0.1, 0}, {1.2, 0, 0});
  BothWays(m, {0, 0, 1}, {0, 0, 2});
  return true;
}

// Three bars along the axes, a little thicker each, so that no two of
// their sides lie in one plane.
bool Jack(const Args& a, CutModel& m, std::string& msg) {
  int n = 0;
  if (!Count(a, 0, 2, 1, 100, n, msg)) return false;
  for (int axis = 0; axis < 3; ++axis) {
    const float t = 0.2f + 0.01f * float(axis);
    F3 lo{-t, -t, -t}, hi{t, t, t};
    lo[size_t(axis)] = -1.0f;
    hi[size_t(axis)] = 1.0f;
    Append(m.soup, GridBox(lo, hi, n));
  }
  BothWays(m, {0, 0, 1}, {0, 0, 0.1});
  return true;
}

// ---------------------------------------------------------------------------
// Tiny loops beside large ones.

// A cavity wound inwards about `centre` holding a cube.
void AddPore(CutModel& m, Vec3d centre, double cavity, double inclusion) {
  const F3 c{float(centre.x), float(centre.y), float(centre.z)};
  Append(m.soup, CubeAbout(c, float(cavity / 2), true));
  Append(m.soup, CubeAbout(c, float(inclusion / 2), false));
  m.focus.push_back(BoxAbout(centre, 0.4 * inclusion));
}

bool PoreSizes(const Args& a, size_t first, double& box, double& cavity, double& inclusion,
               std::string& msg) {
  if (!Positive(a, first, 2, box, msg) || !Positive(a, first + 1, 0.002, cavity, msg) ||
      !Positive(a, first + 2, 0.001, inclusion, msg))
    return false;
  if (inclusion < cavity && cavity < box) return true;
  msg = "the inclusion must be smaller than the cavity, the cavity than the box";
  return false;
}

bool Cavity(const Args& a, CutModel& m, std::string& msg) {
  double box = 0, cavity = 0, inclusion = 0;
  if (!PoreSizes(a, 0, box, cavity, inclusion, msg)) return false;
  const double offset = a(6, 0);
  const Vec3d centre(a(3, 0) + offset, a(4, 0), a(5, 0));
  const float h = float(box / 2);
  Append(m.soup, GridBox({float(offset) - h, -h, -h}, {float(offset) + h, h, h}, 1));
  AddPore(m, centre, cavity, inclusion);
  const Vec3d through = centre + Vec3d(0, 0, 0.3 * inclusion);
  BothWays(m, {0, 0, 1}, through);
  BothWays(m, {0.1, 0.2, 1}, through);
  BothWays(m, {0, 0, 1}, centre);
  return true;
}

bool Pores(const Args& a, CutModel& m, std::string& msg) {
  int n = 0;
  double box = 0, cavity = 0, inclusion = 0;
  if (!Count(a, 0, 3, 1, 100, n, msg) || !PoreSizes(a, 1, box, cavity, inclusion, msg))
    return false;
  if (cavity * n >= box / 2) {
    msg = "the cavities do not fit side by side in the box";
    return false;
  }
  const float h = float(box / 2);
  Append(m.soup, GridBox({-h, -h, -h}, {h, h, h}, 2));
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i)
      AddPore(m, Vec3d(-box / 2 + box * (i + 0.5) / n, -box / 2 + box * (j + 0.5) / n, 0.0),
              cavity, inclusion);
  BothWays(m, {0, 0, 1}, {0, 0, 0.3 * inclusion});
  return true;
}

// ---------------------------------------------------------------------------
// Thin walls and slots.

bool WallSize(const Args& a, double fallbackK, double fallbackOffset, int& k, double& offset,
              std::string& msg) {
  if (!Count(a, 0, int(fallbackK), 1, 1000, k, msg)) return false;
  offset = a(1, fallbackOffset);
  if (std::fabs(offset) <= 1e7) return true;
  msg = "the offset must be within 1e7 of the origin";
  return false;
}

bool Hollow(const Args& a, CutModel& m, std::string& msg) {
  int k = 0;
  double x = 0;
  if (!WallSize(a, 6, 1000, k, x, msg)) return false;
  const double t = k * StepAt(x);
  Append(m.soup, GridBox({float(x), 0, 0}, {float(x + 1), 1, 1}, 1));
  Append(m.soup, Inward(GridBox({float(x + t), float(t), float(t)},
                                {float(x + 1 - t), float(1 - t), float(1 - t)}, 1)));
  BothWays(m, {0, 0, 1}, {x, 0, 0.5});
  return true;
}

// The block [x, x + 1] x [0, 1]^2 with a slot k steps wide, seen along y:
// a U whose arms stand on a bar 0.25 high.
bool USlot(const Args& a, CutModel& m, std::string& msg) {
  int k = 0;
  double x = 0;
  if (!WallSize(a, 4, 1e5, k, x, msg)) return false;
  const double x0 = float(x), x1 = float(x + 1), s0 = float(x + 0.5);
  const double s1 = float(s0 + k * StepAt(x));
  Region u;
  u.points = {{x0, 0}, {x1, 0}, {x1, 1}, {s1, 1}, {s1, 0.25}, {s0, 0.25}, {s0, 1}, {x0, 1}};
  u.tris = {{0, 1, 4}, {0, 4, 5}, {1, 2, 4}, {4, 2, 3}, {0, 5, 7}, {5, 6, 7}};
  Append(m.soup, Prism(u, 0.0f, 1.0f, 1, {0, 2, 1}));
  BothWays(m, {0, 0, 1}, {x, 0, 0.6});
  BothWays(m, {0.02, 0.1, 1}, {x, 0, 0.6});
  return true;
}

// ---------------------------------------------------------------------------
// Many loops.

bool ManyLoops(const Args& a, CutModel& m, std::string& msg, Soup (*make)(int)) {
  int n = 0;
  if (!Count(a, 0, 100, 1, 1000000, n, msg)) return false;
  m.soup = make(n);
  BothWays(m, {0, 0, 1}, {0, 0, 0.5});
  return true;
}

// ---------------------------------------------------------------------------
// Special cases.

Vec3d Turned(Vec3d p, Vec3d axis, double angle) {
  axis.Normalize();
  const double c = std::cos(angle), s = std::sin(angle);
  return p * c + axis.Cross(p) * s + axis * (axis.Dot(p) * (1 - c));
}

bool Tunnel(const Args& a, CutModel& m, std::string& msg) {
  const double angle = a(0, 17) * 3.141592653589793 / 180.0;
  if (std::fabs(angle) > 7.0) {
    msg = "the angle must be within 400 degrees";
    return false;
  }
  const double width = a(1, 1);
  if (!(width > 0.0 && width < 2.0)) {
    msg = "the tunnel's width must be between 0 and 2";
    return false;
  }
  // Across the block (y, z): the square [0, 2]^2 around the tunnel's
  // floor from y = 1 - width / 2 to 1 + width / 2 at z = 0.5, 1 high.
  const double y0 = 1 - width / 2, y1 = 1 + width / 2;
  Region ring;
  ring.points = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {y0, 0.5}, {y1, 0.5}, {y1, 1.5}, {y0, 1.5}};
  for (int k = 0; k < 4; ++k) {
    const int o = k, o1 = (k + 1) % 4, i = 4 + k, i1 = 4 + (k + 1) % 4;
    ring.tris.push_back({o, o1, i1});
    ring.tris.push_back({o, i1, i});
  }
  Soup block = Prism(ring, 0.0f, 4.0f, 4, {1, 2, 0});
  const Vec3d axis(1, 2, 3);
  for (Vec3f& p : block.points)
    p = Turned(Vec3d(p), axis, angle).ToFloat();
  Append(m.soup, block);
  BothWays(m, Turned({0, 0, 1}, axis, angle), Turned({2, 1, 0.5}, axis, angle));
  return true;
}

bool Bore(const Args& a, CutModel& m, std::string& msg) {
  int n = 0;
  if (!Count(a, 0, 32, 4, 100000, n, msg)) return false;
  if (n % 2) {
    msg = "the pipe needs an even number of points";
    return false;
  }
  const double b = a(1, 0.5);
  if (!(b > 0.0 && b < 1.0)) {
    msg = "the bore's half axis must be between 0 and 1";
    return false;
  }
  m.soup = test::PipeSoup(test::TouchingEllipseBore(n, b), {0, n / 2}, true);
  for (double degrees : {5.0, 30.0}) {
    const double t = degrees * 3.141592653589793 / 180.0;
    BothWays(m, {0, std::sin(t), std::cos(t)}, {0, 0, 0});
  }
  return true;
}

bool SeamSphere(const Args& a, CutModel& m, std::string& msg) {
  int slices = 0, stacks = 0;
  if (!Count(a, 0, 32, 3, 4096, slices, msg) || !Count(a, 1, 16, 2, 4096, stacks, msg))
    return false;
  m.soup = test::SplitSeamSphereSoup(slices, stacks, 1.0f, a(2, 1) != 0);
  BothWays(m, {0, 1, 0.2}, {0, 0, 0});
  return true;
}

bool SeamTorus(const Args& a, CutModel& m, std::string& msg) {
  int rings = 0, sides = 0;
  if (!TorusRings(a, rings, sides, msg)) return false;
  m.soup = test::SplitMeridianTorusSoup(rings, sides);
  BothWays(m, {0, 1, 0.1}, {0, 0, 0});
  return true;
}

// A quadrilateral whose sides (0, 0)-(2, 2) and (2, 0)-(0, 1) cross, fanned
// from its first corner: its two lobes turn opposite ways.
bool Bowtie(const Args& a, CutModel& m, std::string& msg) {
  int rows = 0;
  if (!Count(a, 0, 4, 1, 10000, rows, msg)) return false;
  Region r;
  r.points = {{0, 0}, {2, 2}, {2, 0}, {0, 1}};
  r.tris = {{0, 1, 2}, {0, 2, 3}};
  m.soup = Prism(r, 0.0f, 1.0f, rows, {0, 1, 2});
  BothWays(m, {0.1, 0, 1}, {1, 1, 0.5});
  return true;
}

// ---------------------------------------------------------------------------
// The test builders' shapes.

bool Icosphere(const Args& a, CutModel& m, std::string& msg) {
  int level = 0;
  if (!Count(a, 0, 4, 0, 8, level, msg)) return false;
  m.soup = test::IcosphereSoup(level);
  return true;
}

bool Cube(const Args&, CutModel& m, std::string&) {
  m.soup = test::CubeSoup();
  return true;
}

bool Torus(const Args& a, CutModel& m, std::string& msg) {
  int rings = 0, sides = 0;
  if (!Count(a, 0, 64, 3, 4096, rings, msg) || !Count(a, 1, 32, 3, 4096, sides, msg))
    return false;
  m.soup = test::TorusSoup(rings, sides);
  return true;
}

bool Beam(const Args& a, CutModel& m, std::string& msg) {
  int segments = 0;
  double length = 0;
  if (!Positive(a, 0, 100, length, msg) || !Count(a, 1, 100, 1, 1000000, segments, msg))
    return false;
  m.soup = test::BeamSoup(float(length), segments);
  return true;
}

const std::map<std::string, Maker>& Makers() {
  static const std::map<std::string, Maker> makers = {
      {"icosphere", Icosphere},
      {"cube", Cube},
      {"torus", Torus},
      {"beam", Beam},
      {"boxes2", Boxes2},
      {"spheres2", Spheres2},
      {"torusbar", TorusBar},
      {"tori2", Tori2},
      {"jack", Jack},
      {"stacked", Stacked},
      {"cavity", Cavity},
      {"pores", Pores},
      {"hollow", Hollow},
      {"uslot", USlot},
      {"cubes", [](const Args& a, CutModel& m,
                   std::string& msg) { return ManyLoops(a, m, msg, SeparateCubes); }},
      {"checker", [](const Args& a, CutModel& m,
                     std::string& msg) { return ManyLoops(a, m, msg, CheckerCubes); }},
      {"shells", [](const Args& a, CutModel& m,
                    std::string& msg) { return ManyLoops(a, m, msg, NestedShells); }},
      {"slab", [](const Args& a, CutModel& m,
                  std::string& msg) { return ManyLoops(a, m, msg, PerforatedSlab); }},
      {"tunnel", Tunnel},
      {"bore", Bore},
      {"seamsphere", SeamSphere},
      {"seamtorus", SeamTorus},
      {"bowtie", Bowtie},
  };
  return makers;
}

std::string FamilyOf(const std::string& source) {
  return source.substr(0, source.find(':'));
}

std::vector<std::string> SplitAt(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t start = 0;
  for (;;) {
    const size_t k = s.find(sep, start);
    out.push_back(s.substr(start, k - start));
    if (k == std::string::npos) return out;
    start = k + 1;
  }
}

}  // namespace

bool IsGeneratedSource(const std::string& source) {
  const std::string family = FamilyOf(source);
  return family == "flat" || family == "soup" || family == "far" || Makers().count(family) > 0;
}

namespace {

// The model moved by `offset` along x, with its cuts and focus.
void MoveAlongX(CutModel& m, double offset) {
  Move(m.soup, {offset, 0, 0});
  for (Plane3f& pl : m.cuts)
    pl.d = float(double(pl.d) + double(pl.normal.x) * offset);
  for (BBox3f& b : m.focus) {
    b.min = (Vec3d(b.min) + Vec3d(offset, 0, 0)).ToFloat();
    b.max = (Vec3d(b.max) + Vec3d(offset, 0, 0)).ToFloat();
  }
}

// far:<offset>:<source>
bool FarModel(const std::string& source, CutModel& model, std::string& message) {
  const std::vector<std::string> parts = SplitAt(source, ':');
  Args args;
  if (parts.size() < 3 || !ParseArgs({parts[0], parts[1]}, args, message)) {
    if (message.empty()) message = "far needs an offset and a generated model after it";
    return false;
  }
  if (std::fabs(args(0, 0)) > 1e7) {
    message = "the offset must be within 1e7 of the origin";
    return false;
  }
  if (!MakeCutModel(source.substr(parts[0].size() + parts[1].size() + 2), model, message))
    return false;
  MoveAlongX(model, args(0, 0));
  return true;
}

}  // namespace

bool MakeCutModel(const std::string& source, CutModel& model, std::string& message) {
  model = CutModel{};
  const std::string family = FamilyOf(source);
  if (family == "far") return FarModel(source, model, message);
  if (family == "flat" || family == "soup") {
    const std::string inner = source.size() > family.size() ? source.substr(family.size() + 1) : "";
    if (inner.empty()) {
      message = family + " needs a generated model after it";
      return false;
    }
    if (!MakeCutModel(inner, model, message)) return false;
    model.soup = family == "flat" ? test::FlatShadedSoup(model.soup) : test::TriangleSoupOf(model.soup);
    return true;
  }
  const auto maker = Makers().find(family);
  if (maker == Makers().end()) {
    message = "no generated model is called " + family;
    return false;
  }
  Args args;
  return ParseArgs(SplitAt(source, ':'), args, message) && maker->second(args, model, message);
}

// ---------------------------------------------------------------------------
// The loop families.

Soup SeparateCubes(int loops) {
  const int side = int(std::ceil(std::sqrt(double(loops))));
  Soup s;
  for (int k = 0; k < loops; ++k)
    Append(s, test::CubeSoup(1.0f, {float(2 * (k % side)), float(2 * (k / side)), 0.0f}));
  return s;
}

// Cells (i, j) with i + j even: each touches its diagonal neighbours along
// a vertical edge, which voxel exports weld as one, four faces on it.
Soup CheckerCubes(int loops) {
  const int side = int(std::ceil(std::sqrt(2.0 * loops)));
  Soup s;
  int made = 0;
  for (int j = 0; j < side && made < loops; ++j)
    for (int i = 0; i < side && made < loops; ++i) {
      if ((i + j) % 2) continue;
      Append(s, test::CubeSoup(1.0f, {float(i), float(j), 0.0f}));
      ++made;
    }
  return Welded(s);
}

// Box k (from 0, the outermost) reaches loops - k from the origin.
Soup NestedShells(int loops) {
  Soup s;
  for (int k = 0; k < loops; ++k)
    Append(s, CubeAbout({0, 0, 0}, float(loops - k), k % 2 != 0));
  return s;
}

// A plate 2 high, with side x side square holes 1 x 1 at spacing 2 and a
// rim 1 wide all round, made on a grid of unit cells.
Soup PerforatedSlab(int side) {
  Soup s;
  const int n = 2 * side + 2;  // grid points along each axis
  auto at = [n](int a, int b, int layer) { return layer * n * n + b * n + a; };
  for (float z : {0.0f, 2.0f})
    for (int b = 0; b < n; ++b)
      for (int a = 0; a < n; ++a)
        s.points.push_back({float(a - 1), float(b - 1), z});
  const int up = n * n;
  for (int b = 0; b + 1 < n; ++b)
    for (int a = 0; a + 1 < n; ++a) {
      const int p00 = at(a, b, 0), p10 = at(a + 1, b, 0), p11 = at(a + 1, b + 1, 0),
                p01 = at(a, b + 1, 0);
      if (a % 2 && b % 2) {
        // A hole: its walls face into it.
        const int ring[5] = {p00, p10, p11, p01, p00};
        for (int k = 0; k < 4; ++k)
          Quad(s, ring[k + 1], ring[k], ring[k] + up, ring[k + 1] + up);
        continue;
      }
      Quad(s, p00 + up, p10 + up, p11 + up, p01 + up);
      Quad(s, p00, p01, p11, p10);
    }
  // The rim's outer walls, counter-clockwise round the plate.
  std::vector<int> ring;
  for (int a = 0; a + 1 < n; ++a)
    ring.push_back(at(a, 0, 0));
  for (int b = 0; b + 1 < n; ++b)
    ring.push_back(at(n - 1, b, 0));
  for (int a = n - 1; a > 0; --a)
    ring.push_back(at(a, n - 1, 0));
  for (int b = n - 1; b > 0; --b)
    ring.push_back(at(0, b, 0));
  for (size_t k = 0; k < ring.size(); ++k) {
    const int a = ring[k], c = ring[(k + 1) % ring.size()];
    Quad(s, a, c, c + up, a + up);
  }
  return s;
}

}  // namespace quarnel::bench
