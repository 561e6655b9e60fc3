#include "core/curvature_flip.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <numeric>
#include <span>
#include <utility>
#include <vector>

#include "core/face_pieces.h"
#include "core/parallel_for.h"
#include "core/prefetch.h"
#include "core/topology.h"

namespace quarnel {

namespace {

// Below this dihedral angle (0.05 degree) a pair is taken as flat and left to
// FlipCoplanarEdges.
constexpr float kFlatAngle = 0.0008726646f;

double Angle(const Vec3d& a, const Vec3d& b) {
  return std::acos(std::clamp(a.Dot(b), -1.0, 1.0));
}

Vec3d Unit(Vec3d v) {
  v.Normalize();
  return v;
}

// Unit normal of the triangle (p0, p1, p2), zero when it is degenerate.
Vec3d TriangleNormal(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2) {
  Vec3d a(p0), b(p1), c(p2);
  return Unit((b - a).Cross(c - a));
}

void UpdateNormal(FaceT5& f) {
  f.normal = TriangleNormal(f.v[0]->position, f.v[1]->position, f.v[2]->position).ToFloat();
}

// Twice the area over the squared longest edge: 0.866 for an equilateral
// triangle, towards 0 for slivers.
double TriangleQuality(const Vec3f& p0, const Vec3f& p1, const Vec3f& p2) {
  Vec3d a(p0), b(p1), c(p2);
  const double cross = (b - a).Cross(c - a).Norm();
  if (cross == 0.0) return 0.0;
  const Vec3d e01 = b - a, e02 = c - a, e12 = b - c;
  const double longest = std::max({e01.Dot(e01), e02.Dot(e02), e12.Dot(e12)});
  return cross / longest;
}

// The quadrilateral around edge z of f, when that edge is shared by exactly
// two faces that link back to each other and run through it in opposite
// directions, and none of its four outer edges is in a ring. Anything else
// (border, ring of three or more, stale or inconsistent links, a texture
// seam) is not a flip candidate.
struct Quad {
  FaceT5* f;
  FaceT5* g;
  int z, zg;
  VertexT5 *a, *b, *c, *d;
};

// A border edge, or an edge whose single neighbour links back.
bool OuterEdgeMovable(const FaceT5& f, int z) {
  const FaceT5* n = f.adjFace[z];
  const int k = f.adjIndex[z];
  if (n == &f) return true;
  return n != nullptr && k >= 0 && k < 3 && n->adjFace[k] == &f && n->adjIndex[k] == z;
}

// Whether the faces f and g, sharing f's edge z as g's edge zg, give a
// shared end different texture coordinates or texture numbers: the edge is
// a texture seam. A flip would stretch the texture of one side over the
// other's triangle, so such an edge keeps its place.
bool TextureSeam(const FaceT5& f, int z, const FaceT5& g, int zg) {
  return !(f.wedge[z] == g.wedge[(zg + 1) % 3]) || !(f.wedge[(z + 1) % 3] == g.wedge[zg]);
}

// The quadrilateral of MakeQuad, its outer edges not yet asked.
bool MakeQuadCore(FaceT5& f, int z, Quad& q) {
  FaceT5* g = f.adjFace[z];
  const int zg = f.adjIndex[z];
  if (g == nullptr || g == &f || zg < 0 || zg > 2) return false;
  if (g->adjFace[zg] != &f || g->adjIndex[zg] != z) return false;
  q.f = &f;
  q.g = g;
  q.z = z;
  q.zg = zg;
  q.a = f.v[z];
  q.b = f.v[(z + 1) % 3];
  q.c = f.v[(z + 2) % 3];
  q.d = g->v[(zg + 2) % 3];
  return g->v[zg] == q.b && g->v[(zg + 1) % 3] == q.a && !TextureSeam(f, z, *g, zg);
}

// The flip hands the outer edges over between f and g and re-links the
// single neighbour across each; an outer edge in a ring of three or more
// would have the ring cut. Such a quadrilateral is left alone.
bool OuterEdgesMovable(const Quad& q) {
  return OuterEdgeMovable(*q.f, (q.z + 1) % 3) && OuterEdgeMovable(*q.f, (q.z + 2) % 3) &&
         OuterEdgeMovable(*q.g, (q.zg + 1) % 3) && OuterEdgeMovable(*q.g, (q.zg + 2) % 3);
}

bool MakeQuad(FaceT5& f, int z, Quad& q) {
  return MakeQuadCore(f, z, q) && OuterEdgesMovable(q);
}

// The walk shared by both passes: every quadrilateral around an edge of a
// live face is offered to tryFlip(f, q), which answers whether it flipped.
// With selectedOnly the face and its neighbour must both be selected.
// Faces for which visit(f) answers false are passed over.
template <class TryFlip, class Visit>
int32_t CountFlips(MeshT5& mesh, bool selectedOnly, TryFlip&& tryFlip, Visit&& visit) {
  int32_t flips = 0;
  for (FaceT5& f : mesh.faces) {
    if (!IsLive(f.flags)) continue;
    if (selectedOnly && !(f.flags & ElemFlag::Selected)) continue;
    if (!visit(f)) continue;
    for (int z = 0; z < 3; ++z) {
      Quad q;
      if (!MakeQuad(f, z, q)) continue;
      if (selectedOnly && !(q.g->flags & ElemFlag::Selected)) continue;
      if (tryFlip(f, q)) ++flips;
    }
  }
  return flips;
}

template <class TryFlip>
int32_t CountFlips(MeshT5& mesh, bool selectedOnly, TryFlip&& tryFlip) {
  return CountFlips(mesh, selectedOnly, tryFlip, [](const FaceT5&) { return true; });
}

int CornerOf(const FaceT5& f, const VertexT5* v) {
  for (int k = 0; k < 3; ++k)
    if (f.v[k] == v) return k;
  return -1;
}

// A walk over the faces around one vertex, one way, crossing the edges at
// the vertex: it ends back at its first face, at a border, or where the
// next face would lead straight back (faces running an edge the same way).
struct FanWalk {
  const VertexT5* centre;
  const FaceT5* first;
  const FaceT5* face;
  const FaceT5* previous = nullptr;
  int way;  // 0 across the edge leaving the centre, 1 across the one arriving
  bool done = false;
  // A face met before, taken at each power of two of steps: where an edge
  // of three or more faces turns the walk into a cycle that misses first,
  // the walk meets it again within twice the cycle's length.
  const FaceT5* met = nullptr;
  size_t steps = 0, nextMark = 1;

  // Steps to the next face; true when `other` is a corner of the face left.
  bool Step(const VertexT5* other) {
    const int k = CornerOf(*face, centre);
    if (k < 0) {
      done = true;
      return false;
    }
    if (face->v[(k + 1) % 3] == other || face->v[(k + 2) % 3] == other) return true;
    const FaceT5* next = face->adjFace[way == 0 ? k : (k + 2) % 3];
    done = next == nullptr || next == face || next == first || next == previous || next == met;
    previous = face;
    face = next;
    if (++steps == nextMark) met = face, nextMark *= 2;
    return false;
  }
};

// Whether the quadrilateral's other diagonal c-d is already an edge of the
// surface: flipping to it would give that edge three or four faces, which
// the adjacency would not know of. The faces around c and around d are
// walked in turn, so the search ends within the smaller of the two fans.
bool OtherDiagonalExists(const Quad& q, size_t bound) {
  FanWalk walks[4] = {{q.c, q.f, q.f, nullptr, 0}, {q.c, q.f, q.f, nullptr, 1},
                      {q.d, q.g, q.g, nullptr, 0}, {q.d, q.g, q.g, nullptr, 1}};
  for (size_t steps = 0; steps < bound; ++steps) {
    for (int i = 0; i < 4; ++i)
      if (!walks[i].done && walks[i].Step(i < 2 ? q.d : q.c)) return true;
    // A whole fan seen without meeting the other end.
    if ((walks[0].done && walks[1].done) || (walks[2].done && walks[3].done)) return false;
  }
  return false;
}

// The flip keeps the border bits with their edges: the outer edges change
// faces and slots, and a bit left in its old slot would mark the new
// diagonal or an inner edge as a border.
bool FlipAndRenormal(Quad& q, size_t bound) {
  if (OtherDiagonalExists(q, bound)) return false;
  std::pair<const VertexT5*, const VertexT5*> borders[6];
  int count = 0;
  for (const FaceT5* h : {q.f, q.g})
    for (int z = 0; z < 3; ++z)
      if (h->flags & ElemFlag::Border(z)) borders[count++] = {h->v[z], h->v[(z + 1) % 3]};
  if (!FlipEdge(q.f, q.z)) return false;
  for (FaceT5* h : {q.f, q.g})
    for (int z = 0; z < 3; ++z) {
      const VertexT5* a = h->v[z];
      const VertexT5* b = h->v[(z + 1) % 3];
      bool border = false;
      for (int i = 0; i < count && !border; ++i)
        border = borders[i].first == a && borders[i].second == b;
      h->flags = border ? (h->flags | ElemFlag::Border(z)) : (h->flags & ~ElemFlag::Border(z));
    }
  UpdateNormal(*q.f);
  UpdateNormal(*q.g);
  return true;
}

double FaceQuality(const FaceT5& f) {
  return TriangleQuality(f.v[0]->position, f.v[1]->position, f.v[2]->position);
}

// What the flip test made of a quadrilateral: flipped it, or left it for a
// reason read from its two faces alone (their corners, links to each other,
// normals and shapes), one that the test of the same quadrilateral from the
// other face would find too, or one that reads more of the surface (the
// outer edges, the other diagonal); or, from its two faces alone, that they
// let it flip.
enum class FlipOutcome {
  kFlipped,
  kLeftByItsFaces,
  kLeftByItsFacesBothWays,
  kLeftBySurface,
  kFacesLetItFlip
};

// The shapes after a flip, asked from the other face, are the same two
// triangles from other corners: each quality differs from the exact one by
// less than 16 units of rounding (2^-53) of double arithmetic on float
// corners, far below this. A pair whose shape now is better by more than
// this than the shapes after the flip is left from either face.
constexpr double kClearlyBetter = 1e-12;

// The part of the flip test of FlipCoplanarEdges that reads only the two
// faces of the quadrilateral q around an edge of f: whether they are nearly
// coplanar and better shaped after the flip. quality(face) gives
// FaceQuality.
template <class Quality>
FlipOutcome TestFaces(const FaceT5& f, const Quad& q, double limit, double cosLimit,
                      Quality&& quality) {
  // The same products summed in the same order from either face.
  if (f.normal.Dot(q.g->normal) < cosLimit) return FlipOutcome::kLeftByItsFacesBothWays;

  // The tests are independent; the shape test comes first as the one that
  // rejects most pairs on a fine surface, where nearly every pair is flat.
  // The pair stays when its shape is not worse than the worse of the two
  // triangles after the flip: not worse than the first already decides it.
  const double before = std::min(quality(f), quality(*q.g));
  const double first = TriangleQuality(q.a->position, q.d->position, q.c->position);
  if (!(before < first))
    return before - first >= kClearlyBetter ? FlipOutcome::kLeftByItsFacesBothWays
                                            : FlipOutcome::kLeftByItsFaces;
  const double after =
      std::min(first, TriangleQuality(q.d->position, q.b->position, q.c->position));
  if (!(before < after))
    return before - after >= kClearlyBetter ? FlipOutcome::kLeftByItsFacesBothWays
                                            : FlipOutcome::kLeftByItsFaces;
  Vec3f nf;
  TriangleUnitNormal(nf, q.a->position, q.d->position, q.c->position);
  const Vec3d ng = TriangleNormal(q.d->position, q.b->position, q.c->position);
  const double lengths = nf.Norm() * ng.Norm();
  if (lengths != 0.0) {
    const double c = std::clamp(Vec3d(nf).Dot(ng) / lengths, -1.0, 1.0);
    if (std::acos(c) > limit) return FlipOutcome::kLeftByItsFaces;
  }
  return FlipOutcome::kFacesLetItFlip;
}

// The rest of the flip test, on a quadrilateral its faces let flip: the
// outer edges, which read four more faces, and the other diagonal. Flips
// when it passes.
FlipOutcome TestSurfaceAndFlip(Quad& q, size_t bound) {
  if (!OuterEdgesMovable(q)) return FlipOutcome::kLeftBySurface;
  return FlipAndRenormal(q, bound) ? FlipOutcome::kFlipped : FlipOutcome::kLeftBySurface;
}

}  // namespace

int32_t OptimizeCurvature(MeshT5& mesh, bool selectedOnly) {
  if (mesh.faces.empty() || CheckFaceFaceTopology(mesh) != 0) return 0;
  return CountFlips(mesh, selectedOnly, [&mesh](FaceT5& f, Quad& q) {
    const int z = q.z;
    FaceT5* g = q.g;
    FaceT5* f1 = f.adjFace[(z + 1) % 3];
    FaceT5* f2 = f.adjFace[(z + 2) % 3];
    FaceT5* g1 = g->adjFace[(q.zg + 1) % 3];
    FaceT5* g2 = g->adjFace[(q.zg + 2) % 3];
    // A face on both sides of the quadrilateral: the new diagonal would be
    // an edge that already exists.
    if (g1 == f1 || g2 == f2 || g2 == f1 || g1 == f2) return false;

    const Vec3d nF(f.normal), nG(g->normal);
    const double dihedral = Angle(nF, nG);
    if (dihedral <= double(kFlatAngle)) return false;

    const Vec3d nf = TriangleNormal(q.a->position, q.d->position, q.c->position);
    const Vec3d ng = TriangleNormal(q.d->position, q.b->position, q.c->position);
    const double after =
        std::max({Angle(nf, ng), Angle(nf, Vec3d(f2->normal)), Angle(ng, Vec3d(f1->normal)),
                  Angle(nf, Vec3d(g2->normal)), Angle(ng, Vec3d(g1->normal))});
    const double before =
        std::max({dihedral, Angle(nF, Vec3d(f2->normal)), Angle(nF, Vec3d(f1->normal)),
                  Angle(nG, Vec3d(g2->normal)), Angle(nG, Vec3d(g1->normal))});
    return before > after && FlipAndRenormal(q, mesh.faces.size());
  });
}

int32_t FlipCoplanarEdges(MeshT5& mesh, float maxAngle, bool selectedOnly) {
  const double limit = double(maxAngle);
  const double cosLimit = std::cos(limit);
  return CountFlips(mesh, selectedOnly, [&](FaceT5& f, Quad& q) {
    return TestFaces(f, q, limit, cosLimit, FaceQuality) == FlipOutcome::kFacesLetItFlip &&
           TestSurfaceAndFlip(q, mesh.faces.size()) == FlipOutcome::kFlipped;
  });
}

namespace {

// From this many edges for the first pass to test on the surface on, it
// costs more than gathering the faces into groups of pieces to pass over
// on threads.
constexpr size_t kEdgesToGroup = 4096;

// Groups for each thread: pieces differ in size, and threads that end
// their groups early take more.
constexpr size_t kGroupsPerThread = 4;

// The passes of CoplanarEdgeFlipper::Run over the faces to look at again
// (the stale ones), on the flipper's state.
//
// A face whose quadrilaterals are all as they were when it was last looked
// at would flip nothing again. A flip rewrites its two faces and the back
// links of their outer neighbours, and a quadrilateral reads its two faces
// and the back links of their neighbours: so the faces within two steps of
// a flipped pair are the ones to look at again.
//
// A quadrilateral left for a reason that reads its two faces alone (their
// corners, normals and links to each other) is left again as long as
// neither face changes: such edges carry a mark (bit z of a byte per face).
// Only a flip changes faces, and it keeps links mutual: it rewrites its two
// faces and re-links the neighbours across two of their outer edges to
// them. So where the two faces of a marked edge link to each other, a
// change of either is met from the flipped pair: the marks of both faces
// and of their neighbours' edges that lead to them after the flip go. An
// edge whose faces do not link to each other is marked only for what reads
// its own face's links (its neighbour then does not link back, and a flip
// that made it would link from it).
//
// The shape of a face stays the same until it is flipped: kept from one
// look at it to the next (NaN: not known).
//
// Nothing a flip or a look reads or writes leaves the piece of faces joined
// by links (face_pieces.h) that the face is in: a look reads the face, its
// neighbours and their links, a flip rewrites links only among its two
// faces and their neighbours (so the pieces stay as they are) and walks
// fans over links, and the marks of both go to faces within two links.
// Vertices are compared by address and only their positions read. So a
// pass over a group of whole pieces, its faces in array order, does to
// them what the pass over all faces does, and groups may be passed over on
// threads of their own, each with its own StaleFacePasses.
class StaleFacePasses {
 public:
  // stale, quality and memo hold a value per face of the mesh; idle is
  // empty, or filled by MarkAhead.
  StaleFacePasses(MeshT5& mesh, double limit, double cosLimit, bool selectedOnly,
                  std::vector<uint8_t>& stale, std::vector<double>& quality,
                  std::vector<uint8_t>& memo, std::vector<uint8_t>& idle,
                  std::vector<FaceT5*>* flipped)
      : base_(mesh.faces.data()),
        size_(mesh.faces.size()),
        limit_(limit),
        cosLimit_(cosLimit),
        selectedOnly_(selectedOnly),
        stale_(stale),
        quality_(quality),
        memo_(memo),
        idle_(idle),
        idleHolds_(!idle.empty()),
        flipped_(flipped) {}

  // One pass of CountFlips, stepping from one stale face to the next in
  // array order: after the first pass few faces are stale, and a walk over
  // every face record would cost more than the flips. Marks set ahead of
  // the walk are met in the same pass, as they are there. Returns the
  // number of flips.
  int32_t Pass() {
    int32_t flips = 0;
    for (size_t i = NextStale(0); i < size_; i = NextStale(i + 1))
      flips += LookAt(i);
    return flips;
  }

  // Pass for a group of pieces: its stale faces, given in array order.
  int32_t PassOver(std::span<const uint32_t> faces) {
    int32_t flips = 0;
    for (const uint32_t i : faces)
      if (stale_[i] == 1) flips += LookAt(i);
    return flips;
  }

  // Before the first pass: marks, on all cores, every edge of a stale face
  // that the pass would mark from that face were it to reach the face
  // before any flip. A mark holds until a flip changes one of the edge's
  // faces, and that flip takes it away, as it does the pass's own: the pass
  // passes over these edges and makes the same flips. An edge left both
  // ways gets its own face's mark here; the mark on the other face's edge,
  // which the pass sets from this one, that face's own test finds too: so
  // where that face comes later in the same range, its edge is marked at
  // once and not tested again.
  // The edges where the pass would neither mark nor flip are noted too
  // (idle_): until the first flip, which may change what they read, the
  // pass passes over them as well. Looking at such an edge writes nothing
  // but a face's shape, and reads only faces of its own piece, unchanged
  // until that piece's first flip: a pass over a group of pieces may pass
  // over them until the group's first flip.
  // Returns the number of edges left to test on the surface: with none, the
  // first pass flips nothing.
  size_t MarkAhead() {
    idle_.assign(size_, 0);
    idleHolds_ = true;
    const std::vector<size_t> counts = ParallelCollect(size_, [this](size_t begin, size_t end) {
      size_t edges = 0;
      for (size_t i = begin; i < end; ++i) {
        // The neighbours lie anywhere in the face array and the corners
        // anywhere in the vertex array: fetched a few faces ahead, the
        // neighbours only across edges not yet marked.
        if (i + 8 < end) {
          for (int z = 0; z < 3; ++z)
            if (!(memo_[i + 8] & (1u << z))) PrefetchRecord(base_[i + 8].adjFace[z]);
          PrefetchCorners(base_[i + 8]);
        }
        if (stale_[i] != 1 || !Looked(base_[i])) continue;
        memo_[i] = OwnMarks(i, end);
        edges += size_t(3 - std::popcount(unsigned(memo_[i] | idle_[i])));
      }
      return edges;
    });
    return std::accumulate(counts.begin(), counts.end(), size_t(0));
  }

 private:
  bool InArray(const FaceT5* f) const { return f != nullptr && f >= base_ && f < base_ + size_; }

  // The marks that looking at face i would set on its own edges, from the
  // faces as they are (those it holds already, set from a face before it in
  // [begin, end), are kept and not tested again); idle_ gets the edges that
  // it would neither mark nor flip. An edge left both ways marks the other
  // face's edge too where that face comes later in [i, end) and is looked
  // at. Writes nothing else, and nothing outside the range.
  uint8_t OwnMarks(size_t i, size_t end) {
    const auto known = [this](const FaceT5& h) {
      const double quality = quality_[size_t(&h - base_)];
      return std::isnan(quality) ? FaceQuality(h) : quality;
    };
    FaceT5& f = base_[i];
    uint8_t marks = memo_[i];
    for (int z = 0; z < 3; ++z) {
      if (marks & (1u << z)) continue;
      Quad q;
      const Verdict verdict = JudgeByFaces(f, z, q, known);
      if (verdict == Verdict::kLeave ||
          (verdict == Verdict::kLeaveBothWays && LinksBack(f, z, *q.g, q.zg)))
        marks |= uint8_t(1u << z);
      else if (verdict != Verdict::kTestSurface)
        idle_[i] |= uint8_t(1u << z);
      if (verdict == Verdict::kLeaveBothWays) MarkLaterSide(i, end, z, *q.g, q.zg);
    }
    return marks;
  }

  // After face i, f, was left both ways across edge z: marks g's edge zg,
  // as g's own look finds it, where g comes later in [i, end), is looked at
  // and the two faces link to each other there.
  void MarkLaterSide(size_t i, size_t end, int z, const FaceT5& g, int zg) {
    const FaceT5& f = base_[i];
    if (&g <= &f || &g >= base_ + end || !LinksBack(f, z, g, zg)) return;
    const size_t j = size_t(&g - base_);
    if (stale_[j] == 1 && Looked(g) && f.adjFace[z] == &g && f.adjIndex[z] == zg)
      memo_[j] |= uint8_t(1u << zg);
  }

  // The first stale face from i on; size_ when there is none.
  size_t NextStale(size_t i) const {
    const uint8_t* const stale = stale_.data();
    // In the first pass nearly every face is stale: the next few are asked
    // before a search.
    for (const size_t near = std::min(i + 4, size_); i < near; ++i)
      if (stale[i] == 1) return i;
    if (i >= size_) return size_;
    const void* hit = std::memchr(stale + i, 1, size_ - i);
    return hit == nullptr ? size_ : size_t(static_cast<const uint8_t*>(hit) - stale);
  }

  // Looks at the quadrilaterals around the stale face i. Returns the
  // number of flips.
  int32_t LookAt(size_t i) {
    // Every edge left as it was: the face record is not read (a face with
    // marks or idle edges was looked at, so is live and, with selectedOnly,
    // selected).
    if (PassedOver(i) == 7) {
      stale_[i] = 0;
      return 0;
    }
    FaceT5& f = base_[i];
    if (!Looked(f)) return 0;
    stale_[i] = 0;
    int32_t flips = 0;
    for (int z = 0; z < 3; ++z)
      if (!(PassedOver(i) & (1u << z)) && LookAcross(i, f, z)) ++flips;
    return flips;
  }

  // The edges of face i that the pass passes over: marked, or idle while
  // nothing has flipped.
  uint8_t PassedOver(size_t i) const { return memo_[i] | (idleHolds_ ? idle_[i] : 0); }

  // What the faces alone make of the quadrilateral across an edge: a mark on
  // the edge, a mark on it and, where the other face links back, on that
  // face's edge too, no mark, or to be tested on the surface.
  enum class Verdict { kLeave, kLeaveBothWays, kNoMark, kTestSurface };

  // The quadrilateral across edge z of f, the face i: whether it flipped.
  bool LookAcross(size_t i, FaceT5& f, int z) {
    Quad q;
    switch (JudgeByFaces(f, z, q, [this](const FaceT5& h) { return Quality(h); })) {
      case Verdict::kLeave:
        Leave(i, z);
        return false;
      case Verdict::kLeaveBothWays:
        LeaveBothWays(i, z, f, *q.g, q.zg);
        return false;
      case Verdict::kNoMark:
        return false;
      case Verdict::kTestSurface:
        break;
    }
    if (TestSurfaceAndFlip(q, size_) != FlipOutcome::kFlipped) return false;
    Flipped(q);
    return true;
  }

  // The flip test across edge z of f as far as it reads f and its
  // neighbour there alone. Sets q.g and q.zg in every case, the rest of q
  // where the two faces make a quadrilateral. quality(face) gives
  // FaceQuality. Writes nothing else.
  template <class Quality>
  Verdict JudgeByFaces(FaceT5& f, int z, Quad& q, Quality&& quality) const {
    // A neighbour that is not nearly coplanar fails the flip test first of
    // all; asking that before the quadrilateral's outer edges spares
    // reading four more faces.
    q.g = f.adjFace[z];
    q.zg = f.adjIndex[z];
    if (q.g == nullptr || q.g == &f || q.zg < 0 || q.zg > 2) return Verdict::kLeave;
    if (f.normal.Dot(q.g->normal) < cosLimit_) return Verdict::kLeaveBothWays;
    FaceT5* const g = q.g;
    if (!MakeQuadCore(f, z, q) || (selectedOnly_ && !(g->flags & ElemFlag::Selected)))
      return InArray(g) ? Verdict::kLeave : Verdict::kNoMark;
    switch (TestFaces(f, q, limit_, cosLimit_, quality)) {
      case FlipOutcome::kLeftByItsFaces:
        return InArray(g) ? Verdict::kLeave : Verdict::kNoMark;
      case FlipOutcome::kLeftByItsFacesBothWays:
        return Verdict::kLeaveBothWays;
      default:
        return Verdict::kTestSurface;
    }
  }

  // After the flip of q: its faces' shapes are not known, the faces near
  // them are stale and the marks that read them go.
  void Flipped(const Quad& q) {
    idleHolds_ = false;
    quality_[size_t(q.f - base_)] = std::numeric_limits<double>::quiet_NaN();
    quality_[size_t(q.g - base_)] = std::numeric_limits<double>::quiet_NaN();
    MarkStaleAround(q.f);
    MarkStaleAround(q.g);
    ForgetAround(q.f);
    ForgetAround(q.g);
    if (flipped_ != nullptr) {
      flipped_->push_back(q.f);
      flipped_->push_back(q.g);
    }
  }

  double Quality(const FaceT5& f) {
    double& known = quality_[size_t(&f - base_)];
    if (std::isnan(known)) known = FaceQuality(f);
    return known;
  }

  // f and the faces within two steps of it.
  void MarkStaleAround(const FaceT5* f) {
    stale_[size_t(f - base_)] = 1;
    for (const FaceT5* n : f->adjFace) {
      if (!InArray(n)) continue;
      stale_[size_t(n - base_)] = 1;
      for (const FaceT5* m : n->adjFace)
        if (InArray(m)) stale_[size_t(m - base_)] = 1;
    }
  }

  // The marks of f's edges and of its neighbours' edges that lead to it.
  void ForgetAround(const FaceT5* f) {
    memo_[size_t(f - base_)] = 0;
    for (int k = 0; k < 3; ++k) {
      const FaceT5* n = f->adjFace[k];
      const int nk = f->adjIndex[k];
      if (InArray(n) && nk >= 0 && nk <= 2) memo_[size_t(n - base_)] &= uint8_t(~(1u << nk));
    }
  }

  void Leave(size_t i, int z) { memo_[i] |= uint8_t(1u << z); }

  // Left from f, the face i, across edge z and, where g links back there,
  // from g across edge zg.
  void LeaveBothWays(size_t i, int z, const FaceT5& f, const FaceT5& g, int zg) {
    if (!LinksBack(f, z, g, zg)) return;
    Leave(i, z);
    if (Looked(g)) Leave(size_t(&g - base_), zg);
  }

  // Whether g, f's neighbour across edge z, is in the array and links back
  // across its edge zg.
  bool LinksBack(const FaceT5& f, int z, const FaceT5& g, int zg) const {
    return InArray(&g) && g.adjFace[zg] == &f && g.adjIndex[zg] == z;
  }

  // Whether a pass looks at the face when it is stale.
  bool Looked(const FaceT5& f) const {
    return IsLive(f.flags) && (!selectedOnly_ || (f.flags & ElemFlag::Selected));
  }

  FaceT5* const base_;
  const size_t size_;
  const double limit_;
  const double cosLimit_;
  const bool selectedOnly_;
  std::vector<uint8_t>& stale_;
  std::vector<double>& quality_;
  std::vector<uint8_t>& memo_;
  // Per face, bit z: MarkAhead found that the pass would neither mark nor
  // flip across edge z. Read while idleHolds_: until the first flip.
  std::vector<uint8_t>& idle_;
  bool idleHolds_;
  std::vector<FaceT5*>* const flipped_;
};

// What the passes over a group of pieces did.
struct GroupRun {
  int32_t flips = 0;
  bool settled = false;  // a pass flipped nothing
  std::vector<FaceT5*> flipped;
};

// Up to maxPasses passes over a group of pieces, ending after the first
// that flips nothing. A piece's passes after one that flipped nothing in
// it find none of its faces stale, as they do in passes over all faces:
// each piece gets the flips of the passes over all faces.
void RunGroup(StaleFacePasses& passes, std::span<const uint32_t> faces, int maxPasses,
              GroupRun& run) {
  for (int pass = 0; pass < maxPasses && !run.settled; ++pass) {
    const int32_t flips = passes.PassOver(faces);
    run.settled = flips == 0;
    run.flips += flips;
  }
}

}  // namespace

CoplanarEdgeFlipper::CoplanarEdgeFlipper(MeshT5& mesh, float maxAngle, bool selectedOnly)
    : mesh_(mesh),
      limit_(double(maxAngle)),
      cosLimit_(std::cos(double(maxAngle))),
      selectedOnly_(selectedOnly),
      stale_(mesh.faces.size(), 0) {
  // A flip neither deletes nor revives a face: the faces deleted when the
  // flipper is made are never looked at, and the passes need not step over
  // them.
  for (size_t i = 0; i < mesh.faces.size(); ++i)
    stale_[i] = IsLive(mesh.faces[i].flags) ? 1 : 0;
}

CoplanarEdgeFlipper::CoplanarEdgeFlipper(MeshT5& mesh, float maxAngle, bool selectedOnly,
                                         const std::function<void(FaceT5&)>& prepare)
    : mesh_(mesh),
      limit_(double(maxAngle)),
      cosLimit_(std::cos(double(maxAngle))),
      selectedOnly_(selectedOnly),
      stale_(mesh.faces.size(), 0),
      quality_(mesh.faces.size(), std::numeric_limits<double>::quiet_NaN()) {
  // The shape of each live face is asked here, where its corners are read
  // anyway, rather than where a pass first meets it: no face has flipped
  // yet, so it is the same.
  FaceT5* const base = mesh.faces.data();
  ParallelForRanges(mesh.faces.size(), [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      if (i + 8 < end) PrefetchCorners(base[i + 8]);
      FaceT5& f = base[i];
      if (!IsLive(f.flags)) continue;
      prepare(f);
      stale_[i] = 1;
      quality_[i] = FaceQuality(f);
    }
  });
}

int32_t CoplanarEdgeFlipper::Run(int maxPasses, std::vector<FaceT5*>* flipped) {
  const size_t size = mesh_.faces.size();
  const bool firstRun = memo_.empty();
  quality_.resize(size, std::numeric_limits<double>::quiet_NaN());
  memo_.resize(size, 0);
  if (maxPasses <= 0 || settled_) return 0;
  std::vector<uint8_t> idle;
  StaleFacePasses passes(mesh_, limit_, cosLimit_, selectedOnly_, stale_, quality_, memo_, idle,
                         flipped);
  if (firstRun) {
    const size_t edges = passes.MarkAhead();
    // The first pass would look at no edge: it would flip nothing.
    if (edges == 0) {
      settled_ = true;
      return 0;
    }
    if (edges >= kEdgesToGroup && size >= kParallelItems)
      groups_ = GroupFacePieces(mesh_, kGroupsPerThread * ParallelThreads(size));
  }
  if (groups_.size() > 1) return RunByGroups(maxPasses, idle, flipped);
  int32_t total = 0;
  for (int pass = 0; pass < maxPasses && !settled_; ++pass) {
    const int32_t flips = passes.Pass();
    settled_ = flips == 0;
    total += flips;
  }
  return total;
}

int32_t CoplanarEdgeFlipper::RunByGroups(int maxPasses, std::vector<uint8_t>& idle,
                                         std::vector<FaceT5*>* flipped) {
  std::vector<GroupRun> runs(groups_.size());
  // Each thread takes the next group not yet taken: groups differ in cost.
  std::atomic<size_t> next = 0;
  ParallelFor(
      ParallelThreads(mesh_.faces.size()),
      [&](size_t) {
        for (size_t g = next++; g < groups_.size(); g = next++) {
          StaleFacePasses passes(mesh_, limit_, cosLimit_, selectedOnly_, stale_, quality_, memo_,
                                 idle, flipped != nullptr ? &runs[g].flipped : nullptr);
          RunGroup(passes, groups_[g], maxPasses, runs[g]);
        }
      },
      1);
  // The mesh is settled when every group is, as a pass over all faces then
  // flips nothing.
  int32_t total = 0;
  settled_ = true;
  for (const GroupRun& run : runs) {
    total += run.flips;
    settled_ = settled_ && run.settled;
    if (flipped != nullptr) flipped->insert(flipped->end(), run.flipped.begin(), run.flipped.end());
  }
  return total;
}

}  // namespace quarnel
