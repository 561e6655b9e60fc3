// How a caller binds one property of a PLY file to a field of its own record:
// the value lands at `offset`, converted to `memType`.
#pragma once

#include <cstdint>

#include "io/ply_types.h"

namespace quarnel {

struct PlyBinding {
  const char* elementName = nullptr;
  const char* propertyName = nullptr;
  PlyType fileType = ply_type::None;  // type the header must declare (of each item for a list)
  PlyType memType = ply_type::None;   // type stored in the caller's record
  std::int32_t offset = 0;            // of the value, the first item, or the item pointer
  std::int32_t isList = 0;
  std::int32_t allocate = 0;  // lists: 1 stores a pointer to allocated items, 0 stores in place
  PlyType countFileType = ply_type::None;
  PlyType countMemType = ply_type::None;
  std::int32_t countOffset = 0;
  PlyFormat format = ply_format::Unknown;  // set by the reader when the element becomes current
  // In-place lists: how many items the caller's field holds. A longer list
  // fails the record instead of running past the field.
  std::int32_t room = 0;

  // First spelling of the file type ("none" for an invalid one).
  const char* FileTypeName() const;
  // Size in bytes of the memory type (0 for an invalid one).
  int MemTypeSize() const;
};

// Releases the items that an allocating list binding stored in a record.
void PlyFreeList(void* items);

}  // namespace quarnel
