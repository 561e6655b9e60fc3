// The application's cube-map texture, made of six face images.
#include "app/cube_map.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <filesystem>

#include "app/extensions.h"
#include "app/gl_error.h"
#include "app/image_files.h"
#include "app/mesh_holder.h"
#include "app/rgb_image.h"
#include "app/user_prompt.h"

namespace quarnel {

namespace {

constexpr GLenum kFaceTargets[6] = {
    GL_TEXTURE_CUBE_MAP_NEGATIVE_X_ARB, GL_TEXTURE_CUBE_MAP_POSITIVE_X_ARB,
    GL_TEXTURE_CUBE_MAP_NEGATIVE_Y_ARB, GL_TEXTURE_CUBE_MAP_POSITIVE_Y_ARB,
    GL_TEXTURE_CUBE_MAP_NEGATIVE_Z_ARB, GL_TEXTURE_CUBE_MAP_POSITIVE_Z_ARB};

const char kCubeFilterCheck[] = "glTexParameterf(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER)";

}  // namespace

std::string CubeFaceFileName(const std::string& given, int face) {
  const std::string path = WithForwardSlashes(given);
  const char* suffix = kCubeFaceSuffixes[std::clamp(face, 0, 5)];
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos) return path + suffix;
  const std::string extension = path.size() > 4 ? path.substr(path.size() - 4) : path;
  return path.substr(0, dot) + suffix + extension;
}

std::string FindEnvironmentMap(const std::vector<std::string>& dataFolders) {
  auto complete = [](const std::string& base) {
    for (int i = 0; i < 6; ++i) {
      std::error_code error;
      if (!std::filesystem::is_regular_file(CubeFaceFileName(base, i), error)) return false;
    }
    return true;
  };
  if (complete(kDefaultEnvironmentMap)) return kDefaultEnvironmentMap;
  for (const std::string& folder : dataFolders) {
    const std::string base = folder + "/" + kDataEnvironmentMap;
    if (!folder.empty() && complete(base)) return base;
  }
  return kDefaultEnvironmentMap;
}

int MeshHolder::LoadCubeMap(const char* path, uint32_t& textureName) {
  if (!PublicExtensionFlags().gl[GlExt::ARB_texture_cube_map]) {
    PromptUser("Warning: Your graphics hw does not support ARB_texture_cube_map\n",
               PromptButtons::Ok);
    return 0;
  }
  glPushAttrib(GL_ENABLE_BIT);
  glEnable(GL_TEXTURE_CUBE_MAP_ARB);
  glDisable(GL_TEXTURE_1D);
  glDisable(GL_TEXTURE_2D);
  if (textureName != 0) {
    glPopAttrib();
    return 1;
  }
  // Every face is read before the texture is made: a cube map with a face
  // missing would be incomplete, and the background would show nothing
  // sensible. Without all six the name stays 0 and the next switch-on tries
  // again.
  const std::string base = path ? path : "";
  RgbImage faces[6];
  for (int i = 0; i < 6; ++i) {
    const std::string name = CubeFaceFileName(base, i);
    faces[i] = ReadRgbImage(name);
    if (faces[i].Empty()) {
      glPopAttrib();
      PromptUser(FormatText("Error in loading environment map %s", name.c_str()),
                 PromptButtons::Ok);
      return 1;
    }
    // OpenGL takes only square cube-map faces, all of one size.
    if (faces[i].Width() != faces[i].Height() || faces[i].Width() != faces[0].Width()) {
      glPopAttrib();
      PromptUser(FormatText("The faces of an environment map must be square and of one size: %s",
                            name.c_str()),
                 PromptButtons::Ok);
      return 1;
    }
  }
  GLuint name = 0;
  glGenTextures(1, &name);
  textureName = name;
  glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, name);
  glTexParameterf(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  CheckGLError(kCubeFilterCheck);
  glTexParameterf(GL_TEXTURE_CUBE_MAP_ARB, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  CheckGLError(kCubeFilterCheck);
  // A cube-map face takes its top row first, which is the order the reader
  // gives: no flip, or the environment shows upside down.
  for (int i = 0; i < 6; ++i)
    UploadTextureImage(faces[i], false, 0, kFaceTargets[i]);
  glPopAttrib();
  return 1;
}

}  // namespace quarnel
