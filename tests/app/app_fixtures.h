// PLY files of the kinds the application tells apart, written for its tests
// and benchmarks: positions only, vertex colours, wedge texture coordinates.
#pragma once

#include <string>

#include "support/mesh_builders.h"
#include "support/ply_fixture.h"

namespace quarnel::test {

enum class CubeKind { Plain, Colored, Textured, Quality };

// The cube of side 1 centred on the origin, so that a view shows it without
// fitting its camera. Colored: every vertex red (200, 30, 30). Textured:
// per-corner texture coordinates and a "TextureFile" comment. Quality:
// vertex quality equal to the vertex index.
PlyFixture CenteredCubeFixture(CubeKind kind, PlyFormat format = ply_format::Ascii);
// Writes the fixture under a fresh temporary path and returns the path.
std::string WriteCenteredCube(const std::string& name, CubeKind kind,
                              PlyFormat format = ply_format::Ascii);
// A single open triangle.
std::string WriteTriangle(const std::string& name);
// A cube whose header promises more faces than the body holds.
std::string WriteTruncatedCube(const std::string& name);

}  // namespace quarnel::test
