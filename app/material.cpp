#include "app/material.h"

#include <GL/gl.h>

#include <algorithm>

namespace quarnel {

namespace {
struct Preset {
  float ambientDiffuse;
  float specular;
  int shininess;
};
constexpr Preset kPresets[4] = {
    {1.0f, 0.0f, 0},     // Pure White
    {0.8f, 0.0f, 0},     // Dull
    {0.8f, 0.2f, 30},    // Shiny
    {0.7f, 0.8f, 250},   // More Shiny
};
}  // namespace

void Material::SetPreset(int preset) {
  if (preset < 0 || preset > 3) return;
  const Preset& p = kPresets[preset];
  for (int i = 0; i < 3; ++i) {
    ambient[i] = p.ambientDiffuse;
    diffuse[i] = p.ambientDiffuse;
    specular[i] = p.specular;
  }
  ambient[3] = diffuse[3] = specular[3] = 0.0f;
  shininess = p.shininess;
}

void Material::SetAlpha(float alpha) {
  ambient[3] = alpha;
  diffuse[3] = alpha;
}

float Material::GlShininess() const { return float(std::clamp(shininess, 0, 128)); }

void Material::Apply() const {
  glDisable(GL_COLOR_MATERIAL);
  glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, GlShininess());
  glMaterialfv(GL_FRONT, GL_AMBIENT, ambient);
  glMaterialfv(GL_FRONT, GL_DIFFUSE, diffuse);
  glMaterialfv(GL_FRONT, GL_SPECULAR, specular);
  glColorMaterial(GL_FRONT_AND_BACK, GL_DIFFUSE);
  glEnable(GL_COLOR_MATERIAL);
  glColor4fv(diffuse);
}

}  // namespace quarnel
