// The output (kind 2) and comprehensive (kind 3) data records: their byte
// layouts, the round trip through the open command's dispatch, what loading
// leaves alone, and damaged or failing files.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include "link/Form.h"
#include "measurements/DataFiles.h"
#include "measurements/MeasurementKinds.h"
#include "measurements/comp/CompRecord.h"
#include "measurements/output/OutputRecord.h"
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

// A recognisable value in every field of both working records.
void Fill(Form& f, TestKind kind) {
  test::FillRecognisableInput(f.M.Input);
  OutputResult& o = f.M.Output;
  float v = 101.0f;  // OscFreq 101 ... Ikcf 116, in record order
  for (float* x : {&o.OscFreq, &o.Pout, &o.Vm, &o.Vrms, &o.Vcf, &o.Ilm, &o.Ilrms, &o.IlcfPos, &o.IlcfNeg, &o.Ildhc,
                   &o.Ifm, &o.Ifrms, &o.Ifcf, &o.Ikm, &o.Ikrms, &o.Ikcf})
    *x = v++;
  for (int c = 0; c < 4; ++c) {
    for (int i = 0; i < 200; ++i) o.OutputWave[c][i] = 1000.0f * (c + 1) + i;
    o.OutputWavePeak[c] = 5000.0f + c;
  }
  test::FillRecordHeader(f);
  f.Info.ColourTemperature = "4000K";
  f.ShownKind = kind;
}

std::string TextAt(const std::vector<std::uint8_t>& b, std::size_t at, std::size_t n) {
  return std::string(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at + n));
}

TEST(OutputRecord, HasTheLayoutOfTheDataFile) {
  Rig r;
  Fill(*r.form, OutputTest);
  TempDir dir;
  ASSERT_EQ(SaveOutputRecord(*r.form, dir.File("o.dat")), 0);
  const auto b = ReadBytes(dir.File("o.dat"));
  ASSERT_EQ(b.size(), 3511u);
  EXPECT_EQ(TextAt(b, 0, 10), "KT6100-1.0");
  EXPECT_EQ(IntAt(b, 10), 2);
  EXPECT_EQ(FloatAt(b, 14), 101.0f);  // OscFreq
  EXPECT_EQ(FloatAt(b, 26), 104.0f);  // Vrms
  EXPECT_EQ(FloatAt(b, 34), 106.0f);  // Ilm, the last of the first row
  EXPECT_EQ(FloatAt(b, 38), 107.0f);  // Ilrms
  EXPECT_EQ(FloatAt(b, 46), 109.0f);  // IlcfNeg
  EXPECT_EQ(FloatAt(b, 50), 110.0f);  // Ildhc
  EXPECT_EQ(FloatAt(b, 74), 116.0f);  // Ikcf
  EXPECT_EQ(FloatAt(b, 78), 5000.0f);
  EXPECT_EQ(FloatAt(b, 90), 5003.0f);
  EXPECT_EQ(FloatAt(b, 94), 1000.0f);
  EXPECT_EQ(FloatAt(b, 894 - 4), 1199.0f) << "all 200 points of each curve";
  EXPECT_EQ(FloatAt(b, 894), 2000.0f);
  EXPECT_EQ(FloatAt(b, 1694), 3000.0f);
  EXPECT_EQ(FloatAt(b, 2494), 4000.0f);
  EXPECT_EQ(FloatAt(b, 3290), 4199.0f);
  EXPECT_EQ(IntAt(b, 3294), 1);
  EXPECT_EQ(IntAt(b, 3298), 0);
  EXPECT_EQ(b[3302], 0xD5) << "GBK text";
  EXPECT_EQ(TextAt(b, 3333, 4), "No-7");
  EXPECT_EQ(TextAt(b, 3354, 6), "EB-236");
  EXPECT_EQ(TextAt(b, 3396, 3), std::string("25\0", 3));
  EXPECT_EQ(TextAt(b, 3500, 10), std::string("2026-12-6\0", 10));
}

TEST(CompRecord, HasTheLayoutOfTheDataFile) {
  Rig r;
  Fill(*r.form, CompTest);
  TempDir dir;
  ASSERT_EQ(SaveCompRecord(*r.form, dir.File("c.dat")), 0);
  const auto b = ReadBytes(dir.File("c.dat"));
  ASSERT_EQ(b.size(), 3873u);
  EXPECT_EQ(TextAt(b, 0, 10), "KT6100-1.0");
  EXPECT_EQ(IntAt(b, 10), 3);
  EXPECT_EQ(IntAt(b, 14), 256);
  EXPECT_EQ(FloatAt(b, 18), 1.0f);   // Urms
  EXPECT_EQ(FloatAt(b, 62), 12.0f);  // CFi
  EXPECT_EQ(FloatAt(b, 66), 16000.5f);
  EXPECT_EQ(FloatAt(b, 70), 8000.25f);
  // OscFreq, Pout, Vrms, Ilm, Ilrms, IlcfPos, Ifrms, Ikrms.
  const float lamp[8] = {101, 102, 104, 106, 107, 108, 112, 115};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(FloatAt(b, 74 + 4 * i), lamp[i]) << "lamp value " << i;
  EXPECT_EQ(FloatAt(b, 106), 5000.0f);
  EXPECT_EQ(FloatAt(b, 110), 5001.0f) << "the lamp-current curve's peak";
  EXPECT_EQ(FloatAt(b, 114), 100.0f);
  EXPECT_EQ(FloatAt(b, 914), -50.0f);
  EXPECT_EQ(FloatAt(b, 1714), 3000.0f) << "percentages, not magnitudes";
  EXPECT_EQ(FloatAt(b, 1874 + 4), 4001.0f);
  EXPECT_EQ(FloatAt(b, 2034), 1000.0f);
  EXPECT_EQ(FloatAt(b, 2834), 2000.0f);
  EXPECT_EQ(FloatAt(b, 3630), 2199.0f);
  EXPECT_EQ(IntAt(b, 3634), 1);
  EXPECT_EQ(IntAt(b, 3638), 0);
  EXPECT_EQ(b[3642], 0xD5);
  EXPECT_EQ(TextAt(b, 3673, 4), "No-7");
  EXPECT_EQ(TextAt(b, 3809, 4), "\xD5\xC5\xB9\xA4") << "张工 in GBK";
  EXPECT_EQ(TextAt(b, 3840, 5), std::string("3200\0", 5));
  EXPECT_EQ(TextAt(b, 3851, 6), std::string("4000K\0", 6));
  EXPECT_EQ(TextAt(b, 3862, 10), std::string("2026-12-6\0", 10));
}

// The fields of both working records that a loader may change, each set to
// a value no record holds.
void Scribble(Form& f) {
  f.M.Input = InputResult{};
  f.M.Output = OutputResult{};
  InputResult& in = f.M.Input;
  OutputResult& o = f.M.Output;
  std::fill_n(in.VoltageHarmonic, 40, -7.0f);
  std::fill_n(in.CurrentHarmonic, 40, -8.0f);
  o.Vm = o.Vcf = o.IlcfNeg = o.Ildhc = o.Ifm = o.Ifcf = o.Ikm = o.Ikcf = -9.0f;
  o.OutputWavePeak[ChIf] = o.OutputWavePeak[ChIk] = -10.0f;
  std::fill_n(o.OutputWave[ChIf], 200, -11.0f);
  f.M.HighFreqCurrent = -12.0f;
  f.ChineseMode = 1;
  f.WideFreqMode = 0;
  f.Info = TestInfo{};
  f.Info.LuminousFlux = "keep";
}

TEST(LampRecords, ReopenThroughTheOpenCommandWithTheirOwnFieldsOnly) {
  for (int chinese : {0, 1}) {
    SCOPED_TRACE(chinese);
    TempDir dir;
    Rig a;
    Fill(*a.form, OutputTest);
    a.form->ChineseMode = chinese;
    ASSERT_EQ(StoreDataFile(*a.form, dir.File("o.dat")), 0);
    a.form->ShownKind = CompTest;
    ASSERT_EQ(StoreDataFile(*a.form, dir.File("c.dat")), 0);
    const Form& src = *a.form;

    Rig b;
    Scribble(*b.form);
    b.form->ChineseMode = !chinese;
    b.host.hanZiBtnDown = chinese;
    const CompSnapshot compSnap = b.form->M.CompSnap;
    const OutputSnapshot outputSnap = b.form->M.OutputSnap;
    ASSERT_EQ(OpenDataFile(*b.form, dir.File("o.dat")), 0);
    const OutputResult& o = b.form->M.Output;
    EXPECT_EQ(b.form->ShownKind, OutputTest);
    EXPECT_EQ(std::memcmp(&o, &src.M.Output, sizeof o), 0) << "every output field is in its record";
    EXPECT_EQ(b.form->ChineseMode, chinese);
    EXPECT_EQ(b.host.hanZiBtnDown, chinese == 0);
    EXPECT_EQ(b.form->WideFreqMode, 1);
    EXPECT_EQ(b.form->Info.Name, "镇流器样品");
    EXPECT_EQ(b.form->Info.Operator, "张工");
    EXPECT_EQ(b.form->Info.LuminousFlux, "keep") << "the output record has no light values";
    EXPECT_STREQ(b.form->TestDate, "2026-12-6");
    EXPECT_EQ(b.form->M.Input.Urms, 0.0f) << "the mains side is not in it";

    Scribble(*b.form);
    b.form->ChineseMode = !chinese;
    ASSERT_EQ(OpenDataFile(*b.form, dir.File("c.dat")), 0);
    const InputResult& in = b.form->M.Input;
    const OutputResult& c = b.form->M.Output;
    EXPECT_EQ(b.form->ShownKind, CompTest);
    EXPECT_EQ(in.SampleCount, 256);
    EXPECT_EQ(std::memcmp(&static_cast<const InputValues&>(in), &static_cast<const InputValues&>(src.M.Input),
                          sizeof(InputValues)),
              0);
    EXPECT_EQ(in.CurrentPeak, 8000.25f);
    EXPECT_EQ(std::memcmp(in.VoltageWave, src.M.Input.VoltageWave, 800), 0);
    EXPECT_EQ(std::memcmp(in.CurrentHarmonicPct, src.M.Input.CurrentHarmonicPct, 160), 0);
    EXPECT_EQ(c.Vrms, 104.0f);
    EXPECT_EQ(c.IlcfPos, 108.0f);
    EXPECT_EQ(c.Ikrms, 115.0f);
    EXPECT_EQ(c.OutputWavePeak[ChIl], 5001.0f);
    EXPECT_EQ(std::memcmp(c.OutputWave[ChIl], src.M.Output.OutputWave[ChIl], 800), 0);
    EXPECT_EQ(b.form->Info.LuminousFlux, "3200");
    EXPECT_EQ(b.form->Info.ColourTemperature, "4000K");
    EXPECT_EQ(b.form->ChineseMode, chinese);
    EXPECT_EQ(b.host.hanZiBtnDown, chinese == 0);
    // What the record does not hold keeps its value.
    EXPECT_EQ(in.VoltageHarmonic[5], -7.0f);
    EXPECT_EQ(in.CurrentHarmonic[1], -8.0f);
    EXPECT_EQ(c.Vm, -9.0f);
    EXPECT_EQ(c.IlcfNeg, -9.0f);
    EXPECT_EQ(c.Ildhc, -9.0f);
    EXPECT_EQ(c.Ikcf, -9.0f);
    EXPECT_EQ(c.OutputWavePeak[ChIk], -10.0f);
    EXPECT_EQ(c.OutputWave[ChIf][100], -11.0f);
    EXPECT_EQ(b.form->M.HighFreqCurrent, -12.0f);
    // Back/Next's copies are the last measurements', not the file's.
    EXPECT_EQ(std::memcmp(&b.form->M.CompSnap, &compSnap, sizeof compSnap), 0);
    EXPECT_EQ(std::memcmp(&b.form->M.OutputSnap, &outputSnap, sizeof outputSnap), 0);
    EXPECT_TRUE(b.host.messages.empty());
  }
}

TEST(LampRecords, NonFiniteValuesGoThroughUnchanged) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  TempDir dir;
  Rig a;
  Fill(*a.form, CompTest);
  a.form->M.Input.VoltagePeak = 0.0f;
  a.form->M.Input.Urms = nan;
  a.form->M.Output.Pout = -inf;
  a.form->M.Output.OutputWavePeak[ChIl] = nan;
  ASSERT_EQ(StoreDataFile(*a.form, dir.File("c.dat")), 0);
  Rig b;
  ASSERT_EQ(OpenDataFile(*b.form, dir.File("c.dat")), 0);
  EXPECT_EQ(b.form->M.Input.VoltagePeak, 0.0f);
  EXPECT_TRUE(std::isnan(b.form->M.Input.Urms));
  EXPECT_EQ(b.form->M.Output.Pout, -inf);
  EXPECT_TRUE(std::isnan(b.form->M.Output.OutputWavePeak[ChIl]));
}

TEST(LampRecords, ShortLongAndUnwritableFiles) {
  for (TestKind kind : {OutputTest, CompTest}) {
    SCOPED_TRACE(kind);
    const std::size_t size = kind == OutputTest ? OutputRecordSize : CompRecordSize;
    TempDir dir;
    Rig a;
    Fill(*a.form, kind);
    const std::string file = dir.File("r.dat");

    // Written over a longer file: the tail stays, the record still opens.
    std::ofstream(file, std::ios::binary) << std::string(10000, 'x');
    ASSERT_EQ(StoreDataFile(*a.form, file), 0);
    auto bytes = ReadBytes(file);
    ASSERT_EQ(bytes.size(), 10000u);
    EXPECT_EQ(bytes[size - 1], 0) << "the date field's padding ends the record";
    EXPECT_EQ(bytes[size], 'x');
    Rig b;
    ASSERT_EQ(OpenDataFile(*b.form, file), 0);
    EXPECT_EQ(b.form->M.Output.Vrms, 104.0f);

    // One byte short: refused, nothing changed.
    bytes.resize(size - 1);
    std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()),
                                                                   static_cast<std::streamsize>(bytes.size()));
    Rig c;
    c.form->ShownKind = InputTest;
    EXPECT_EQ(OpenDataFile(*c.form, file), 1);
    ASSERT_FALSE(c.host.messages.empty());
    EXPECT_EQ(c.host.messages.back().first, "数据文件格式错误!");
    EXPECT_EQ(c.form->M.Output.Vrms, 0.0f);
    EXPECT_EQ(c.form->Info.Name, "");

    // A file that cannot be created.
    Rig d;
    Fill(*d.form, kind);
    EXPECT_EQ(StoreDataFile(*d.form, dir.File("missing/r.dat")), 1);
    ASSERT_EQ(d.host.messages.size(), 1u);
    EXPECT_EQ(d.host.messages[0], (std::pair<std::string, std::string>{"存数据失败!", "警告"}));
  }
}

}  // namespace
}  // namespace kt
