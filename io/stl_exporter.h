// STL export of any mesh type, binary or ASCII.
#pragma once

#include "core/mesh.h"

namespace quarnel {

class StlExporter {
 public:
  // Writes every live face with its unit normal, recomputed from the corner
  // positions ((0, 0, 0) for a face whose edges are parallel). `name` (may
  // be null) heads the binary file or names the ASCII solid. Returns 1 when
  // the whole file was written, 0 when it could not be; a file that was
  // there before is then left as it was. All four types write the same bytes
  // for the same geometry.
  static int Save(const MeshT1& m, const char* fileName, bool binary, const char* name);
  static int Save(const MeshT3& m, const char* fileName, bool binary, const char* name);
  static int Save(const MeshT4& m, const char* fileName, bool binary, const char* name);
  static int Save(const MeshT5& m, const char* fileName, bool binary, const char* name);
};

}  // namespace quarnel
