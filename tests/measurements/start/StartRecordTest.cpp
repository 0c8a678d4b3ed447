// The start data record: its byte layout, the round trip through the file
// dispatch (cursor included), what loading changes besides the result, and
// damaged or failing files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "core/MeasureSet.h"
#include "link/Form.h"
#include "measurements/DataFiles.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/start/StartRecord.h"
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
  StartResult& s = f.M.Start;
  s.Valid = 1;
  for (int c = 0; c < 4; ++c) {
    s.Peak[c] = 10.0f + c;
    s.CurveMax[c] = 20.0f + c;
    s.PeakTime[c] = 30.0f + c;
    s.CursorValue[c] = 40.0f + c;
    for (int i = 0; i < 300; ++i) s.Curve[c][i] = 1000.0f * (c + 1) + i;
  }
  s.WarmUpTime = 1.25f;
  s.CursorIndex = 123;
  s.CursorTime = 2.05f;
  test::FillRecordHeader(f);
  f.ShownKind = StartTest;
}

void PutInt(std::vector<std::uint8_t>& b, std::size_t at, std::int32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * k));
}
void PutFloat(std::vector<std::uint8_t>& b, std::size_t at, float v) {
  std::int32_t i;
  std::memcpy(&i, &v, 4);
  PutInt(b, at, i);
}

TEST(StartRecord, HasTheLayoutOfTheDataFile) {
  Rig r;
  Fill(*r.form);
  TempDir dir;
  ASSERT_EQ(StoreDataFile(*r.form, DataFileName(dir.File("a"))), 0);
  const auto b = ReadBytes(dir.File("a.dat"));
  ASSERT_EQ(b.size(), 5103u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 10), "KT6100-1.0");
  EXPECT_EQ(IntAt(b, 10), 4);
  for (int c = 0; c < 4; ++c) {
    SCOPED_TRACE(c);  // channel order U, Il, If, Ik in every group
    EXPECT_EQ(FloatAt(b, 14 + 4 * c), 10.0f + c);
    EXPECT_EQ(FloatAt(b, 30 + 4 * c), 20.0f + c);
    EXPECT_EQ(FloatAt(b, 50 + 4 * c), 30.0f + c);
    EXPECT_EQ(FloatAt(b, 70 + 4 * c), 40.0f + c);
    EXPECT_EQ(FloatAt(b, 86 + 1200 * c), 1000.0f * (c + 1));
    EXPECT_EQ(FloatAt(b, 86 + 1200 * c + 4 * 299), 1000.0f * (c + 1) + 299);
  }
  EXPECT_EQ(FloatAt(b, 46), 1.25f);
  EXPECT_EQ(IntAt(b, 66), 123);
  EXPECT_EQ(IntAt(b, 4886), 1);
  EXPECT_EQ(IntAt(b, 4890), 0);
  EXPECT_EQ(b[4894], 0xD5) << "GBK name";
  EXPECT_EQ(b[4904], 0);
  EXPECT_EQ(std::string(b.begin() + 4925, b.begin() + 4929), "No-7");
  EXPECT_EQ(std::string(b.begin() + 4946, b.begin() + 4952), "EB-236");
  EXPECT_EQ(std::string(b.begin() + 4988, b.begin() + 4990), "25");
  EXPECT_EQ(std::string(b.begin() + 4999, b.begin() + 5001), "60");
  EXPECT_EQ(b[5061], 0xD5) << "GBK operator (张)";
  EXPECT_EQ(std::string(b.begin() + 5092, b.begin() + 5101), "2026-12-6");
  EXPECT_EQ(b[5102], 0);
}

TEST(StartRecord, ReopensToTheSamePageCursorIncludedAndLocksTheTest) {
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese);
    Rig a, b;
    Fill(*a.form);
    a.form->ChineseMode = chinese;
    TempDir dir;
    const std::string file = dir.File("r.dat");
    ASSERT_EQ(StoreDataFile(*a.form, file), 0);
    b.form->M.StartSnap.Peak[ChU] = 99.0f;
    b.form->ShownKind = InputTest;
    b.host.hanZiBtnDown = chinese;
    b.host.lockBtnDown = false;
    ASSERT_EQ(OpenDataFile(*b.form, file), 0);
    const StartResult &x = a.form->M.Start, &y = b.form->M.Start;
    EXPECT_EQ(b.form->ShownKind, StartTest);
    EXPECT_EQ(y.Valid, 1);
    EXPECT_EQ(
        std::memcmp(static_cast<const StartCurves*>(&x), static_cast<const StartCurves*>(&y), sizeof(StartCurves)), 0);
    EXPECT_EQ(y.CursorIndex, 123);
    EXPECT_FLOAT_EQ(y.CursorTime, 2.05f) << "derived from the sample";
    EXPECT_EQ(std::memcmp(x.CursorValue, y.CursorValue, sizeof x.CursorValue), 0) << "as stored, not recomputed";
    EXPECT_EQ(b.form->TestLocked, 1);
    EXPECT_TRUE(b.host.lockBtnDown);
    EXPECT_EQ(b.host.hanZiBtnDown, chinese == 0);
    EXPECT_EQ(b.form->ChineseMode, chinese);
    EXPECT_EQ(b.form->WideFreqMode, 1);
    EXPECT_EQ(b.form->Info.Name, "镇流器样品");
    EXPECT_EQ(b.form->Info.Operator, "张工");
    EXPECT_STREQ(b.form->TestDate, "2026-12-6");
    EXPECT_EQ(b.form->M.StartSnap.Peak[ChU], 99.0f) << "loading leaves Back/Next's copy alone";
    EXPECT_TRUE(b.host.messages.empty());

    // And back out again byte for byte.
    ASSERT_EQ(StoreDataFile(*b.form, dir.File("again.dat")), 0);
    EXPECT_EQ(ReadBytes(dir.File("again.dat")), ReadBytes(file));
  }
}

TEST(StartRecord, DamagedNumbersLoadAndAnIndexOffTheCurvesIsHeldToThem) {
  Rig a;
  Fill(*a.form);
  TempDir dir;
  const std::string file = dir.File("bad.dat");
  ASSERT_EQ(StoreDataFile(*a.form, file), 0);
  auto bytes = ReadBytes(file);
  PutFloat(bytes, 14, std::numeric_limits<float>::quiet_NaN());
  PutFloat(bytes, 18, std::numeric_limits<float>::infinity());
  PutFloat(bytes, 34, 0.0f);  // CurveMax[Il]
  const std::pair<std::int32_t, std::int32_t> indexes[] = {{5000, 299}, {-1, 0}, {INT32_MIN, 0}, {299, 299}};
  for (const auto& [stored, held] : indexes) {
    SCOPED_TRACE(stored);
    PutInt(bytes, 66, stored);
    WriteBytes(file, bytes);
    Rig r;
    ASSERT_EQ(OpenDataFile(*r.form, file), 0);
    const StartResult& s = r.form->M.Start;
    EXPECT_EQ(s.CursorIndex, held);
    EXPECT_FLOAT_EQ(s.CursorTime, held / 60.0f);
    EXPECT_TRUE(std::isnan(s.Peak[ChU]));
    EXPECT_EQ(s.CurveMax[ChIl], 0.0f);
    // The cursor still moves on the curves.
    r.form->Kinds[StartTest].KeyDown(*r.form, 39);
    EXPECT_EQ(s.CursorIndex, held == 299 ? 0 : held + 1);
  }
}

TEST(StartRecord, FailingFilesTellTheOperatorAndChangeNothing) {
  Rig r;
  Fill(*r.form);
  r.form->M.Start.Valid = 0;
  r.form->TestLocked = 0;
  EXPECT_EQ(SaveStartRecord(*r.form, "/nonexistent-folder/x.dat"), 1);
  ASSERT_EQ(r.host.messages.size(), 1u);
  EXPECT_EQ(r.host.messages[0], std::make_pair(std::string("存数据失败!"), std::string("警告")));

  EXPECT_EQ(LoadStartRecord(*r.form, "/nonexistent-folder/x.dat"), 1);
  ASSERT_EQ(r.host.messages.size(), 2u);
  EXPECT_EQ(r.host.messages[1].first, "读数据失败!");
  EXPECT_EQ(r.form->M.Start.Valid, 0);
  EXPECT_EQ(r.form->TestLocked, 0);
  EXPECT_EQ(r.form->M.Start.CursorIndex, 123);

  // A file cut short would load half old, half new: refused as a whole.
  TempDir dir;
  const std::string file = dir.File("short.dat");
  ASSERT_EQ(SaveStartRecord(*r.form, file), 0);
  fs::resize_file(file, 5102);
  Rig b;
  EXPECT_EQ(OpenDataFile(*b.form, file), 1);
  EXPECT_EQ(b.form->M.Start.Valid, 0);
  EXPECT_EQ(b.form->M.Start.Peak[ChU], 0.0f);
}

}  // namespace
}  // namespace kt
