// The mesh holder's textures: loading the images a mesh names into OpenGL
// texture objects, the board that shows them side by side, and the texture
// state set before every draw.
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glu.h>
#include <IL/il.h>
#include <IL/ilu.h>
// The toolkit's OpenGL upload functions are declared only on request.
#define ILUT_USE_OPENGL
#include <IL/ilut.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "app/gl_error.h"
#include "app/image_files.h"
#include "app/mesh_holder.h"
#include "app/user_prompt.h"

namespace quarnel {

namespace {

const char kFilterCheck[] = "glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER)";

bool EndsWithPngIgnoringCase(const char* path) {
  const std::string p = path ? path : "";
  if (p.size() < 4) return false;
  std::string tail = p.substr(p.size() - 4);
  for (char& c : tail)
    c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".png";
}

// Magnification, then minification, on the bound 2D texture. Normal maps
// are not mipmapped: the mipmap filter falls back to linear for them.
void SetTextureFilters(int filter, bool mipmaps) {
  GLfloat mag, min;
  switch (filter) {
    case 0:
      mag = min = GL_NEAREST;
      break;
    case 1:
      mag = min = GL_LINEAR;
      break;
    case 2:
      mag = GL_LINEAR;
      min = mipmaps ? GL_LINEAR_MIPMAP_LINEAR : GL_LINEAR;
      break;
    default:
      return;
  }
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, mag);
  CheckGLError(kFilterCheck);
  glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
  CheckGLError(kFilterCheck);
}

}  // namespace

int MeshHolder::LoadTextures(const char* folder, bool flip, int maxSize) {
  // Copies: a question put to the user lets the event loop run meanwhile.
  const std::vector<std::string> textures = *TextureNames();
  const std::vector<std::string> normalMaps = *NormalMapNames();
  const std::string prefix = folder ? folder : "";
  if (std::max(textures.size(), normalMaps.size()) > kTextureSlots)
    PromptUser(
        FormatText("Warning: the mesh names more than %i textures; only the first %i are loaded.",
                   int(kTextureSlots), int(kTextureSlots)),
        PromptButtons::Ok);

  auto load = [&](const std::vector<std::string>& names, bool normalMap) {
    for (size_t i = 0; i < names.size(); ++i) {
      uint32_t* slot = GlTextureName(unsigned(i));
      if (!slot) break;
      glEnable(GL_TEXTURE_2D);
      // The object a previous load left in the slot is replaced, not kept.
      if (*slot != 0 && glIsTexture(*slot)) glDeleteTextures(1, slot);
      glGenTextures(1, slot);
      const uint32_t name = *slot;
      glBindTexture(GL_TEXTURE_2D, name);
      const std::string path = prefix + names[i];
      if (normalMap)
        LoadNormalMapFile(path.c_str(), name, flip, maxSize);
      else
        LoadTextureFile(path.c_str(), name, flip, maxSize);
      glDisable(GL_TEXTURE_2D);
    }
  };
  load(textures, false);
  load(normalMaps, true);
  if (!textures.empty() || !normalMaps.empty()) BuildTextureBoard();
  return 1;
}

int MeshHolder::LoadTextureFile(const char* path, uint32_t textureName, bool flip, int maxSize) {
  ScopedImage image;
  // The first row of the loaded image is its bottom row, as OpenGL wants it.
  ilOriginFunc(IL_ORIGIN_LOWER_LEFT);
  ilEnable(IL_ORIGIN_SET);
  if (!LoadImageOrGuess(image, path ? path : "", "Error in loading texture %s\\ Try to guess?"))
    return 0;
  int width = ilGetInteger(IL_IMAGE_WIDTH);
  int height = ilGetInteger(IL_IMAGE_HEIGHT);
  const int depth = ilGetInteger(IL_IMAGE_DEPTH);
  const int limit = std::max(maxSize, 1);
  if (width > limit || height > limit) {
    const int newWidth = std::min(width, limit);
    const int newHeight = std::min(height, limit);
    PromptUser(FormatText("Warning: texture size is %ix%i greater that allowed. Rescaled to %ix%i",
                          width, height, newWidth, newHeight),
               PromptButtons::Ok);
    image.Bind();
    iluScale(ILuint(newWidth), ILuint(newHeight), ILuint(std::max(depth, 1)));
  }
  if (flip) iluFlipImage();
  glBindTexture(GL_TEXTURE_2D, textureName);
  if (!ilConvertImage(IL_RGBA, IL_UNSIGNED_BYTE)) return 0;
  // The size the image has now, after any rescaling.
  width = ilGetInteger(IL_IMAGE_WIDTH);
  height = ilGetInteger(IL_IMAGE_HEIGHT);
  const ILubyte* data = ilGetData();
  if (!data || width <= 0 || height <= 0) return 0;
  m_textureWidth = width;
  m_textureHeight = height;
  gluBuild2DMipmaps(GL_TEXTURE_2D, 4, width, height, GL_RGBA, GL_UNSIGNED_BYTE, data);
  return 1;
}

int MeshHolder::LoadNormalMapFile(const char* path, uint32_t textureName, bool flip, int) {
  ScopedImage image;
  // The file's name as given decides the flip, not the name a guess found.
  const bool flipPng = flip && EndsWithPngIgnoringCase(path);
  if (!LoadImageOrGuess(image, path ? path : "", "Error in loading normal map %s\\ Try to guess?"))
    return 0;
  if (flipPng) iluFlipImage();
  // A question box lets views paint, and a paint binds textures of its own:
  // the upload goes to the normal map's own name, bound again here.
  glBindTexture(GL_TEXTURE_2D, textureName);
  ilutGLTexImage(0);
  ilutGLBuildMipmaps();
  return 1;
}

void MeshHolder::BuildTextureBoard() {
  MeshT4& board = m_textureBoard;
  board.vertices.clear();
  board.faces.clear();
  board.textureNames.clear();
  board.normalMapNames.clear();
  board.vertexCount = 0;
  board.faceCount = 0;

  const std::vector<std::string>& textures = *TextureNames();
  const size_t squares = std::min(textures.size(), kTextureSlots);
  board.vertices.reserve(
      4 * std::min(std::max(textures.size(), NormalMapNames()->size()), kTextureSlots));
  board.faces.reserve(2 * squares);
  for (size_t i = 0; i < squares; ++i) {
    const float x = float(i) * 1.5f;
    const size_t first = board.vertices.size();
    board.AddVertices(4);
    const Vec3f corners[4] = {{x, 0, 0}, {x + 1.0f, 0, 0}, {x + 1.0f, 1, 0}, {x, 1, 0}};
    for (int k = 0; k < 4; ++k)
      board.vertices[first + size_t(k)].position = corners[k];
    FaceT4* faces = board.AddFaces(2);
    VertexT4* v = &board.vertices[first];
    const int corner[2][3] = {{0, 1, 2}, {2, 3, 0}};
    const float uv[2][3][2] = {{{0, 0}, {1, 0}, {1, 1}}, {{1, 1}, {0, 1}, {0, 0}}};
    for (int f = 0; f < 2; ++f) {
      for (int k = 0; k < 3; ++k) {
        faces[f].v[k] = v + corner[f][k];
        faces[f].wedge[k].u = uv[f][k][0];
        faces[f].wedge[k].v = uv[f][k][1];
      }
      faces[f].wedge[0].texIndex = int16_t(i);
    }
    board.textureNames.push_back(textures[i]);
    const uint32_t* slot = GlTextureName(unsigned(i));
    m_textureBoardDrawer.textureIds[i] = slot ? *slot : 0;
  }
  m_textureBoardDrawer.mesh = &board;
  m_textureBoardDrawer.hints &= ~(GlHint::Strips | GlHint::EdgeList);
  m_textureBoardDrawer.depthOffset = 0.0005f;
  m_textureBoardDrawer.Update(GlChange::All);
}

void MeshHolder::SetupTextureState(bool texturing, bool normalMap) {
  CheckGLError("DEBUG");
  const size_t textures = TextureNames()->size();
  const size_t normalMaps = NormalMapNames()->size();
  if (Mirrored()) {
    // The mesh reflects the environment: texture coordinates are the
    // eye-space reflection vectors, looked up in the cube map.
    m_textureMode = TMNone;
    glDisable(GL_TEXTURE_1D);
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_TEXTURE_CUBE_MAP_ARB);
    glBindTexture(GL_TEXTURE_CUBE_MAP_ARB, m_cubeMapTexture);
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    for (GLenum coord : {GL_S, GL_T, GL_R})
      glTexGeni(coord, GL_TEXTURE_GEN_MODE, GL_REFLECTION_MAP_ARB);
    glEnable(GL_TEXTURE_GEN_S);
    glEnable(GL_TEXTURE_GEN_T);
    glEnable(GL_TEXTURE_GEN_R);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
  } else if (texturing && textures > 0) {
    glMatrixMode(GL_TEXTURE);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    if (textures > 1 && (m_loadMask & io_mask::WedgeTexNumber)) {
      m_textureMode = TMPerWedgeMulti;
    } else {
      m_textureMode = TMPerWedge;
      glBindTexture(GL_TEXTURE_2D, *GlTextureName(0));
    }
    glEnable(GL_TEXTURE_2D);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    SetTextureFilters(m_textureFilter, true);
  } else {
    glDisable(GL_TEXTURE_2D);
    m_textureMode = TMNone;
  }
  if (normalMaps > 0 && normalMap) {
    // The light direction as a colour: each component from [-1, 1] to [0, 1].
    float c[3];
    for (int k = 0; k < 3; ++k)
      c[k] = m_lightDirection[k] * 0.5f + 0.5f;
    glDisable(GL_LIGHTING);
    glEnable(GL_TEXTURE_2D);
    glColor3f(c[0], c[1], c[2]);
    m_textureMode = textures < 2 ? TMPerWedge : TMPerWedgeMulti;
    SetTextureFilters(m_textureFilter, false);
    // The texel, a normal stored as a colour, dotted with the primary
    // colour: per-pixel diffuse shading without lighting.
    glTexEnvi(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_COMBINE_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_COMBINE_RGB_ARB, GL_DOT3_RGB_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE0_RGB_ARB, GL_PRIMARY_COLOR_ARB);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND0_RGB_ARB, GL_SRC_COLOR);
    glTexEnvi(GL_TEXTURE_ENV, GL_SOURCE1_RGB_ARB, GL_TEXTURE);
    glTexEnvi(GL_TEXTURE_ENV, GL_OPERAND1_RGB_ARB, GL_SRC_COLOR);
  }
}

void MeshHolder::EndTextureState() {
  if (!Mirrored()) return;
  // A view's context keeps its enables from frame to frame: left on, they
  // would tint the overlays and the pane drawn after the mesh, and the mesh
  // itself once Mirror is off again.
  glDisable(GL_TEXTURE_GEN_S);
  glDisable(GL_TEXTURE_GEN_T);
  glDisable(GL_TEXTURE_GEN_R);
  glDisable(GL_TEXTURE_CUBE_MAP_ARB);
}

}  // namespace quarnel
