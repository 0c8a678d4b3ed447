// The phase-angle data record: its byte layout, the round trip through the
// files dispatch, and that the kinds' records are told apart by their kind.
#include <gtest/gtest.h>

#include <unistd.h>

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
#include "measurements/phase/PhaseRecord.h"
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
  for (int k = 0; k < 40; ++k) {
    f.M.Input.CurrentHarmonic[k] = 0.5f + k;  // amperes here
    f.M.CurrentPerWatt[k] = 5000.0f + k;
  }
  test::FillRecordHeader(f);
  f.M.PhaseBegin = 30.9375f;
  f.M.PhasePeak = 87.1875f;
  f.M.PhaseEnd = 157.5f;
  f.ShownKind = PhaseTest;
}

TEST(PhaseRecord, HasTheLayoutOfTheDataFile) {
  Rig r;
  Fill(*r.form);
  TempDir dir;
  ASSERT_EQ(StoreDataFile(*r.form, dir.File("p.dat")), 0);
  const auto b = ReadBytes(dir.File("p.dat"));
  ASSERT_EQ(b.size(), 2703u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 10), "KT6100-1.0");
  EXPECT_EQ(IntAt(b, 10), 5);
  EXPECT_EQ(IntAt(b, 14), 256);
  EXPECT_EQ(FloatAt(b, 18), 1.0f);   // Urms
  EXPECT_EQ(FloatAt(b, 62), 12.0f);  // CFi
  EXPECT_EQ(FloatAt(b, 66), 16000.5f);
  EXPECT_EQ(FloatAt(b, 70), 8000.25f);
  EXPECT_EQ(FloatAt(b, 74), 100.0f);
  EXPECT_EQ(FloatAt(b, 874), -50.0f);
  EXPECT_EQ(FloatAt(b, 1674), 1000.0f);
  EXPECT_EQ(FloatAt(b, 1834 + 4), 1.5f);  // amperes
  EXPECT_EQ(FloatAt(b, 1994), 3000.0f);
  EXPECT_EQ(FloatAt(b, 2154 + 39 * 4), 4039.0f);
  EXPECT_EQ(FloatAt(b, 2314), 5000.0f);
  EXPECT_EQ(FloatAt(b, 2314 + 39 * 4), 5039.0f);
  EXPECT_EQ(IntAt(b, 2474), 1);
  EXPECT_EQ(IntAt(b, 2478), 0);
  EXPECT_EQ(b[2482], 0xD5) << "the name in GBK";
  EXPECT_EQ(std::string(b.begin() + 2513, b.begin() + 2517), "No-7");
  EXPECT_EQ(std::string(b.begin() + 2680, b.begin() + 2689), "2026-12-6");
  EXPECT_EQ(FloatAt(b, 2691), 30.9375f);
  EXPECT_EQ(FloatAt(b, 2695), 87.1875f);
  EXPECT_EQ(FloatAt(b, 2699), 157.5f);
}

TEST(PhaseRecord, ReopensToTheSameResultsLanguageAndButton) {
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese);
    Rig a, b;
    Fill(*a.form);
    a.form->ChineseMode = chinese;
    TempDir dir;
    ASSERT_EQ(StoreDataFile(*a.form, dir.File("r.dat")), 0);
    b.form->M.PhaseSnap.PhasePeak = 99.0f;
    b.host.hanZiBtnDown = chinese;
    ASSERT_EQ(OpenDataFile(*b.form, dir.File("r.dat")), 0);
    const MeasureSet &x = a.form->M, &y = b.form->M;
    EXPECT_EQ(b.form->ShownKind, PhaseTest);
    EXPECT_EQ(std::memcmp(&static_cast<const InputValues&>(x.Input), &static_cast<const InputValues&>(y.Input),
                          sizeof(InputValues)),
              0);
    EXPECT_EQ(y.Input.SampleCount, 256);
    EXPECT_EQ(y.Input.VoltagePeak, x.Input.VoltagePeak);
    EXPECT_EQ(std::memcmp(x.Input.CurrentWave, y.Input.CurrentWave, 800), 0);
    EXPECT_EQ(std::memcmp(x.Input.CurrentHarmonic, y.Input.CurrentHarmonic, 160), 0);
    EXPECT_EQ(std::memcmp(x.Input.VoltageHarmonicPct, y.Input.VoltageHarmonicPct, 160), 0);
    EXPECT_EQ(std::memcmp(x.CurrentPerWatt, y.CurrentPerWatt, 160), 0);
    EXPECT_EQ(y.PhaseBegin, 30.9375f);
    EXPECT_EQ(y.PhaseEnd, 157.5f);
    EXPECT_EQ(b.form->ChineseMode, chinese);
    EXPECT_EQ(b.host.hanZiBtnDown, chinese == 0) << "the language button follows the file";
    EXPECT_EQ(b.form->WideFreqMode, 1);
    EXPECT_EQ(b.form->Info.Name, "镇流器样品");
    EXPECT_EQ(b.form->Info.Operator, "张工");
    EXPECT_STREQ(b.form->TestDate, "2026-12-6");
    EXPECT_EQ(y.PhaseSnap.PhasePeak, 99.0f) << "loading leaves Back/Next's copy alone";
    EXPECT_TRUE(b.host.messages.empty());
  }
}

TEST(PhaseRecord, EachKindsRecordGoesToItsOwnLoader) {
  TempDir dir;
  Rig a;
  Fill(*a.form);
  a.form->ShownKind = InputTest;
  ASSERT_EQ(StoreDataFile(*a.form, dir.File("input.dat")), 0);
  ASSERT_EQ(ReadBytes(dir.File("input.dat")).size(), 2543u);

  // An input record is read as an input record: no per-watt column, and
  // the phase angles from their own place at its end.
  Rig b;
  b.form->M.CurrentPerWatt[0] = -7.0f;
  ASSERT_EQ(OpenDataFile(*b.form, dir.File("input.dat")), 0);
  EXPECT_EQ(b.form->ShownKind, InputTest);
  EXPECT_EQ(b.form->M.CurrentPerWatt[0], -7.0f);
  EXPECT_EQ(b.form->M.Input.CurrentHarmonicPct[39], 4039.0f);
  EXPECT_EQ(b.form->M.PhasePeak, 87.1875f);
  EXPECT_EQ(b.form->Info.Name, "镇流器样品");

  // Loaded by the phase loader directly, the shorter input record is refused
  // rather than read as a mix of both layouts.
  Rig c;
  c.form->M.Input.Urms = 5.0f;
  EXPECT_EQ(LoadPhaseRecord(*c.form, dir.File("input.dat")), 1);
  ASSERT_EQ(c.host.messages.size(), 1u);
  EXPECT_EQ(c.host.messages[0], std::make_pair(std::string("数据文件格式错误!"), std::string("警告")));
  EXPECT_EQ(c.form->M.Input.Urms, 5.0f);

  // A kind-5 header on a body of the input's length is refused the same way.
  auto bytes = ReadBytes(dir.File("input.dat"));
  bytes[10] = 5;
  std::ofstream(dir.File("forged.dat"), std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  Rig d;
  d.form->M.Input.Urms = 5.0f;
  EXPECT_EQ(OpenDataFile(*d.form, dir.File("forged.dat")), 1);
  EXPECT_EQ(d.form->M.Input.Urms, 5.0f);
}

}  // namespace
}  // namespace kt
