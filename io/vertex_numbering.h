// The vertex numbers that a writer puts in its file, worked out before the
// first byte is written so that header counts and face indices agree.
#pragma once

#include <cstdint>
#include <vector>

#include "core/mesh.h"

namespace quarnel {

struct VertexNumbering {
  // Per slot of the vertex array: its number in the file, or -1 when the
  // vertex is not written.
  std::vector<std::int32_t> number;
  std::int32_t vertexCount = 0;  // vertices written
  std::int32_t faceCount = 0;    // live faces

  // Every live vertex is written, and so is every vertex that a live face
  // uses: a loaded file keeps its flags as read, so a live face may sit on a
  // vertex marked deleted, and its corners must still be numbers of the
  // file. Numbers run densely in list order from 0. False when a live face
  // points outside the vertex array or the counts do not fit the file's
  // 32-bit fields.
  template <class MeshT>
  bool Build(const MeshT& m) {
    const std::size_t n = m.vertices.size();
    if (n > std::size_t(INT32_MAX) || m.faces.size() > std::size_t(INT32_MAX)) return false;
    number.assign(n, -1);
    const auto* base = m.vertices.data();
    faceCount = 0;
    for (const auto& f : m.faces) {
      if (!IsLive(f.flags)) continue;
      for (const auto* p : f.v) {
        // Compared as addresses so that a stray pointer is caught, not used.
        if (p == nullptr || std::uintptr_t(p) < std::uintptr_t(base) ||
            std::uintptr_t(p) >= std::uintptr_t(base + n) ||
            (std::uintptr_t(p) - std::uintptr_t(base)) % sizeof *p != 0)
          return false;
        number[std::size_t(p - base)] = 0;
      }
      ++faceCount;
    }
    vertexCount = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (IsLive(m.vertices[i].flags) || number[i] == 0)
        number[i] = vertexCount++;
      else
        number[i] = -1;
    }
    return true;
  }

  template <class V>
  std::int32_t Of(const V* v, const V* base) const {
    return number[std::size_t(v - base)];
  }
};

}  // namespace quarnel
