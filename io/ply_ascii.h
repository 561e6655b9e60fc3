// Locale-independent parsing of the numbers of an ASCII PLY body. A token
// must be one whole number that fits its declared type.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

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

// The common spelling of a number in a text body, read without a call:
// optional minus, decimal digits with an optional point, an optional
// exponent, at most 19 digits in all and followed by a blank before `end`.
// With a mantissa below 2^53 the value is exact as a double before one
// division or multiplication by an exact power of ten, which rounds it
// correctly; a float is rounded from that double, which is correct except
// when the double lies exactly halfway between two floats. Anything else
// (those halfway cases, a plus sign, hex, inf, a long or odd token, an
// exponent beyond the powers of ten that doubles hold exactly) returns
// false and leaves p alone, for the general reader, which gives the same
// value. On success p is at the blank after the number.
template <class T>
inline bool ParsePlyDecimalFast(const char*& p, const char* end, T& value) {
  static constexpr double kPow10[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* q = p;
  const bool negative = q < end && *q == '-';
  q += negative ? 1 : 0;
  std::uint64_t m = 0;
  int digits = 0, exp10 = 0;
  for (unsigned d; q < end && (d = unsigned(static_cast<unsigned char>(*q)) - '0') <= 9; ++q, ++digits) {
    m = m * 10 + d;
    if (digits == 19) return false;
  }
  if (q < end && *q == '.') {
    for (unsigned d; ++q < end && (d = unsigned(static_cast<unsigned char>(*q)) - '0') <= 9; ++digits) {
      if (digits == 19) return false;
      m = m * 10 + d;
      --exp10;
    }
  }
  if (digits == 0) return false;
  if (q < end && (*q == 'e' || *q == 'E')) {
    ++q;
    const bool negativeExp = q < end && *q == '-';
    if (q < end && (*q == '-' || *q == '+')) ++q;
    int e = 0, expDigits = 0;
    for (unsigned d; q < end && (d = unsigned(static_cast<unsigned char>(*q)) - '0') <= 9; ++q) {
      if (++expDigits > 3) return false;
      e = e * 10 + int(d);
    }
    if (expDigits == 0) return false;
    exp10 += negativeExp ? -e : e;
  }
  if (q == end || !(*q == ' ' || static_cast<unsigned char>(*q - '\t') <= 4)) return false;
  if (m >= (std::uint64_t(1) << 53) || exp10 < -22 || exp10 > 22) return false;
  double d = double(m);
  d = exp10 < 0 ? d / kPow10[-exp10] : d * kPow10[exp10];
  if constexpr (std::is_same_v<T, float>) {
    // d lies between 1e-22 and 1e38, where floats are normal: a halfway
    // double has the lowest 29 of its 52 fraction bits at 1000...0.
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    if ((bits & 0x1FFFFFFFu) == 0x10000000u) return false;
  }
  value = T(negative ? -d : d);
  p = q;
  return true;
}

// Double to float as the hardware rounds it, without the undefined
// behaviour of an out-of-range conversion.
float PlyDoubleToFloat(double d);

}  // namespace quarnel
