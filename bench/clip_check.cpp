// clip_check: Clip and Cap measured against an independent computation of
// what the cut should give. Not a test and not a benchmark: a tool to run by
// hand over models and many cuts, reporting every cut that comes out wrong.
//
//   build/bench/clip_check [options] <source>...
//
// A source is a PLY file or a generated model named as cut_families.h
// lists them: icosphere[:level] (default 4), cube, torus[:rings:sides]
// (default 64:32), beam[:length:segments] (a length x 1 x 1 box whose long
// faces are strips of `segments` squares, default 100:100), boxes2,
// cavity:2:0.002:0.001, hollow:6:1000, flat:torus:32:16 ...
//
// Options (they apply to the sources after them):
//   --cuts N       random cuts per source (default 50): unit normal uniform
//                  on the sphere, through a point uniform in the middle 80 %
//                  of the box, or in the focus that a generated model names
//                  (boxes around its tiny loops, in turn)
//   --seed S       seed of the random cuts (default 1); every source starts
//                  from the seed afresh, so a cut can be found again
//   --heights      instead: five cuts z >= h at heights spread over the box
//   --tilted       instead: cuts tilted 0.05 to 5 degrees from one of the
//                  four long faces (+-y, +-z) through a point on that face
//   --plane a b c d  instead: this one cut (repeatable)
//   --model-cuts   instead: the cuts a generated model is made for (its
//                  floor, the height through its cavity ...), none for files
//   --join         join vertices at equal positions first, where the model
//                  is not closed as it loads and joining closes it
//   --no-join      cut the model as edit mode holds it (the default)
//   --verbose      a line for every cut, not only for the failures; each
//                  carries a hash of the result's faces, so that two
//                  builds can be compared cut by cut
//   --records      a line for every cut for scripts (clip_sweep), fields by
//                  tabs: "record", source, seed, cut, then key=value: input
//                  (closed or open), closed, border, nm (edges of 3+ faces),
//                  paired (of them, even and half each way), sameway,
//                  added (topology bits the cut added), volerr, areaerr and
//                  allowed (the cap and the plane's faces against the
//                  section, and the share the collapse may move), kept
//                  (faces on the plane facing the kept side), keptcap and
//                  keptflat (of them, the cap's and those flat on it),
//                  keptflatarea (the area of those flat on it), simple,
//                  loops, volclip (Clip by Plane's share of the signed volume
//                  error), volstep (the rest: the cap and what its step
//                  changed), volallow (what the cap may add by rounding),
//                  clipallow (what Clip by Plane may change within its
//                  tolerances),
//                  capoff (its corner farthest from the plane), openrun (the
//                  longest run of border edges), shortopen (open only by runs
//                  shorter than the edge collapse), hash, plane
//
// A model is cut as the application's edit mode holds it after File Open:
// as the importer reads it, with the box and the (not unit) face and vertex
// normals that the drawer's update sets; nothing is joined. A model closed
// only across vertices split at equal positions (a seam) has its edges, its
// border and its cross-section judged by position, and a cut of it is open
// also when a border edge between distinct vertices lies on the plane.
// Judged by position, bodies that pass through each other meet where their
// surfaces share whole lines, and their caps where each draws a diagonal
// along the same line: edges of four faces, two of each body. An edge of
// three or more faces is not counted where every piece of the surface at it
// (faces joined through a shared vertex or an edge of two faces; bodies
// share neither) runs it once each way.
// Bodies welded where they touch along an edge, as voxel exports give them,
// close it with four faces, two running it each way: such an edge counts as
// closed.
//
// Per cut it reports:
//   loops   the cut's exact cross-section of the input (from the input's
//           own triangles, in double): the number of loops and whether they
//           are simple (every crossing point on one loop once, no two
//           segments meeting in the plane except neighbours)
//   pinch   points of Clip by Plane's border that sit on two loops or twice
//           on one
//   closed  no border edge after Clip and Cap (counted from the faces'
//           corners, not from the mesh's adjacency); "open, short loops
//           only" where every run of border edges is shorter than the
//           clip's edge collapse (loops that small may stay open: not a
//           failure)
//   topo    CheckFaceFaceTopology as Clip and Cap leaves the mesh (bit 8
//           faces running a shared edge the same way, 0x20 an edge of three
//           or more faces, 0x80 a stale border bit)
//   area    the area of the cap (the faces left selected) plus that of the
//           input's faces left flat on the plane facing the removed side,
//           against the exact section's, each region as many times as the
//           loops wind round it (holes taken away, the overlap of two bodies
//           twice, a lobe of a surface through itself once whichever way it
//           turns; "net" is their signed sum): a cap laid twice
//           over a hole, or over such a face, shows as more; off by more
//           than 1 % fails, off by more than 1e-4 and what the collapse of
//           short edges on the plane may move is counted
//   on plane  faces with every corner within the tolerance of the clip's
//           edge collapse of the plane: those facing the kept side, those
//           among them flat on it (within float rounding: a fin, which
//           fails), and the input's faces flat on it facing the removed
//           side; and border edges between distinct vertices on the plane
//   vol     the result's volume against the exact volume of the input's
//           solid clipped by the half-space: the sum over the kept parts of
//           the input's triangles of the signed tetrahedra to a point on the
//           plane, to which the cap adds nothing; the error is relative to
//           the larger of the exact volume and 0.1 % of the input's
//           (a sliver cut has next to no volume to be relative to); split
//           into the clip's share and the cap's step's, with what the cap
//           may add by rounding: its area times its corners' distance from
//           the plane, at most the cut points' slack (the clip's tolerance
//           plus 1.5 float steps at the model's coordinates), and what the
//           clip may change: the area of its faces at the plane times the
//           length its edge collapse moves points and that slack
//
// A cut of a closed source fails when it adds bit 0x20 or 0x80, leaves a
// face flat on the plane facing the kept side, or when its loops are simple
// and Clip by Plane pinches them, or the result is open, sets bit 8, misses
// the volume by more than 1e-4 or the section's area by more than 1 %. Of
// an open source only the topology bits that the cut adds (8, 0x20, 0x80)
// are checked. Prints each failure with its plane, for --plane, and the
// reasons, then a summary per source; exits 1 when a cut failed.
//
//   build/bench/clip_check /work/.../*.ply         every model, 50 cuts each
//   build/bench/clip_check --heights samples/torus_colour.ply
//   build/bench/clip_check --tilted --cuts 100 beam
//   build/bench/clip_check --verbose --seed 3 --cuts 200 --join icosphere:6

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/border_loops.h"
#include "core/clean.h"
#include "core/clip_ops.h"
#include "core/normals.h"
#include "core/topology.h"
#include "cut_families.h"
#include "section_geometry.h"
#include "io/ply_importer.h"
#include "support/mesh_builders.h"
#include "support/volumes.h"

using namespace quarnel;
using bench::AnyCrossing;
using bench::LayeredArea;
using bench::Seg2;

namespace {

struct D3 {
  double x = 0, y = 0, z = 0;
};
D3 operator-(D3 a, D3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
D3 operator+(D3 a, D3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
D3 operator*(D3 a, double s) {
  return {a.x * s, a.y * s, a.z * s};
}
double Dot(D3 a, D3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
D3 Cross(D3 a, D3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
D3 Of(const Vec3f& p) {
  return {p.x, p.y, p.z};
}

// The clip's own signed value: the plane's floats taken as doubles.
double Value(const Plane3f& pl, D3 p) {
  return double(pl.normal.x) * p.x + double(pl.normal.y) * p.y + double(pl.normal.z) * p.z -
         double(pl.d);
}

// ---------------------------------------------------------------------------
// Sources.

// A generated model (cut_families.h) or a PLY file; `model` keeps the cuts
// and the focus the generated model names.
bool LoadSource(const std::string& name, MeshT5& mesh, bench::CutModel& model,
                std::string& message) {
  model = bench::CutModel{};
  if (bench::IsGeneratedSource(name)) {
    if (!bench::MakeCutModel(name, model, message)) return false;
    mesh = test::Build<MeshT5>(model.soup);
    return true;
  }
  IoMask mask{};
  if (PlyImporter::Open(mesh, name.c_str(), 0, nullptr, 0, nullptr, mask, {}) != 0) {
    message = "does not load (error " + std::to_string(mesh.lastError) + ")";
    return false;
  }
  return true;
}

// Vertices that stand at one position share a class: the smallest index
// among them. Faces meeting along a seam whose vertices are split (distinct
// records at equal positions) meet at equal classes.
std::vector<uint32_t> PositionClasses(const MeshT5& m) {
  std::vector<uint32_t> order(m.vertices.size());
  for (size_t i = 0; i < order.size(); ++i)
    order[i] = uint32_t(i);
  auto less = [&m](uint32_t a, uint32_t b) {
    const Vec3f& p = m.vertices[a].position;
    const Vec3f& q = m.vertices[b].position;
    if (p.x != q.x) return p.x < q.x;
    if (p.y != q.y) return p.y < q.y;
    if (p.z != q.z) return p.z < q.z;
    return a < b;
  };
  std::sort(order.begin(), order.end(), less);
  std::vector<uint32_t> cls(order.size());
  for (size_t k = 0; k < order.size(); ++k) {
    const bool same = k > 0 && m.vertices[order[k]].position == m.vertices[order[k - 1]].position;
    cls[order[k]] = same ? cls[order[k - 1]] : order[k];
  }
  return cls;
}

// The identity: every vertex its own class.
std::vector<uint32_t> IndexClasses(const MeshT5& m) {
  std::vector<uint32_t> cls(m.vertices.size());
  for (size_t i = 0; i < cls.size(); ++i)
    cls[i] = uint32_t(i);
  return cls;
}

// Undirected edge uses and directed edge uses of the live faces, between
// vertex classes.
struct EdgeCensus {
  int border = 0;         // edges of one face
  int nonManifold = 0;    // edges of three or more (not where bodies meet, told by piece)
  int paired = 0;         // of them, edges of an even number run half each way
  int sameWay = 0;        // edges of two faces running them the same way
  int degenerate = 0;     // faces with a repeated corner
  int borderOnPlane = 0;  // border edges with both ends on the plane (when one is given)
  std::vector<std::array<uint32_t, 2>> borderEdges;  // their ends' classes
  // Bodies welded where they touch along an edge (cubes of a voxel export)
  // close it with two faces each: an edge of four faces, two each way.
  bool Closed() const { return border == 0 && nonManifold == paired && degenerate == 0; }
};

// One face's use of an edge: the edge (lower class, higher class) in the
// high bits of `key`, whether the face runs it from the lower to the higher
// in the lowest; `face` the face's index.
struct EdgeUse {
  uint64_t key = 0;
  uint32_t face = 0;
  bool operator<(const EdgeUse& o) const { return key != o.key ? key < o.key : face < o.face; }
  bool SameEdge(const EdgeUse& o) const { return key >> 1 == o.key >> 1; }
};

// The uses of the edges of the live faces between classes, sorted by edge;
// faces with a repeated corner are counted in `degenerate` and left out.
std::vector<EdgeUse> EdgeUses(const MeshT5& m, const std::vector<uint32_t>& cls, int& degenerate) {
  std::vector<EdgeUse> uses;
  uses.reserve(3 * m.faces.size());
  for (size_t i = 0; i < m.faces.size(); ++i) {
    const FaceT5& f = m.faces[i];
    if (!IsLive(f.flags)) continue;
    uint64_t id[3];
    for (int z = 0; z < 3; ++z)
      id[z] = cls[m.VertexIndex(f.v[z])];
    if (id[0] == id[1] || id[1] == id[2] || id[2] == id[0]) {
      ++degenerate;
      continue;
    }
    for (int z = 0; z < 3; ++z) {
      const uint64_t a = id[z], b = id[(z + 1) % 3];
      uses.push_back(
          {(std::min(a, b) << 32 | std::max(a, b)) << 1 | (a < b ? 1u : 0u), uint32_t(i)});
    }
  }
  std::sort(uses.begin(), uses.end());
  return uses;
}

// Pieces of the surface, by face: faces are joined where they share a
// vertex (a model gives each body vertices of its own, a flat-shaded export
// each side of it) or an edge of exactly two faces. Bodies that pass through
// each other, or touch, along whole lines meet there at edges of more faces
// and share no vertex: they stay apart.
std::vector<uint32_t> Pieces(const MeshT5& m, const std::vector<EdgeUse>& uses) {
  std::vector<uint32_t> piece(m.faces.size());
  for (uint32_t f = 0; f < piece.size(); ++f)
    piece[f] = f;
  auto root = [&piece](uint32_t f) {
    while (piece[f] != f)
      f = piece[f] = piece[piece[f]];
    return f;
  };
  std::vector<uint32_t> first(m.vertices.size(), UINT32_MAX);  // a face at each vertex
  for (uint32_t f = 0; f < piece.size(); ++f) {
    if (!IsLive(m.faces[f].flags)) continue;
    for (const VertexT5* v : m.faces[f].v) {
      uint32_t& at = first[m.VertexIndex(v)];
      if (at == UINT32_MAX) at = f;
      piece[root(f)] = root(at);
    }
  }
  for (size_t i = 0, j = 0; i < uses.size(); i = j) {
    for (j = i; j < uses.size() && uses[j].SameEdge(uses[i]);)
      ++j;
    if (j - i == 2) piece[root(uses[i].face)] = root(uses[i + 1].face);
  }
  for (uint32_t f = 0; f < piece.size(); ++f)
    piece[f] = root(f);
  return piece;
}

// Whether every piece among the uses [i, j) of one edge runs it with two
// faces, one each way: bodies that meet along the edge, each closed there.
bool EachPiecePairs(const std::vector<EdgeUse>& uses, size_t i, size_t j,
                    const std::vector<uint32_t>& piece) {
  std::map<uint32_t, std::array<int, 2>> ways;  // piece -> uses each way
  for (size_t k = i; k < j; ++k)
    ++ways[piece[uses[k].face]][uses[k].key & 1];
  for (const auto& [p, w] : ways)
    if (w[0] != 1 || w[1] != 1) return false;
  return true;
}

// Classes are indices of vertices that stand for their class, so an edge's
// ends are found again from its key. `byPiece` tells bodies apart where
// classes are positions: an edge of more faces that each piece of the
// surface closes on its own is where bodies meet, not counted. `onPlane`
// (may be null) names the plane whose border edges are counted within
// `tolerance` of it.
EdgeCensus Census(const MeshT5& m, const std::vector<uint32_t>& cls, bool byPiece,
                  const Plane3f* onPlane = nullptr, double tolerance = 0.0) {
  EdgeCensus c;
  const std::vector<EdgeUse> uses = EdgeUses(m, cls, c.degenerate);
  const std::vector<uint32_t> piece = byPiece ? Pieces(m, uses) : std::vector<uint32_t>{};
  for (size_t i = 0; i < uses.size();) {
    size_t j = i;
    int forward = 0;
    for (; j < uses.size() && uses[j].SameEdge(uses[i]); ++j)
      forward += int(uses[j].key & 1);
    const int n = int(j - i);
    if (n == 1) {
      ++c.border;
      const size_t a = size_t(uses[i].key >> 33), b = size_t((uses[i].key >> 1) & 0xffffffffu);
      c.borderEdges.push_back({uint32_t(a), uint32_t(b)});
      if (onPlane && std::fabs(Value(*onPlane, Of(m.vertices[a].position))) <= tolerance &&
          std::fabs(Value(*onPlane, Of(m.vertices[b].position))) <= tolerance)
        ++c.borderOnPlane;
    }
    const bool apart = byPiece && n > 2 && EachPiecePairs(uses, i, j, piece);
    if (n > 2 && !apart) ++c.nonManifold;
    if (n > 2 && !apart && n % 2 == 0 && 2 * forward == n) ++c.paired;
    if (n == 2 && forward != 1) ++c.sameWay;
    i = j;
  }
  return c;
}

// The length of the longest run of border edges: border edges joined where
// they share an end, their lengths summed. A loop of the cut shorter than
// the clip's edge collapse may stay open.
double LongestBorderRun(const MeshT5& m, const EdgeCensus& c) {
  std::map<uint32_t, uint32_t> parent;
  auto root = [&parent](uint32_t v) {
    parent.try_emplace(v, v);
    while (parent[v] != v)
      v = parent[v] = parent[parent[v]];
    return v;
  };
  for (const auto& e : c.borderEdges)
    parent[root(e[0])] = root(e[1]);
  std::map<uint32_t, double> length;
  double longest = 0.0;
  for (const auto& e : c.borderEdges) {
    const D3 d = Of(m.vertices[e[0]].position) - Of(m.vertices[e[1]].position);
    longest = std::max(longest, length[root(e[0])] += std::sqrt(Dot(d, d)));
  }
  return longest;
}

// ---------------------------------------------------------------------------
// The exact cut.

struct Section {
  int loops = 0;
  int points = 0;
  bool simple = true;
  const char* why = "";
  // Of the cross-section, each region as often as the loops wind round it
  // (holes taken away, two bodies' overlap twice, a lobe wound the other
  // way once); netArea is the loops' signed area summed, which lets such a
  // lobe take away from the other.
  double area = 0.0;
  double netArea = 0.0;
  double perimeter = 0.0;  // the length of its loops
};

void PlaneFrame(const Plane3f& pl, D3& u, D3& w) {
  D3 n{pl.normal.x, pl.normal.y, pl.normal.z};
  D3 a = std::fabs(n.x) < 0.6 ? D3{1, 0, 0} : D3{0, 1, 0};
  u = Cross(n, a);
  u = u * (1.0 / std::sqrt(Dot(u, u)));
  w = Cross(n, u);
  w = w * (1.0 / std::sqrt(Dot(w, w)));
}

// The segments where the surface's faces cross the plane, and the points
// they join.
struct SectionSegments {
  std::vector<D3> point;
  std::vector<std::vector<int>> next;         // each point's neighbours
  std::vector<std::array<int, 2>> ends;       // each segment's points
  std::vector<std::array<int, 2>> directed;   // from leaving to coming back
  double perimeter = 0.0;
};

// `cls` names each vertex's class (see PositionClasses): a crossing is one
// point for every edge between the same two classes. `shift` moves the
// plane that far into the kept side. Each segment runs from where its face
// leaves the positive side to where it comes back, so over a consistently
// oriented surface the segments' signed areas add up to the section's,
// holes counting negative.
SectionSegments SegmentsOfSection(const MeshT5& m, const std::vector<uint32_t>& cls,
                                  const Plane3f& pl, double shift) {
  auto side = [&pl, shift](D3 p) { return Value(pl, p) - shift; };
  SectionSegments g;
  using Key = std::pair<size_t, size_t>;
  std::map<Key, int> id;
  // A crossing at an end of its edge (a vertex exactly on the plane) is that
  // vertex, whichever edge reaches it.
  auto pointOf = [&](const VertexT5* a, const VertexT5* b) {
    size_t ia = cls[m.VertexIndex(a)], ib = cls[m.VertexIndex(b)];
    D3 p0 = Of(a->position), p1 = Of(b->position);
    double s0 = side(p0), s1 = side(p1);
    Key k{std::min(ia, ib), std::max(ia, ib)};
    if (s0 == 0.0) k = {ia, ia};
    if (s1 == 0.0) k = {ib, ib};
    auto it = id.find(k);
    if (it != id.end()) return it->second;
    double t = s0 / (s0 - s1);
    g.point.push_back(p0 + (p1 - p0) * t);
    g.next.emplace_back();
    return id[k] = int(g.point.size() - 1);
  };
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    int ends[2], n = 0, out = -1, in = -1;
    for (int z = 0; z < 3; ++z) {
      const VertexT5* a = f.v[z];
      const VertexT5* b = f.v[(z + 1) % 3];
      const bool pa = side(Of(a->position)) > 0, pb = side(Of(b->position)) > 0;
      if (pa != pb && n < 2) {
        ends[n] = pointOf(a, b);
        (pa ? out : in) = ends[n];
        ++n;
      }
    }
    if (n != 2 || ends[0] == ends[1]) continue;
    if (out >= 0 && in >= 0) g.directed.push_back({out, in});
    const D3 along = g.point[size_t(ends[1])] - g.point[size_t(ends[0])];
    g.perimeter += std::sqrt(Dot(along, along));
    g.next[size_t(ends[0])].push_back(ends[1]);
    g.next[size_t(ends[1])].push_back(ends[0]);
    g.ends.push_back({ends[0], ends[1]});
  }
  return g;
}

// The number of loops the segments make, by walking.
int LoopsOf(const SectionSegments& g) {
  int loops = 0;
  std::vector<char> seen(g.point.size(), 0);
  for (size_t i = 0; i < g.point.size(); ++i) {
    if (seen[i]) continue;
    ++loops;
    std::vector<size_t> stack{i};
    seen[i] = 1;
    while (!stack.empty()) {
      size_t k = stack.back();
      stack.pop_back();
      for (int j : g.next[k])
        if (!seen[size_t(j)]) {
          seen[size_t(j)] = 1;
          stack.push_back(size_t(j));
        }
    }
  }
  return loops;
}

// Why the section is not simple loops apart, or "" where it is.
const char* NotSimple(const SectionSegments& g, const D3& u, const D3& w) {
  for (const auto& n : g.next)
    if (n.size() != 2) return "a crossing point with other than two neighbours";
  std::vector<std::array<std::array<double, 2>, 2>> seg;
  for (const auto& e : g.ends) {
    const D3& a = g.point[size_t(e[0])];
    const D3& b = g.point[size_t(e[1])];
    seg.push_back({{{Dot(a, u), Dot(a, w)}, {Dot(b, u), Dot(b, w)}}});
  }
  return AnyCrossing(seg, g.ends) ? "loops meet in the plane" : "";
}

// The directed segments in the plane's frame, from the first point.
std::vector<Seg2> DirectedInPlane(const SectionSegments& g, const D3& u, const D3& w) {
  std::vector<Seg2> flat;
  if (g.point.empty()) return flat;
  const D3 origin = g.point[0];
  for (const auto& d : g.directed) {
    const D3 a = g.point[size_t(d[0])] - origin, b = g.point[size_t(d[1])] - origin;
    flat.push_back({{{Dot(a, u), Dot(a, w)}, {Dot(b, u), Dot(b, w)}}});
  }
  return flat;
}

Section ExactSection(const MeshT5& m, const std::vector<uint32_t>& cls, const Plane3f& pl,
                     double shift) {
  const SectionSegments g = SegmentsOfSection(m, cls, pl, shift);
  D3 u, w;
  PlaneFrame(pl, u, w);
  Section s;
  s.points = int(g.point.size());
  s.perimeter = g.perimeter;
  const std::vector<Seg2> flat = DirectedInPlane(g, u, w);
  double twiceArea = 0.0;
  for (const Seg2& e : flat)
    twiceArea += e[0][0] * e[1][1] - e[0][1] * e[1][0];
  s.netArea = std::fabs(twiceArea) * 0.5;
  s.area = s.netArea;
  s.why = NotSimple(g, u, w);
  s.simple = s.why[0] == '\0';
  s.loops = LoopsOf(g);
  // A region may lie inside several loops (bodies that overlap) or inside
  // a lobe wound the other way (a surface that passes through itself, whose
  // lobes may also lie apart): it is covered once for each layer.
  if (!g.point.empty()) {
    const double layered = LayeredArea(flat);
    if (layered >= 0.0) s.area = layered;
  }
  return s;
}

// Area of the cap: the live faces that Clip and Cap leaves selected (the
// input's faces come unselected).
double CapArea(const MeshT5& m) {
  double sum = 0.0;
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags) || !(f.flags & ElemFlag::Selected)) continue;
    const D3 a = Of(f.v[0]->position), b = Of(f.v[1]->position), c = Of(f.v[2]->position);
    const D3 n = Cross(b - a, c - a);
    sum += 0.5 * std::sqrt(Dot(n, n));
  }
  return sum;
}

// A fingerprint of the result: the corners of the live faces in array order,
// by position, so that two builds can be compared cut by cut (--verbose).
uint64_t ResultHash(const MeshT5& m) {
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const void* p, size_t n) {
    const unsigned char* b = static_cast<const unsigned char*>(p);
    for (size_t i = 0; i < n; ++i)
      h = (h ^ b[i]) * 1099511628211ull;
  };
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    for (const VertexT5* v : f.v)
      mix(&v->position, sizeof v->position);
  }
  return h;
}

// Vertices of Clip by Plane's border met more than once over all its loops,
// on the mesh as Clip by Plane leaves it (with its adjacency and border bits).
int PinchedPoints(MeshT5& m, int& loops) {
  std::vector<BorderLoop> found;
  CollectBorderLoops(m, found);
  loops = int(found.size());
  std::vector<int> count(m.vertices.size(), 0);
  const size_t bound = 3 * m.faces.size();
  for (const BorderLoop& loop : found) {
    FacePos p = loop.Start();
    for (size_t steps = 0; steps < bound; ++steps) {
      ++count[m.VertexIndex(p.v)];
      if (!p.NextBorder(bound) || p == loop.Start()) break;
    }
  }
  int pinched = 0;
  for (int c : count)
    pinched += c > 1;
  return pinched;
}

// ---------------------------------------------------------------------------
// Cuts.

struct Rng {
  std::mt19937_64 engine;
  explicit Rng(uint64_t seed) : engine(seed) {}
  double Uniform() { return double(engine() >> 11) * (1.0 / 9007199254740992.0); }
  double Gauss() {
    double u = std::max(Uniform(), 1e-300), v = Uniform();
    return std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }
};

Plane3f MakePlane(D3 n, D3 p) {
  n = n * (1.0 / std::sqrt(Dot(n, n)));
  return Plane3f{Vec3f(float(n.x), float(n.y), float(n.z)), float(Dot(n, p))};
}

struct Options {
  int cuts = 50;
  uint64_t seed = 1;
  enum { Random, Heights, Tilted, Given, Model } mode = Random;
  std::vector<Plane3f> given;
  bool verbose = false;
  bool records = false;
  bool join = false;
};

// Random cuts pass through the model's focus where it names one, a box of
// it in turn for each cut.
std::vector<Plane3f> Cuts(const Options& opt, const BBox3f& box, const bench::CutModel& model) {
  std::vector<Plane3f> out;
  Rng rng(opt.seed);
  D3 lo = Of(box.min), hi = Of(box.max);
  auto within = [&rng](D3 a, D3 b, double margin) {
    return D3{a.x + (b.x - a.x) * (margin + (1 - 2 * margin) * rng.Uniform()),
              a.y + (b.y - a.y) * (margin + (1 - 2 * margin) * rng.Uniform()),
              a.z + (b.z - a.z) * (margin + (1 - 2 * margin) * rng.Uniform())};
  };
  auto inside = [&](double margin) { return within(lo, hi, margin); };
  auto through = [&](int i) {
    if (model.focus.empty()) return inside(0.1);
    const BBox3f& f = model.focus[size_t(i) % model.focus.size()];
    return within(Of(f.min), Of(f.max), 0.0);
  };
  switch (opt.mode) {
    case Options::Given:
      return opt.given;
    case Options::Model:
      return model.cuts;
    case Options::Heights:
      for (int i = 0; i < 5; ++i) {
        const double h = lo.z + (hi.z - lo.z) * (0.1 + 0.2 * i);
        out.push_back(MakePlane({0, 0, 1}, {0, 0, h}));
      }
      return out;
    case Options::Random:
      for (int i = 0; i < opt.cuts; ++i)
        out.push_back(MakePlane({rng.Gauss(), rng.Gauss(), rng.Gauss()}, through(i)));
      return out;
    case Options::Tilted:
      for (int i = 0; i < opt.cuts; ++i) {
        const int face = int(rng.Uniform() * 4) % 4;  // +y, -y, +z, -z
        D3 n = face < 2 ? D3{0, face == 0 ? 1.0 : -1.0, 0} : D3{0, 0, face == 2 ? 1.0 : -1.0};
        D3 t1{1, 0, 0};
        D3 t2 = Cross(n, t1);
        const double phi = 6.283185307179586 * rng.Uniform();
        const double theta = (0.05 + 4.95 * rng.Uniform()) * 3.141592653589793 / 180.0;
        D3 tilt = t1 * std::cos(phi) + t2 * std::sin(phi);
        D3 normal = n * std::cos(theta) + tilt * std::sin(theta);
        D3 p = inside(0.1);
        // Onto the face.
        if (face == 0) p.y = hi.y;
        if (face == 1) p.y = lo.y;
        if (face == 2) p.z = hi.z;
        if (face == 3) p.z = lo.z;
        if (rng.Uniform() < 0.5) normal = normal * -1.0;
        out.push_back(MakePlane(normal, p));
      }
      return out;
  }
  return out;
}

struct Tally {
  int cuts = 0, simple = 0, simpleClosed = 0, simpleBit8 = 0, bit20 = 0, bit80 = 0;
  int volumeOff = 0, pinched = 0, failed = 0, open = 0;
  int keptSideCuts = 0, keptSideFaces = 0, keptFlatCuts = 0, keptFlatFaces = 0;
  int areaOff = 0, simpleAreaOff = 0;

  Tally& operator+=(const Tally& t) {
    cuts += t.cuts, simple += t.simple, simpleClosed += t.simpleClosed;
    simpleBit8 += t.simpleBit8, bit20 += t.bit20, bit80 += t.bit80;
    volumeOff += t.volumeOff, pinched += t.pinched, failed += t.failed, open += t.open;
    keptSideCuts += t.keptSideCuts, keptSideFaces += t.keptSideFaces;
    keptFlatCuts += t.keptFlatCuts, keptFlatFaces += t.keptFlatFaces;
    areaOff += t.areaOff, simpleAreaOff += t.simpleAreaOff;
    return *this;
  }
};

// The live faces with every corner within `tolerance` of the plane (the
// collapse's), by the side their normal faces, and those among them that lie
// flat in it: every corner within the rounding of float positions.
// No face belongs flat on the plane facing the kept (positive) side: such a
// face is a fin on the kept solid. Those of the input that lie flat on it
// facing the removed side are part of the kept solid's face on the cut,
// beside the cap. A face within the tolerance but not flat may be a face of
// a thin wedge that the cut leaves, nearly parallel to it. A face whose
// corners lie on one line but for their rounding faces no side and is not
// counted. `outward` is -1
// for a model whose faces turn inward (its volume is negative), whose faces
// and cap then face the other way, else 1.
struct PlaneFaces {
  int keptSide = 0;  // cap or input
  int keptSideCap = 0;  // of them, the cap's
  int keptSideFlat = 0;
  double keptSideFlatArea = 0.0;
  int removedSideFlat = 0;  // of the input (not selected)
  double removedSideFlatArea = 0.0;
};

// Within the rounding of float positions: the value's terms are each
// rounded to about half a float ulp of themselves.
bool FlatOn(const Plane3f& pl, const Vec3f& p) {
  const double scale = std::fabs(double(pl.normal.x) * p.x) + std::fabs(double(pl.normal.y) * p.y) +
                       std::fabs(double(pl.normal.z) * p.z) + std::fabs(double(pl.d));
  return std::fabs(Value(pl, Of(p))) <= 8.0 * double(std::numeric_limits<float>::epsilon()) * scale;
}

// The float step above |x|.
double StepAbove(float x) {
  const float m = std::fabs(x);
  return double(std::nextafter(m, std::numeric_limits<float>::infinity())) - m;
}

// Whether a point lies in the plane but for the rounding of its own
// coordinates and of the plane's offset (two float steps of each).
bool InPlane(const Plane3f& pl, const Vec3f& p) {
  const double rounding = std::fabs(pl.normal.x) * StepAbove(p.x) +
                          std::fabs(pl.normal.y) * StepAbove(p.y) +
                          std::fabs(pl.normal.z) * StepAbove(p.z) + StepAbove(pl.d);
  return std::fabs(Value(pl, Of(p))) <= 2.0 * rounding;
}

// How far the corners of the faces lying in the plane lie from it at most;
// -1 without such faces.
double FacesInPlane(const MeshT5& m, const Plane3f& pl) {
  double off = -1.0;
  for (const FaceT5& f : m.faces)
    if (IsLive(f.flags) && InPlane(pl, f.v[0]->position) && InPlane(pl, f.v[1]->position) &&
        InPlane(pl, f.v[2]->position))
      for (const VertexT5* v : f.v)
        off = std::max(off, std::fabs(Value(pl, Of(v->position))));
  return off;
}

// Whether the face's height over its longest side is within two float
// steps of its largest coordinate: its corners lie on one line but for
// their rounding.
bool WithoutArea(const FaceT5& f, double area) {
  double longest = 0.0;
  float largest = 0.0f;
  for (int k = 0; k < 3; ++k) {
    const D3 side = Of(f.v[(k + 1) % 3]->position) - Of(f.v[k]->position);
    longest = std::max(longest, std::sqrt(Dot(side, side)));
    const Vec3f& p = f.v[k]->position;
    largest = std::max({largest, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  }
  return 2.0 * area <= 2.0 * StepAbove(largest) * longest;
}

PlaneFaces FacesOnPlane(const MeshT5& m, const Plane3f& pl, double tolerance, double outward) {
  PlaneFaces out;
  const D3 n = Of(pl.normal) * outward;
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags)) continue;
    bool on = true, flat = true;
    for (const VertexT5* v : f.v) {
      on = on && std::fabs(Value(pl, Of(v->position))) <= tolerance;
      flat = flat && FlatOn(pl, v->position);
    }
    if (!on) continue;
    const D3 a = Of(f.v[0]->position), b = Of(f.v[1]->position), c = Of(f.v[2]->position);
    const D3 cross = Cross(b - a, c - a);
    const double facing = Dot(cross, n);
    const double area = 0.5 * std::sqrt(Dot(cross, cross));
    if (WithoutArea(f, area)) continue;
    if (facing > 0.0) {
      ++out.keptSide;
      out.keptSideCap += (f.flags & ElemFlag::Selected) != 0;
      if (flat) {
        ++out.keptSideFlat;
        out.keptSideFlatArea += area;
      }
    } else if (facing < 0.0 && flat && !(f.flags & ElemFlag::Selected)) {
      ++out.removedSideFlat;
      out.removedSideFlatArea += area;
    }
  }
  return out;
}

// The length of a float step at the box's largest coordinate along each
// axis together.
double PointSteps(const BBox3f& box) {
  const float lo[3] = {box.min.x, box.min.y, box.min.z}, hi[3] = {box.max.x, box.max.y, box.max.z};
  double sum = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double step = StepAbove(std::max(std::fabs(lo[i]), std::fabs(hi[i])));
    sum += step * step;
  }
  return std::sqrt(sum);
}

// How far from the plane a point of the cut may lie: a vertex within the
// clip's tolerance of it counts as on it, and a crossing point is rounded
// to floats (half a step of its coordinates) and may be joined to another
// within a step, at most 1.5 steps at the model's largest coordinate along
// each axis, weighted by the normal.
double PlaneSlack(const Plane3f& pl, const BBox3f& box, double onPlane) {
  const float n[3] = {pl.normal.x, pl.normal.y, pl.normal.z};
  const float lo[3] = {box.min.x, box.min.y, box.min.z}, hi[3] = {box.max.x, box.max.y, box.max.z};
  double rounding = 0.0;
  for (int i = 0; i < 3; ++i)
    rounding += std::fabs(double(n[i])) * StepAbove(std::max(std::fabs(lo[i]), std::fabs(hi[i])));
  return onPlane + 1.5 * rounding;
}

// What the cap may add to the volume by rounding alone, and how far its
// corners lie from the plane. The volume is taken to a point on the plane,
// to which a cap lying in it adds nothing; a cap whose corners lie off it
// by up to d adds at most its area times d, whichever way its triangles
// are drawn. The corners are the cut's points, which may lie off the plane
// by up to `slack`: a farther one is the cap's fault, and allowed no more.
struct CapRounding {
  double allowed = 0.0;  // volume
  double offset = 0.0;   // of the cap's corner farthest from the plane
};

CapRounding RoundingOfCap(const MeshT5& m, const Plane3f& pl, double slack) {
  CapRounding out;
  for (const FaceT5& f : m.faces) {
    if (!IsLive(f.flags) || !(f.flags & ElemFlag::Selected)) continue;
    for (const VertexT5* v : f.v)
      out.offset = std::max(out.offset, std::fabs(Value(pl, Of(v->position))));
  }
  out.allowed = CapArea(m) * std::min(out.offset, slack);
  return out;
}

// What Clip by Plane may change the volume by within its tolerances. Its
// refinement splits the faces at the plane but for rounding; its edge
// collapse then moves points within `onPlane` of the plane by up to the
// collapse's length each, which sweeps a face at such a point through at
// most its area times that distance. Its faces with a corner on the plane,
// their area times the collapse's length and the points' slack, bound its
// share as the cap's area bounds the cap's.
double ClipAllowance(const MeshT5& clipped, const Plane3f& pl, double onPlane, double collapsed,
                     double slack) {
  double rimArea = 0.0;
  for (const FaceT5& f : clipped.faces) {
    if (!IsLive(f.flags)) continue;
    bool rim = false;
    for (const VertexT5* v : f.v)
      rim = rim || std::fabs(Value(pl, Of(v->position))) <= onPlane;
    if (!rim) continue;
    const D3 a = Of(f.v[0]->position), b = Of(f.v[1]->position), c = Of(f.v[2]->position);
    const D3 n = Cross(b - a, c - a);
    rimArea += 0.5 * std::sqrt(Dot(n, n));
  }
  return rimArea * (collapsed + slack);
}

// The mesh as edit mode holds it once the file is open: the drawer's update
// has set the box (from which the clip takes its tolerances) and the face
// and vertex normals, not made unit length.
void PrepareAsEditMode(MeshT5& m) {
  UpdateBoundingBox(m);
  ComputeFaceNormals(m, false);
  ComputeVertexNormals(m, false);
}

// The cap and the input's faces on the plane that face the removed side
// should cover the section once. The clip's collapse of short edges on the
// plane moves points of the loops by up to its threshold, which changes the
// area by up to half the threshold times the loops' length; a cut whose sum
// is off by more than that and this share of the section is counted.
constexpr double kAreaTolerance = 1e-4;

// A model as clip_check judges it: its edges told apart by vertex, or by
// position where it is closed only across vertices split at equal
// positions (or joined at them first, with --join).
struct Source {
  MeshT5 input;
  bench::CutModel model;
  std::vector<uint32_t> cls;  // class of each vertex for the edge census
  EdgeCensus census;
  bool merged = false, byPosition = false;
  int split = 0;  // vertices split at equal positions
};

// Joins input's vertices at equal positions (--join) or judges its edges by
// position, where either closes a model that is open by vertex.
void CloseAcrossSplits(const Options& opt, Source& src) {
  if (src.census.Closed()) return;
  if (opt.join) {
    MeshT5 m = src.input;
    if (MergeDuplicateVertices(m) <= 0) return;
    RemoveUnreferencedVertices(m);
    const std::vector<uint32_t> joined = IndexClasses(m);
    EdgeCensus after = Census(m, joined, false);
    if (!after.Closed()) return;
    src.input = m;
    PrepareAsEditMode(src.input);
    src.cls = joined;
    src.census = after;
    src.merged = true;
    return;
  }
  std::vector<uint32_t> pos = PositionClasses(src.input);
  EdgeCensus after = Census(src.input, pos, true);
  if (!after.Closed()) return;
  for (size_t i = 0; i < pos.size(); ++i)
    src.split += pos[i] != i;
  src.cls = std::move(pos);
  src.census = after;
  src.byPosition = true;
}

// The model's first line: its size and how it is judged.
void PrintSource(const std::string& name, const Source& src, double whole, uint32_t inputTopo) {
  const EdgeCensus& census = src.census;
  if (census.Closed()) {
    std::string how;
    if (src.merged) how = ", joined at equal positions";
    if (src.byPosition)
      how = ", closed across " + std::to_string(src.split) +
            " vertices split at equal positions (not joined: edges judged by position)";
    std::printf("%s: %d vertices, %d faces%s%s, volume %.9g\n", name.c_str(),
                src.input.vertexCount, src.input.faceCount, how.c_str(),
                census.sameWay ? ", NOT consistently oriented" : "", whole);
  } else {
    std::printf(
        "%s: %d vertices, %d faces, open (%d border, %d non-manifold edges, %d degenerate "
        "faces, topology 0x%x): only the topology bits that the cut adds are checked\n",
        name.c_str(), src.input.vertexCount, src.input.faceCount, census.border,
        census.nonManifold, census.degenerate, inputTopo);
  }
}

// What the source gives every cut: its volume, its tolerances, its topology.
struct SourceFacts {
  bool closedInput = false;
  D3 centre;
  double whole = 0.0;
  double diag = 0.0, onPlane = 0.0, collapsed = 0.0;
  uint32_t inputTopo = 0;
};

SourceFacts FactsOf(const Source& src) {
  SourceFacts f;
  const MeshT5& input = src.input;
  f.closedInput = src.census.Closed();
  f.centre = (Of(input.bbox.min) + Of(input.bbox.max)) * 0.5;
  f.whole = test::SignedVolume(input, Vec3d(f.centre.x, f.centre.y, f.centre.z));
  // The tolerance of the clip's edge collapse: a face within it of the
  // plane lies on the plane.
  f.diag = Distance(input.bbox.max, input.bbox.min);
  f.onPlane = double(float(f.diag * double(1e-4f)));
  f.collapsed = f.diag * double(0.001f);  // the longest edge the collapse takes
  // The topology bits the input has already: an open model is checked only
  // for bits that Clip and Cap adds.
  MeshT5 probe = input;
  BuildFaceFaceAdjacency(probe);
  f.inputTopo = CheckFaceFaceTopology(probe);
  return f;
}

// Everything measured of one cut.
struct CutResult {
  Section section;
  int clipLoops = 0, pinched = 0;
  uint32_t topo = 0, added = 0;
  EdgeCensus byVertex, after;
  double exact = 0.0, got = 0.0, error = 0.0, clipError = 0.0, stepVolume = 0.0;
  double clipAllowed = 0.0, volumeAllowed = 0.0;
  CapRounding rounding;
  bool closed = false, shortOpen = false;
  double openRun = 0.0, capArea = 0.0, areaError = 0.0, areaAllowed = 0.0;
  PlaneFaces plane;
  unsigned long long hash = 0;
};

CutResult MeasureCut(const Source& src, const SourceFacts& f, const Plane3f& pl) {
  const MeshT5& input = src.input;
  CutResult r;
  // Where the input has faces flat on the plane, which side of it they
  // are on is a matter of rounding: the kept solid's face on the cut is
  // the section just inside the kept side, beyond them.
  const double flatOff = FacesInPlane(input, pl);
  const double shift = flatOff < 0.0 ? 0.0 : 2.0 * flatOff + 1e-6 * f.diag;
  r.section = ExactSection(input, src.cls, pl, shift);
  MeshT5 clipped = input;
  ClipByPlane(clipped, pl);
  r.pinched = PinchedPoints(clipped, r.clipLoops);

  MeshT5 capped = input;
  ClipAndCap(capped, pl);
  r.topo = CheckFaceFaceTopology(capped);
  r.added = r.topo & ~f.inputTopo;
  // By vertex, and by position where the input is judged so: then a
  // border edge by vertex on the plane is a cut left open along a split.
  r.byVertex = Census(capped, IndexClasses(capped), false, &pl, f.onPlane);
  r.after = src.byPosition ? Census(capped, PositionClasses(capped), true) : r.byVertex;
  // A point on the plane: the box centre moved onto it.
  const double nn = Dot(Of(pl.normal), Of(pl.normal));
  const D3 p = f.centre - Of(pl.normal) * (Value(pl, f.centre) / nn);
  const Vec3d o(p.x, p.y, p.z);
  r.exact = test::ClippedVolume(input, pl, o);
  r.got = test::SignedVolume(capped, o);
  const double norm = std::max(std::fabs(r.exact), 1e-3 * std::fabs(f.whole));
  r.error = std::fabs(r.got - r.exact) / norm;
  // The clip's part of the error: Clip by Plane's open result closed
  // through `o`, within `clipAllowed` by its tolerances; the rest is the
  // cap's step (the cap and what it changes of the surface). The cap alone
  // may add `volumeAllowed` by rounding.
  r.clipError = (test::SignedVolume(clipped, o) - r.exact) / norm;
  r.stepVolume = (r.got - r.exact) / norm - r.clipError;
  const double slack = PlaneSlack(pl, input.bbox, f.onPlane);
  r.clipAllowed = ClipAllowance(clipped, pl, f.onPlane, f.collapsed, slack) / norm;
  r.rounding = RoundingOfCap(capped, pl, slack);
  r.volumeAllowed = r.rounding.allowed / norm;
  r.closed = r.after.border == 0 && r.after.nonManifold == r.after.paired &&
             (!src.byPosition || r.byVertex.borderOnPlane == 0);
  // Open only where loops shorter than the collapse's length are left.
  r.openRun = r.closed ? 0.0 : LongestBorderRun(capped, r.after.border ? r.after : r.byVertex);
  r.shortOpen = !r.closed && r.after.nonManifold == r.after.paired && r.openRun < f.collapsed;
  // The cap and the input's faces left on the plane facing the removed
  // side should cover the section once: a cap laid twice over a hole, or
  // over a face that stays, shows as more area.
  r.capArea = CapArea(capped);
  r.plane = FacesOnPlane(capped, pl, f.onPlane, f.whole < 0.0 ? -1.0 : 1.0);
  r.areaError = std::fabs(r.capArea + r.plane.removedSideFlatArea - r.section.area) /
                std::max(r.section.area, 1e-300);
  // Moving the loops' points by up to d moves the area by up to d times
  // their length: the collapse moves them by half its length on average,
  // and rounding (and joins within it) by 1.5 float steps of the model's
  // coordinates.
  r.areaAllowed = kAreaTolerance + (0.5 * f.collapsed + 1.5 * PointSteps(input.bbox)) *
                                       r.section.perimeter / std::max(r.section.area, 1e-300);
  r.hash = ResultHash(capped);
  return r;
}

// Counts the cut in t and returns its failures, each word led by a space.
std::string Judge(const SourceFacts& f, const CutResult& r, Tally& t) {
  const bool areaOff = r.areaError > r.areaAllowed;
  ++t.cuts;
  t.pinched += r.pinched > 0;
  t.bit20 += (r.added & TopologyProblem::NonManifoldRing) != 0;
  t.bit80 += (r.added & TopologyProblem::BorderWithNeighbour) != 0;
  t.open += f.closedInput && !r.closed;
  t.keptSideCuts += r.plane.keptSide > 0;
  t.keptSideFaces += r.plane.keptSide;
  t.keptFlatCuts += r.plane.keptSideFlat > 0;
  t.keptFlatFaces += r.plane.keptSideFlat;
  t.areaOff += f.closedInput && areaOff;
  std::string failures;
  auto failure = [&failures](bool bad, const char* what) {
    if (bad) failures += std::string(" ") + what;
  };
  failure((r.added & TopologyProblem::NonManifoldRing) != 0, "BIT-0x20");
  failure((r.added & TopologyProblem::BorderWithNeighbour) != 0, "BIT-0x80");
  if (f.closedInput) failure(r.plane.keptSideFlat > 0, "KEPT-SIDE-FACE");
  if (f.closedInput && r.section.simple) {
    ++t.simple;
    t.simpleClosed += r.closed;
    const bool bit8 = (r.topo & TopologyProblem::VertexMismatch1) != 0 || r.after.sameWay > 0;
    t.simpleBit8 += bit8;
    t.volumeOff += r.error > 1e-4;
    t.simpleAreaOff += areaOff;
    failure(r.pinched > 0, "PINCH");
    failure(!r.closed && !r.shortOpen, "OPEN");
    failure(bit8, "BIT-8");
    failure(r.error > 1e-4, "VOLUME");
    failure(r.areaError > 1e-2, "CAP-AREA");
  } else if (!f.closedInput) {
    failure((r.added & TopologyProblem::VertexMismatch1) != 0, "BIT-8");
  }
  t.failed += !failures.empty();
  return failures;
}

void PrintCut(size_t i, const Plane3f& pl, const CutResult& r, const std::string& failures) {
  std::printf(
      "  cut %zu: plane %.9g %.9g %.9g %.9g | loops %d%s%s, clip loops %d, pinch %d | "
      "%s, border %d (longest run %.3g), 3+ %d, same-way %d, topo 0x%x | vol %.9g exact %.9g "
      "err %.2e (the clip's %.2e, its tolerances allow %.2e; the cap's step %.2e, rounding "
      "allows it %.2e) | cap area %.6g section %.6g (net %.6g) hash %016llx | on plane: kept-side %d, flat %d area %.6g, "
      "removed-side flat %d area %.6g, cap+plane err %.2e allowed %.2e, border %d%s%s\n",
      i, double(pl.normal.x), double(pl.normal.y), double(pl.normal.z), double(pl.d),
      r.section.loops, r.section.simple ? " simple" : " NOT simple: ", r.section.why, r.clipLoops,
      r.pinched, r.closed ? "closed" : r.shortOpen ? "open, short loops only" : "open",
      r.after.border, r.openRun, r.after.nonManifold, r.after.sameWay, r.topo, r.got, r.exact,
      r.error, r.clipError, r.clipAllowed, r.stepVolume, r.volumeAllowed, r.capArea,
      r.section.area, r.section.netArea, r.hash, r.plane.keptSide, r.plane.keptSideFlat,
      r.plane.keptSideFlatArea, r.plane.removedSideFlat, r.plane.removedSideFlatArea,
      r.areaError, r.areaAllowed, r.byVertex.borderOnPlane, failures.empty() ? "" : "  FAIL:",
      failures.c_str());
}

void PrintRecord(const std::string& name, const Options& opt, size_t i, const Plane3f& pl,
                 const SourceFacts& f, const CutResult& r) {
  std::printf(
      "record\t%s\t%llu\t%zu\tinput=%s\tclosed=%d\tborder=%d\tnm=%d\tpaired=%d\t"
      "sameway=%d\tadded=0x%x\tvolerr=%.3e\tareaerr=%.3e\tallowed=%.3e\tkept=%d\t"
      "keptcap=%d\tkeptflat=%d\tkeptflatarea=%.3e\tsimple=%d\tloops=%d\tvolclip=%.3e\tvolstep=%.3e\t"
      "volallow=%.3e\tclipallow=%.3e\tcapoff=%.3e\topenrun=%.3e\tshortopen=%d\t"
      "hash=%016llx\t"
      "plane=%.9g %.9g %.9g %.9g\n",
      name.c_str(), (unsigned long long)opt.seed, i, f.closedInput ? "closed" : "open",
      int(r.closed), r.after.border, r.after.nonManifold, r.after.paired, r.after.sameWay,
      r.added, r.error, r.areaError, r.areaAllowed, r.plane.keptSide, r.plane.keptSideCap,
      r.plane.keptSideFlat, r.plane.keptSideFlatArea, int(r.section.simple), r.section.loops,
      r.clipError, r.stepVolume, r.volumeAllowed, r.clipAllowed, r.rounding.offset, r.openRun,
      int(r.shortOpen), r.hash, double(pl.normal.x), double(pl.normal.y), double(pl.normal.z),
      double(pl.d));
}

void PrintTally(const Tally& t, double seconds) {
  std::printf(
      "  %d cuts (%.1f s): %d with simple loops, of them %d closed, %d with bit 8, %d off in "
      "volume; over all cuts %d open, %d with bit 0x20, %d with bit 0x80, %d pinched by the "
      "clip; %d failed; %d with faces on the plane facing the kept side (%d faces; flat: %d "
      "cuts, %d faces); %d with "
      "the cap and the plane's faces off the section by more than %g and the collapse's share "
      "(%d of them simple)\n",
      t.cuts, seconds, t.simple, t.simpleClosed, t.simpleBit8, t.volumeOff, t.open, t.bit20,
      t.bit80, t.pinched, t.failed, t.keptSideCuts, t.keptSideFaces, t.keptFlatCuts,
      t.keptFlatFaces, t.areaOff, kAreaTolerance, t.simpleAreaOff);
}

bool CheckSource(const std::string& name, const Options& opt, Tally& total) {
  Source src;
  std::string message;
  if (!LoadSource(name, src.input, src.model, message)) {
    std::printf("%s: %s, skipped\n", name.c_str(), message.c_str());
    return true;
  }
  PrepareAsEditMode(src.input);
  src.cls = IndexClasses(src.input);
  src.census = Census(src.input, src.cls, false);
  CloseAcrossSplits(opt, src);
  const SourceFacts f = FactsOf(src);
  PrintSource(name, src, f.whole, f.inputTopo);

  Tally t;
  const auto started = std::chrono::steady_clock::now();
  const std::vector<Plane3f> cuts = Cuts(opt, src.input.bbox, src.model);
  for (size_t i = 0; i < cuts.size(); ++i) {
    const CutResult r = MeasureCut(src, f, cuts[i]);
    const std::string failures = Judge(f, r, t);
    if (!failures.empty() || opt.verbose) PrintCut(i, cuts[i], r, failures);
    if (opt.records) PrintRecord(name, opt, i, cuts[i], f, r);
  }
  PrintTally(t, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
  total += t;
  return t.failed == 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options opt;
  Tally total;
  bool ok = true;
  int sources = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto need = [&](int n) {
      if (i + n >= argc) {
        std::fprintf(stderr, "clip_check: %s needs %d value(s)\n", a.c_str(), n);
        std::exit(2);
      }
    };
    if (a == "--cuts") {
      need(1);
      opt.cuts = std::atoi(argv[++i]);
      if (opt.mode != Options::Tilted) opt.mode = Options::Random;
    } else if (a == "--seed") {
      need(1);
      opt.seed = std::strtoull(argv[++i], nullptr, 10);
    } else if (a == "--heights") {
      opt.mode = Options::Heights;
    } else if (a == "--tilted") {
      opt.mode = Options::Tilted;
    } else if (a == "--plane") {
      need(4);
      float v[4];
      for (float& x : v)
        x = std::strtof(argv[++i], nullptr);
      if (opt.mode != Options::Given) opt.given.clear();
      opt.mode = Options::Given;
      opt.given.push_back(Plane3f{Vec3f(v[0], v[1], v[2]), v[3]});
    } else if (a == "--model-cuts") {
      opt.mode = Options::Model;
    } else if (a == "--verbose") {
      opt.verbose = true;
    } else if (a == "--records") {
      opt.records = true;
    } else if (a == "--join") {
      opt.join = true;
    } else if (a == "--no-join") {
      opt.join = false;
    } else if (a.size() > 1 && a[0] == '-') {
      std::fprintf(stderr, "clip_check: unknown option %s\n", a.c_str());
      return 2;
    } else {
      ++sources;
      ok = CheckSource(a, opt, total) && ok;
    }
  }
  if (sources == 0) {
    std::fprintf(stderr,
                 "usage: clip_check [--cuts N] [--seed S] [--heights | --tilted | --model-cuts "
                 "| --plane a b c d]... [--join | --no-join] [--verbose] [--records] "
                 "<file.ply | generated model (see cut_families.h)>...\n");
    return 2;
  }
  std::printf(
      "total: %d cuts, %d with simple loops, of them %d closed, %d with bit 8, %d off in volume; "
      "%d open, %d with bit 0x20, %d with bit 0x80, %d pinched; %d failed; %d with faces on the "
      "plane facing the kept side (%d faces; flat: %d cuts, %d faces); %d with the cap and the "
      "plane's faces off the section (%d of them simple)\n",
      total.cuts, total.simple, total.simpleClosed, total.simpleBit8, total.volumeOff, total.open,
      total.bit20, total.bit80, total.pinched, total.failed, total.keptSideCuts,
      total.keptSideFaces, total.keptFlatCuts, total.keptFlatFaces, total.areaOff,
      total.simpleAreaOff);
  return ok ? 0 : 1;
}
