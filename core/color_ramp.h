// Element colours from the element quality on a five-colour ramp: red,
// yellow, green, cyan, blue from the low end to the high end.
#pragma once

#include "core/histogram.h"
#include "core/mesh.h"

namespace quarnel {

// The colour of q on the ramp over [min, max]: red below min, blue from max
// up (and everywhere from min up when max = min), linear in between; each
// byte truncated toward zero.
Color4b RampColor(float q, float min, float max);

namespace detail {
// The ranges start from the float limits, so a mesh without live elements
// has min > max and colours nothing.
inline constexpr float kRangeStart = 3.4e38f;

struct QualityRange {
  float min = kRangeStart;
  float max = -kRangeStart;
};

// The range of the live records' quality: a deleted element's stale quality
// must not stretch the colours.
template <class Records>
QualityRange LiveQualityRange(const Records& records) {
  QualityRange r;
  for (const auto& e : records) {
    if (!IsLive(e.flags)) continue;
    if (e.quality < r.min) r.min = e.quality;
    if (e.quality > r.max) r.max = e.quality;
  }
  return r;
}
}  // namespace detail

template <class MeshT>
requires HasQuality<typename MeshT::VertexType> && HasColor<typename MeshT::VertexType>
void ColorVerticesByQuality(MeshT& mesh, float min, float max) {
  for (auto& v : mesh.vertices)
    if (IsLive(v.flags)) v.color = RampColor(v.quality, min, max);
}

template <class MeshT>
requires HasQuality<typename MeshT::FaceType> && HasColor<typename MeshT::FaceType>
void ColorFacesByQuality(MeshT& mesh, float min, float max) {
  for (auto& f : mesh.faces)
    if (IsLive(f.flags)) f.color = RampColor(f.quality, min, max);
}

// The ramp over the range of the live vertices' quality.
template <class MeshT>
requires HasQuality<typename MeshT::VertexType> && HasColor<typename MeshT::VertexType>
void ColorVerticesByQualityRange(MeshT& mesh) {
  const detail::QualityRange r = detail::LiveQualityRange(mesh.vertices);
  ColorVerticesByQuality(mesh, r.min, r.max);
}

// The ramp over the range of the live faces' quality.
template <class MeshT>
requires HasQuality<typename MeshT::FaceType> && HasColor<typename MeshT::FaceType>
void ColorFacesByQualityRange(MeshT& mesh) {
  const detail::QualityRange r = detail::LiveQualityRange(mesh.faces);
  ColorFacesByQuality(mesh, r.min, r.max);
}

// The ramp between the 5 % and 95 % percentiles of the live vertices'
// quality (a 1024-bin histogram over its range), so outliers do not stretch
// it.
void ColorVerticesByQualityHistogram(MeshT5& mesh);

}  // namespace quarnel
