// The names of the six face files of a cube-map environment.
#pragma once

#include <string>

namespace quarnel {

// The suffixes inserted into the base name, in loading order: -x, +x, -y,
// +y, -z, +z.
inline constexpr const char* kCubeFaceSuffixes[6] = {"_negx", "_posx", "_negy",
                                                     "_posy", "_negz", "_posz"};

// The path up to its last '.', the face's suffix, then the last four
// characters of the path ("cube.png" gives "cube_negx.png", "cube.jpeg"
// "cube_negxjpeg"). A path without a '.' gets the suffix at its end.
// Backslashes count as folder separators.
std::string CubeFaceFileName(const std::string& path, int face);

}  // namespace quarnel
