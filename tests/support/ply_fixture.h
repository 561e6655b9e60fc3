// Writes small PLY files for tests, benchmarks and the fuzz corpus from a
// plain description: ASCII or either binary byte order, any element and
// property layout, honest or deliberately wrong counts. Independent of the
// reader under test on purpose.
#pragma once

#include <string>
#include <vector>

#include "io/ply_types.h"
#include "support/mesh_builders.h"

namespace quarnel::test {

struct PlyFixtureProperty {
  std::string name;
  PlyType type = ply_type::Float;       // of the value, or of each list item
  PlyType countType = ply_type::None;   // not None: a list with this count type
};

struct PlyFixtureElement {
  std::string name;
  std::vector<PlyFixtureProperty> properties;
  // One entry per record: the values in property order, each list as its
  // count followed by that many items.
  std::vector<std::vector<double>> records;
  // Count written in the header; negative means records.size().
  long long declaredCount = -1;
};

struct PlyFixture {
  PlyFormat format = ply_format::Ascii;
  std::vector<std::string> comments;  // the text after "comment "
  std::vector<PlyFixtureElement> elements;
};

// The whole file as bytes.
std::string PlyFixtureBytes(const PlyFixture& fixture);

// Writes bytes to a file; false when any write or the close fails.
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool WritePlyFixture(const std::string& path, const PlyFixture& fixture);
std::string ReadFileBytes(const std::string& path);

// A path named `name` in a folder of this process under the system's
// temporary folder; the folder and its files go when the process ends.
std::string TempFilePath(const std::string& name);

// "vertex" with float x, y, z and "face" with list uchar int vertex_indices.
PlyFixture MeshFixture(const Soup& soup, PlyFormat format);
// The unit cube (8 vertices, 12 faces) as MeshFixture writes it.
PlyFixture CubeFixture(PlyFormat format);

// Name of the format as the header spells it.
const char* PlyFormatWord(PlyFormat format);

}  // namespace quarnel::test
