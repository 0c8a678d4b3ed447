// The analysis window's two exchanges against the simulated instrument, the
// wave analysis against what the instrument measured, its panels and report
// against golden files and hand-derived items, and the *.bdt file.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "analysis/AnalysisFile.h"
#include "analysis/AnalysisPanels.h"
#include "analysis/AnalysisReport.h"
#include "analysis/WaveAnalysis.h"
#include "core/NumberText.h"
#include "platform/GbkText.h"
#include "support/Fakes.h"
#include "support/Files.h"
#include "support/Recording.h"

namespace kt {
namespace {

using test::FormRig;

// An envelope test, a click at x 151 (envelope point 75) and the analysis
// there, as the window runs them.
struct Analysed : FormRig {
  explicit Analysed(bool orderFlag = false) {
    Attach(7, 5, orderFlag);
    f().Info = {"镇流器样品", "No-7", "EB-236", "GB", "25", "60", "厂家", "张工", "", ""};
    Select(BaoTest);
    analysis.SelectX = 151;
    Select(GaoTest);
  }
  void Select(TestKind kind) {
    f().SelectedKind = kind;
    f().StartRequested = 1;
    StepDispatch(f());
    Drive();
  }
};

TEST(Analysis, EnvelopeAndWavesAreThoseTheInstrumentMeasuredAtTheClickedPoint) {
  for (bool flag : {false, true}) {
    SCOPED_TRACE(flag);
    Analysed r(flag);
    sim::Instrument twin(7, flag);
    const auto lamp = twin.MeasureOutput();
    const auto wave = twin.MeasureWave(75);
    const AnalysisData& a = r.analysis;
    // Wire: '?', the output command, four acknowledges; '?', '4', the point,
    // four acknowledges.
    EXPECT_EQ(r.port.WrittenText(), std::string("?1!!!!?4") + char(75) + "!!!!");
    EXPECT_TRUE(r.host.gaoEnabled);
    EXPECT_EQ(a.EnvelopeValid, 1);
    EXPECT_EQ(r.f().TestBusy, 0);
    EXPECT_EQ(r.f().ShownKind, GaoTest);
    EXPECT_EQ(r.host.analysisProgress.back(), 100);
    EXPECT_FALSE(r.host.timer1) << "neither run repeats";
    for (int i = 0; i < 150; ++i) {
      ASSERT_EQ(a.Envelope[ChU][i], lamp.EnvelopeRaw[sim::WireU][i]);
      ASSERT_EQ(a.Envelope[ChIl][i], lamp.EnvelopeRaw[sim::WireIl][i]);
    }
    EXPECT_EQ(a.Envelope[ChU][150], 0.0f);
    EXPECT_LT(a.EnvelopeMax[ChIf], a.EnvelopeMax[ChIk]) << "the smaller auxiliary current is the filament's";
    // The RMS value and crest factor of one noise-free period, per channel in
    // the record's order; the waves travel as U, If, Il, Ik.
    const int wireOf[4] = {sim::WireU, sim::WireIl, sim::WireIf, sim::WireIk};
    for (int c = 0; c < 4; ++c) {
      EXPECT_NEAR(a.WaveRms[c], wave.Rms[wireOf[c]], 0.02 * wave.Rms[wireOf[c]]) << c;
      EXPECT_NEAR(a.CrestFactor[c], wave.Crest[wireOf[c]], 0.03 * wave.Crest[wireOf[c]]) << c;
      EXPECT_NEAR(a.Period[c], wave.PeriodSamples, 1.01) << c;
    }
  }
}

// A wave whose period starts on an odd sample: the cleaning straightens a
// glitch among the first samples after the crossing, and only there.
TEST(Analysis, TheCleaningStraightensAGlitchAfterTheCrossingAndNothingElse) {
  struct Case {
    int at;       // sample of the period given the glitch
    float value;  // its value
    bool straightened;
  } cases[] = {{0, 300, false}, {2, 400, true}, {4, 260, true}, {5, 600, false}, {6, 600, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.at);
    std::uint8_t header[WaveHeaderBytes] = {0, 20, 48, 0, 0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0, 0x10, 0x27, 0, 0};
    std::uint8_t frames[4][WaveFrameBytes] = {};
    std::vector<float> x(600);
    for (int i = 0; i < 600; ++i) x[i] = static_cast<float>(std::round(1000 * std::sin(2 * M_PI * (i - 10) / 120.0)));
    x[10 + c.at] = c.value;
    for (int i = 0; i < 600; ++i) {
      const auto s = static_cast<std::int16_t>(x[i]);
      frames[sim::WireIl][2 * i] = static_cast<std::uint8_t>(s & 0xFF);
      frames[sim::WireIl][2 * i + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
    }
    AnalysisData a;
    AnalyseWaveFrames(a, header, frames);
    ASSERT_EQ(a.Period[ChIl], 120);
    EXPECT_NEAR(a.Gain[ChIl], 10000, 1e-3);
    double mean = 0;
    for (int i = 10; i < 130; ++i) mean += x[i];
    mean /= 120;
    const float* w = a.Wave[ChIl];  // the cleaned period, drawn twice
    for (int k = 1; k <= 4; ++k) {
      const double kept = x[10 + k] - mean;
      const double line = (x[10] - mean) + k * 0.2 * (x[15] - x[10]);
      EXPECT_NEAR(w[k], c.straightened ? line : kept, 0.05) << k;
    }
    EXPECT_EQ(w[120 + 3], w[3]) << "the second period is the first again";
  }
}

TEST(Analysis, PanelsAndReportMatchTheirGoldenFilesAndTheirLayout) {
  Analysed r;
  const AnalysisData& a = r.analysis;
  for (int c = 0; c < 4; ++c) {
    test::RecordingCanvas env, wave;
    PaintEnvelopePanel(env, a, c, 300, 100);
    PaintWavePanel(wave, a, c, 228, 100);
    test::ExpectGolden("analysis-envelope-" + std::to_string(c) + ".txt", env.Dump());
    test::ExpectGolden("analysis-wave-" + std::to_string(c) + ".txt", wave.Dump());
    test::ExpectItems(env, {"F 0 0 300 100 #000096", "L 151 0 151 100 #000000 2 solid"});
    test::ExpectItems(wave, {"F 0 0 228 100 #000096", "L 0 50 228 50 #000000 1 solid"});
  }
  test::RecordingCanvas big;
  PaintEnvelopePanel(big, a, ChIl, 600, 200);
  test::ExpectGolden("analysis-envelope-600.txt", big.Dump());
  test::ExpectItems(big, {"L 0 100 600 100 #ff0000 1 solid"});

  for (int english : {1, 0}) {
    test::RecordingCanvas c;
    PrintAnalysisReport(r.f(), a, english, c);
    test::ExpectGolden(english ? "analysis-en-report.txt" : "analysis-zh-report.txt", c.Dump());
    test::ExpectItems(c, {"L 2500 -8375 26200 -8375 #000000 50 solid", "L 14300 -5000 14300 -18500 #000000 50 solid",
                          "L 8439 -5000 8439 -18500 #000000 20 solid", "L 2500 -6687 14300 -6687 #000000 10 solid"});
    if (english)
      test::ExpectItems(c, {"T 14300 -2000 C \"宋体\" 800 #000000 0 KT6100 Electronic Ballast Test Instrument",
                            "T 14300 -2800 C \"宋体\" 800 #000000 0 Hight Frequency Analysis Report",
                            "T 22500 -5175 L \"宋体\" 400 #000000 0 RMS--U:"});
    else
      test::ExpectItems(c, {"T 14300 -2800 C \"宋体\" 800 #000000 0 高频波分析报告",
                            "T 22500 -5175 L \"宋体\" 400 #000000 0 灯电压--U:"});
  }
  EXPECT_EQ(RmsValueText(a, ChU), NumberText(a.WaveRms[ChU], 1));
  EXPECT_EQ(CrestValueText(a, ChIk), NumberText(a.CrestFactor[ChIk], 2));
  EXPECT_STREQ(AnalysisLanguage(0).CfHead, "波峰比");
  EXPECT_STREQ(AnalysisLanguage(1).RmsHead[ChIl], "RMS--Il");
}

TEST(Analysis, TheFileHoldsEveryFieldAtItsOffsetAndOpensOnlyWhatIsItsOwn) {
  test::TempDir dir;
  Analysed r;
  const AnalysisData& a = r.analysis;
  const auto bytes = BuildAnalysisRecord(r.f(), a, 1);
  const std::string golden = test::GoldenPath("analysis.bdt");
  if (const char* u = std::getenv("KT_UPDATE_GOLDEN"); u && std::string(u) == "1") test::WriteBytes(golden, bytes);
  EXPECT_EQ(bytes, test::ReadBytes(golden));
  ASSERT_EQ(bytes.size(), AnalysisFileSize);
  EXPECT_EQ(test::IntAt(bytes, 10), GaoTest);
  EXPECT_EQ(test::IntAt(bytes, 14), 1);
  EXPECT_EQ(test::FloatAt(bytes, 18), a.EnvelopeMax[ChU]);
  EXPECT_EQ(test::FloatAt(bytes, 34 + 8), a.WaveRms[ChIl]);
  EXPECT_EQ(test::FloatAt(bytes, 66 + 12), a.CrestFactor[ChIk]);
  EXPECT_EQ(test::FloatAt(bytes, 1682 + 4 * 7), a.Envelope[ChIf][7]);
  EXPECT_EQ(test::IntAt(bytes, 3282 + 4), a.Period[ChIl]);
  EXPECT_EQ(test::FloatAt(bytes, 10498 + 4 * 9), a.Wave[ChIk][9]);
  EXPECT_EQ(test::TextAt(bytes, 12898, 31), Utf8ToGbk("镇流器样品"));
  EXPECT_EQ(test::TextAt(bytes, 13096, 11), "2026-12-6");

  const std::string file = dir.File(AnalysisFileName("run1"));
  EXPECT_EQ(file, dir.File("run1.bdt"));
  ASSERT_EQ(SaveAnalysisFile(r.f(), a, 1, file), 0);
  AnalysisData back;
  std::int32_t language = 0;
  r.f().ShownKind = OutputTest;
  ASSERT_EQ(OpenAnalysisFile(r.f(), back, language, file), 0);
  EXPECT_EQ(language, 1);
  EXPECT_EQ(r.f().ShownKind, GaoTest);
  EXPECT_EQ(BuildAnalysisRecord(r.f(), back, language), bytes);
  EXPECT_EQ(back.EnvelopeValid, 0);
  EXPECT_FALSE(r.host.gaoEnabled) << "a loaded envelope cannot start an analysis";

  // What is not a whole analysis file changes nothing and is said.
  auto wrongMagic = bytes;
  wrongMagic[0] = 'k';
  for (const auto& [content, message] :
       {std::pair{wrongMagic, "数据文件格式错误!"},
        {std::vector<std::uint8_t>(bytes.begin(), bytes.end() - 1), "数据文件格式错误!"}}) {
    test::WriteBytes(file, content);
    r.host.messages.clear();
    AnalysisData untouched = back;
    EXPECT_EQ(OpenAnalysisFile(r.f(), untouched, language, file), 1);
    EXPECT_EQ(r.host.messages.at(0), std::make_pair(std::string(message), std::string("警告")));
    EXPECT_EQ(std::memcmp(&untouched, &back, sizeof back), 0);
  }
  r.host.messages.clear();
  EXPECT_EQ(OpenAnalysisFile(r.f(), back, language, dir.File("none.bdt")), 1);
  EXPECT_EQ(r.host.messages.at(0).first, "打开数据文件失败!");
}

}  // namespace
}  // namespace kt
