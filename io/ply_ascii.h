// Locale-independent parsing of the numbers of an ASCII PLY body. A token
// must be one whole number that fits its declared type.
#pragma once

#include <cstdint>
#include <string_view>

#include "io/ply_types.h"

namespace quarnel {

// Optional sign and decimal digits, nothing else; false on overflow of int64.
bool ParsePlyInt64(std::string_view token, std::int64_t& value);

// An integer token for one of the six integer types, range-checked against
// that type.
bool ParsePlyInteger(std::string_view token, PlyType type, std::int64_t& value);

// Whether a value read as an integer fits one of the six integer types.
inline bool PlyIntegerFits(std::int64_t v, PlyType type) {
  switch (type) {
    case ply_type::Char: return v >= INT8_MIN && v <= INT8_MAX;
    case ply_type::Short: return v >= INT16_MIN && v <= INT16_MAX;
    case ply_type::Int: return v >= INT32_MIN && v <= INT32_MAX;
    case ply_type::UChar: return v >= 0 && v <= UINT8_MAX;
    case ply_type::UShort: return v >= 0 && v <= UINT16_MAX;
    case ply_type::UInt: return v >= 0 && v <= UINT32_MAX;
    default: return false;
  }
}

// A floating-point token as the C library's "%f" reads it in the C locale:
// optional sign, decimal with optional exponent, hexadecimal ("0x1.8p-2"),
// "inf", "infinity" and "nan" in any case. A finite value that does not fit
// the type fails, one too small for it becomes a signed zero.
bool ParsePlyFloat(std::string_view token, float& value);
bool ParsePlyDouble(std::string_view token, double& value);

// Whether the token spells such a number, whatever its range.
bool IsPlyNumberToken(std::string_view token);

// Double to float as the hardware rounds it, without the undefined
// behaviour of an out-of-range conversion.
float PlyDoubleToFloat(double d);

}  // namespace quarnel
