#include "io/safe_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <limits>

#include "writer_test_support.h"

namespace quarnel {
namespace {

using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

TEST(SafeFile, BinaryValuesAreLittleEndian) {
  ScratchDir dir;
  SafeFile out;
  ASSERT_TRUE(out.Open(dir / "bin"));
  out.U8(0xAB);
  out.U16(0x1234);
  out.I32(-2);
  out.U32(0x01020304);
  out.F32(1.0f);
  out.F64(-2.0);
  ASSERT_TRUE(out.Commit());
  const std::string expected(
      "\xAB"
      "\x34\x12"
      "\xFE\xFF\xFF\xFF"
      "\x04\x03\x02\x01"
      "\x00\x00\x80\x3F"
      "\x00\x00\x00\x00\x00\x00\x00\xC0",
      1 + 2 + 4 + 4 + 4 + 8);
  EXPECT_EQ(ReadFile(dir / "bin"), expected);
}

TEST(SafeFile, NumbersPrintLikeTheCFormats) {
  const double values[] = {0.0,       -0.0,  1.0,    0.5,     1.0 / 3.0,       123456.0,
                           1234567.0, 1e-5,  1.5e-4, -2.5e10, 0.501960814,     100000.0,
                           1e100,     -7.25, 1e-300, 65535.0, 3.14159265358979};
  std::string ours, theirs;
  for (double v : values) {
    ScratchDir dir;
    SafeFile out;
    ASSERT_TRUE(out.Open(dir / "t"));
    out.G(v);
    out.Char('|');
    out.E13(v);
    out.Char('|');
    out.Int(static_cast<long long>(v > -1e18 && v < 1e18 ? v : 0));
    ASSERT_TRUE(out.Commit());
    char buf[128];
    std::snprintf(buf, sizeof buf, "%g|%13e|%lld", v, v,
                  static_cast<long long>(v > -1e18 && v < 1e18 ? v : 0));
    EXPECT_EQ(ReadFile(dir / "t"), buf) << v;
  }
}

TEST(SafeFile, ExactNumbersReadBackBitForBit) {
  ScratchDir dir;
  const float fs[] = {0.1f, 1.0f / 3.0f, -1e-38f, 3.4028235e38f, 16777217.0f};
  SafeFile out;
  ASSERT_TRUE(out.Open(dir / "x"));
  for (float f : fs) {
    out.Exact(f);
    out.Char(' ');
  }
  ASSERT_TRUE(out.Commit());
  std::string text = ReadFile(dir / "x");
  const char* p = text.c_str();
  for (float f : fs) {
    char* end = nullptr;
    float back = std::strtof(p, &end);
    ASSERT_NE(end, p);
    EXPECT_EQ(back, f);
    p = end;
  }
}

TEST(SafeFile, LargeOutputCrossesTheBufferIntact) {
  ScratchDir dir;
  SafeFile out(64);
  ASSERT_TRUE(out.Open(dir / "big"));
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    std::string chunk(size_t(i % 200), char('a' + i % 26));
    out.Text(chunk);
    out.Int(i);
    expected += chunk + std::to_string(i);
  }
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(ReadFile(dir / "big"), expected);
}

TEST(SafeFile, ReplacesAnExistingFileAndKeepsItsMode) {
  ScratchDir dir;
  WriteFile(dir / "f", "old contents that are longer");
  ::chmod((dir / "f").c_str(), 0640);
  SafeFile out;
  ASSERT_TRUE(out.Open(dir / "f"));
  out.Text("new");
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(ReadFile(dir / "f"), "new");
  struct stat st;
  ASSERT_EQ(::stat((dir / "f").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(dir.Entries().size(), 1u);
}

TEST(SafeFile, UncommittedOutputLeavesTheTargetAsItWas) {
  ScratchDir dir;
  WriteFile(dir / "f", "keep me");
  {
    SafeFile out;
    ASSERT_TRUE(out.Open(dir / "f"));
    out.Text("half a file");
  }
  EXPECT_EQ(ReadFile(dir / "f"), "keep me");
  EXPECT_EQ(dir.Entries().size(), 1u);
}

TEST(SafeFile, WritesThroughALinkIntoTheFileItNames) {
  ScratchDir dir;
  WriteFile(dir / "real", "old");
  ASSERT_EQ(::symlink("real", (dir / "link").c_str()), 0);
  SafeFile out;
  ASSERT_TRUE(out.Open(dir / "link"));
  out.Text("new");
  ASSERT_TRUE(out.Commit());
  EXPECT_EQ(ReadFile(dir / "real"), "new");
  struct stat st;
  ASSERT_EQ(::lstat((dir / "link").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(SafeFile, BareFileNameGoesToTheWorkingFolder) {
  ScratchDir dir;
  char old[4096];
  ASSERT_NE(::getcwd(old, sizeof old), nullptr);
  ASSERT_EQ(::chdir(dir.Path().c_str()), 0);
  SafeFile out;
  bool opened = out.Open("plain.txt");
  out.Text("x");
  bool committed = opened && out.Commit();
  ASSERT_EQ(::chdir(old), 0);
  EXPECT_TRUE(committed);
  EXPECT_EQ(ReadFile(dir / "plain.txt"), "x");
}

TEST(SafeFile, FailsWhereNothingCanBeCreated) {
  ScratchDir dir;
  SafeFile out;
  EXPECT_FALSE(out.Open(dir / "missing/f"));
  EXPECT_FALSE(out.Open(dir.Path()));  // a folder is not a file
  EXPECT_FALSE(out.Open(""));
  EXPECT_FALSE(out.Commit());
}

TEST(SafeFile, FullDeviceFailsAndStaysADevice) {
  SafeFile out;
  ASSERT_TRUE(out.Open("/dev/full"));
  out.Text("some bytes");
  EXPECT_FALSE(out.Commit());
  EXPECT_EQ(out.Errno(), ENOSPC);
  SafeFile again;
  ASSERT_TRUE(again.Open("/dev/full"));
  std::string block(3 << 20, 'x');  // more than the buffer: fails while writing
  again.Write(block.data(), block.size());
  EXPECT_FALSE(again.Ok());
  EXPECT_EQ(again.Errno(), ENOSPC);
  EXPECT_FALSE(again.Commit());
  struct stat st;
  ASSERT_EQ(::stat("/dev/full", &st), 0);
  EXPECT_TRUE(S_ISCHR(st.st_mode));
}

TEST(SafeFile, PipeWithoutReaderFailsInsteadOfWaiting) {
  ScratchDir dir;
  ASSERT_EQ(::mkfifo((dir / "pipe").c_str(), 0600), 0);
  SafeFile out;
  EXPECT_FALSE(out.Open(dir / "pipe"));
  EXPECT_EQ(out.Errno(), ENXIO);
  struct stat st;
  ASSERT_EQ(::stat((dir / "pipe").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(SafeFile, WriteFailureMidFileKeepsTheOldFile) {
  ScratchDir dir;
  const std::string old(5000, 'o');
  WriteFile(dir / "f", old);
  int r = test::RunWithFileSizeLimit(1000, [&] {
    SafeFile out(256);
    if (!out.Open(dir / "f")) return 2;
    std::string block(4000, 'n');
    out.Write(block.data(), block.size());
    if (out.Commit()) return 1;
    // The limit shows as the write's own failure.
    return out.Errno() == EFBIG ? 0 : 3;
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(ReadFile(dir / "f"), old);
  EXPECT_EQ(dir.Entries().size(), 1u);
}

TEST(SafeFile, ReadOnlyFolderFailsAndKeepsTheOldFile) {
  ScratchDir dir;
  ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0755), 0);
  WriteFile(dir / "ro/f", "original");
  ASSERT_EQ(::chmod((dir / "ro").c_str(), 0555), 0);
  int r = test::RunUnprivileged([&] {
    SafeFile out;
    if (!out.Open(dir / "ro/f")) return 0;
    out.Text("replacement");
    return out.Commit() ? 1 : 0;
  });
  EXPECT_EQ(r, 0);
  EXPECT_EQ(ReadFile(dir / "ro/f"), "original");
  EXPECT_EQ(dir.Entries("ro").size(), 1u);
}

}  // namespace
}  // namespace quarnel
