#include "app/material.h"

#include <gtest/gtest.h>

namespace quarnel {
namespace {

void ExpectRgba(const float* c, float r, float g, float b, float a) {
  EXPECT_FLOAT_EQ(c[0], r);
  EXPECT_FLOAT_EQ(c[1], g);
  EXPECT_FLOAT_EQ(c[2], b);
  EXPECT_FLOAT_EQ(c[3], a);
}

TEST(Material, PresetsHoldTheirRowsWithZeroAlpha) {
  Material m;
  m.SetPreset(0);
  ExpectRgba(m.ambient, 1, 1, 1, 0);
  ExpectRgba(m.diffuse, 1, 1, 1, 0);
  ExpectRgba(m.specular, 0, 0, 0, 0);
  EXPECT_EQ(m.shininess, 0);
  m.SetPreset(2);
  ExpectRgba(m.ambient, 0.8f, 0.8f, 0.8f, 0);
  ExpectRgba(m.specular, 0.2f, 0.2f, 0.2f, 0);
  EXPECT_EQ(m.shininess, 30);
  m.SetPreset(3);
  ExpectRgba(m.diffuse, 0.7f, 0.7f, 0.7f, 0);
  ExpectRgba(m.specular, 0.8f, 0.8f, 0.8f, 0);
  EXPECT_EQ(m.shininess, 250);
  // "More Shiny" then "Dull": black specular and no shininess again.
  m.SetPreset(1);
  ExpectRgba(m.diffuse, 0.8f, 0.8f, 0.8f, 0);
  ExpectRgba(m.specular, 0, 0, 0, 0);
  EXPECT_EQ(m.shininess, 0);
}

TEST(Material, UnknownPresetChangesNothing) {
  Material m;
  m.SetPreset(2);
  m.SetAlpha(0.5f);
  Material before = m;
  m.SetPreset(4);
  m.SetPreset(-1);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(m.ambient[i], before.ambient[i]);
    EXPECT_EQ(m.specular[i], before.specular[i]);
  }
  EXPECT_EQ(m.shininess, before.shininess);
}

TEST(Material, AlphaTouchesAmbientAndDiffuseOnly) {
  Material m;
  m.SetPreset(3);
  m.SetAlpha(0.5f);
  ExpectRgba(m.ambient, 0.7f, 0.7f, 0.7f, 0.5f);
  ExpectRgba(m.diffuse, 0.7f, 0.7f, 0.7f, 0.5f);
  ExpectRgba(m.specular, 0.8f, 0.8f, 0.8f, 0);
  EXPECT_EQ(m.shininess, 250);
  m.SetAlpha(1.0f);
  EXPECT_FLOAT_EQ(m.diffuse[3], 1.0f);
  m.SetPreset(1);
  EXPECT_FLOAT_EQ(m.diffuse[3], 0.0f);
}

TEST(Material, OpenGlGetsAShininessItAccepts) {
  Material m;
  m.SetPreset(3);
  EXPECT_EQ(m.GlShininess(), 128.0f);
  m.SetPreset(2);
  EXPECT_EQ(m.GlShininess(), 30.0f);
}

}  // namespace
}  // namespace quarnel
