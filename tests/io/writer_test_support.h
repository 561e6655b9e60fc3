// Helpers of the writer tests: a scratch folder, whole-file reads, and the
// two ways a real write is made to fail (a folder the process may not write
// to, and a file-size limit that stops the temporary file half-way).
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/normals.h"
#include "io/safe_file.h"
#include "support/mesh_builders.h"

namespace quarnel::test {

// A tetrahedron whose arrays also hold a deleted vertex (slot 1) and a
// deleted face (slot 2), with unit normals, an up-to-date box and, where the
// type has them, distinct colours and texture coordinates. The live vertices
// are slots 0, 2, 3, 4; the live faces slots 0, 1, 3, 4.
template <class M>
M TetraWithDeletions() {
  Soup s;
  s.points = {{0, 0, 0}, {9, 9, 9}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  s.tris = {{0, 3, 2}, {0, 2, 4}, {0, 1, 2}, {0, 4, 3}, {2, 3, 4}};
  M m = Build<M>(s);
  m.vertices[1].flags |= ElemFlag::Deleted;
  --m.vertexCount;
  m.faces[2].flags |= ElemFlag::Deleted;
  --m.faceCount;
  for (size_t i = 0; i < m.vertices.size(); ++i) {
    if constexpr (HasColor<typename M::VertexType>)
      m.vertices[i].color = Color4b{uint8_t(i * 60), 128, uint8_t(255 - i * 50), 255};
  }
  for (size_t j = 0; j < m.faces.size(); ++j) {
    if constexpr (HasWedge<typename M::FaceType>)
      for (int k = 0; k < 3; ++k)
        m.faces[j].wedge[k] = WedgeTexCoord{float(j + 1) * 0.1f, float(k) * 0.5f, int16_t(j % 2)};
  }
  ComputeFaceNormals(m, true);
  ComputeVertexNormals(m, true);
  UpdateBoundingBox(m);
  return m;
}

class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl = std::string(base && *base ? base : "/tmp") + "/quarnel-writers-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (::mkdtemp(buf.data())) path_ = buf.data();
    // Reachable by the unprivileged child of RunUnprivileged.
    ::chmod(path_.c_str(), 0755);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    for (auto& e : std::filesystem::recursive_directory_iterator(path_, ec))
      if (e.is_directory(ec))
        std::filesystem::permissions(e.path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& Path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  // Names in the folder, to check that no temporary file was left behind.
  std::vector<std::string> Entries(const std::string& sub = "") const {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(sub.empty() ? path_ : path_ + "/" + sub))
      names.push_back(e.path().filename().string());
    return names;
  }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Exports m through a text exporter (OBJ, VRML) into a scratch folder and
// returns the file's bytes; the export must succeed.
template <class Exporter, class M, class Mask>
std::string ExportText(const M& m, Mask mask, const char* fileName) {
  ScratchDir dir;
  EXPECT_EQ(Exporter::Save(m, (dir / fileName).c_str(), mask), 1);
  return ReadFile(dir / fileName);
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
}

// Runs fn in a child process, after setUp; returns fn's result, or -100 when
// setUp failed or the child did not end by its own exit (a signal ended it).
inline int RunInChild(const std::function<bool()>& setUp, const std::function<int()>& fn) {
  pid_t pid = ::fork();
  if (pid < 0) return -100;
  if (pid == 0) {
    if (!setUp()) ::_exit(156);
    ::_exit(fn() & 0xFF);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -100;
  int code = WEXITSTATUS(status);
  if (code == 156) return -100;
  return code > 127 ? code - 256 : code;
}

// Runs fn in a child process that may not write where only the owner may:
// a process running as root writes into any folder, so the child then gives
// up its rights first.
inline int RunUnprivileged(const std::function<int()>& fn) {
  return RunInChild(
      [] { return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0); }, fn);
}

// Runs fn in a child process whose writes are limited to `bytes` per file,
// so a writer's temporary file fails part-way exactly as on a full disk. The
// child starts with the signal of that limit as a fresh process does, and
// then treats it as the program does from its start.
inline int RunWithFileSizeLimit(rlim_t bytes, const std::function<int()>& fn) {
  return RunInChild(
      [bytes] {
        ::signal(SIGXFSZ, SIG_DFL);
        IgnoreFileSizeLimitSignal();
        struct rlimit lim;
        ::getrlimit(RLIMIT_FSIZE, &lim);
        lim.rlim_cur = bytes;
        return ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
      },
      fn);
}

// Compares a produced text with tests/data/expected/<name>. The expected
// files were produced once and checked by hand; on a mismatch the produced
// text is left as <name>.actual in the working folder for a diff.
inline void ExpectMatchesExpected(const std::string& produced, const std::string& name) {
  const char* data = std::getenv("QUARNEL_TEST_DATA");
  ASSERT_NE(data, nullptr) << "QUARNEL_TEST_DATA is not set";
  const std::string path = std::string(data) + "/expected/" + name;
  const std::string expected = ReadFile(path);
  if (produced != expected) {
    WriteFile(name + ".actual", produced);
    ADD_FAILURE() << "output differs from " << path << "; produced text left in " << name
                  << ".actual";
  }
}

}  // namespace quarnel::test
