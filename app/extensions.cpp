#include "app/extensions.h"

#include <GL/gl.h>

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <utility>

namespace quarnel {

static_assert(kGlExtensionNames[GlExt::ARB_multitexture] == "GL_ARB_multitexture");
static_assert(kGlExtensionNames[GlExt::ARB_texture_cube_map] == "GL_ARB_texture_cube_map");
static_assert(kGlExtensionNames[GlExt::EXT_blend_color] == "GL_EXT_blend_color");
static_assert(kGlExtensionNames[GlExt::EXT_blend_minmax] == "GL_EXT_blend_minmax");
static_assert(kGlExtensionNames[GlExt::EXT_compiled_vertex_array] ==
              "GL_EXT_compiled_vertex_array");
static_assert(kGlExtensionNames[GlExt::EXT_depth_bounds_test] == "GL_EXT_depth_bounds_test");
static_assert(kGlExtensionNames[GlExt::EXT_draw_range_elements] ==
              "GL_EXT_draw_range_elements");
static_assert(kGlExtensionNames[GlExt::EXT_separate_specular_color] ==
              "GL_EXT_separate_specular_color");

namespace {

struct LoaderState {
  ExtensionFlags working;
  ExtensionFlags published;
  int errorFlag = 0;
  ExtensionProcResolver resolver;
  std::map<std::string, void*, std::less<>> procs;
};

LoaderState& State() {
  static LoaderState state;
  return state;
}

// An extension group: the flag that enables it and the entry points it
// fetches. The program calls none of these functions; the groups kept are
// those whose entry points a later feature is most likely to want.
struct ExtensionGroup {
  const int32_t* flag;
  std::initializer_list<const char*> entryPoints;
};

void LoadGroup(const ExtensionGroup& group) {
  if (!*group.flag) return;
  for (const char* name : group.entryPoints) State().procs[name] = GetExtensionProc(name);
}

void LoadGlGroups() {
  const ExtensionFlags& f = State().working;
  const ExtensionGroup groups[] = {
      {&f.gl[GlExt::ARB_multitexture],
       {"glActiveTextureARB",     "glClientActiveTextureARB", "glMultiTexCoord1dARB",
        "glMultiTexCoord1dvARB",  "glMultiTexCoord1fARB",     "glMultiTexCoord1fvARB",
        "glMultiTexCoord1iARB",   "glMultiTexCoord1ivARB",    "glMultiTexCoord1sARB",
        "glMultiTexCoord1svARB",  "glMultiTexCoord2dARB",     "glMultiTexCoord2dvARB",
        "glMultiTexCoord2fARB",   "glMultiTexCoord2fvARB",    "glMultiTexCoord2iARB",
        "glMultiTexCoord2ivARB",  "glMultiTexCoord2sARB",     "glMultiTexCoord2svARB",
        "glMultiTexCoord3dARB",   "glMultiTexCoord3dvARB",    "glMultiTexCoord3fARB",
        "glMultiTexCoord3fvARB",  "glMultiTexCoord3iARB",     "glMultiTexCoord3ivARB",
        "glMultiTexCoord3sARB",   "glMultiTexCoord3svARB",    "glMultiTexCoord4dARB",
        "glMultiTexCoord4dvARB",  "glMultiTexCoord4fARB",     "glMultiTexCoord4fvARB",
        "glMultiTexCoord4iARB",   "glMultiTexCoord4ivARB",    "glMultiTexCoord4sARB",
        "glMultiTexCoord4svARB"}},
      {&f.gl[GlExt::EXT_blend_color], {"glBlendColorEXT"}},
      {&f.gl[GlExt::EXT_blend_minmax], {"glBlendEquationEXT"}},
      {&f.gl[GlExt::EXT_compiled_vertex_array], {"glLockArraysEXT", "glUnlockArraysEXT"}},
      {&f.gl[GlExt::EXT_depth_bounds_test], {"glDepthBoundsEXT"}},
      {&f.gl[GlExt::EXT_draw_range_elements], {"glDrawRangeElementsEXT"}},
      {&f.gl12, {"glTexImage3D", "glTexSubImage3D", "glCopyTexSubImage3D", "glDrawRangeElements"}},
  };
  for (const ExtensionGroup& g : groups) LoadGroup(g);
}

// Reads the leading unsigned number of text at p, advancing p; -1 when
// there is none.
int ReadNumber(const char*& p) {
  if (!std::isdigit(static_cast<unsigned char>(*p))) return -1;
  long v = 0;
  while (std::isdigit(static_cast<unsigned char>(*p))) {
    if (v < 100000) v = v * 10 + (*p - '0');
    ++p;
  }
  return int(v);
}

}  // namespace

void SetExtensionProcResolver(ExtensionProcResolver resolver) {
  State().resolver = std::move(resolver);
}

int HasExtensionWord(const char* list, const char* name) {
  if (!list || !name || !*name || std::strchr(name, ' ')) return 0;
  const size_t len = std::strlen(name);
  const char* p = list;
  while (const char* hit = std::strstr(p, name)) {
    bool startsWord = hit == p || hit[-1] == ' ';
    bool endsWord = hit[len] == ' ' || hit[len] == '\0';
    if (startsWord && endsWord) return 1;
    p = hit + 1;
  }
  return 0;
}

void SetVersionFlags(const char* version, ExtensionFlags& flags) {
  flags.gl12 = flags.gl13 = flags.gl14 = 0;
  if (!version) return;
  const char* p = version;
  int major = ReadNumber(p);
  if (major < 0 || *p != '.') return;
  ++p;
  int minor = ReadNumber(p);
  if (minor < 0) return;
  auto atLeast = [&](int mj, int mn) { return major > mj || (major == mj && minor >= mn); };
  flags.gl12 = atLeast(1, 2);
  flags.gl13 = atLeast(1, 3);
  flags.gl14 = atLeast(1, 4);
}

int HasGLExtension(const char* name) {
  return HasExtensionWord(reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS)), name);
}

// There is no window-system extension string on this platform: every
// window-system name is absent.
int HasWGLExtension(const char*) { return 0; }

void QueryGLExtensions() {
  const char* version = reinterpret_cast<const char*>(glGetString(GL_VERSION));
  if (!version) return;
  ExtensionFlags& f = State().working;
  SetVersionFlags(version, f);
  const char* list = reinterpret_cast<const char*>(glGetString(GL_EXTENSIONS));
  for (int i = 0; i < ExtensionFlags::kGlCount; ++i) {
    std::string name(kGlExtensionNames[i]);
    f.gl[i] = HasExtensionWord(list, name.c_str());
  }
}

void QueryWGLExtensions() {
  for (int32_t& flag : State().working.wgl) flag = 0;
}

void* GetExtensionProc(const char* name) {
  void* address = State().resolver ? State().resolver(name) : nullptr;
  if (!address) State().errorFlag = 1;
  return address;
}

int InitWGLExtensions() {
  State().errorFlag = 0;
  QueryWGLExtensions();
  return State().errorFlag;
}

int LoadGLExtensions() {
  State().errorFlag = 0;
  QueryGLExtensions();
  LoadGlGroups();
  InitWGLExtensions();
  State().published = State().working;
  return State().errorFlag;
}

int InitGLExtensions() { return LoadGLExtensions(); }

const ExtensionFlags& PublicExtensionFlags() { return State().published; }

void* LoadedExtensionProc(std::string_view name) {
  auto it = State().procs.find(name);
  return it == State().procs.end() ? nullptr : it->second;
}

}  // namespace quarnel
