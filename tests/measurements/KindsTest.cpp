// The five main kinds' pages, reports and data records after a measurement
// of the simulated instrument: each compared with its golden file (one line
// per drawing operation; the records byte for byte), and with items worked
// out by hand from the layout rules, so that a wrong golden file cannot pass.
// At the design size 640 x 385 the page scale is 1, so a layout point (a, b)
// is pixel (a, b) plus the page's origin.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>

#include "link/Controller.h"
#include "measurements/DataFiles.h"
#include "measurements/RecordFile.h"
#include "measurements/output/ResampleWave.h"
#include "platform/DrawingList.h"
#include "platform/GbkText.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Recording.h"

namespace kt {
namespace {

using test::FormRig;
using test::RecordingCanvas;

const char* Name(TestKind k) {
  static const char* names[] = {"", "input", "output", "comp", "start", "phase"};
  return names[k];
}
constexpr TestKind MainKinds[] = {InputTest, OutputTest, CompTest, StartTest, PhaseTest};

// One measurement of `kind`, with the test information filled in; English
// pages with the narrow band, Chinese ones with the wide band.
struct Measured : FormRig {
  explicit Measured(TestKind kind) {
    Attach(7);
    f().Info = {"镇流器样品", "No-7", "EB-236", "GB", "25", "60", "厂家", "张工", "3200", "4000"};
    Run(kind);
  }
  void Language(int chinese) {
    f().ChineseMode = chinese;
    f().WideFreqMode = chinese;
  }
  // Through the drawing list the window keeps, so that the goldens also
  // show the list plays every call back as it was made.
  DrawingList List(int w = 640, int h = 385) {
    DrawingList list;
    f().Kinds[static_cast<std::size_t>(f().ShownKind)].Paint(f(), list, w, h);
    return list;
  }
  RecordingCanvas Page(int w = 640, int h = 385) {
    RecordingCanvas c;
    List(w, h).PlayOnto(c);
    return c;
  }
  RecordingCanvas Report() {
    RecordingCanvas c;
    f().Kinds[static_cast<std::size_t>(f().ShownKind)].Report(f(), c);
    return c;
  }
  std::vector<std::uint8_t> Record() {
    return BuildRecord(*f().Kinds[static_cast<std::size_t>(f().ShownKind)].Record, f());
  }
};

TEST(Kinds, PagesReportsAndRecordsMatchTheirGoldenFiles) {
  for (TestKind kind : MainKinds) {
    Measured m(kind);
    DrawingList before;
    for (int chinese : {0, 1}) {
      m.Language(chinese);
      // The window repaints only when the list differs: the same state gives
      // the same list, another language another.
      EXPECT_TRUE(m.List() == m.List());
      EXPECT_FALSE(m.List() == before);
      before = m.List();
      const std::string base = std::string(Name(kind)) + (chinese ? "-zh" : "-en");
      test::ExpectGolden(base + "-page-640.txt", m.Page().Dump());
      test::ExpectGolden(base + "-page-1920.txt", m.Page(1920, 1017).Dump());
      test::ExpectGolden(base + "-report.txt", m.Report().Dump());
    }
    const auto record = m.Record();
    const std::string golden = test::GoldenPath(std::string(Name(kind)) + ".dat");
    if (const char* u = std::getenv("KT_UPDATE_GOLDEN"); u && std::string(u) == "1") test::WriteBytes(golden, record);
    EXPECT_EQ(record, test::ReadBytes(golden)) << Name(kind) << " record";
  }
}

struct Items {
  TestKind kind;
  int chinese;
  bool report;
  std::vector<std::string> items;
};

// T x y align "face" height colour escapement text; L x1 y1 x2 y2 colour width style.
// clang-format off
const Items HandItems[] = {
    {InputTest, 0, false,
     {"R 0 0 640 385 #000000 #ffffff 1",
      "T 320 0 C \"Times New Roman\" 20 #000000 0 KT6100 Electronic Ballast Test Instrument",
      "T 320 20 C \"Times New Roman\" 20 #000000 0 Input Characteristic Test Report",
      "L 10 42 630 42 #000000 2 solid", "L 10 78 630 78 #000000 2 solid", "L 230 78 230 370 #000000 2 solid",
      "L 10 192 230 192 #000000 2 solid", "L 130 42 130 78 #000000 1 solid", "L 490 42 490 78 #000000 1 solid",
      "L 230 115 630 115 #000000 1 solid", "L 564 78 564 370 #000000 1 solid",
      "T 70 45 C \"Times New Roman\" 16 #0000ff 0 Urms (V)", "T 190 45 C \"Times New Roman\" 16 #0000ff 0 Irms (A)",
      "T 430 45 C \"Times New Roman\" 16 #0000ff 0 PF", "T 120 205 L \"Times New Roman\" 14 #ff0000 0 THDU:  *",
      "T 120 285 L \"Times New Roman\" 14 #004b00 0 THDI:  *", "T 20 260 L \"Times New Roman\" 14 #000000 0 1",
      "T 110 345 L \"Times New Roman\" 14 #000000 0 k", "T 200 345 L \"Times New Roman\" 14 #000000 0 39",
      "T 267 82 C \"Times New Roman\" 16 #000000 0 spectrum", "T 531 82 C \"Times New Roman\" 16 #ff0000 0 voltage",
      "T 597 98 C \"Times New Roman\" 16 #000000 0 %", "T 269 119 R \"Times New Roman\" 14 #000000 0 0",
      "T 469 119 R \"Times New Roman\" 14 #000000 0 1", "T 544 119 R \"Times New Roman\" 14 #ff0000 0 100.0",
      "T 611 119 R \"Times New Roman\" 14 #004b00 0 100.0", "T 469 347 R \"Times New Roman\" 14 #000000 0 39",
      "L 20 85 220 85 #000000 1 solid", "L 20 135 220 135 #000000 1 solid", "L 20 255 220 255 #000000 1 solid",
      "L 25 255 25 205 #ff0000 2 solid", "L 20 340 220 340 #000000 1 solid", "L 25 340 25 290 #004b00 2 solid"}},
    {InputTest, 1, false,
     {"T 320 0 C \"Times New Roman\" 19 #000000 0 KT6100 电子镇流器综合测试仪",
      "T 320 20 C \"Times New Roman\" 19 #000000 0 输入特性测试报告",
      "T 190 45 C \"Times New Roman\" 15 #0000ff 0 宽频电流(A)",
      "T 430 45 C \"Times New Roman\" 15 #0000ff 0 宽频功率因数",
      "T 80 205 L \"Times New Roman\" 14 #ff0000 0 电压总谐波:  *",
      "T 80 285 L \"Times New Roman\" 14 #004b00 0 宽频电流总谐波:  *",
      "T 267 82 C \"Times New Roman\" 16 #000000 0 谐波"}},
    {PhaseTest, 0, false,
     {"T 320 2 C \"Times New Roman\" 18 #000000 0 KT6100 Electronic Ballast Test Instrument",
      "T 320 22 C \"Times New Roman\" 18 #000000 0 Input Characteristic Test Report (continued)",
      "L 10 224 230 224 #000000 2 solid", "L 113 42 113 78 #000000 1 solid", "L 120 224 120 370 #000000 1 solid",
      "L 10 260 230 260 #000000 1 solid", "L 297 78 297 370 #000000 1 solid",
      "T 61 47 C \"Times New Roman\" 15 #0000ff 0 Irms (A)",
      "T 576 47 C \"Times New Roman\" 15 #0000ff 0 End Phase (°)",
      "T 263 82 C \"Times New Roman\" 15 #ff0000 0 spectrum", "T 397 82 C \"Times New Roman\" 15 #0000ff 0 mA / W",
      "T 65 227 C \"Times New Roman\" 15 #ff0000 0 spectrum", "T 175 243 C \"Times New Roman\" 15 #004b00 0 %",
      "L 20 95 220 95 #000000 1 solid", "L 20 150 220 150 #000000 1 solid"}},
    {PhaseTest, 1, false,
     {"T 320 2 C \"Times New Roman\" 18 #000000 0 KT6100 电子镇流器综合测试仪",
      "T 320 22 C \"Times New Roman\" 18 #000000 0 输入特性测试报告(续)",
      "T 61 47 C \"Times New Roman\" 15 #0000ff 0 电流 (A)", "T 65 228 C \"Times New Roman\" 15 #ff0000 0 谐波"}},
    {OutputTest, 0, false,
     {"T 320 5 C \"Times New Roman\" 20 #ffffff 0 KT6100 Electronic Ballast Test Instrument",
      "T 320 25 C \"Times New Roman\" 20 #ffffff 0 Output Characteristic Test Report",
      "L 20 17 100 17 #ffffff 2 solid", "L 540 17 620 17 #ffffff 2 solid", "L 20 17 20 383 #ffffff 2 solid",
      "L 40 46 600 46 #ffffff 1 solid", "L 40 126 600 126 #ff0000 1 solid", "L 340 206 340 280 #00ff00 1 solid",
      "L 40 323 340 323 #ffff00 1 solid", "T 90 365 L \"Times New Roman\" 15 #00ff00 0 Pout=*",
      "T 440 365 L \"Times New Roman\" 15 #00ff00 0 f   =*",
      "T 370 55 L \"Times New Roman\" 15 #ffffff 0 Lamp Voltage:", "T 390 71 L \"Times New Roman\" 15 #ffffff 0 Vrms:",
      "T 370 130 L \"Times New Roman\" 15 #ff0000 0 Lamp Current RMS:",
      "T 390 162 L \"Times New Roman\" 15 #ff0000 0 Ilcf:",
      "T 545 162 L \"Times New Roman\" 15 #ff0000 0 -*",
      "T 370 290 L \"Times New Roman\" 15 #ffff00 0 Current Lead to Cathode :"}},
    {OutputTest, 1, false,
     {"T 320 5 C \"宋体\" 18 #ffffff 0 KT6100 电子镇流器综合测试仪", "T 370 55 L \"宋体\" 14 #ffffff 0 灯电压:",
      "T 370 162 L \"宋体\" 14 #ff0000 0 波峰系数:", "T 445 162 L \"宋体\" 14 #ff0000 0 正波:*",
      "T 520 162 L \"宋体\" 14 #ff0000 0 负波:-*", "T 90 365 L \"宋体\" 14 #00ff00 0 功率=*"}},
    {CompTest, 0, false,
     {"T 320 5 C \"Times New Roman\" 20 #000000 0 KT6100 Electronic Ballast Test Instrument",
      "T 320 25 C \"Times New Roman\" 20 #000000 0 Compositive Characteristic Test Report",
      "T 20 115 C \"Times New Roman\" 15 #000000 900 Input",
      "T 40 115 C \"Times New Roman\" 15 #000000 900 Characteristic", "L 15 46 627 46 #000000 2 solid",
      "L 15 175 627 175 #000000 1 solid", "L 280 46 280 375 #000000 1 solid",
      "T 285 49 L \"Times New Roman\" 15 #000000 0 Luminous flux:",
      "T 380 49 L \"Times New Roman\" 15 #0000ff 0 3200 lm",
      "T 445 49 L \"Times New Roman\" 15 #000000 0 Color Temperature:",
      "T 565 49 L \"Times New Roman\" 15 #0000ff 0 4000 K", "T 290 69 L \"Times New Roman\" 15 #000000 0 Urms (V)",
      "T 340 129 C \"Times New Roman\" 15 #000000 0 THDU"}},
    {CompTest, 1, false,
     {"T 320 5 C \"Times New Roman\" 18 #000000 0 KT6100 电子镇流器综合测试仪",
      "T 320 25 C \"Times New Roman\" 18 #000000 0 综合特性测试报告", "T 36 65 L \"Times New Roman\" 15 #000000 0 输",
      "T 285 49 L \"Times New Roman\" 15 #000000 0 光通量:"}},
    {StartTest, 0, false,
     {"T 320 5 C \"Times New Roman\" 20 #ffffff 0 KT6100 Electronic Ballast Test Instrument",
      "T 320 25 C \"Times New Roman\" 20 #ffffff 0 Start Characteristic Test Report",
      "L 20 17 110 17 #ffffff 2 solid", "L 530 17 620 17 #ffffff 2 solid", "L 340 45 340 120 #ffffff 1 solid",
      "L 70 125 70 200 #000000 1 dot", "T 370 55 L \"Times New Roman\" 15 #ffffff 0 Lamp Voltage :",
      "T 390 71 L \"Times New Roman\" 15 #ffffff 0 Peak Voltage: ",
      "T 370 103 L \"Times New Roman\" 15 #ffffff 0 Sensitivity:",
      "T 520 103 L \"Times New Roman\" 15 #ffffff 0 0.50 s/div",
      "T 370 178 L \"Times New Roman\" 15 #ff0000 0 Time for Warm-up:",
      "T 390 226 L \"Times New Roman\" 15 #00ff00 0 Peak Currnet:",
      "T 370 338 L \"Times New Roman\" 15 #ffff00 0 Sentivity:",
      "T 230 55 L \"Times New Roman\" 15 #ffffff 0 Time:      *"}},
    {StartTest, 1, false,
     {"T 320 5 C \"Times New Roman\" 20 #ffffff 0 KT6100 电子镇流器综合测试仪",
      "T 370 55 L \"Times New Roman\" 15 #ffffff 0 灯电压 ：", "T 230 55 L \"Times New Roman\" 15 #ffffff 0 时间:  *"}},

    {InputTest, 0, true,
     {"T 14300 -2000 C \"宋体\" 800 #000000 0 KT6100 Electronic Ballast Test Instrument",
      "T 14300 -2800 C \"宋体\" 800 #000000 0 Input Characteristic Test Report",
      "L 2000 -6800 26600 -6800 #000000 50 solid", "L 2000 -11500 13500 -11500 #000000 50 solid",
      "L 7200 -5000 7200 -6800 #000000 10 solid", "L 16300 -6800 16300 -18500 #000000 10 solid",
      "L 14000 -8100 26600 -8100 #000000 10 solid", "T 5000 -5300 C \"宋体\" 600 #000000 0 Urms (V)",
      "T 3500 -4000 L \"宋体\" 400 #000000 0 Name:", "T 5000 -4000 L \"宋体\" 400 #000000 0 镇流器样品",
      "T 20500 -4000 L \"宋体\" 400 #000000 0 Temperature:", "T 23500 -4000 L \"宋体\" 400 #000000 0 25℃",
      "T 3500 -19200 L \"宋体\" 400 #000000 0 Test Date:", "T 6500 -19200 L \"宋体\" 400 #000000 0 2026-12-6",
      "T 9000 -12000 L \"宋体\" 400 #000000 0 THDU=*", "T 2500 -14100 L \"宋体\" 400 #000000 0 1",
      "T 15300 -7000 C \"宋体\" 500 #000000 0 spectrum", "T 15400 -8200 R \"宋体\" 500 #000000 0 0",
      "T 21400 -8200 R \"宋体\" 500 #000000 0 1", "T 21400 -17700 R \"宋体\" 500 #000000 0 39",
      "L 2500 -9000 12500 -9000 #000000 10 solid", "L 2500 -14000 12500 -14000 #000000 10 solid",
      "L 2750 -14000 2750 -12000 #000000 100 solid"}},
    {InputTest, 1, true,
     {"T 14300 -2000 C \"宋体\" 800 #000000 0 KT6100电子镇流器综合测试仪",
      "T 9600 -5300 C \"宋体\" 600 #000000 0 宽频电流 (A)", "T 21500 -4000 L \"宋体\" 400 #000000 0 温度:",
      "T 23000 -4000 L \"宋体\" 400 #000000 0 25℃", "T 9000 -15400 L \"宋体\" 400 #000000 0 宽频电流总谐波=*"}},
    {PhaseTest, 0, true,
     {"T 14300 -2800 C \"宋体\" 800 #000000 0 Input Characteristic Test Report (continued)",
      "L 2000 -13200 13500 -13200 #000000 50 solid", "L 6100 -5000 6100 -6800 #000000 10 solid",
      "L 7700 -13200 7700 -18500 #000000 10 solid", "T 4050 -5300 C \"宋体\" 500 #000000 0 Irms (A)",
      "T 24550 -5300 C \"宋体\" 500 #000000 0 End Phase (°)", "T 19300 -7000 C \"宋体\" 400 #000000 0 mA/W",
      "T 4850 -13400 C \"宋体\" 500 #000000 0 spectrum", "T 4950 -14900 R \"宋体\" 500 #000000 0 2",
      "T 4950 -17900 R \"宋体\" 500 #000000 0 11", "L 2700 -10000 12700 -10000 #000000 10 solid"}},
    {PhaseTest, 1, true,
     {"T 14300 -2800 C \"宋体\" 800 #000000 0 输入特性测试报告(续)", "T 19300 -7000 C \"宋体\" 500 #000000 0 mA/W",
      "T 4050 -5300 C \"宋体\" 500 #000000 0 电流 (A)"}},
    {OutputTest, 0, true,
     {"T 14300 -2000 C \"宋体\" 800 #000000 0 KT6100 Electronic Ballast Test Instrument",
      "T 14300 -2800 C \"宋体\" 800 #000000 0 Output Characteristic Test Report",
      "T 3500 -17800 L \"宋体\" 400 #000000 0 Pout:", "T 20500 -17800 L \"宋体\" 400 #000000 0 f   :",
      "T 3500 -3800 L \"宋体\" 400 #000000 0 Name:", "T 5500 -3800 L \"宋体\" 400 #000000 0 镇流器样品",
      "T 16500 -5100 L \"宋体\" 400 #000000 0 Lamp Voltage:", "T 17500 -5850 L \"宋体\" 400 #000000 0 Vrms:",
      "T 16500 -8300 L \"宋体\" 400 #000000 0 Lamp Current RMS:", "L 2500 -6500 15500 -6500 #000000 10 solid",
      "L 2500 -5000 2500 -18500 #000000 50 solid"}},
    {OutputTest, 1, true,
     {"T 14300 -2000 C \"宋体\" 800 #000000 0 KT6100电子镇流器综合测试仪",
      "T 20000 -17800 L \"宋体\" 400 #000000 0 振荡频率:", "T 5000 -3800 L \"宋体\" 400 #000000 0 镇流器样品",
      "T 12500 -3800 L \"宋体\" 400 #000000 0 型号:", "T 21500 -3800 L \"宋体\" 400 #000000 0 温度:",
      "T 23000 -3800 L \"宋体\" 400 #000000 0 25℃", "T 20000 -9800 L \"宋体\" 400 #000000 0 正波：*"}},
    {CompTest, 0, true,
     {"T 14300 -2000 C \"T 宋体\" 800 #000000 0 KT6100 Electronic Ballast Test Instrument",
      "T 14300 -2800 C \"T 宋体\" 800 #000000 0 Compositive Characteristic Test Report",
      "T 2800 -7700 C \"T 宋体\" 400 #000000 2700 Input", "T 3500 -3800 L \"T 宋体\" 400 #000000 0 Name:",
      "T 5000 -3800 L \"T 宋体\" 400 #000000 0 镇流器样品"}},
    {CompTest, 1, true,
     {"T 14300 -2000 C \"宋体\" 700 #000000 0 KT6100 电子镇流器综合测试仪",
      "T 3500 -6200 C \"宋体\" 400 #000000 0 输", "T 12800 -5200 L \"宋体\" 400 #000000 0 光通量:",
      "T 14800 -5200 L \"宋体\" 400 #000000 0 3200*"}},
    {StartTest, 0, true,
     {"T 14300 -2000 C \"宋体\" 700 #000000 0 KT6100 Electronic Ballast Test Instrument",
      "T 14300 -2800 C \"宋体\" 700 #000000 0 Start Characteristic Test Report",
      "T 16500 -5100 L \"宋体\" 400 #000000 0 Lamp Voltage:", "T 17500 -5850 L \"宋体\" 400 #000000 0 Peak Voltage:",
      "T 16500 -10850 L \"宋体\" 400 #000000 0 Time for warm-up:", "T 10500 -5300 L \"宋体\" 400 #000000 0 Time:    *",
      "L 15500 -5000 15500 -8000 #000000 50 solid", "L 3800 -5000 3800 -8000 #000000 10 dot"}},
    {StartTest, 1, true,
     {"T 14300 -2000 C \"宋体\" 700 #000000 0 KT6100 电子镇流器综合测试仪",
      "T 13000 -3800 L \"宋体\" 400 #000000 0 EB-236", "T 16500 -5100 L \"宋体\" 400 #000000 0 灯电压:"}},
};
// clang-format on

TEST(Kinds, PagesAndReportsHaveTheItemsOfTheirLayout) {
  std::map<TestKind, std::unique_ptr<Measured>> measured;
  for (const Items& it : HandItems) {
    SCOPED_TRACE(std::string(Name(it.kind)) + (it.chinese ? " zh" : " en") + (it.report ? " report" : " page"));
    auto& m = measured[it.kind];
    if (!m) m = std::make_unique<Measured>(it.kind);
    m->Language(it.chinese);
    test::ExpectItems(it.report ? m->Report() : m->Page(), it.items);
  }
}

// Fields at their offsets in each record, by hand from the file layouts.
TEST(Kinds, RecordsHoldEveryFieldAtItsOffsetAndReadBackWhole) {
  struct Field {
    std::size_t at;
    std::function<float(const Form&)> f;  // a float field
  };
  struct Layout {
    TestKind kind;
    std::size_t size, modes, name;
    std::vector<Field> floats;
  };
  // clang-format off
  const Layout layouts[] = {
      {InputTest, 2543, 2314, 2322,
       {{18, [](const Form& f) { return f.M.Input.Urms; }},
        {62, [](const Form& f) { return f.M.Input.CFi; }},
        {70, [](const Form& f) { return f.M.Input.CurrentPeak; }},
        {74 + 4 * 7, [](const Form& f) { return f.M.Input.VoltageWave[7]; }},
        {874, [](const Form& f) { return f.M.Input.CurrentWave[0]; }},
        {1834 + 4 * 3, [](const Form& f) { return f.M.Input.CurrentHarmonic[3]; }},
        {2154 + 4 * 39, [](const Form& f) { return f.M.Input.CurrentHarmonicPct[39]; }},
        {2539, [](const Form& f) { return f.M.PhaseEnd; }}}},
      {PhaseTest, 2703, 2474, 2482,
       {{30, [](const Form& f) { return f.M.Input.P; }},
        {2314 + 4 * 5, [](const Form& f) { return f.M.CurrentPerWatt[5]; }},
        {2691, [](const Form& f) { return f.M.PhaseBegin; }},
        {2695, [](const Form& f) { return f.M.PhasePeak; }}}},
      {OutputTest, 3511, 3294, 3302,
       {{14, [](const Form& f) { return f.M.Output.OscFreq; }},
        {26, [](const Form& f) { return f.M.Output.Vrms; }},
        {46, [](const Form& f) { return f.M.Output.IlcfNeg; }},
        {74, [](const Form& f) { return f.M.Output.Ikcf; }},
        {78 + 4, [](const Form& f) { return f.M.Output.OutputWavePeak[ChIl]; }},
        {1694 + 4 * 9, [](const Form& f) { return f.M.Output.OutputWave[ChIf][9]; }}}},
      {CompTest, 3873, 3634, 3642,
       {{18, [](const Form& f) { return f.M.Input.Urms; }},
        {74, [](const Form& f) { return f.M.Output.OscFreq; }},
        {82, [](const Form& f) { return f.M.Output.Vrms; }},
        {102, [](const Form& f) { return f.M.Output.Ikrms; }},
        {110, [](const Form& f) { return f.M.Output.OutputWavePeak[ChIl]; }},
        {1874 + 4 * 3, [](const Form& f) { return f.M.Input.CurrentHarmonicPct[3]; }},
        {2834 + 4 * 5, [](const Form& f) { return f.M.Output.OutputWave[ChIl][5]; }}}},
      {StartTest, 5103, 4886, 4894,
       {{14 + 4, [](const Form& f) { return f.M.Start.Peak[ChIl]; }},
        {30 + 12, [](const Form& f) { return f.M.Start.CurveMax[ChIk]; }},
        {46, [](const Form& f) { return f.M.Start.WarmUpTime; }},
        {70 + 8, [](const Form& f) { return f.M.Start.CursorValue[ChIf]; }},
        {2486 + 4 * 3, [](const Form& f) { return f.M.Start.Curve[ChIf][3]; }}}},
  };
  // clang-format on
  test::TempDir dir;
  for (const Layout& l : layouts) {
    SCOPED_TRACE(Name(l.kind));
    Measured m(l.kind);
    m.Language(1);
    const auto bytes = m.Record();
    ASSERT_EQ(bytes.size(), l.size);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 10), "KT6100-1.0");
    EXPECT_EQ(test::IntAt(bytes, 10), l.kind);
    for (const Field& fl : l.floats) EXPECT_EQ(test::FloatAt(bytes, fl.at), fl.f(m.f())) << "offset " << fl.at;
    EXPECT_EQ(test::IntAt(bytes, l.modes), 1) << "WideFreqMode";
    EXPECT_EQ(test::IntAt(bytes, l.modes + 4), 1) << "ChineseMode";
    EXPECT_EQ(test::TextAt(bytes, l.name, 31), Utf8ToGbk("镇流器样品"));
    EXPECT_EQ(test::TextAt(bytes, l.name + 31, 21), "No-7");
    EXPECT_EQ(test::TextAt(bytes, l.name + 198 + (l.kind == CompTest ? 22 : 0), 11), "2026-12-6");
    if (l.kind == CompTest) {
      EXPECT_EQ(test::TextAt(bytes, l.name + 198, 11), "3200");
    }
    if (l.kind == StartTest) {
      EXPECT_EQ(test::IntAt(bytes, 66), m.f().M.Start.CursorIndex);
    }

    // Stored, cleared and opened again through the open command: the same
    // record, with the language of the file and its button.
    const std::string file = dir.File(std::string(Name(l.kind)) + ".dat");
    ASSERT_EQ(StoreDataFile(m.f(), file), 0);
    ClearResults(m.f().M);
    m.f().ShownKind = NoTest;
    m.f().Info = {};
    m.Language(0);
    ASSERT_EQ(OpenDataFile(m.f(), file), 0);
    EXPECT_EQ(m.f().ShownKind, l.kind);
    EXPECT_EQ(m.Record(), bytes);
    EXPECT_FALSE(m.host.hanZiBtnDown);
    if (l.kind == StartTest) {
      EXPECT_TRUE(m.f().TestLocked && m.host.lockBtnDown && m.f().M.Start.Valid);
    }
  }
}

// From its file, or as a logged run's bytes with the log's kind.
TEST(Kinds, TheOpenCommandAndALoggedRunRefuseWhatIsNoRecordOfAMainKind) {
  test::TempDir dir;
  Measured m(InputTest);
  const auto good = m.Record();
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    std::int32_t loggedKind;
    int lockedByBytes;  // from a log, the lock is set once the header is good
  };
  auto other = good;
  other[9] = '1';  // "KT6100-1.1"
  auto analysisKind = good;
  analysisKind[10] = 7;
  Case cases[] = {
      {"magic off by its last character", other, InputTest, 0},
      {"a file shorter than its record", std::vector<std::uint8_t>(good.begin(), good.end() - 1), InputTest, 1},
      {"shorter than the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 12), InputTest, 0},
      {"kind 7 in a *.dat file", analysisKind, 7, 0},
  };
  for (int fromLog : {0, 1}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (fromLog ? " (logged)" : ""));
      m.host.messages.clear();
      m.f().ShownKind = InputTest;
      m.f().TestLocked = 0;
      const std::string file = dir.File("x.dat");
      test::WriteBytes(file, c.bytes);
      EXPECT_EQ(fromLog ? OpenRecordBytes(m.f(), c.loggedKind, c.bytes) : OpenDataFile(m.f(), file), 1);
      EXPECT_EQ(m.host.messages, (decltype(m.host.messages){{"数据文件格式错误!", "警告"}}));
      EXPECT_EQ(BuildRecord(*m.f().Kinds[InputTest].Record, m.f()), good) << "nothing loaded";
      EXPECT_EQ(std::tuple(m.f().ShownKind, m.f().TestLocked), std::tuple(InputTest, fromLog * c.lockedByBytes))
          << "a refused record never changes the page";
    }
  }
  ClearResults(m.f().M);
  m.host.messages.clear();
  EXPECT_EQ(OpenRecordBytes(m.f(), InputTest, good), 0);
  EXPECT_EQ(std::tuple(m.f().TestLocked, m.host.lockBtnDown, m.Record(), m.host.messages.size()),
            std::tuple(1, true, good, 0u));
  m.host.messages.clear();
  EXPECT_EQ(OpenDataFile(m.f(), dir.File("missing.dat")), 1);
  EXPECT_EQ(m.host.messages.at(0).first, "打开数据文件失败!");
  // Nothing shown: nothing stored and nothing said.
  m.f().ShownKind = NoTest;
  m.host.messages.clear();
  EXPECT_EQ(StoreDataFile(m.f(), dir.File("none.dat")), 1);
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.dat")));
  EXPECT_TRUE(m.host.messages.empty());
  for (auto [chosen, stored] : {std::pair{"test", "test.dat"}, {"TEST.DAT", "TEST.DAT.dat"}, {"x.data", "x.data"}})
    EXPECT_EQ(DataFileName(chosen), stored);
}

// Back/Next bring back the page of the last measurement of each kind, after
// another kind ran in between.
TEST(Kinds, BackAndNextShowTheLastMeasurementOfEachKind) {
  for (TestKind kind : MainKinds) {
    SCOPED_TRACE(Name(kind));
    Measured m(kind);
    m.Language(0);
    const std::string page = m.Page().Dump();
    m.Run(kind == InputTest ? OutputTest : InputTest);
    // A start file opened meanwhile left its own cursor values: the restored
    // curves are read at the cursor again.
    std::fill_n(m.f().M.Start.CursorValue, 4, 0.0f);
    while (m.f().ShownKind != kind) BrowseNext(m.f());
    EXPECT_EQ(m.Page().Dump(), page);
  }
}

TEST(Kinds, TheStartCursorFollowsClicksAndArrowKeys) {
  Measured m(StartTest);
  StartResult& s = m.f().M.Start;
  struct Step {
    int click, key;  // a click at x on a 1280-pixel page, or a key
    int index;
    float time;
    // clang-format off
  } steps[] = {
      {80 + 2 * 150 + 1, 0, 150, 301 / 120.0f},  // x 381: pixel 301 of 600 past the plot's left edge
      {80, 0, 0, 0.0f},                         {79, 0, 0, 0.0f},  // left of the plot: unchanged
      {0, 37, 299, 299 / 60.0f},                {0, 39, 0, 0.0f},  {0, 39, 1, 1 / 60.0f},
      {80 + 599, 0, 299, 599 / 120.0f},         {80 + 600, 0, 299, 599 / 120.0f},
  };
  // clang-format on
  for (const Step& st : steps) {
    if (st.click)
      m.f().Kinds[StartTest].MouseDown(m.f(), st.click, 10, 1280);
    else
      m.f().Kinds[StartTest].KeyDown(m.f(), st.key);
    EXPECT_EQ(s.CursorIndex, st.index) << st.click << " " << st.key;
    EXPECT_NEAR(s.CursorTime, st.time, 1e-5) << st.click << " " << st.key;
    for (int c = 0; c < 4; ++c)
      EXPECT_NEAR(s.CursorValue[c], s.Curve[c][st.index] * s.Peak[c] / s.CurveMax[c], 1e-4 * std::fabs(s.Peak[c]));
  }
}

}  // namespace
}  // namespace kt

namespace kt {
namespace {

TEST(Kinds, AWideWindowsBandHoldsTheCurvesLastValueToItsRightEnd) {
  float curve[200], band[300];
  std::fill_n(curve, 200, 0.0f);
  std::fill_n(curve, 150, 1000.0f);
  ASSERT_EQ(ResampleWave(curve, band, 300), 300);
  EXPECT_EQ(band[299], 1000.0f);
  curve[149] = 0.0f;
  ResampleWave(curve, band, 300);
  EXPECT_EQ(band[297], 500.0f);  // halfway from sample 148 to 149
}

}  // namespace
}  // namespace kt
