// Binding properties to the caller's records and reading records in ASCII
// and both binary byte orders.
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "io/ply_reader.h"
#include "support/ply_fixture.h"

namespace quarnel {
namespace {

using namespace ply_type;
using test::PlyFixture;
using test::PlyFixtureElement;

const PlyFormat kFormats[] = {ply_format::Ascii, ply_format::BinaryLittleEndian,
                              ply_format::BinaryBigEndian};

int OpenBytes(PlyReader& r, const std::string& bytes, const std::string& name = "record.ply") {
  std::string path = test::TempFilePath(name);
  EXPECT_TRUE(test::WriteFileBytes(path, bytes));
  return r.Open(path.c_str(), 0);
}

int OpenFixture(PlyReader& r, const PlyFixture& f) { return OpenBytes(r, test::PlyFixtureBytes(f)); }

struct AllTypes {
  std::int8_t c;
  std::int16_t s;
  std::int32_t i;
  std::uint8_t uc;
  std::uint16_t us;
  std::uint32_t ui;
  float f;
  double d;
  std::uint8_t n;
  std::int32_t items[4];
};

PlyFixture AllTypesFixture(PlyFormat format) {
  PlyFixtureElement e{"thing",
                      {{"c", Char},
                       {"s", Short},
                       {"i", Int},
                       {"uc", UChar},
                       {"us", UShort},
                       {"ui", UInt},
                       {"f", Float},
                       {"d", Double},
                       {"skipme", Double, UShort},
                       {"items", Int, UChar}},
                      {{-5, -1234, -123456789, 250, 65000, 4000000000.0, 1.5, -2.25, 3, 1e300, -7, 0.5,
                        3, 10, -20, 30},
                       {127, 32767, 2147483647, 0, 0, 0, -0.0, 1e-300, 0, 0}},
                      -1};
  PlyFixture f{format, {}, {e}};
  return f;
}

void BindAll(PlyReader& r) {
  ASSERT_EQ(r.AddToRead("thing", "c", Char, Char, offsetof(AllTypes, c), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "s", Short, Short, offsetof(AllTypes, s), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "i", Int, Int, offsetof(AllTypes, i), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "uc", UChar, UChar, offsetof(AllTypes, uc), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "us", UShort, UShort, offsetof(AllTypes, us), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "ui", UInt, UInt, offsetof(AllTypes, ui), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "f", Float, Float, offsetof(AllTypes, f), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "d", Double, Double, offsetof(AllTypes, d), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("thing", "items", Int, Int, offsetof(AllTypes, items), 1, 0, UChar, UChar,
                        offsetof(AllTypes, n), 4),
            0);
}

TEST(PlyBinding, AddToReadChecksInOrder) {
  PlyReader r;
  ASSERT_EQ(OpenBytes(r,
                      "ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\n"
                      "property list uchar int idx\nproperty float y\nend_header\n1 0 2\n"),
            0);
  EXPECT_EQ(r.AddToRead("face", "x", Double, Double, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::ElementNotFound);
  EXPECT_EQ(r.AddToRead("vertex", "z", Double, None, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::PropertyNotFound);  // the name is checked first
  EXPECT_EQ(r.AddToRead("vertex", "x", Double, None, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::BadTypeOnAddToRead);
  EXPECT_EQ(r.AddToRead("vertex", "x", 9, Double, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::BadTypeOnAddToRead);
  EXPECT_EQ(r.AddToRead("vertex", "idx", Int, Int, 0, 1, 0, UChar, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::BadTypeOnAddToRead);
  EXPECT_EQ(r.AddToRead("vertex", "x", Float, Float, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::IncompatibleType);
  EXPECT_EQ(r.AddToRead("vertex", "x", Double, Double, 0, 1, 0, UChar, UChar, 0), -1);
  EXPECT_EQ(r.error, ply_error::IncompatibleType);  // a list bound to a scalar
  EXPECT_EQ(r.AddToRead("vertex", "idx", Int, Int, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::IncompatibleType);  // a scalar bound to a list
  EXPECT_EQ(r.AddToRead("vertex", "idx", Int, Int, 0, 1, 0, Int, Int, 0), -1);
  EXPECT_EQ(r.error, ply_error::IncompatibleType);  // another count type
  // Floating-point values have no integer memory type to land in.
  EXPECT_EQ(r.AddToRead("vertex", "y", Float, Int, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::BadCast);
  EXPECT_EQ(r.AddToRead("vertex", "x", Double, UChar, 0, 0, 0, 0, 0, 0), -1);
  EXPECT_EQ(r.error, ply_error::BadCast);
  EXPECT_EQ(r.ElementAt(0).properties[0].bound, 0);

  struct Rec {
    double x;
    float y;
    std::int32_t n;
    std::int32_t idx[2];
  } rec{};
  // A second binding of the same property replaces the first.
  ASSERT_EQ(r.AddToRead("vertex", "x", Double, Float, offsetof(Rec, y), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("vertex", "x", Double, Double, offsetof(Rec, x), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("vertex", "idx", Int, Int, offsetof(Rec, idx), 1, 0, UChar, Int, offsetof(Rec, n), 2), 0);
  r.SetCurrentElement(0);
  ASSERT_EQ(r.Read(&rec), 0);
  EXPECT_EQ(rec.x, 1.0);
  EXPECT_EQ(rec.y, 0.0f);
  EXPECT_EQ(rec.n, 0);  // an empty list stores its count
  EXPECT_EQ(r.error, ply_error::BadCast);  // errors are never reset
}

TEST(PlyBinding, FileTypeNameAndMemTypeSize) {
  PlyBinding b;
  b.fileType = UShort;
  b.memType = Double;
  EXPECT_STREQ(b.FileTypeName(), "ushort");
  EXPECT_EQ(b.MemTypeSize(), 8);
  b.fileType = 0;
  b.memType = 12;
  EXPECT_STREQ(b.FileTypeName(), "none");
  EXPECT_EQ(b.MemTypeSize(), 0);
}

TEST(PlyRecords, EveryTypeReadsTheSameInEveryFormat) {
  for (PlyFormat format : kFormats) {
    SCOPED_TRACE(format);
    PlyReader r;
    ASSERT_EQ(OpenFixture(r, AllTypesFixture(format)), 0);
    BindAll(r);
    r.SetCurrentElement(0);
    AllTypes a{};
    ASSERT_EQ(r.Read(&a), 0);
    EXPECT_EQ(a.c, -5);
    EXPECT_EQ(a.s, -1234);
    EXPECT_EQ(a.i, -123456789);
    EXPECT_EQ(a.uc, 250);
    EXPECT_EQ(a.us, 65000);
    EXPECT_EQ(a.ui, 4000000000u);
    EXPECT_EQ(a.f, 1.5f);
    EXPECT_EQ(a.d, -2.25);
    EXPECT_EQ(a.n, 3);
    EXPECT_EQ(a.items[0], 10);
    EXPECT_EQ(a.items[1], -20);
    EXPECT_EQ(a.items[2], 30);
    AllTypes b{};
    b.items[0] = 99;
    ASSERT_EQ(r.Read(&b), 0);
    EXPECT_EQ(b.c, 127);
    EXPECT_EQ(b.s, 32767);
    EXPECT_EQ(b.i, 2147483647);
    EXPECT_TRUE(std::signbit(b.f));
    EXPECT_EQ(b.d, 1e-300);
    EXPECT_EQ(b.n, 0);
    EXPECT_EQ(b.items[0], 99);  // nothing written for an empty list
    EXPECT_EQ(r.Read(&b), -1);  // past the last record
  }
}

TEST(PlyRecords, BigEndianBytesAreReversed) {
  // One record of short 0x0102, int 0x01020304, double 1.0 in both orders.
  const std::string header = "element e 1\nproperty short s\nproperty int i\nproperty double d\nend_header\n";
  std::string be = "ply\nformat binary_big_endian 1.0\n" + header;
  be += std::string("\x01\x02", 2) + std::string("\x01\x02\x03\x04", 4) +
        std::string("\x3f\xf0\x00\x00\x00\x00\x00\x00", 8);
  std::string le = "ply\nformat binary_little_endian 1.0\n" + header;
  le += std::string("\x02\x01", 2) + std::string("\x04\x03\x02\x01", 4) +
        std::string("\x00\x00\x00\x00\x00\x00\xf0\x3f", 8);
  for (const std::string& bytes : {be, le}) {
    struct Rec {
      std::int16_t s;
      std::int32_t i;
      double d;
    } rec{};
    PlyReader r;
    ASSERT_EQ(OpenBytes(r, bytes), 0);
    ASSERT_EQ(r.AddToRead("e", "s", Short, Short, offsetof(Rec, s), 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(r.AddToRead("e", "i", Int, Int, offsetof(Rec, i), 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(r.AddToRead("e", "d", Double, Double, offsetof(Rec, d), 0, 0, 0, 0, 0), 0);
    r.SetCurrentElement(0);
    ASSERT_EQ(r.Read(&rec), 0);
    EXPECT_EQ(rec.s, 0x0102);
    EXPECT_EQ(rec.i, 0x01020304);
    EXPECT_EQ(rec.d, 1.0);
  }
}

TEST(PlyRecords, ValuesConvertToTheMemoryType) {
  for (PlyFormat format : kFormats) {
    SCOPED_TRACE(format);
    PlyFixture f{format, {}, {{"e",
                               {{"big", Int}, {"neg", Char}, {"umax", UInt}, {"d", Double}, {"f", Float}},
                               {{0x12345678, -1, 4294967295.0, 0.1, 0.25}},
                               -1}}};
    struct Rec {
      std::uint8_t big;
      std::uint32_t neg;
      float umax;
      float d;
      double f;
    } rec{};
    PlyReader r;
    ASSERT_EQ(OpenFixture(r, f), 0);
    ASSERT_EQ(r.AddToRead("e", "big", Int, UChar, offsetof(Rec, big), 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(r.AddToRead("e", "neg", Char, UInt, offsetof(Rec, neg), 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(r.AddToRead("e", "umax", UInt, Float, offsetof(Rec, umax), 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(r.AddToRead("e", "d", Double, Float, offsetof(Rec, d), 0, 0, 0, 0, 0), 0);
    ASSERT_EQ(r.AddToRead("e", "f", Float, Double, offsetof(Rec, f), 0, 0, 0, 0, 0), 0);
    r.SetCurrentElement(0);
    ASSERT_EQ(r.Read(&rec), 0);
    EXPECT_EQ(rec.big, 0x78);            // low-order byte
    EXPECT_EQ(rec.neg, 0xFFFFFFFFu);     // sign kept, then modular
    EXPECT_FLOAT_EQ(rec.umax, 4294967295.0f);  // unsigned, not -1
    EXPECT_EQ(rec.d, 0.1f);              // rounded
    EXPECT_EQ(rec.f, 0.25);
  }
}

TEST(PlyRecords, UnboundPropertiesAreSkippedExactly) {
  for (PlyFormat format : kFormats) {
    SCOPED_TRACE(format);
    PlyFixture f{format, {}, {{"e",
                               {{"a", Double, UInt}, {"b", Short}, {"c", Double}, {"keep", Int}, {"e", UChar, UChar}},
                               {{3, 1.5, 2.5, 3.5, -7, 8.25, 42, 0}, {0, 1, 2, 43, 2, 9, 9}},
                               -1}}};
    PlyReader r;
    ASSERT_EQ(OpenFixture(r, f), 0);
    std::int32_t keep = 0;
    ASSERT_EQ(r.AddToRead("e", "keep", Int, Int, 0, 0, 0, 0, 0, 0), 0);
    r.SetCurrentElement(0);
    ASSERT_EQ(r.Read(&keep), 0);
    EXPECT_EQ(keep, 42);
    ASSERT_EQ(r.Read(&keep), 0);
    EXPECT_EQ(keep, 43);
    EXPECT_EQ(r.Read(&keep), -1);
  }
}

TEST(PlyRecords, TruncatedRecordsFail) {
  for (PlyFormat format : kFormats) {
    SCOPED_TRACE(format);
    std::string bytes = test::PlyFixtureBytes(AllTypesFixture(format));
    std::size_t body = bytes.find("end_header\n") + 11;
    // Cut inside the first record's last item: the record fails.
    std::size_t cut = format == ply_format::Ascii ? bytes.find(" 30\n") + 1 : body + 45;
    PlyReader r;
    ASSERT_EQ(OpenBytes(r, bytes.substr(0, cut)), 0);
    BindAll(r);
    r.SetCurrentElement(0);
    AllTypes a{};
    EXPECT_EQ(r.Read(&a), -1);
  }
}

TEST(PlyRecords, ListsNeverRunPastTheirRoom) {
  for (PlyFormat format : kFormats) {
    SCOPED_TRACE(format);
    PlyFixture f{format, {}, {{"e", {{"l", Int, UChar}}, {{2, 1, 2}, {5, 1, 2, 3, 4, 5}, {2, 3, 4}}, -1}}};
    struct Rec {
      std::int32_t n;
      std::int32_t items[2];
      std::int32_t guard;
    } rec{};
    rec.guard = 77;
    PlyReader r;
    ASSERT_EQ(OpenFixture(r, f), 0);
    ASSERT_EQ(r.AddToRead("e", "l", Int, Int, offsetof(Rec, items), 1, 0, UChar, Int, offsetof(Rec, n), 2), 0);
    r.SetCurrentElement(0);
    ASSERT_EQ(r.Read(&rec), 0);
    EXPECT_EQ(rec.items[1], 2);
    EXPECT_EQ(r.Read(&rec), -1);  // five items into a room of two
    EXPECT_EQ(rec.guard, 77);
  }
}

TEST(PlyRecords, CountsMustFitTheirTypes) {
  // A count of 200 does not fit a char count field; -1 is no count at all.
  for (PlyFormat format : kFormats) {
    SCOPED_TRACE(format);
    PlyFixture f{format, {}, {{"e", {{"l", UChar, UChar}}, {{200}}, -1}, {"g", {{"l", Int, Int}}, {{-1}}, -1}}};
    std::string bytes = test::PlyFixtureBytes(f);
    struct Rec {
      std::int8_t n;
      std::int32_t m;
      void* items;
    } rec{};
    PlyReader r;
    ASSERT_EQ(OpenBytes(r, bytes), 0);
    ASSERT_EQ(r.AddToRead("e", "l", UChar, UChar, offsetof(Rec, items), 1, 1, UChar, Char, offsetof(Rec, n)), 0);
    ASSERT_EQ(r.AddToRead("g", "l", Int, Int, offsetof(Rec, items), 1, 1, Int, Int, offsetof(Rec, m)), 0);
    r.SetCurrentElement(0);
    EXPECT_EQ(r.Read(&rec), -1);
    r.SetCurrentElement(1);
    EXPECT_EQ(r.Read(&rec), -1);
    PlyFreeList(rec.items);

    // The same counts are just as wrong in a list that nobody bound.
    PlyReader u;
    ASSERT_EQ(OpenBytes(u, bytes), 0);
    u.SetCurrentElement(1);
    EXPECT_EQ(u.Read(&rec), -1);
  }
}

TEST(PlyRecords, AllocatedListsAreBoundedByTheFile) {
  // A count of 2^31-1 items with a few bytes behind it fails without
  // allocating gigabytes.
  for (PlyFormat format : kFormats) {
    SCOPED_TRACE(format);
    PlyFixture f{format, {}, {{"t", {{"l", Int, Int}}, {{3, 7, 8, 9}}, -1}}};
    std::string bytes = test::PlyFixtureBytes(f);
    PlyReader good;
    ASSERT_EQ(OpenBytes(good, bytes), 0);
    struct Rec {
      std::int32_t n;
      std::int32_t* items;
    } rec{};
    ASSERT_EQ(good.AddToRead("t", "l", Int, Int, offsetof(Rec, items), 1, 1, Int, Int, offsetof(Rec, n)), 0);
    good.SetCurrentElement(0);
    ASSERT_EQ(good.Read(&rec), 0);
    ASSERT_EQ(rec.n, 3);
    EXPECT_EQ(rec.items[2], 9);
    PlyFreeList(rec.items);

    std::size_t body = bytes.find("end_header\n") + 11;
    std::string lying = bytes.substr(0, body);
    if (format == ply_format::Ascii) {
      lying += "2147483647 1 2 3\n";
    } else if (format == ply_format::BinaryLittleEndian) {
      lying += std::string("\xff\xff\xff\x7f", 4) + std::string(12, '\1');
    } else {
      lying += std::string("\x7f\xff\xff\xff", 4) + std::string(12, '\1');
    }
    PlyReader r;
    ASSERT_EQ(OpenBytes(r, lying), 0);
    Rec bad{};
    ASSERT_EQ(r.AddToRead("t", "l", Int, Int, offsetof(Rec, items), 1, 1, Int, Int, offsetof(Rec, n)), 0);
    r.SetCurrentElement(0);
    EXPECT_EQ(r.Read(&bad), -1);
    PlyFreeList(bad.items);
  }
}

// One ASCII record "<token>" read into a property of type `type`.
int ReadAsciiToken(const std::string& token, PlyType type, double* out = nullptr) {
  PlyReader r;
  std::string bytes = std::string("ply\nformat ascii 1.0\nelement e 1\nproperty ") + kPlyTypeNames[type] +
                      " v\nend_header\n" + token + "\n";
  if (OpenBytes(r, bytes) != 0) return -2;
  double value = 0;
  if (r.AddToRead("e", "v", type, Double, 0, 0, 0, 0, 0, 0) != 0) return -3;
  r.SetCurrentElement(0);
  int result = r.Read(&value);
  if (out != nullptr) *out = value;
  return result;
}

TEST(PlyRecords, AsciiValuesAreCheckedAgainstTheirType) {
  double v = 0;
  EXPECT_EQ(ReadAsciiToken("255", UChar, &v), 0);
  EXPECT_EQ(v, 255);
  EXPECT_EQ(ReadAsciiToken("256", UChar), -1);
  EXPECT_EQ(ReadAsciiToken("-1", UChar), -1);
  EXPECT_EQ(ReadAsciiToken("-1", UInt), -1);
  EXPECT_EQ(ReadAsciiToken("-128", Char, &v), 0);
  EXPECT_EQ(v, -128);
  EXPECT_EQ(ReadAsciiToken("-129", Char), -1);
  EXPECT_EQ(ReadAsciiToken("+65535", UShort, &v), 0);
  EXPECT_EQ(v, 65535);
  EXPECT_EQ(ReadAsciiToken("2147483648", Int), -1);
  EXPECT_EQ(ReadAsciiToken("0000000000000000000000042", Int, &v), 0);
  EXPECT_EQ(v, 42);
  EXPECT_EQ(ReadAsciiToken("99999999999999999999999", Int), -1);
  EXPECT_EQ(ReadAsciiToken("1.5", Int), -1);
  EXPECT_EQ(ReadAsciiToken("12abc", Int), -1);
  EXPECT_EQ(ReadAsciiToken("x", Float), -1);
  EXPECT_EQ(ReadAsciiToken("1,5", Float), -1);
  EXPECT_EQ(ReadAsciiToken("-2.5e3", Float, &v), 0);
  EXPECT_EQ(v, -2500);
  EXPECT_EQ(ReadAsciiToken("+.5", Double, &v), 0);
  EXPECT_EQ(v, 0.5);
  EXPECT_EQ(ReadAsciiToken("7", Float, &v), 0);
  EXPECT_EQ(v, 7);
  EXPECT_EQ(ReadAsciiToken("1e39", Float), -1);  // beyond float
  EXPECT_EQ(ReadAsciiToken("1e39", Double, &v), 0);
  EXPECT_EQ(ReadAsciiToken("1e400", Double), -1);
  EXPECT_EQ(ReadAsciiToken("-1e-50", Float, &v), 0);  // too small: a signed zero
  EXPECT_EQ(v, 0.0);
  EXPECT_TRUE(std::signbit(v));
  EXPECT_EQ(ReadAsciiToken("0.000000000000000000000000000000000000000000000000001", Float, &v), 0);
  EXPECT_EQ(v, 0.0);
  EXPECT_EQ(ReadAsciiToken("inf", Float, &v), 0);
  EXPECT_TRUE(std::isinf(v));
  EXPECT_EQ(ReadAsciiToken("nan", Double, &v), 0);
  EXPECT_TRUE(std::isnan(v));
  EXPECT_EQ(ReadAsciiToken("", Int), -1);  // end of file
  EXPECT_EQ(ReadAsciiToken(std::string(300000, '1'), Int), -1);
}

// Decimal spellings of every length, and the shortest spellings of values
// halfway between two floats, read exactly as from_chars reads them, into
// float and into double; integers of every length into int.
TEST(PlyRecords, AsciiDecimalsReadAsFromChars) {
  std::mt19937 rng(7);
  std::vector<std::string> tokens, integers;
  char text[64];
  for (int i = 0; i < 20000; ++i) {
    std::uint32_t bits = rng();
    float f;
    std::memcpy(&f, &bits, sizeof f);
    if (!std::isfinite(f)) continue;
    double half = (double(f) + double(std::nextafter(f, INFINITY))) / 2;
    const int digits = 1 + int(rng() % 19);
    switch (i % 4) {
      case 0: std::snprintf(text, sizeof text, "%.*g", digits, double(f)); break;
      case 1: std::snprintf(text, sizeof text, "%.*g", digits, half); break;
      case 2: std::snprintf(text, sizeof text, "%.*f", int(rng() % 12), double(f) * 1e-30); break;
      default: std::snprintf(text, sizeof text, "%.*e", digits, double(int(rng() % 2000000) - 1000000) / 997); break;
    }
    // Out of range of float is another matter (see above).
    const char* end = text + std::strlen(text);
    float check;
    if (std::from_chars(text, end, check).ec != std::errc()) continue;
    tokens.emplace_back(text);
    const std::int32_t n = std::int32_t(rng()) >> (rng() % 32);
    integers.push_back(std::to_string(n));
  }
  std::string bytes = "ply\nformat ascii 1.0\nelement e " + std::to_string(tokens.size()) +
                      "\nproperty float f\nproperty double d\nproperty int i\nend_header\n";
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    bytes += tokens[k] + " " + tokens[k] + " " + integers[k] + "\n";
  }
  struct Rec {
    float f;
    double d;
    std::int32_t i;
  };
  PlyReader r;
  ASSERT_EQ(OpenBytes(r, bytes), 0);
  ASSERT_EQ(r.AddToRead("e", "f", Float, Float, offsetof(Rec, f), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("e", "d", Double, Double, offsetof(Rec, d), 0, 0, 0, 0, 0), 0);
  ASSERT_EQ(r.AddToRead("e", "i", Int, Int, offsetof(Rec, i), 0, 0, 0, 0, 0), 0);
  r.SetCurrentElement(0);
  for (std::size_t k = 0; k < tokens.size(); ++k) {
    const std::string& t = tokens[k];
    SCOPED_TRACE(t + " " + integers[k]);
    Rec rec{};
    ASSERT_EQ(r.Read(&rec), 0);
    float f = 0;
    double d = 0;
    std::from_chars(t.data(), t.data() + t.size(), f);
    std::from_chars(t.data(), t.data() + t.size(), d);
    ASSERT_EQ(std::bit_cast<std::uint32_t>(rec.f), std::bit_cast<std::uint32_t>(f));
    ASSERT_EQ(std::bit_cast<std::uint64_t>(rec.d), std::bit_cast<std::uint64_t>(d));
    ASSERT_EQ(std::to_string(rec.i), integers[k]);
  }
}

TEST(PlyRecords, AsciiSkipsOneTokenPerValue) {
  PlyReader r;
  ASSERT_EQ(OpenBytes(r,
                      "ply\nformat ascii 1.0\nelement e 2\nproperty int a\nproperty float b\n"
                      "property list uchar float l\nproperty int keep\nend_header\n"
                      "junk 1.5e7 2 1 2 10\n"
                      "  -3\t\t4 0 11"),
            0);
  std::int32_t keep = 0;
  ASSERT_EQ(r.AddToRead("e", "keep", Int, Int, 0, 0, 0, 0, 0, 0), 0);
  r.SetCurrentElement(0);
  ASSERT_EQ(r.Read(&keep), 0);
  EXPECT_EQ(keep, 10);
  ASSERT_EQ(r.Read(&keep), 0);  // the last token ends with the file
  EXPECT_EQ(keep, 11);

  // A skipped list still needs a count and numbers.
  PlyReader bad;
  ASSERT_EQ(OpenBytes(bad,
                      "ply\nformat ascii 1.0\nelement e 1\nproperty list uchar float l\n"
                      "end_header\n2 1 word\n"),
            0);
  bad.SetCurrentElement(0);
  EXPECT_EQ(bad.Read(&keep), -1);
}

TEST(PlyRecords, ElementWithoutPropertiesReadsAsSuccess) {
  PlyReader r;
  ASSERT_EQ(OpenBytes(r, "ply\nformat binary_little_endian 1.0\nelement e 5\nend_header\n"), 0);
  r.SetCurrentElement(0);
  EXPECT_EQ(r.Read(nullptr), 0);
}

// The block reader must leave the records and the read position exactly as
// Read does, and hand back to Read wherever a list count differs.
TEST(PlyRecords, BlockReadingAgreesWithRead) {
  for (PlyFormat format : {ply_format::BinaryLittleEndian, ply_format::BinaryBigEndian}) {
    SCOPED_TRACE(format);
    PlyFixture f;
    f.format = format;
    PlyFixtureElement e{"face",
                        {{"flags", Int}, {"idx", Int, UChar}, {"q", Double}, {"skip", Short, UShort},
                         {"c", UChar}},
                        {},
                        -1};
    for (int i = 0; i < 3000; ++i) {
      int k = (i % 97 == 5) ? 4 : (i % 89 == 7 ? 2 : 3);  // mostly triangles
      std::vector<double> rec = {double(i * 7), double(k)};
      for (int j = 0; j < k; ++j) rec.push_back(i + j);
      rec.push_back(i * 0.5);
      rec.push_back(i % 3 == 0 ? 1 : 2);
      rec.push_back(i);
      if (i % 3 != 0) rec.push_back(-i);
      rec.push_back(i & 0xff);
      e.records.push_back(rec);
    }
    f.elements = {e, {"tail", {{"t", Int}}, {{12345}}, -1}};
    std::string bytes = test::PlyFixtureBytes(f);

    struct Rec {
      std::int32_t flags;
      std::uint8_t n;
      std::int32_t idx[8];
      float q;
      std::uint8_t c;
    };
    auto bind = [](PlyReader& r) {
      ASSERT_EQ(r.AddToRead("face", "flags", Int, Int, offsetof(Rec, flags), 0, 0, 0, 0, 0), 0);
      ASSERT_EQ(r.AddToRead("face", "idx", Int, Int, offsetof(Rec, idx), 1, 0, UChar, UChar, offsetof(Rec, n), 8), 0);
      ASSERT_EQ(r.AddToRead("face", "q", Double, Float, offsetof(Rec, q), 0, 0, 0, 0, 0), 0);
      ASSERT_EQ(r.AddToRead("face", "c", UChar, UShort, offsetof(Rec, c) - 1, 0, 0, 0, 0, 0), 0);
      ASSERT_EQ(r.AddToRead("tail", "t", Int, Int, 0, 0, 0, 0, 0, 0), 0);
    };
    // Cut at several places, so that blocks also meet a truncated record.
    for (std::size_t cut : {bytes.size(), bytes.size() - 3, bytes.size() / 2 + 1, bytes.size() / 3}) {
      SCOPED_TRACE(cut);
      std::string part = bytes.substr(0, cut);
      PlyReader plain, block;
      ASSERT_EQ(OpenBytes(plain, part, "plain.ply"), 0);
      ASSERT_EQ(OpenBytes(block, part, "block.ply"), 0);
      bind(plain);
      bind(block);
      ASSERT_EQ(block.ExpectListCount("face", "idx", 3), 0);
      ASSERT_EQ(block.ExpectListCount("face", "skip", 1), 0);
      plain.SetCurrentElement(0);
      block.SetCurrentElement(0);
      ASSERT_TRUE(block.CanReadBlocks());
      std::vector<Rec> a(3000), b(3000);
      std::memset(static_cast<void*>(a.data()), 0, a.size() * sizeof(Rec));
      std::memset(static_cast<void*>(b.data()), 0, b.size() * sizeof(Rec));
      int plainRead = 0, blockRead = 0, plainResult = 0, blockResult = 0;
      for (; plainRead < 3000; ++plainRead) {
        if ((plainResult = plain.Read(&a[std::size_t(plainRead)])) != 0) break;
      }
      std::size_t blocksUsed = 0;
      while (blockRead < 3000) {
        std::size_t got = block.ReadBlock(reinterpret_cast<char*>(&b[std::size_t(blockRead)]), sizeof(Rec),
                                          std::size_t(3000 - blockRead) < 50 ? std::size_t(3000 - blockRead) : 50);
        blocksUsed += got;
        if (got == 0) {
          if ((blockResult = block.Read(&b[std::size_t(blockRead)])) != 0) break;
          ++blockRead;
        } else {
          blockRead += int(got);
        }
      }
      EXPECT_GT(blocksUsed, 0u);
      ASSERT_EQ(plainRead, blockRead);
      ASSERT_EQ(plainResult, blockResult);
      for (int i = 0; i < plainRead; ++i) {
        ASSERT_EQ(std::memcmp(&a[std::size_t(i)], &b[std::size_t(i)], sizeof(Rec)), 0) << "record " << i;
      }
      if (plainResult == 0 && cut == bytes.size()) {
        std::int32_t ta = 0, tb = 0;
        plain.SetCurrentElement(1);
        block.SetCurrentElement(1);
        EXPECT_EQ(plain.Read(&ta), 0);
        EXPECT_EQ(block.Read(&tb), 0);
        EXPECT_EQ(ta, 12345);
        EXPECT_EQ(tb, 12345);
      }
    }
  }
}

}  // namespace
}  // namespace quarnel
