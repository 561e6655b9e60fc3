#include "core/mesh.h"

namespace quarnel {

namespace {
uint32_t g_userBitCounter = ElemFlag::LastPredefined;
}

uint32_t UserBitCounter::Take() {
  g_userBitCounter <<= 1;
  return g_userBitCounter;
}

void UserBitCounter::Release(uint32_t bit) {
  if (bit == g_userBitCounter) g_userBitCounter >>= 1;
}

uint32_t UserBitCounter::Current() { return g_userBitCounter; }

void UserBitCounter::Reset() { g_userBitCounter = ElemFlag::LastPredefined; }

void FaceT5::DetachFromVF(int i, size_t maxSteps) {
  VertexT5* vert = v[i];
  if (vert->vfFace == this) {
    vert->vfFace = adjFace[i];
    vert->vfCorner = adjIndex[i];
    return;
  }
  FaceT5* f = vert->vfFace;
  int c = vert->vfCorner;
  for (size_t steps = 0; f != nullptr && c >= 0 && c < 3 && steps < maxSteps; ++steps) {
    FaceT5* next = f->adjFace[c];
    int nc = f->adjIndex[c];
    if (next == this) {
      f->adjFace[c] = adjFace[i];
      f->adjIndex[c] = adjIndex[i];
      return;
    }
    f = next;
    c = nc;
  }
}

}  // namespace quarnel
