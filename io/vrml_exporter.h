// VRML 2.0 export of any mesh type.
#pragma once

#include "core/mesh.h"
#include "io/io_mask.h"

namespace quarnel {

class VrmlExporter {
 public:
  // Writes one Transform holding one IndexedFaceSet of the live geometry,
  // numbered densely as the OBJ export does, placed by the mesh's bbox into
  // a box of diagonal 8 centred 3 units down -z. Under the mask it carries
  // vertex colours (io_mask::VertexColor, types with colour) or else
  // per-corner texture coordinates (io_mask::WedgeTexCoord, types with
  // wedges); the first texture name, if any, becomes an ImageTexture.
  // Returns 1 when the whole file was written, 0 when it could not be; a
  // file that was there before is then left as it was.
  static int Save(const MeshT1& m, const char* fileName, IoMask mask);
  static int Save(const MeshT3& m, const char* fileName, IoMask mask);
  static int Save(const MeshT4& m, const char* fileName, IoMask mask);
  static int Save(const MeshT5& m, const char* fileName, IoMask mask);
};

}  // namespace quarnel
