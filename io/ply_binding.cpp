#include "io/ply_binding.h"

#include <cstdlib>

namespace quarnel {

const char* PlyBinding::FileTypeName() const {
  return kPlyTypeNames[IsValidPlyType(fileType) ? fileType : 0];
}

int PlyBinding::MemTypeSize() const { return kPlyTypeSizes[IsValidPlyType(memType) ? memType : 0]; }

void PlyFreeList(void* items) { std::free(items); }

}  // namespace quarnel
