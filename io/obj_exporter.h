// Wavefront OBJ export of any mesh type.
#pragma once

#include "core/mesh.h"
#include "io/io_mask.h"

namespace quarnel {

class ObjExporter {
 public:
  // Writes the positions, then under the mask texture coordinates per face
  // corner (io_mask::WedgeTexCoord; types with wedges only) and stored
  // normals per vertex (io_mask::VertexNormal) or else per face
  // (io_mask::FaceNormal), then one "f" line per live face. Vertices and
  // faces are numbered densely over what is written. Returns 1 when the
  // whole file was written, 0 when it could not be; a file that was there
  // before is then left as it was.
  static int Save(const MeshT1& m, const char* fileName, IoMask mask);
  static int Save(const MeshT3& m, const char* fileName, IoMask mask);
  static int Save(const MeshT4& m, const char* fileName, IoMask mask);
  static int Save(const MeshT5& m, const char* fileName, IoMask mask);
};

}  // namespace quarnel
