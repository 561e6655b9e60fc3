// Fetches ahead the faces a border walk will step to. A walk's step turns
// around a vertex through its faces by their links, each read a miss that
// waits for the one before. Where a vertex has two border edges, the step
// from one leads to the other whenever the faces around the vertex are
// joined in a fan; where it has three or four (surfaces that touch there),
// to the border edge of the face across the other edge at the vertex, as
// often as not. A table of each vertex's border edges, filled in a pass
// over the faces in array order, guesses so the border edges of the coming
// steps, and their faces and those faces' neighbours are fetched while the
// walk is still turning elsewhere. The guesses change no result: the walk
// takes every step through the faces' links.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/mesh.h"
#include "core/topology.h"

namespace quarnel {

class BorderAhead {
 public:
  // Sets up the table of the border edges' ends (edges that link to their
  // own face) in a pass over the faces, where the walks are long enough for
  // it to pay: where the border edges are a good share of the faces.
  explicit BorderAhead(const MeshT5& mesh);

  // Called with each position of a walk: fetches the border faces guessed
  // for the next steps from it, and the neighbours of those nearer.
  void Follow(const FacePos& p);

 private:
  // A border edge as face index times four plus edge, and its far end.
  struct Slot {
    uint32_t edge = kEmpty;
    uint32_t far = 0;
  };
  static constexpr uint32_t kEmpty = UINT32_MAX;
  static constexpr uint32_t kMany = UINT32_MAX - 1;  // in the last slot: more than kSlots
  static constexpr size_t kSlots = 4;
  static constexpr size_t kAhead = 16;

  bool WorthIt() const;
  void Build();
  void AddEnd(size_t vertex, uint32_t edge, size_t far);
  // The border edge guessed after edge at the vertex; false where there is
  // no guess.
  bool Guess(uint32_t vertex, uint32_t& edge, bool mayRead) const;
  // Guesses one step more past the last guessed; false where there is none.
  bool Extend(bool mayRead);

  const MeshT5& mesh_;
  std::vector<Slot> slots_;  // kSlots per vertex, or none
  // The guessed border edges of the coming steps, ring_[head_] the next,
  // and the pivot of the last guessed.
  uint32_t ring_[kAhead];
  size_t head_ = 0, size_ = 0;
  uint32_t pivot_ = 0;
};

}  // namespace quarnel
