// Every writer reports a failed write as a failure and never damages the file
// that was there before.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <functional>

#include "io/obj_exporter.h"
#include "io/ply_exporter.h"
#include "io/stl_exporter.h"
#include "io/vrml_exporter.h"
#include "writer_test_support.h"

namespace quarnel {
namespace {

using test::ReadFile;
using test::ScratchDir;
using test::WriteFile;

struct Writer {
  const char* name;
  // True when the writer reports success.
  std::function<bool(const MeshT5&, const char*)> save;
};

const Writer kWriters[] = {
    {"ply binary",
     [](const MeshT5& m, const char* f) {
       return PlyExporter::Save(m, f, true, 0, nullptr, 0, nullptr, 0xFFFF) == 0;
     }},
    {"ply ascii",
     [](const MeshT5& m, const char* f) {
       return PlyExporter::Save(m, f, false, 0, nullptr, 0, nullptr, 0xFFFF) == 0;
     }},
    {"stl binary",
     [](const MeshT5& m, const char* f) {
       return StlExporter::Save(m, f, true, nullptr) == 1;
     }},
    {"stl ascii",
     [](const MeshT5& m, const char* f) {
       return StlExporter::Save(m, f, false, nullptr) == 1;
     }},
    {"obj",
     [](const MeshT5& m, const char* f) {
       return ObjExporter::Save(m, f, 0xFFFF) == 1;
     }},
    {"vrml",
     [](const MeshT5& m, const char* f) {
       return VrmlExporter::Save(m, f, 0xFFFF) == 1;
     }},
};

// Large enough that every writer's output passes the size limit below and
// the output buffer several times.
MeshT5 BigMesh() {
  MeshT5 m = test::Icosphere<MeshT5>(5);
  UpdateBoundingBox(m);
  return m;
}

const std::string kOld = "the file that was here before\n";

TEST(WritersFailure, SucceedOverAnExistingFileAndLeaveNoTemporary) {
  MeshT5 m = test::Cube<MeshT5>();
  for (const Writer& w : kWriters) {
    ScratchDir dir;
    WriteFile(dir / "out", kOld);
    EXPECT_TRUE(w.save(m, (dir / "out").c_str())) << w.name;
    EXPECT_NE(ReadFile(dir / "out"), kOld) << w.name;
    EXPECT_EQ(dir.Entries().size(), 1u) << w.name;
  }
}

TEST(WritersFailure, ReadOnlyFolder) {
  MeshT5 m = test::Cube<MeshT5>();
  for (const Writer& w : kWriters) {
    ScratchDir dir;
    ASSERT_EQ(::mkdir((dir / "ro").c_str(), 0755), 0);
    WriteFile(dir / "ro/out", kOld);
    ASSERT_EQ(::chmod((dir / "ro").c_str(), 0555), 0);
    const std::string target = dir / "ro/out";
    int r = test::RunUnprivileged([&] { return w.save(m, target.c_str()) ? 1 : 0; });
    EXPECT_EQ(r, 0) << w.name;
    EXPECT_EQ(ReadFile(target), kOld) << w.name;
    EXPECT_EQ(dir.Entries("ro").size(), 1u) << w.name;
  }
}

TEST(WritersFailure, FullDevice) {
  MeshT5 small = test::Cube<MeshT5>();
  MeshT5 big = BigMesh();
  for (const Writer& w : kWriters) {
    EXPECT_FALSE(w.save(small, "/dev/full")) << w.name;  // fails when flushed at the end
    EXPECT_FALSE(w.save(big, "/dev/full")) << w.name;    // fails while writing
    struct stat st;
    ASSERT_EQ(::stat("/dev/full", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode)) << w.name;
  }
}

TEST(WritersFailure, DiskFillsUpHalfWay) {
  MeshT5 big = BigMesh();
  for (const Writer& w : kWriters) {
    ScratchDir dir;
    WriteFile(dir / "out", kOld);
    int r = test::RunWithFileSizeLimit(64 * 1024,
                                       [&] { return w.save(big, (dir / "out").c_str()) ? 1 : 0; });
    EXPECT_EQ(r, 0) << w.name;
    EXPECT_EQ(ReadFile(dir / "out"), kOld) << w.name;
    EXPECT_EQ(dir.Entries().size(), 1u) << w.name;
  }
}

TEST(WritersFailure, MissingFolderOrNoName) {
  MeshT5 m = test::Cube<MeshT5>();
  ScratchDir dir;
  for (const Writer& w : kWriters) {
    EXPECT_FALSE(w.save(m, (dir / "no/such/folder/out").c_str())) << w.name;
    EXPECT_FALSE(w.save(m, nullptr)) << w.name;
    EXPECT_FALSE(w.save(m, "")) << w.name;
  }
  EXPECT_TRUE(dir.Entries().empty());
}

TEST(WritersFailure, FaceOutsideTheVertexArrayIsRefused) {
  MeshT5 other = test::Cube<MeshT5>();
  MeshT5 m = test::Cube<MeshT5>();
  m.faces[5].v[1] = &other.vertices[2];
  ScratchDir dir;
  test::WriteFile(dir / "out", kOld);
  const std::string target = dir / "out";
  EXPECT_EQ(PlyExporter::Save(m, target.c_str(), true, 0, nullptr, 0, nullptr, 0), -1);
  EXPECT_EQ(ObjExporter::Save(m, target.c_str(), 0), 0);
  EXPECT_EQ(VrmlExporter::Save(m, target.c_str(), 0), 0);
  EXPECT_EQ(test::ReadFile(target), kOld);
  // A deleted face is never read, wherever it points.
  m.faces[5].flags |= ElemFlag::Deleted;
  EXPECT_EQ(PlyExporter::Save(m, target.c_str(), true, 0, nullptr, 0, nullptr, 0), 0);
}

}  // namespace
}  // namespace quarnel
