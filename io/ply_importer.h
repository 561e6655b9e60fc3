// Loading PLY files into the four mesh types, and the header probe that
// tells which attributes a file offers.
#pragma once

#include <functional>

#include "core/mesh.h"
#include "io/input_file.h"
#include "io/io_mask.h"
#include "io/ply_binding.h"
#include "io/ply_types.h"

namespace quarnel {

// Called as progress(percent 0-100, phase text) every 1000 records; the
// result is ignored.
using LoadProgressCallback = std::function<int(int percent, const char* text)>;

class PlyImporter {
 public:
  // Reads the file into `mesh` with its texture and normal-map names and its
  // camera. 0 on success; -1 on failure with the PlyError code in
  // mesh.lastError, the mesh otherwise unchanged. `mask` receives the IoMask
  // of what was bound. The extra bindings (may be null with count 0) carry
  // more scalar properties of "vertex" and "face" into the mesh records at
  // the bindings' offsets; a list, a field outside the record, another
  // element or more than 256 bytes of them is error 10.
  template <class MeshType>
  static int Open(MeshType& mesh, const char* fileName, int extraVertexCount,
                  const PlyBinding* extraVertex, int extraFaceCount, const PlyBinding* extraFace,
                  IoMask& mask, const LoadProgressCallback& progress);
  // The same from a file the caller opened, read from its first byte; its
  // path gives the base name of the texture names.
  template <class MeshType>
  static int Open(MeshType& mesh, const InputFile& file, int extraVertexCount,
                  const PlyBinding* extraVertex, int extraFaceCount, const PlyBinding* extraFace,
                  IoMask& mask, const LoadProgressCallback& progress);

  // The probe: parses the header only and reports in `mask` the attributes
  // the file offers. 1 when the header was read; 0 when the file could not
  // be opened or parsed, with the PlyError code in mesh.lastError.
  template <class MeshType>
  static int LoadMask(const char* fileName, IoMask& mask, MeshType& mesh);
  template <class MeshType>
  static int LoadMask(const InputFile& file, IoMask& mask, MeshType& mesh);

  // Entry i of the vertex binding table ("x", "y", "z", "flags", "quality",
  // "red", "green", "blue", "confidence"); null out of range.
  static const PlyBinding* VertexBinding(int i);
  static constexpr int kVertexBindingCount = 9;

  // Records are read in runs, fixed-size binary ones converted straight
  // from the read buffer; switched off, every record is read property by
  // property and stored before the next is read. Both give the same meshes,
  // error codes and progress reports (the tests and the fuzzer compare
  // them). On by default.
  static void SetBlockReading(bool on);
  static bool BlockReading();
};

// The texture name of a "TextureFile" / "TextureNormalFile" comment text:
// blanks, control characters and bytes from '}' up removed, "<this>" (any
// case) replaced by the file's base name without ".ply".
std::string PlyTextureName(const std::string& afterKeyword, const char* plyPath);

}  // namespace quarnel
