#include "io/ply_ascii.h"

#include <charconv>
#include <cfloat>
#include <cmath>
#include <limits>
#include <system_error>

namespace quarnel {

bool ParsePlyInt64(std::string_view token, std::int64_t& value) {
  const char* p = token.data();
  const char* e = p + token.size();
  bool negative = false;
  if (p < e && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  if (p == e) return false;
  while (p + 1 < e && *p == '0') ++p;
  // Up to 19 digits cannot overflow 64 unsigned bits.
  if (e - p > 19) return false;
  std::uint64_t v = 0;
  for (; p < e; ++p) {
    unsigned d = unsigned(static_cast<unsigned char>(*p)) - '0';
    if (d > 9) return false;
    v = v * 10 + d;
  }
  const std::uint64_t limit = negative ? std::uint64_t(INT64_MAX) + 1 : std::uint64_t(INT64_MAX);
  if (v > limit) return false;
  value = negative ? std::int64_t(0 - v) : std::int64_t(v);
  return true;
}

bool ParsePlyInteger(std::string_view token, PlyType type, std::int64_t& value) {
  std::int64_t v;
  if (!ParsePlyInt64(token, v) || !PlyIntegerFits(v, type)) return false;
  value = v;
  return true;
}

namespace {

// "0x" or "0X" at p: the start of a hexadecimal floating-point number.
bool HasHexPrefix(const char* p, const char* e) {
  return e - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
}

bool IsDigitOf(char c, bool hex) {
  if (c >= '0' && c <= '9') return true;
  return hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'));
}

// Whether an out-of-range token is too small (underflow) rather than too
// large: compares the position of its first significant digit, in decimal
// digits against a decimal exponent, or in hex digits (four bits each)
// against a binary exponent.
bool IsUnderflow(std::string_view t) {
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  const bool hex = HasHexPrefix(t.data() + i, t.data() + t.size());
  if (hex) i += 2;
  bool seenPoint = false, seenNonZeroFraction = false;
  long long intDigits = 0, fractionZeros = 0;
  for (; i < t.size(); ++i) {
    char c = t[i];
    if (c == '.') {
      seenPoint = true;
    } else if (IsDigitOf(c, hex)) {
      if (!seenPoint) {
        if (intDigits > 0 || c != '0') ++intDigits;
      } else if (intDigits == 0 && !seenNonZeroFraction) {
        if (c == '0') {
          ++fractionZeros;
        } else {
          seenNonZeroFraction = true;
        }
      }
    } else {
      break;
    }
  }
  long long magnitude = intDigits > 0 ? intDigits - 1 : -(fractionZeros + 1);
  if (hex) magnitude *= 4;
  long long exponent = 0;
  const char mark = hex ? 'p' : 'e';
  if (i < t.size() && (t[i] == mark || t[i] == mark - 'a' + 'A')) {
    ++i;
    bool neg = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) neg = t[i++] == '-';
    for (; i < t.size() && t[i] >= '0' && t[i] <= '9'; ++i) {
      if (exponent < 100000000) exponent = exponent * 10 + (t[i] - '0');
    }
    if (neg) exponent = -exponent;
  }
  return magnitude + exponent < 0;
}

// The number in [p, e) without a leading plus: decimal, "inf", "infinity"
// and "nan" in any case (from_chars reads those), or hexadecimal after
// "0x" with an optional point and binary exponent, as the C library's "%f"
// reads it. from_chars takes the hex digits without the prefix and without
// a sign, so both are handled here.
template <class T>
std::from_chars_result FromChars(const char* p, const char* e, T& v) {
  const bool negative = p < e && *p == '-';
  const char* digits = p + (negative ? 1 : 0);
  if (!HasHexPrefix(digits, e)) return std::from_chars(p, e, v, std::chars_format::general);
  digits += 2;
  if (digits == e || !(IsDigitOf(*digits, true) || *digits == '.')) {
    return {p, std::errc::invalid_argument};
  }
  auto r = std::from_chars(digits, e, v, std::chars_format::hex);
  if (negative) v = -v;
  return r;
}

template <class T>
bool ParseReal(std::string_view token, T& value) {
  const char* p = token.data();
  const char* e = p + token.size();
  // The C library's readers accept a leading plus; from_chars does not.
  if (p < e && *p == '+') {
    ++p;
    if (p < e && (*p == '-' || *p == '+')) return false;
  }
  if (p == e) return false;
  T v{};
  auto r = FromChars(p, e, v);
  if (r.ptr != e) return false;
  if (r.ec == std::errc::result_out_of_range) {
    if (!IsUnderflow(token)) return false;
    v = (token[0] == '-') ? -T(0) : T(0);
  } else if (r.ec != std::errc()) {
    return false;
  }
  value = v;
  return true;
}

}  // namespace

bool ParsePlyFloat(std::string_view token, float& value) { return ParseReal(token, value); }
bool ParsePlyDouble(std::string_view token, double& value) { return ParseReal(token, value); }

bool IsPlyNumberToken(std::string_view token) {
  const char* p = token.data();
  const char* e = p + token.size();
  if (p < e && *p == '+') {
    ++p;
    if (p < e && (*p == '-' || *p == '+')) return false;
  }
  double d;
  auto r = FromChars(p, e, d);
  return r.ptr == e && p < e && (r.ec == std::errc() || r.ec == std::errc::result_out_of_range);
}

float PlyDoubleToFloat(double d) {
  // Beyond the midpoint between FLT_MAX and 2^128 the nearest float is infinity.
  constexpr double kMax = double(FLT_MAX);
  constexpr double kMidpoint = 340282356779733661637539395458142568448.0;
  if (d > kMax) return d >= kMidpoint ? std::numeric_limits<float>::infinity() : FLT_MAX;
  if (d < -kMax) return d <= -kMidpoint ? -std::numeric_limits<float>::infinity() : -FLT_MAX;
  return float(d);
}

}  // namespace quarnel
