#include "io/ply_types.h"

#include <cstring>

namespace quarnel {

const char* const kPlyTypeNames[9] = {"none",  "char", "short", "int",   "uchar",
                                      "ushort", "uint", "float", "double"};
const char* const kPlyTypeNames2[9] = {"none",   "int8",   "int16",   "int32",  "uint8",
                                       "uint16", "uint32", "float32", "float64"};
const int kPlyTypeSizes[9] = {0, 1, 2, 4, 1, 2, 4, 4, 8};

PlyType FindPlyType(const char* token) {
  if (token == nullptr) return -1;
  for (PlyType t = 1; t <= 8; ++t) {
    if (std::strcmp(token, kPlyTypeNames[t]) == 0) return t;
    if (std::strcmp(token, kPlyTypeNames2[t]) == 0) return t;
  }
  return -1;
}

namespace {
// The texts are shown to the user as they stand, "Unespected" included.
const char* const kErrorTexts[ply_error::Count] = {
    "No errors",
    "Can't open file",
    "Header not found",
    "Eof in header",
    "Format not found",
    "Syntax error on header",
    "Property without element",
    "Bad type name",
    "Element not found",
    "Property not found",
    "Bad type on addtoread",
    "Incompatible type",
    "Bad cast",
    "No vertex field found",
    "No face field found",
    "Unespected eof",
    "Face with more than 3 vertices",
    "Bad vertex index in face",
    "Face with no 6 texture coordinates",
    "Number of color differ from vertices",
};
}  // namespace

const char* PlyErrorText(PlyError code) {
  if (code < 0 || code >= ply_error::Count) return "";
  return kErrorTexts[code];
}

}  // namespace quarnel
