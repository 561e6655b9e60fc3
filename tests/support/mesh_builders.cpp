#include "support/mesh_builders.h"

namespace quarnel::test {

Soup TetrahedronSoup() {
  Soup s;
  s.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  s.tris = {{0, 2, 1}, {0, 1, 3}, {0, 3, 2}, {1, 2, 3}};
  return s;
}

Soup CubeSoup(float size, Vec3f o) {
  Soup s;
  for (int i = 0; i < 8; ++i)
    s.points.push_back({o.x + ((i & 1) ? size : 0.0f), o.y + ((i & 2) ? size : 0.0f),
                        o.z + ((i & 4) ? size : 0.0f)});
  // Two triangles per side, counter-clockwise seen from outside.
  s.tris = {{0, 2, 3}, {0, 3, 1},   // z = 0
            {4, 5, 7}, {4, 7, 6},   // z = 1
            {0, 1, 5}, {0, 5, 4},   // y = 0
            {2, 6, 7}, {2, 7, 3},   // y = 1
            {0, 4, 6}, {0, 6, 2},   // x = 0
            {1, 3, 7}, {1, 7, 5}};  // x = 1
  return s;
}

Soup CubeTriangleSoup() { return TriangleSoupOf(CubeSoup()); }

Soup TriangleSoupOf(const Soup& c) {
  Soup s;
  for (auto& t : c.tris) {
    int base = int(s.points.size());
    for (int k = 0; k < 3; ++k) s.points.push_back(c.points[size_t(t[k])]);
    s.tris.push_back({base, base + 1, base + 2});
  }
  return s;
}

Soup IcosphereSoup(int level, float radius, Vec3f center) {
  const double t = (1.0 + std::sqrt(5.0)) / 2.0;
  std::vector<Vec3d> p = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0},
                          {0, -1, t}, {0, 1, t}, {0, -1, -t}, {0, 1, -t},
                          {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
  for (auto& q : p) q.Normalize();
  std::vector<std::array<int, 3>> tris = {
      {0, 11, 5}, {0, 5, 1},  {0, 1, 7},   {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
      {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
      {3, 8, 9},  {4, 9, 5},  {2, 4, 11},  {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  for (int l = 0; l < level; ++l) {
    std::map<std::pair<int, int>, int> mid;
    auto midpoint = [&](int a, int b) {
      auto key = std::minmax(a, b);
      auto it = mid.find(key);
      if (it != mid.end()) return it->second;
      Vec3d m = (p[size_t(a)] + p[size_t(b)]) * 0.5;
      m.Normalize();
      p.push_back(m);
      int idx = int(p.size()) - 1;
      mid.emplace(key, idx);
      return idx;
    };
    std::vector<std::array<int, 3>> next;
    next.reserve(tris.size() * 4);
    for (auto& tr : tris) {
      int a = midpoint(tr[0], tr[1]), b = midpoint(tr[1], tr[2]), c = midpoint(tr[2], tr[0]);
      next.push_back({tr[0], a, c});
      next.push_back({tr[1], b, a});
      next.push_back({tr[2], c, b});
      next.push_back({a, b, c});
    }
    tris.swap(next);
  }
  Soup s;
  for (auto& q : p)
    s.points.push_back({float(center.x + q.x * radius), float(center.y + q.y * radius),
                        float(center.z + q.z * radius)});
  s.tris = std::move(tris);
  return s;
}

Soup GridSoup(int n, float spacing) {
  Soup s;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) s.points.push_back({i * spacing, j * spacing, 0.0f});
  auto at = [n](int i, int j) { return j * (n + 1) + i; };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      s.tris.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      s.tris.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
  return s;
}

Soup FlatShadedSoup(const Soup& s) {
  Soup out;
  std::map<std::pair<std::array<float, 3>, std::array<int, 3>>, int> at;
  for (const auto& t : s.tris) {
    Vec3d a(s.points[size_t(t[0])]), b(s.points[size_t(t[1])]), c(s.points[size_t(t[2])]);
    Vec3d n = (b - a).Cross(c - a);
    n.Normalize();
    // Directions apart by less than a thousandth of a radian are one.
    const std::array<int, 3> direction = {
        int(std::lround(n.x * 1000)), int(std::lround(n.y * 1000)), int(std::lround(n.z * 1000))};
    std::array<int, 3> tri;
    for (int k = 0; k < 3; ++k) {
      const Vec3f& p = s.points[size_t(t[size_t(k)])];
      const auto [it, added] = at.try_emplace({{p.x, p.y, p.z}, direction}, int(out.points.size()));
      if (added) out.points.push_back(p);
      tri[size_t(k)] = it->second;
    }
    out.tris.push_back(tri);
  }
  return out;
}

MeshT5 TexturedTorus(int rings, int sides, bool split, float bump) {
  const double pi = 3.141592653589793;
  const int columns = split ? sides + 1 : sides;
  auto at = [&](int i, int j) {
    return split ? i * columns + j : (i % rings) * columns + (j % sides);
  };
  Soup s;
  for (int i = 0; i < (split ? rings + 1 : rings); ++i)
    for (int j = 0; j < columns; ++j) {
      const double u = 2 * pi * i / rings, v = 2 * pi * j / sides;
      // The same at both copies of a seam point.
      const double r = 0.3 * (1.0 + bump * std::sin(7.0 * (i % rings) + 13.0 * (j % sides)));
      s.points.push_back({float((1.0 + r * std::cos(v)) * std::cos(u)),
                          float((1.0 + r * std::cos(v)) * std::sin(u)), float(r * std::sin(v))});
    }
  std::vector<std::array<std::array<int, 2>, 3>> grid;
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < sides; ++j) {
      const std::array<std::array<int, 2>, 3> halves[2] = {
          {{{i, j}, {i + 1, j}, {i + 1, j + 1}}}, {{{i, j}, {i + 1, j + 1}, {i, j + 1}}}};
      for (const auto& h : halves) {
        s.tris.push_back({at(h[0][0], h[0][1]), at(h[1][0], h[1][1]), at(h[2][0], h[2][1])});
        grid.push_back(h);
      }
    }
  MeshT5 m = Build<MeshT5>(s);
  for (size_t f = 0; f < grid.size(); ++f)
    for (int k = 0; k < 3; ++k)
      m.faces[f].wedge[k] = {float(grid[f][size_t(k)][0]) / float(rings),
                             float(grid[f][size_t(k)][1]) / float(sides), 0};
  return m;
}

int FacesWithStrayTexCoords(const MeshT5& before, const MeshT5& after) {
  std::map<std::array<float, 3>, std::vector<WedgeTexCoord>> at;
  for (const FaceT5& f : before.faces)
    if (IsLive(f.flags))
      for (int k = 0; k < 3; ++k) {
        const Vec3f& p = f.v[k]->position;
        at[{p.x, p.y, p.z}].push_back(f.wedge[k]);
      }
  int stray = 0;
  for (const FaceT5& f : after.faces) {
    if (!IsLive(f.flags) || (f.flags & ElemFlag::Selected)) continue;
    bool wrong = false;
    for (int k = 0; k < 3; ++k) {
      const Vec3f& p = f.v[k]->position;
      const auto it = at.find({p.x, p.y, p.z});
      if (it != at.end() &&
          std::find(it->second.begin(), it->second.end(), f.wedge[k]) == it->second.end())
        wrong = true;
      const WedgeTexCoord& a = f.wedge[k];
      const WedgeTexCoord& b = f.wedge[(k + 1) % 3];
      if (std::fabs(a.u - b.u) > 0.5f || std::fabs(a.v - b.v) > 0.5f) wrong = true;
    }
    stray += wrong;
  }
  return stray;
}

Soup BeamSoup(float length, int segments) {
  Soup s;
  // The four long edges, as (y, z) corners in order around the x axis.
  const float yz[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
  for (int i = 0; i <= segments; ++i)
    for (const auto& c : yz)
      s.points.push_back({float(double(length) * i / segments), c[0], c[1]});
  auto at = [](int i, int k) { return 4 * i + k % 4; };
  for (int i = 0; i < segments; ++i)
    for (int k = 0; k < 4; ++k) {
      s.tris.push_back({at(i, k), at(i + 1, k + 1), at(i + 1, k)});
      s.tris.push_back({at(i, k), at(i, k + 1), at(i + 1, k + 1)});
    }
  s.tris.push_back({at(0, 0), at(0, 2), at(0, 1)});
  s.tris.push_back({at(0, 0), at(0, 3), at(0, 2)});
  s.tris.push_back({at(segments, 0), at(segments, 1), at(segments, 2)});
  s.tris.push_back({at(segments, 0), at(segments, 2), at(segments, 3)});
  return s;
}

Soup TorusSoup(int rings, int sides, float R, float r) {
  Soup s;
  const double pi = 3.141592653589793;
  for (int i = 0; i < rings; ++i) {
    double u = 2 * pi * i / rings;
    for (int j = 0; j < sides; ++j) {
      double v = 2 * pi * j / sides;
      s.points.push_back({float((R + r * std::cos(v)) * std::cos(u)),
                          float((R + r * std::cos(v)) * std::sin(u)), float(r * std::sin(v))});
    }
  }
  auto at = [&](int i, int j) { return (i % rings) * sides + (j % sides); };
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < sides; ++j) {
      s.tris.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      s.tris.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
  return s;
}

// ---------------------------------------------------------------------------
// Meshes whose vertices are split at equal positions.

Soup SplitSeamSphereSoup(int slices, int stacks, float radius, bool trigSeam) {
  Soup s;
  const double pi = 3.141592653589793;
  // Rings 1 .. stacks - 1, each of slices + 1 points: the last stands where
  // the first does, on the other side of the seam.
  auto ring = [&](int i, int j) { return (i - 1) * (slices + 1) + j; };
  for (int i = 1; i < stacks; ++i) {
    const double theta = pi * i / stacks;
    for (int j = 0; j <= slices; ++j) {
      const double phi = 2.0 * pi * (trigSeam ? j : j % slices) / slices;
      s.points.push_back({float(radius * std::sin(theta) * std::cos(phi)),
                          float(radius * std::sin(theta) * std::sin(phi)),
                          float(radius * std::cos(theta))});
    }
  }
  for (int j = 0; j < slices; ++j) {
    const int north = int(s.points.size());
    s.points.push_back({0.0f, 0.0f, radius});
    s.tris.push_back({north, ring(1, j), ring(1, j + 1)});
    const int south = int(s.points.size());
    s.points.push_back({0.0f, 0.0f, -radius});
    s.tris.push_back({ring(stacks - 1, j), south, ring(stacks - 1, j + 1)});
  }
  for (int i = 1; i + 1 < stacks; ++i)
    for (int j = 0; j < slices; ++j) {
      s.tris.push_back({ring(i, j), ring(i + 1, j), ring(i + 1, j + 1)});
      s.tris.push_back({ring(i, j), ring(i + 1, j + 1), ring(i, j + 1)});
    }
  return s;
}

Soup SplitMeridianTorusSoup(int rings, int sides) {
  Soup s;
  const double pi = 3.141592653589793;
  for (int i = 0; i <= rings; ++i) {
    const double u = 2 * pi * i / rings;
    for (int j = 0; j < sides; ++j) {
      const double v = 2 * pi * j / sides;
      s.points.push_back({float((1.0 + 0.3 * std::cos(v)) * std::cos(u)),
                          float((1.0 + 0.3 * std::cos(v)) * std::sin(u)), float(0.3 * std::sin(v))});
    }
  }
  auto at = [&](int i, int j) { return i * sides + j % sides; };
  for (int i = 0; i < rings; ++i)
    for (int j = 0; j < sides; ++j) {
      s.tris.push_back({at(i, j), at(i + 1, j), at(i + 1, j + 1)});
      s.tris.push_back({at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    }
  return s;
}

Soup TangentBorePipeSoup(int sides, int boreSides, int rows, float height) {
  Soup s;
  const double pi = 3.141592653589793;
  // The wall is a circle of radius 1, the bore one of radius 0.5 around
  // (0.5, 0): they touch at (1, 0), where both have their point 0.
  std::vector<std::vector<int>> outer(size_t(rows + 1)), bore(size_t(rows + 1));
  for (int k = 0; k <= rows; ++k) {
    const float z = float(double(height) * k / rows);
    for (int j = 0; j < sides; ++j) {
      const double a = 2.0 * pi * j / sides;
      outer[size_t(k)].push_back(int(s.points.size()));
      s.points.push_back({float(std::cos(a)), float(std::sin(a)), z});
    }
    for (int j = 0; j < boreSides; ++j) {
      const double a = 2.0 * pi * j / boreSides;
      if (j == 0 && (k == 0 || k == rows)) {
        bore[size_t(k)].push_back(outer[size_t(k)][0]);
        continue;
      }
      bore[size_t(k)].push_back(int(s.points.size()));
      s.points.push_back({float(0.5 + 0.5 * std::cos(a)), float(0.5 * std::sin(a)), z});
    }
  }
  auto add = [&s](int a, int b, int c, bool up) {
    if (a == b || b == c || c == a) return;
    s.tris.push_back(up ? std::array<int, 3>{a, b, c} : std::array<int, 3>{a, c, b});
  };
  for (int k = 0; k < rows; ++k) {
    const std::vector<int>&o0 = outer[size_t(k)], &o1 = outer[size_t(k) + 1];
    const std::vector<int>&b0 = bore[size_t(k)], &b1 = bore[size_t(k) + 1];
    for (size_t j = 0; j < size_t(sides); ++j) {
      const size_t n = (j + 1) % size_t(sides);
      add(o0[j], o0[n], o1[n], true);
      add(o0[j], o1[n], o1[j], true);
    }
    for (size_t j = 0; j < size_t(boreSides); ++j) {
      const size_t n = (j + 1) % size_t(boreSides);
      add(b0[j], b1[n], b0[n], true);
      add(b0[j], b1[j], b1[n], true);
    }
  }
  // The ends: the two circles zipped by angle, facing down and up.
  for (size_t k : {size_t(0), size_t(rows)}) {
    const std::vector<int>&o = outer[k], &b = bore[k];
    size_t i = 0, j = 0;
    while (i < size_t(sides) || j < size_t(boreSides)) {
      const size_t ni = (i + 1) % size_t(sides), nj = (j + 1) % size_t(boreSides);
      if (j == size_t(boreSides) ||
          (i < size_t(sides) && (i + 1) * size_t(boreSides) < (j + 1) * size_t(sides))) {
        add(o[i % size_t(sides)], o[ni], b[j % size_t(boreSides)], k != 0);
        ++i;
      } else {
        add(o[i % size_t(sides)], b[nj], b[j % size_t(boreSides)], k != 0);
        ++j;
      }
    }
  }
  return s;
}

}  // namespace quarnel::test

// ---- Pipes whose bore touches the wall -------------------------------------

namespace quarnel::test {

Soup PipeSoup(const std::vector<std::array<double, 2>>& bore, const std::vector<int>& touch,
              bool shared) {
  const int n = int(bore.size());
  const double pi = 3.141592653589793;
  double cx = 0.0, cy = 0.0;
  for (const auto& p : bore)
    cx += p[0] / n, cy += p[1] / n;
  Soup s;
  // Rings 0 to 2 of the wall at z = -1, 0, 1, then those of the bore.
  auto at = [n](int ring, int k) { return ring * n + (k % n + n) % n; };
  for (int z = -1; z <= 1; ++z)
    for (int k = 0; k < n; ++k)
      s.points.push_back({float(std::cos(2 * pi * k / n)), float(std::sin(2 * pi * k / n)),
                          float(z)});
  for (int z = -1; z <= 1; ++z) {
    const double scale = z == 0 ? 1.0 : 0.8;
    for (int k = 0; k < n; ++k)
      s.points.push_back({float(cx + (bore[size_t(k)][0] - cx) * scale),
                          float(cy + (bore[size_t(k)][1] - cy) * scale), float(z)});
  }
  std::vector<int> boreAt(size_t(3 * n));
  for (int i = 0; i < 3 * n; ++i)
    boreAt[size_t(i)] = 3 * n + i;
  for (int k : touch) {
    s.points[size_t(at(4, k))] = s.points[size_t(at(1, k))];
    if (shared) boreAt[size_t(at(1, k))] = at(1, k);
  }
  auto b = [&](int ring, int k) { return boreAt[size_t(at(ring, k))]; };
  for (int ring = 0; ring < 2; ++ring)
    for (int k = 0; k < n; ++k) {
      // The wall faces out, the bore into the bore.
      s.tris.push_back({at(ring, k), at(ring, k + 1), at(ring + 1, k + 1)});
      s.tris.push_back({at(ring, k), at(ring + 1, k + 1), at(ring + 1, k)});
      s.tris.push_back({b(ring, k), b(ring + 1, k + 1), b(ring, k + 1)});
      s.tris.push_back({b(ring, k), b(ring + 1, k), b(ring + 1, k + 1)});
    }
  for (int k = 0; k < n; ++k) {
    s.tris.push_back({at(2, k), at(2, k + 1), b(2, k + 1)});
    s.tris.push_back({at(2, k), b(2, k + 1), b(2, k)});
    s.tris.push_back({at(0, k), b(0, k + 1), at(0, k + 1)});
    s.tris.push_back({at(0, k), b(0, k), b(0, k + 1)});
  }
  return s;
}

std::vector<std::array<double, 2>> TouchingCircleBore(int n, double r, int t) {
  const double pi = 3.141592653589793;
  const double ct = std::cos(2 * pi * t / n), st = std::sin(2 * pi * t / n);
  std::vector<std::array<double, 2>> bore;
  for (int k = 0; k < n; ++k)
    bore.push_back({(1 - r) * ct + r * std::cos(2 * pi * k / n),
                    (1 - r) * st + r * std::sin(2 * pi * k / n)});
  return bore;
}

std::vector<std::array<double, 2>> TouchingEllipseBore(int n, double b) {
  const double pi = 3.141592653589793;
  std::vector<std::array<double, 2>> bore;
  for (int k = 0; k < n; ++k)
    bore.push_back({std::cos(2 * pi * k / n), b * std::sin(2 * pi * k / n)});
  return bore;
}

}  // namespace quarnel::test

// ---- Solids of unit cubes, for cuts along one of their faces ----

namespace quarnel::test {

Soup VoxelSoup(const std::vector<std::array<int, 3>>& cells) {
  std::map<std::array<int, 3>, bool> filled;
  for (const auto& c : cells) filled[c] = true;
  std::map<std::array<int, 3>, int> corner;
  Soup s;
  auto point = [&](std::array<int, 3> p) {
    auto [it, added] = corner.emplace(p, int(s.points.size()));
    if (added) s.points.push_back({float(p[0]), float(p[1]), float(p[2])});
    return it->second;
  };
  for (const auto& [c, on] : filled)
    for (int axis = 0; axis < 3; ++axis)
      for (int side = 0; side < 2; ++side) {
        auto next = c;
        next[size_t(axis)] += side ? 1 : -1;
        if (filled.count(next)) continue;
        // The side's corners, counter-clockwise seen from outside.
        const size_t a = size_t(axis), b = size_t((axis + 1) % 3), d = size_t((axis + 2) % 3);
        std::array<int, 4> q;
        const int steps[4][2] = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
        for (int k = 0; k < 4; ++k) {
          auto p = c;
          p[a] += side;
          const int* st = steps[side ? k : (4 - k) % 4];
          p[b] += st[0];
          p[d] += st[1];
          q[size_t(k)] = point(p);
        }
        s.tris.push_back({q[0], q[1], q[2]});
        s.tris.push_back({q[0], q[2], q[3]});
      }
  return s;
}

Soup StairSoup() {
  std::vector<std::array<int, 3>> cells;
  for (int i = 0; i < 8; ++i)
    for (int j = 0; j < 8; ++j)
      for (int k = 0; k < (i < 4 ? 8 : 4); ++k) cells.push_back({i, j, k});
  return VoxelSoup(cells);
}

}  // namespace quarnel::test
