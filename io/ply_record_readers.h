// The read routines of one property, one per body format, bound state, list
// flag and pair of file and memory types, chosen once per element.
#pragma once

#include <cstddef>
#include <cstdint>

#include "io/ply_reader.h"

namespace quarnel {

// The routine for a property, given the reader's format; the property's
// binding copy must already carry that format.
PlyReadRoutine ChoosePlyReadRoutine(PlyFormat format, const PlyProperty& property);

// Whether a binding may store a file type into a memory type: every integer
// into every type, floating point only into floating point.
constexpr bool PlyCastAllowed(PlyType fileType, PlyType memType) {
  if (!IsValidPlyType(fileType) || !IsValidPlyType(memType)) return false;
  return IsIntegerPlyType(fileType) || !IsIntegerPlyType(memType);
}

// Converts n consecutive binary values of one file type, in the byte order
// of `format`, into n consecutive values of a memory type, exactly as the
// read routines convert them one by one.
using PlyConvertRun = void (*)(const char* src, char* dst, std::size_t n);
PlyConvertRun ChoosePlyConvertRun(PlyFormat format, PlyType fileType, PlyType memType);

// The bytes of an integer value of a type as a binary file of `format`
// holds it; false when the value does not fit the type.
bool EncodePlyValue(std::int64_t value, PlyType type, PlyFormat format, unsigned char* bytes);

// Whether a count fits a memory type, and storing it there.
bool PlyCountFits(std::int64_t count, PlyType memType);
void StorePlyCount(char* dst, PlyType memType, std::int64_t count);

}  // namespace quarnel
