// The header parser: the error of every malformed header, the element and
// property tables, comments and the header text.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "io/ply_reader.h"
#include "support/ply_fixture.h"

namespace quarnel {
namespace {

using test::TempFilePath;
using test::WriteFileBytes;

// Parses `text` as a whole file; returns OpenRead's result and leaves the
// reader for inspection.
int Parse(PlyReader& r, const std::string& text, const std::string& name = "header.ply") {
  std::string path = TempFilePath(name);
  EXPECT_TRUE(WriteFileBytes(path, text));
  return r.Open(path.c_str(), 0);
}

PlyError HeaderError(const std::string& text) {
  PlyReader r;
  if (Parse(r, text) == 0) return ply_error::NoError;
  return r.error;
}

const std::string kStart = "ply\nformat ascii 1.0\n";

TEST(PlyTypes, NamesSizesAndErrorTexts) {
  EXPECT_EQ(FindPlyType("char"), 1);
  EXPECT_EQ(FindPlyType("int8"), 1);
  EXPECT_EQ(FindPlyType("uint16"), 5);
  EXPECT_EQ(FindPlyType("float32"), 7);
  EXPECT_EQ(FindPlyType("float64"), 8);
  EXPECT_EQ(FindPlyType("double"), 8);
  EXPECT_EQ(FindPlyType("none"), -1);
  EXPECT_EQ(FindPlyType("Float"), -1);
  EXPECT_EQ(FindPlyType(""), -1);
  for (PlyType t = 1; t <= 8; ++t) {
    EXPECT_EQ(FindPlyType(kPlyTypeNames[t]), t);
    EXPECT_EQ(FindPlyType(kPlyTypeNames2[t]), t);
  }
  const int sizes[9] = {0, 1, 2, 4, 1, 2, 4, 4, 8};
  for (int t = 0; t < 9; ++t) EXPECT_EQ(kPlyTypeSizes[t], sizes[t]);

  const char* const texts[20] = {
      "No errors", "Can't open file", "Header not found", "Eof in header", "Format not found",
      "Syntax error on header", "Property without element", "Bad type name", "Element not found",
      "Property not found", "Bad type on addtoread", "Incompatible type", "Bad cast",
      "No vertex field found", "No face field found", "Unespected eof",
      "Face with more than 3 vertices", "Bad vertex index in face",
      "Face with no 6 texture coordinates", "Number of color differ from vertices"};
  for (int e = 0; e < 20; ++e) EXPECT_STREQ(PlyErrorText(e), texts[e]) << e;
  EXPECT_STREQ(PlyErrorText(20), "");
  EXPECT_STREQ(PlyErrorText(-1), "");
}

TEST(PlyHeader, OpenModesAndMissingFiles) {
  PlyReader r;
  EXPECT_EQ(r.error, 0);
  EXPECT_EQ(r.format, 0);
  EXPECT_EQ(r.Open(nullptr, 0), -1);
  EXPECT_EQ(r.error, ply_error::CantOpenFile);

  PlyReader w;
  std::string path = TempFilePath("modes.ply");
  ASSERT_TRUE(WriteFileBytes(path, kStart + "end_header\n"));
  EXPECT_EQ(w.Open(path.c_str(), 1), -1);  // writing is refused...
  EXPECT_EQ(w.error, 0);                    // ...without an error code
  EXPECT_EQ(w.Open(path.c_str(), 2), -1);
  EXPECT_EQ(w.error, ply_error::CantOpenFile);
  EXPECT_EQ(w.Open(path.c_str(), 0), 0);
  EXPECT_EQ(w.error, ply_error::CantOpenFile);  // kept after a later success

  PlyReader m;
  EXPECT_EQ(m.Open(TempFilePath("does-not-exist.ply").c_str(), 0), -1);
  EXPECT_EQ(m.error, ply_error::CantOpenFile);
  PlyReader d;
  EXPECT_EQ(d.Open(std::filesystem::path(path).parent_path().string().c_str(), 0), -1);
  EXPECT_EQ(d.error, ply_error::CantOpenFile);
}

TEST(PlyHeader, FirstTwoLines) {
  EXPECT_EQ(HeaderError(""), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError("ply\n"), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError("PLY\nformat ascii 1.0\nend_header\n"), ply_error::HeaderNotFound);
  EXPECT_EQ(HeaderError("plyfoo bar\nformat ascii 1.0\nend_header\n"), ply_error::NoError);
  EXPECT_EQ(HeaderError("pl\n"), ply_error::HeaderNotFound);
  EXPECT_EQ(HeaderError("ply\n\n"), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError("ply\nformat\n"), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError("ply\nformat ascii\nend_header\n"), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError("ply\nformat asciii 1.0\nend_header\n"), ply_error::FormatNotFound);
  EXPECT_EQ(HeaderError("ply\ncomment x\nformat ascii 1.0\n"), ply_error::FormatNotFound);
  EXPECT_EQ(HeaderError("ply\nformat ascii 1.0"), ply_error::EofInHeader);

  PlyReader r;
  ASSERT_EQ(Parse(r, "ply\nformat ascii 1.0 extra\nend_header\n"), 0);
  EXPECT_EQ(r.format, ply_format::Ascii);
  EXPECT_FLOAT_EQ(r.version, 1.0f);
  PlyReader le, be;
  ASSERT_EQ(Parse(le, "ply\nformat binary_little_endian 1.5\nend_header\n"), 0);
  EXPECT_EQ(le.format, ply_format::BinaryLittleEndian);
  EXPECT_FLOAT_EQ(le.version, 1.5f);
  ASSERT_EQ(Parse(be, "ply\r\nformat\tbinary_big_endian  1.0\r\nend_header\r\n"), 0);
  EXPECT_EQ(be.format, ply_format::BinaryBigEndian);
}

TEST(PlyHeader, BodyLinesGiveTheirErrors) {
  EXPECT_EQ(HeaderError(kStart), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError(kStart + "\nend_header\n"), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError(kStart + "   \t\nend_header\n"), ply_error::EofInHeader);
  EXPECT_EQ(HeaderError(kStart + "bogus\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(kStart + "Element vertex 1\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(kStart + "element\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(kStart + "element vertex\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(kStart + "element vertex 2147483648\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(kStart + "element vertex 99999999999999999999\nend_header\n"),
            ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(kStart + "property float x\nend_header\n"), ply_error::PropertyWithoutElement);
  // The missing element is found before the missing type.
  EXPECT_EQ(HeaderError(kStart + "property\nend_header\n"), ply_error::PropertyWithoutElement);
  const std::string e = kStart + "element vertex 1\n";
  EXPECT_EQ(HeaderError(e + "property\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(e + "property float\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(e + "property real x\nend_header\n"), ply_error::BadTypeName);
  EXPECT_EQ(HeaderError(e + "property none x\nend_header\n"), ply_error::BadTypeName);
  EXPECT_EQ(HeaderError(e + "property list\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(e + "property list uchar\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(e + "property list uchar int\nend_header\n"), ply_error::SyntaxError);
  EXPECT_EQ(HeaderError(e + "property list byte int v\nend_header\n"), ply_error::BadTypeName);
  EXPECT_EQ(HeaderError(e + "property list uchar integer v\nend_header\n"), ply_error::BadTypeName);
  EXPECT_EQ(HeaderError(e + "property float32 x trailing words\nend_header\n"), ply_error::NoError);
  EXPECT_EQ(HeaderError(e + "end_header"), ply_error::NoError);
  EXPECT_EQ(HeaderError(e + "end_header and more\n"), ply_error::NoError);
}

TEST(PlyHeader, ElementsPropertiesAndAccessors) {
  PlyReader r;
  ASSERT_EQ(Parse(r, kStart +
                         "element vertex 8\n"
                         "property float32 x\n"
                         "property uint8 red\n"
                         "element face abc\n"
                         "property list uchar int vertex_indices\n"
                         "element vertex -3\n"
                         "end_header\n"),
            0);
  ASSERT_EQ(r.NumElements(), 3);
  EXPECT_STREQ(r.ElementName(0), "vertex");
  EXPECT_EQ(r.ElementCount(0), 8);
  EXPECT_EQ(r.ElementCount(1), 0);   // a count made of letters
  EXPECT_EQ(r.ElementCount(2), -3);  // kept; reads as no record
  EXPECT_EQ(r.ElementName(-1), nullptr);
  EXPECT_EQ(r.ElementName(3), nullptr);
  EXPECT_EQ(r.ElementCount(-1), 0);
  EXPECT_EQ(r.ElementCount(3), 0);
  EXPECT_EQ(r.FindElement("vertex"), &r.ElementAt(0));  // the first of that name
  EXPECT_EQ(r.FindElement("Vertex"), nullptr);

  PlyElement& v = r.ElementAt(0);
  ASSERT_EQ(v.properties.size(), 2u);
  EXPECT_EQ(v.properties[0].name, "x");
  EXPECT_EQ(v.properties[0].fileType, ply_type::Float);
  EXPECT_EQ(v.properties[0].isList, 0);
  EXPECT_EQ(v.properties[1].fileType, ply_type::UChar);
  EXPECT_EQ(v.properties[1].bound, 0);
  PlyProperty* list = r.ElementAt(1).FindProperty("vertex_indices");
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->isList, 1);
  EXPECT_EQ(list->countType, ply_type::UChar);
  EXPECT_EQ(list->fileType, ply_type::Int);
  EXPECT_EQ(r.ElementAt(1).FindProperty("x"), nullptr);

  r.SetCurrentElement(-1);
  EXPECT_EQ(r.CurrentElement(), nullptr);
  r.SetCurrentElement(1);
  EXPECT_EQ(r.CurrentElement(), &r.ElementAt(1));
  r.SetCurrentElement(3);
  EXPECT_EQ(r.CurrentElement(), nullptr);
  int scratch = 0;
  EXPECT_EQ(r.Read(&scratch), -1);  // no current element
}

TEST(PlyHeader, CommentsKeepTheirTextAndLineEnds) {
  PlyReader r;
  ASSERT_EQ(Parse(r, kStart +
                         "comment TextureFile tex.png\n"
                         "obj_info made by hand\r\n"
                         "comment\n"
                         "comment  two blanks\n"
                         "  comment\tafter a tab\n"
                         "end_header\n"),
            0);
  ASSERT_EQ(r.comments.size(), 5u);
  EXPECT_EQ(r.comments[0], "TextureFile tex.png\n");
  EXPECT_EQ(r.comments[1], "made by hand\r\n");
  EXPECT_EQ(r.comments[2], "");
  EXPECT_EQ(r.comments[3], " two blanks\n");
  EXPECT_EQ(r.comments[4], "after a tab\n");
}

TEST(PlyHeader, LongLinesAreReadWhole) {
  // A long comment must not turn its tail into a line of its own.
  std::string comment = "comment " + std::string(2000, 'a') + " element bogus\n";
  PlyReader r;
  ASSERT_EQ(Parse(r, kStart + comment + "element vertex 1\nend_header\n"), 0);
  ASSERT_EQ(r.comments.size(), 1u);
  EXPECT_EQ(r.comments[0].size(), 2000u + 15u);
  EXPECT_EQ(r.NumElements(), 1);

  std::string longName(5000, 'p');
  PlyReader p;
  ASSERT_EQ(Parse(p, kStart + "element vertex 1\nproperty float " + longName + "\nend_header\n"), 0);
  EXPECT_EQ(p.ElementAt(0).properties[0].name, longName);
}

// Input that never ends its header, and files that are no files at all, are
// refused at once: the reader neither grows with the input nor waits on it.
TEST(PlyHeader, EndlessHeadersAndOtherThanRegularFilesAreRefusedAtOnce) {
  const std::string folder = std::filesystem::path(TempFilePath("x")).parent_path().string();
  const std::string zeros = TempFilePath("zeros.ply");
  ASSERT_TRUE(WriteFileBytes(zeros, ""));
  // Sparse: a gigabyte that takes no room on the disk.
  std::filesystem::resize_file(zeros, std::uintmax_t(1) << 30);
  const std::string fifo = TempFilePath("fifo.ply");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::size_t line = PlyReader::kHeaderLineLimit;
  const std::string longest = "comment " + std::string(line - 9, 'a') + "\n";
  std::string manyLines;
  while (manyLines.size() <= PlyReader::kHeaderLimit) manyLines += "comment x\n";

  struct Row {
    const char* what;
    std::string path;
    std::string bytes;  // written to the path when not empty
    PlyError error;
  };
  const Row rows[] = {
      {"a gigabyte of zeros", zeros, "", ply_error::HeaderNotFound},
      {"a first line too long", "", "ply" + std::string(line, ' ') + "\n", ply_error::HeaderNotFound},
      {"the longest line", "", kStart + longest + "end_header\n", ply_error::NoError},
      {"a line too long", "", kStart + "comment a" + longest, ply_error::SyntaxError},
      {"a line that never ends", "", kStart + "comment " + std::string(4 * line, 'a'),
       ply_error::SyntaxError},
      {"a header too long", "", kStart + manyLines + "end_header\n", ply_error::SyntaxError},
      {"a pipe without a writer", fifo, "", ply_error::CantOpenFile},
      {"a device", "/dev/zero", "", ply_error::CantOpenFile},
      {"a folder", folder, "", ply_error::CantOpenFile},
  };
  for (const Row& row : rows) {
    std::string path = row.path;
    if (!row.bytes.empty()) {
      path = TempFilePath("bounded.ply");
      ASSERT_TRUE(WriteFileBytes(path, row.bytes)) << row.what;
    }
    PlyReader r;
    EXPECT_EQ(r.Open(path.c_str(), 0), row.error == ply_error::NoError ? 0 : -1) << row.what;
    EXPECT_EQ(r.error, row.error) << row.what;
    EXPECT_LT(r.headerText.size(), PlyReader::kHeaderTextSize) << row.what;
    std::size_t kept = 0;
    for (const std::string& c : r.comments) kept += c.size();
    EXPECT_LE(kept, PlyReader::kHeaderLimit) << row.what;
  }
}

TEST(PlyHeader, HeaderTextIsKeptWithinItsBuffer) {
  PlyReader r;
  const std::string shortHeader = kStart + "element vertex 0\nend_header\n";
  ASSERT_EQ(Parse(r, shortHeader + "trailing body"), 0);
  EXPECT_EQ(r.headerText, shortHeader);

  std::string many;
  for (int i = 0; i < 400; ++i) many += "comment line " + std::to_string(i) + "\n";
  PlyReader big;
  ASSERT_EQ(Parse(big, kStart + many + "element vertex 3\nend_header\n"), 0);
  EXPECT_EQ(big.comments.size(), 400u);
  EXPECT_EQ(big.NumElements(), 1);
  EXPECT_EQ(big.ElementCount(0), 3);
  EXPECT_EQ(big.headerText.size(), PlyReader::kHeaderTextSize - 1);
  EXPECT_EQ(big.headerText.compare(0, kStart.size(), kStart), 0);
}

TEST(PlyHeader, FailedParseKeepsWhatWasParsed) {
  PlyReader r;
  EXPECT_EQ(Parse(r, kStart + "comment c\nelement vertex 2\nproperty float x\nbroken\n"), -1);
  EXPECT_EQ(r.error, ply_error::SyntaxError);
  EXPECT_EQ(r.NumElements(), 1);
  EXPECT_EQ(r.comments.size(), 1u);
}

}  // namespace
}  // namespace quarnel
