// Opening and storing through the kind dispatch: the name rule, the magic and
// kind checks, and what a store with nothing shown does.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "link/Controller.h"
#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/DataFiles.h"
#include "measurements/MeasurementKinds.h"
#include "support/Fakes.h"

namespace fs = std::filesystem;

namespace kt {
namespace {

struct Rig : test::FormRig {
  fs::path dir;
  Rig() {
    RegisterMeasurementKinds(*form);
    char t[] = "/tmp/kt-files-XXXXXX";
    dir = mkdtemp(t);
  }
  ~Rig() { fs::remove_all(dir); }
  std::string File(const char* n) const { return (dir / n).string(); }
};

void Write(const std::string& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

TEST(DataFileName, AppendsTheExtensionUnlessTheNameHoldsItAnywhere) {
  EXPECT_EQ(DataFileName("test"), "test.dat");
  EXPECT_EQ(DataFileName("TEST.DAT"), "TEST.DAT.dat");
  EXPECT_EQ(DataFileName("x.data"), "x.data");
  EXPECT_EQ(DataFileName("/a/b.dat.old"), "/a/b.dat.old");
}

TEST(OpenDataFile, ChecksTheMagicAndTheKind) {
  Rig r;
  r.form->ShownKind = InputTest;
  EXPECT_EQ(OpenDataFile(*r.form, r.File("missing.dat")), 1);
  EXPECT_EQ(r.host.messages.back(), std::make_pair(std::string("打开数据文件失败!"), std::string("警告")));

  std::string header("KT6100-1.1", 10);
  header.append("\x01\0\0\0", 4);
  Write(r.File("bad-magic.dat"), header + std::string(3000, '\0'));
  const int repaints = r.host.repaints;
  EXPECT_EQ(OpenDataFile(*r.form, r.File("bad-magic.dat")), 1);
  EXPECT_EQ(r.host.messages.back().first, "数据文件格式错误!");
  EXPECT_GT(r.host.repaints, repaints);
  EXPECT_EQ(r.form->ShownKind, InputTest) << "a wrong magic changes nothing";

  Write(r.File("tiny.dat"), "KT6100-1.0\x01");
  EXPECT_EQ(OpenDataFile(*r.form, r.File("tiny.dat")), 1);
  EXPECT_EQ(r.host.messages.back().first, "数据文件格式错误!");

  // Kind 7 belongs to the analysis window's own files.
  Write(r.File("kind7.dat"), std::string("KT6100-1.0\x07\0\0\0", 14) + std::string(20000, '\0'));
  r.form->M.Input.Urms = 42.0f;
  EXPECT_EQ(OpenDataFile(*r.form, r.File("kind7.dat")), 1);
  EXPECT_EQ(r.host.messages.back().first, "数据文件格式错误!");
  EXPECT_EQ(r.form->ShownKind, BaoTest) << "the kind read stays shown: an empty page";
  EXPECT_EQ(r.form->M.Input.Urms, 42.0f);
  BrowseNext(*r.form);
  EXPECT_EQ(r.form->ShownKind, InputTest);
}

TEST(StoreDataFile, WritesNothingWhenNothingIsShown) {
  Rig r;
  EXPECT_EQ(StoreDataFile(*r.form, r.File("nothing.dat")), 1);
  EXPECT_FALSE(fs::exists(r.File("nothing.dat")));
  EXPECT_TRUE(r.host.messages.empty());
}

TEST(OpenDataFile, BackAndNextAfterOpeningShowTheLastMeasurementNotTheFile) {
  Rig r;
  r.form->M.InputSnap.Values.Urms = 230.0f;  // the last measured input result
  r.form->ShownKind = InputTest;
  r.form->M.Input.Urms = 120.0f;
  ASSERT_EQ(StoreDataFile(*r.form, r.File("f.dat")), 0);
  ASSERT_EQ(OpenDataFile(*r.form, r.File("f.dat")), 0);
  EXPECT_EQ(r.form->M.Input.Urms, 120.0f);
  BrowseNext(*r.form);
  BrowseBack(*r.form);
  EXPECT_EQ(r.form->ShownKind, InputTest);
  EXPECT_EQ(r.form->M.Input.Urms, 230.0f);
}

}  // namespace
}  // namespace kt
