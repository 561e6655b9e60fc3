#include "texture_files.h"

#include <array>
#include <cstdio>
#include <filesystem>

#include "support/ply_fixture.h"

namespace quarnel::test {

namespace {

uint32_t Crc32(const std::string& bytes) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k)
        c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (unsigned char b : bytes)
    c = table[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

void PutBigEndian(std::string& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(char((v >> shift) & 0xFF));
}

void PutChunk(std::string& out, const char* type, const std::string& data) {
  PutBigEndian(out, uint32_t(data.size()));
  const std::string typed = std::string(type) + data;
  out += typed;
  PutBigEndian(out, Crc32(typed));
}

// zlib stream of stored (uncompressed) deflate blocks.
std::string StoredZlib(const std::string& raw) {
  std::string z = "\x78\x01";
  size_t at = 0;
  do {
    const size_t n = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0);
    z.push_back(char(n & 0xFF));
    z.push_back(char(n >> 8));
    z.push_back(char(~n & 0xFF));
    z.push_back(char((~n >> 8) & 0xFF));
    z += raw.substr(at, n);
    at += n;
  } while (at < raw.size());
  uint32_t a = 1, b = 0;
  for (unsigned char c : raw) {
    a = (a + c) % 65521;
    b = (b + a) % 65521;
  }
  PutBigEndian(z, (b << 16) | a);
  return z;
}

}  // namespace

Picture SplitPicture(int width, int height, Rgb8 left, Rgb8 right) {
  Picture p{width, height, std::vector<Rgb8>(size_t(width) * size_t(height))};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.At(x, y) = x < width / 2 ? left : right;
  return p;
}

Picture StackedPicture(int width, int height, Rgb8 top, Rgb8 bottom) {
  Picture p{width, height, std::vector<Rgb8>(size_t(width) * size_t(height))};
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      p.At(x, y) = y < height / 2 ? top : bottom;
  return p;
}

std::string FreshFolder(const std::string& name) {
  const std::filesystem::path dir = TempFilePath(name);
  std::filesystem::create_directories(dir);
  return dir.string() + "/";
}

bool WritePng(const std::string& path, const Picture& picture) {
  std::string png = "\x89PNG\r\n\x1a\n";
  std::string header;
  PutBigEndian(header, uint32_t(picture.width));
  PutBigEndian(header, uint32_t(picture.height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB, no interlace
  PutChunk(png, "IHDR", header);
  std::string raw;
  for (int y = 0; y < picture.height; ++y) {
    raw.push_back('\0');  // no filter
    for (int x = 0; x < picture.width; ++x) {
      const Rgb8& c = picture.pixels[size_t(y) * size_t(picture.width) + size_t(x)];
      raw += {char(c.r), char(c.g), char(c.b)};
    }
  }
  PutChunk(png, "IDAT", StoredZlib(raw));
  PutChunk(png, "IEND", "");
  return WriteFileBytes(path, png);
}

bool WritePpm(const std::string& path, const Picture& picture) {
  std::string ppm =
      "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
  for (const Rgb8& c : picture.pixels)
    ppm += {char(c.r), char(c.g), char(c.b)};
  return WriteFileBytes(path, ppm);
}

std::string WriteTexturedSquare(const std::string& path, const std::vector<std::string>& comments,
                                int texNumberFace0, int texNumberFace1) {
  PlyFixture f;
  f.comments = comments;
  PlyFixtureElement vertex{"vertex",
                           {{"x", ply_type::Float}, {"y", ply_type::Float}, {"z", ply_type::Float}},
                           {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}},
                           -1};
  PlyFixtureElement face{"face",
                         {{"vertex_indices", ply_type::Int, ply_type::UChar},
                          {"texcoord", ply_type::Float, ply_type::UChar},
                          {"texnumber", ply_type::Int}},
                         {{3, 0, 1, 2, 6, 0, 0, 1, 0, 1, 1, double(texNumberFace0)},
                          {3, 2, 3, 0, 6, 1, 1, 0, 1, 0, 0, double(texNumberFace1)}},
                         -1};
  f.elements = {vertex, face};
  WritePlyFixture(path, f);
  return path;
}

}  // namespace quarnel::test
