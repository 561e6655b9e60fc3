// The PLY writer of the editable mesh.
#pragma once

#include "core/mesh.h"
#include "io/io_mask.h"
#include "io/ply_binding.h"

namespace quarnel {

class PlyExporter {
 public:
  // Writes the mesh as PLY ("binary_little_endian" when binary, else
  // "ascii", one line per record) with the properties that the mask names,
  // as the importer reported them for the load, so that a load-save-reload
  // cycle keeps what the file held. Every live vertex, every vertex a live
  // face uses and every live face are written, numbered densely in list
  // order. The extra bindings (count 0 and null for none) add scalar
  // properties read from the records at the bindings' offsets, converted
  // from the memory type to the file type. The mesh is not changed.
  // Returns 0 when the whole file was written, -1 when it could not be (or
  // a binding is unusable); a file that was there before is then left as
  // it was.
  static int Save(const MeshT5& m, const char* fileName, bool binary, int extraVertexCount,
                  const PlyBinding* extraVertex, int extraFaceCount, const PlyBinding* extraFace,
                  IoMask mask);
};

}  // namespace quarnel
