// The names of the six face files of a cube-map environment.
#pragma once

#include <string>
#include <vector>

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

// The environment the views load, relative to the current folder.
inline constexpr char kDefaultEnvironmentMap[] = "test\\cubemap\\uffizi.png";
// The environment's faces inside a data folder of the program.
inline constexpr char kDataEnvironmentMap[] = "cubemap/uffizi.png";

// The base name of the environment to load: the default one when all six of
// its faces are in the current folder, else the first data folder's that has
// all six. When none has them, the default one, whose loading then names the
// face that is missing.
std::string FindEnvironmentMap(const std::vector<std::string>& dataFolders);

}  // namespace quarnel
