// Cache hints for passes over the mesh arrays whose next reads the
// processor's own fetching does not foresee: records across page
// boundaries, records reached through a pointer, slots reached through a
// hash. A hint reads nothing and faults on no address, so any address will
// do (null, past the end, a stale link); it changes no result.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/mesh.h"

namespace quarnel {

// How far ahead of a pass over an array of face records the record to
// fetch lies: far enough for it to arrive before the pass gets there.
inline constexpr size_t kRecordsAhead = 32;

// The cache line that holds the byte `offset` bytes from p.
inline void Prefetch(const void* p, size_t offset = 0) {
  __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(p) + offset));
}

// Every cache line of the record *p: its first byte, the byte a line
// further on and its last byte (a record of at most two lines' size spans
// at most three).
template <class T>
void PrefetchRecord(const T* p) {
  static_assert(sizeof(T) <= 128, "a record of at most two cache lines");
  Prefetch(p);
  if constexpr (sizeof(T) > 64) Prefetch(p, 64);
  Prefetch(p, sizeof(T) - 1);
}

// The record `ahead` places after i in an array of `size` records, when
// there is one.
template <class T>
void PrefetchAhead(const T* base, size_t i, size_t size, size_t ahead = kRecordsAhead) {
  if (i + ahead < size) PrefetchRecord(base + i + ahead);
}

// The three corners of f, which lie anywhere in the vertex array.
inline void PrefetchCorners(const FaceT5& f) {
  for (const VertexT5* v : f.v)
    Prefetch(v);
}

// The line of f's links to its neighbours that holds adjIndex: what a test
// whether a neighbour links back reads of it.
inline void PrefetchLinks(const FaceT5* f) {
  Prefetch(f, offsetof(FaceT5, adjIndex));
}

// The links of f's neighbours, which lie anywhere in the face array.
inline void PrefetchLinksBack(const FaceT5& f) {
  for (const FaceT5* g : f.adjFace)
    PrefetchLinks(g);
}

}  // namespace quarnel
