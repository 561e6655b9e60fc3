// Value types, body formats and error codes of the PLY reading library, shared
// by the reader, the importers, the writer and the document's messages.
#pragma once

#include <cstdint>

namespace quarnel {

// Value type of a property, a list count or a bound field. Codes 1 to 8 are
// valid; 0 means no type.
using PlyType = std::int32_t;

namespace ply_type {
inline constexpr PlyType None = 0;
inline constexpr PlyType Char = 1;
inline constexpr PlyType Short = 2;
inline constexpr PlyType Int = 3;
inline constexpr PlyType UChar = 4;
inline constexpr PlyType UShort = 5;
inline constexpr PlyType UInt = 6;
inline constexpr PlyType Float = 7;
inline constexpr PlyType Double = 8;
}  // namespace ply_type

inline constexpr bool IsValidPlyType(PlyType t) { return t >= 1 && t <= 8; }
inline constexpr bool IsIntegerPlyType(PlyType t) { return t >= 1 && t <= 6; }

// Both spellings of every type and its size in bytes, indexed by the code.
extern const char* const kPlyTypeNames[9];
extern const char* const kPlyTypeNames2[9];
extern const int kPlyTypeSizes[9];

// Code 1 to 8 whose first or second spelling equals the token exactly, or -1.
// "none" is never accepted.
PlyType FindPlyType(const char* token);

// Body encoding named in the header.
using PlyFormat = std::int32_t;

namespace ply_format {
inline constexpr PlyFormat Unknown = 0;
inline constexpr PlyFormat Ascii = 1;
inline constexpr PlyFormat BinaryLittleEndian = 2;
inline constexpr PlyFormat BinaryBigEndian = 3;
}  // namespace ply_format

// Error codes of the library (1 to 12) and of the importers (13 to 19).
using PlyError = std::int32_t;

namespace ply_error {
inline constexpr PlyError NoError = 0;
inline constexpr PlyError CantOpenFile = 1;
inline constexpr PlyError HeaderNotFound = 2;
inline constexpr PlyError EofInHeader = 3;
inline constexpr PlyError FormatNotFound = 4;
inline constexpr PlyError SyntaxError = 5;
inline constexpr PlyError PropertyWithoutElement = 6;
inline constexpr PlyError BadTypeName = 7;
inline constexpr PlyError ElementNotFound = 8;
inline constexpr PlyError PropertyNotFound = 9;
inline constexpr PlyError BadTypeOnAddToRead = 10;
inline constexpr PlyError IncompatibleType = 11;
inline constexpr PlyError BadCast = 12;
inline constexpr PlyError NoVertexField = 13;
inline constexpr PlyError NoFaceField = 14;
inline constexpr PlyError UnexpectedEof = 15;
inline constexpr PlyError FaceNotTriangle = 16;
inline constexpr PlyError BadVertexIndex = 17;
inline constexpr PlyError NoSixTexCoords = 18;
inline constexpr PlyError ColorCountMismatch = 19;
inline constexpr int Count = 20;
}  // namespace ply_error

// The fixed message of an error code; an unknown code gives an empty text.
const char* PlyErrorText(PlyError code);

}  // namespace quarnel
