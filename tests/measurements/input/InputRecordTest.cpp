// The input data record: its byte layout, the round trip, and what damaged
// or failing files do.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "link/Form.h"
#include "link/Resets.h"
#include "measurements/DataFiles.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/input/InputRecord.h"
#include "support/Fakes.h"
#include "support/FileKit.h"
#include "support/SampleResults.h"

namespace fs = std::filesystem;

namespace kt {
namespace {

using test::FloatAt;
using test::IntAt;
using test::ReadBytes;
using test::TempDir;
using test::U32At;
using test::WriteBytes;

struct Rig : test::FormRig {
  Rig() { RegisterMeasurementKinds(*form); }
};

// A recognisable value in every field.
void Fill(Form& f) {
  test::FillRecognisableInput(f.M.Input);
  test::FillRecordHeader(f);
  f.M.PhaseBegin = 30.0f;
  f.M.PhasePeak = 85.0f;
  f.M.PhaseEnd = 160.0f;
  f.ShownKind = InputTest;
}

TEST(InputRecord, HasTheLayoutOfTheDataFile) {
  Rig r;
  Fill(*r.form);
  TempDir dir;
  ASSERT_EQ(SaveInputRecord(*r.form, dir.File("a.dat")), 0);
  const auto b = ReadBytes(dir.File("a.dat"));
  ASSERT_EQ(b.size(), 2543u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 10), "KT6100-1.0");
  EXPECT_EQ(IntAt(b, 10), 1);
  EXPECT_EQ(IntAt(b, 14), 256);
  EXPECT_EQ(FloatAt(b, 18), 1.0f);   // Urms
  EXPECT_EQ(FloatAt(b, 42), 7.0f);   // THDU
  EXPECT_EQ(FloatAt(b, 62), 12.0f);  // CFi
  EXPECT_EQ(FloatAt(b, 66), 16000.5f);
  EXPECT_EQ(FloatAt(b, 70), 8000.25f);
  EXPECT_EQ(FloatAt(b, 74), 100.0f);
  EXPECT_EQ(FloatAt(b, 874 - 4), 299.0f);
  EXPECT_EQ(FloatAt(b, 874), -50.0f);
  EXPECT_EQ(FloatAt(b, 1674), 1000.0f);
  EXPECT_EQ(FloatAt(b, 1834 + 4), 2001.0f);
  EXPECT_EQ(FloatAt(b, 1994), 3000.0f);
  EXPECT_EQ(FloatAt(b, 2154 + 39 * 4), 4039.0f);
  EXPECT_EQ(IntAt(b, 2314), 1);
  EXPECT_EQ(IntAt(b, 2318), 0);
  // GBK text, zero-padded to the field: "镇流器样品" is 10 bytes.
  EXPECT_EQ(b[2322], 0xD5);
  EXPECT_EQ(b[2332], 0);
  EXPECT_EQ(std::string(b.begin() + 2353, b.begin() + 2357), "No-7");
  EXPECT_EQ(std::string(b.begin() + 2520, b.begin() + 2529), "2026-12-6");
  EXPECT_EQ(FloatAt(b, 2531), 30.0f);
  EXPECT_EQ(FloatAt(b, 2539), 160.0f);
}

TEST(InputRecord, ReopensToTheSameResultsLanguageAndSwitches) {
  for (int chinese : {0, 1}) {
    Rig a, b;
    Fill(*a.form);
    a.form->ChineseMode = chinese;
    TempDir dir;
    ASSERT_EQ(SaveInputRecord(*a.form, dir.File("r.dat")), 0);
    b.form->M.InputSnap.Values.Urms = 99.0f;
    b.host.hanZiBtnDown = chinese;
    ASSERT_EQ(OpenDataFile(*b.form, dir.File("r.dat")), 0);
    const InputResult &x = a.form->M.Input, &y = b.form->M.Input;
    EXPECT_EQ(b.form->ShownKind, InputTest);
    EXPECT_EQ(std::memcmp(&static_cast<const InputValues&>(x), &static_cast<const InputValues&>(y), sizeof(InputValues)), 0);
    EXPECT_EQ(y.SampleCount, 256);
    EXPECT_EQ(y.CurrentPeak, x.CurrentPeak);
    EXPECT_EQ(std::memcmp(x.VoltageWave, y.VoltageWave, 800), 0);
    EXPECT_EQ(std::memcmp(x.CurrentHarmonicPct, y.CurrentHarmonicPct, 160), 0);
    EXPECT_EQ(b.form->ChineseMode, chinese);
    EXPECT_EQ(b.host.hanZiBtnDown, chinese == 0) << "the language button follows the file";
    EXPECT_EQ(b.form->WideFreqMode, 1);
    EXPECT_EQ(b.form->Info.Name, "镇流器样品");
    EXPECT_EQ(b.form->Info.Operator, "张工");
    EXPECT_EQ(b.form->Info.LuminousFlux, "") << "the input record does not hold the light values";
    EXPECT_STREQ(b.form->TestDate, "2026-12-6");
    EXPECT_EQ(b.form->M.PhasePeak, 85.0f);
    EXPECT_EQ(b.form->M.InputSnap.Values.Urms, 99.0f) << "loading leaves Back/Next's copy alone";
    EXPECT_TRUE(b.host.messages.empty());
  }
}

TEST(InputRecord, StoringOverALongerFileKeepsItsTail) {
  Rig r;
  Fill(*r.form);
  TempDir dir;
  const std::string file = dir.File("long.dat");
  std::vector<std::uint8_t> old(10000);
  for (std::size_t i = 0; i < old.size(); ++i) old[i] = static_cast<std::uint8_t>(i * 7);
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(old.data()), old.size());
  ASSERT_EQ(SaveInputRecord(*r.form, file), 0);
  const auto b = ReadBytes(file);
  ASSERT_EQ(b.size(), 10000u);
  EXPECT_TRUE(std::equal(b.begin() + 2543, b.end(), old.begin() + 2543));
  Rig s;
  EXPECT_EQ(OpenDataFile(*s.form, file), 0) << "a longer file still loads";
  EXPECT_EQ(s.form->M.Input.Urms, 1.0f);
}

TEST(InputRecord, AShortFileIsRefusedAndChangesNothing) {
  Rig a;
  Fill(*a.form);
  TempDir dir;
  const std::string file = dir.File("short.dat");
  ASSERT_EQ(SaveInputRecord(*a.form, file), 0);
  fs::resize_file(file, 2000);
  Rig b;
  b.form->M.Input.Urms = 5.0f;
  b.form->ChineseMode = 1;
  b.form->Info.Name = "kept";
  EXPECT_EQ(OpenDataFile(*b.form, file), 1);
  ASSERT_EQ(b.host.messages.size(), 1u);
  EXPECT_EQ(b.host.messages[0], std::make_pair(std::string("数据文件格式错误!"), std::string("警告")));
  EXPECT_EQ(b.form->M.Input.Urms, 5.0f);
  EXPECT_EQ(b.form->ChineseMode, 1);
  EXPECT_EQ(b.form->Info.Name, "kept");
}

TEST(InputRecord, UnterminatedAndInvalidTextIsReadSafely) {
  Rig a;
  Fill(*a.form);
  TempDir dir;
  const std::string file = dir.File("text.dat");
  ASSERT_EQ(SaveInputRecord(*a.form, file), 0);
  auto b = ReadBytes(file);
  std::fill(b.begin() + 2322, b.begin() + 2353, 'A');  // Name without a terminator
  b[2353] = 0xFF;                                     // No: not GBK
  b[2354] = 0x20;
  std::fill(b.begin() + 2520, b.begin() + 2531, '9');  // a date without one
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(b.data()), b.size());
  Rig r;
  ASSERT_EQ(OpenDataFile(*r.form, file), 0);
  EXPECT_EQ(r.form->Info.Name, std::string(31, 'A'));
  EXPECT_EQ(r.form->Info.No.substr(0, 3), "\xEF\xBF\xBD");
  EXPECT_EQ(std::strlen(r.form->TestDate), 10u);
}

TEST(InputRecord, AFailedWriteIsReportedAndNeverLeavesAValidLookingFile) {
  Rig r;
  Fill(*r.form);
  EXPECT_EQ(SaveInputRecord(*r.form, "/dev/full"), 1);
  ASSERT_EQ(r.host.messages.size(), 1u);
  EXPECT_EQ(r.host.messages[0], std::make_pair(std::string("存数据失败!"), std::string("警告")));
  EXPECT_EQ(SaveInputRecord(*r.form, "/nonexistent-folder/x.dat"), 1);
  EXPECT_EQ(r.host.messages.size(), 2u);

  // The file size limit stops the write part-way over an older record.
  TempDir dir;
  const std::string file = dir.File("old.dat");
  Rig old;
  Fill(*old.form);
  old.form->M.Input.Urms = 111.0f;
  ASSERT_EQ(SaveInputRecord(*old.form, file), 0);
  fs::resize_file(file, 1000);
  signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  rlimit small = before;
  small.rlim_cur = 1500;
  setrlimit(RLIMIT_FSIZE, &small);
  const int result = SaveInputRecord(*r.form, file);
  setrlimit(RLIMIT_FSIZE, &before);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(r.host.messages.back().first, "存数据失败!");
  Rig reader;
  EXPECT_EQ(OpenDataFile(*reader.form, file), 1) << "a half-written file must not open as a record";
  EXPECT_EQ(reader.host.messages.back().first, "数据文件格式错误!");
}

}  // namespace
}  // namespace kt
