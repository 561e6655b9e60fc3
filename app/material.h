// The OpenGL material of a document's mesh, one of four presets.
#pragma once

namespace quarnel {

struct Material {
  float ambient[4] = {0, 0, 0, 0};
  float diffuse[4] = {0, 0, 0, 0};
  float specular[4] = {0, 0, 0, 0};
  int shininess = 0;

  // 0 "Pure White", 1 "Dull", 2 "Shiny", 3 "More Shiny"; any other number
  // changes nothing. Every alpha is 0 until SetAlpha.
  void SetPreset(int preset);
  // The alpha of ambient and diffuse; colours, specular and shininess stay.
  void SetAlpha(float alpha);
  // Sets the front material with colour material off, then leaves colour
  // material on for the diffuse term so per-vertex and per-face colours
  // replace the diffuse colour.
  void Apply() const;
  // The shininess handed to OpenGL, which accepts only 0 to 128.
  float GlShininess() const;
};

}  // namespace quarnel
