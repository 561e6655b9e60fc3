#include "app/extensions.h"

#include <gtest/gtest.h>

#include "app/gl_error.h"

namespace quarnel {
namespace {

TEST(Extensions, VersionFlagsFollowMajorAndMinor) {
  ExtensionFlags f;
  SetVersionFlags("1.5.0", f);
  EXPECT_EQ(f.gl12 + f.gl13 + f.gl14, 3);
  SetVersionFlags("1.3.1", f);
  EXPECT_EQ(f.gl12, 1);
  EXPECT_EQ(f.gl13, 1);
  EXPECT_EQ(f.gl14, 0);
  SetVersionFlags("1.2 Mesa", f);
  EXPECT_EQ(f.gl12, 1);
  EXPECT_EQ(f.gl13, 0);
  SetVersionFlags("1.1.0", f);
  EXPECT_EQ(f.gl12 + f.gl13 + f.gl14, 0);
  // A modern context offers everything 1.4 had.
  SetVersionFlags("4.5 (Compatibility Profile) Mesa 22.3.6", f);
  EXPECT_EQ(f.gl12 + f.gl13 + f.gl14, 3);
  SetVersionFlags("2.1 Mesa 21.0", f);
  EXPECT_EQ(f.gl14, 1);
  for (const char* bad : {"", "Mesa", "4", "4.x", ".5"}) {
    SetVersionFlags("1.5", f);
    SetVersionFlags(bad, f);
    EXPECT_EQ(f.gl12 + f.gl13 + f.gl14, 0) << bad;
  }
  SetVersionFlags(nullptr, f);
  EXPECT_EQ(f.gl12, 0);
}

TEST(Extensions, NamesMatchOnlyAsWholeWords) {
  const char* list = "GL_ARB_multitexture_foo GL_ARB_texture_cube_map";
  EXPECT_EQ(HasExtensionWord(list, "GL_ARB_multitexture"), 0);
  EXPECT_EQ(HasExtensionWord(list, "GL_ARB_texture_cube_map"), 1);
  EXPECT_EQ(HasExtensionWord(list, "GL_ARB_multitexture_foo"), 1);
  EXPECT_EQ(HasExtensionWord("XGL_A GL_A", "GL_A"), 1);
  EXPECT_EQ(HasExtensionWord("XGL_A GL_AB", "GL_A"), 0);
  EXPECT_EQ(HasExtensionWord(list, ""), 0);
  EXPECT_EQ(HasExtensionWord(list, "GL_ARB_texture_cube_map GL"), 0);
  EXPECT_EQ(HasExtensionWord(nullptr, "GL_A"), 0);
}

TEST(Extensions, WithoutAContextOnlyTheWindowSystemPartRuns) {
  // No context is current in a unit test: the version string is null, the
  // OpenGL flags keep their values and the result is still 0.
  SetExtensionProcResolver([](const char*) -> void* { return nullptr; });
  EXPECT_EQ(LoadGLExtensions(), 0);
  const ExtensionFlags& f = PublicExtensionFlags();
  for (int w : f.wgl) EXPECT_EQ(w, 0);
  EXPECT_EQ(f.gl[GlExt::ARB_texture_cube_map], 0);
  EXPECT_EQ(LoadedExtensionProc("glActiveTextureARB"), nullptr);
  EXPECT_EQ(HasWGLExtension("WGL_ARB_pbuffer"), 0);
}

TEST(Extensions, FlagPositionsNameTheExtensions) {
  EXPECT_EQ(kGlExtensionNames[0], "GL_ARB_imaging");
  EXPECT_EQ(kGlExtensionNames[ExtensionFlags::kGlCount - 1], "GL_SGIX_depth_texture");
  EXPECT_EQ(kGlExtensionNames[GlExt::EXT_separate_specular_color],
            "GL_EXT_separate_specular_color");
  EXPECT_EQ(sizeof(ExtensionFlags), 114 * sizeof(int32_t));
}

TEST(GlError, MessagesCarryTheLabelAndTheErrorSuffix) {
  EXPECT_EQ(GlErrorMessage("DEBUG", 0x501), "DEBUG: invalid value");
  EXPECT_EQ(GlErrorMessage("DEBUG", 0x500), "DEBUG: invalid enum");
  EXPECT_EQ(GlErrorMessage("x", 0x502), "x: invalid operation");
  EXPECT_EQ(GlErrorMessage("x", 0x503), "x: stack overflow");
  EXPECT_EQ(GlErrorMessage("x", 0x504), "x: stack underflow");
  EXPECT_EQ(GlErrorMessage("x", 0x505), "x: out of memory");
  EXPECT_EQ(GlErrorMessage(nullptr, 0x505), ": out of memory");
  EXPECT_EQ(GlErrorMessage("DEBUG", 0), "");
  EXPECT_EQ(GlErrorMessage("DEBUG", 0x506), "");
}

}  // namespace
}  // namespace quarnel
