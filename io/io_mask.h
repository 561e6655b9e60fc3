// The attribute bits of a PLY file, as the probe and the importers report
// them and as the writer and the exporters take them.
#pragma once

#include <cstdint>

namespace quarnel {

using IoMask = std::uint32_t;

namespace io_mask {
inline constexpr IoMask VertexCoord = 0x1;
inline constexpr IoMask VertexFlags = 0x2;
inline constexpr IoMask VertexColor = 0x4;
inline constexpr IoMask VertexQuality = 0x8;
inline constexpr IoMask VertexNormal = 0x10;
inline constexpr IoMask FaceIndices = 0x40;
inline constexpr IoMask FaceFlags = 0x80;
inline constexpr IoMask FaceColor = 0x100;
inline constexpr IoMask FaceQuality = 0x200;
inline constexpr IoMask FaceNormal = 0x400;
inline constexpr IoMask FaceColorList = 0x800;
inline constexpr IoMask WedgeTexCoord = 0x1000;
inline constexpr IoMask WedgeTexNumber = 0x2000;
inline constexpr IoMask Camera = 0x8000;
}  // namespace io_mask

}  // namespace quarnel
