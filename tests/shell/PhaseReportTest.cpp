// A phase-angle test run from the main window: stored, reopened and printed
// in both languages, the report checked in the PDF it produces.
#include <gtest/gtest.h>

#include <QToolButton>

#include <cmath>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/NumberText.h"
#include "shell/WindowRig.h"
#include "support/PdfWords.h"

namespace kt {
namespace {

using test::Anchor;
using test::HalfMillimetre;
using test::Placed;
using test::PdfWords;
using test::Pt;
using test::WaitFor;
using test::Word;
using test::WindowRig;

const Word* First(const std::vector<Word>& words, const std::string& text) {
  for (const auto& w : words)
    if (w.text == text) return &w;
  return nullptr;
}

TEST(PhaseReport, AMeasuredPhaseTestStoresReopensAndPrintsInBothLanguages) {
  WindowRig rig;
  rig.w().PhaseTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1 && rig.f().TestBusy == 0; }, 5000));
  Form& f = rig.f();
  ASSERT_EQ(f.ShownKind, PhaseTest);
  ASSERT_GT(f.M.PhasePeak, 60.0f) << "a measured current pulse";
  f.Info.Name = "Sample";
  f.Info.Operator = "Lee";
  const MeasureSet measured = f.M;

  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("phase1")));
  rig.w().StoreFileClick();
  EXPECT_EQ(std::filesystem::file_size(rig.folder.File("phase1.dat")), 2703u);
  f.M.PhaseBegin = 0.0f;
  f.M.CurrentPerWatt[3] = 0.0f;
  f.ShownKind = InputTest;
  f.ChineseMode = 0;
  rig.dialogs.openAnswers.push_back(QString::fromStdString(rig.folder.File("phase1.dat")));
  rig.w().OpenFileClick();
  EXPECT_EQ(f.ShownKind, PhaseTest);
  EXPECT_EQ(f.M.PhaseBegin, measured.PhaseBegin);
  EXPECT_EQ(f.M.CurrentPerWatt[3], measured.CurrentPerWatt[3]);
  EXPECT_EQ(f.ChineseMode, 1) << "stored in Chinese, reopened in Chinese";
  EXPECT_FALSE(rig.w().HanZiBtn->isChecked());

  double tableHeight[2] = {};
  for (int chinese : {1, 0}) {
    f.ChineseMode = chinese;
    const std::string pdf = rig.folder.File(chinese ? "zh.pdf" : "en.pdf");
    rig.dialogs.pdfPath = QString::fromStdString(pdf);
    rig.w().PrintClick();
    const auto w = PdfWords(pdf);
    ASSERT_FALSE(w.empty()) << "no text in " << pdf;
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    const auto text = [&](const char* en, const char* zh) { return std::string(chinese ? zh : en); };

    EXPECT_TRUE(Placed(w, text("KT6100 Electronic Ballast Test Instrument", "KT6100电子镇流器综合测试仪"),
                       Anchor::Centre, 14300, -2000));
    EXPECT_TRUE(Placed(w, text("Input Characteristic Test Report (continued)", "输入特性测试报告(续)"),
                       Anchor::Centre, 14300, -2800));
    // The information block is the input report's.
    EXPECT_TRUE(Placed(w, text("Name:", "名称:"), Anchor::Left, 3500, -4000));
    EXPECT_TRUE(Placed(w, "Sample", Anchor::Left, 5000, -4000));
    EXPECT_TRUE(Placed(w, text("Operator:", "测试员:"), Anchor::Left, chinese ? 21500 : 20500, -18700));
    EXPECT_TRUE(Placed(w, "Lee", Anchor::Left, chinese ? 23000 : 22500, -18700));

    // The six values, columns 4100 apart from x 4050.
    EXPECT_TRUE(Placed(w, text("Irms (A)", "电流 (A)"), Anchor::Centre, 4050, -5300));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.Irms, 3), Anchor::Centre, 4050, -6000));
    EXPECT_TRUE(Placed(w, text("THDI (%)", "电流总谐波 (%)"), Anchor::Centre, 12250, -5300));
    EXPECT_TRUE(Placed(w, text("Begin Phase (°)", "起始相位 (°)"), Anchor::Centre, 16350, -5300));
    EXPECT_TRUE(Placed(w, NumberText(f.M.PhaseBegin, 0), Anchor::Centre, 16350, -6000));
    EXPECT_TRUE(Placed(w, NumberText(f.M.PhasePeak, 0), Anchor::Centre, 20450, -6000));
    EXPECT_TRUE(Placed(w, text("End Phase (°)", "终止相位 (°)"), Anchor::Centre, 24550, -5300));
    EXPECT_TRUE(Placed(w, NumberText(f.M.PhaseEnd, 0), Anchor::Centre, 24550, -6000));

    // The 40-bin table in amperes and mA per watt.
    EXPECT_TRUE(Placed(w, text("spectrum", "谐波"), Anchor::Centre, 21300, -7000));
    EXPECT_TRUE(Placed(w, "mA/W", Anchor::Centre, 19300, -7000));
    EXPECT_TRUE(Placed(w, "(A)", Anchor::Centre, 23300, -7500));
    EXPECT_TRUE(Placed(w, "1", Anchor::Right, 21400, -8200));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.CurrentHarmonic[1], 3), Anchor::Centre, 23300, -8200));
    EXPECT_TRUE(Placed(w, NumberText(f.M.CurrentPerWatt[1], 1, 5), Anchor::Centre, 25300, -8200));
    EXPECT_TRUE(Placed(w, NumberText(f.M.CurrentPerWatt[2], 1, 5), Anchor::Centre, 19300, -8700));
    EXPECT_TRUE(Placed(w, "39", Anchor::Right, 21400, -17700));
    const Word* unit = First(w, "mA/W");
    ASSERT_NE(unit, nullptr);
    tableHeight[chinese] = unit->yMax - unit->yMin;

    // The low-order table.
    EXPECT_TRUE(Placed(w, text("current", "电流"), Anchor::Centre, 10550, -13400));
    EXPECT_TRUE(Placed(w, "%", Anchor::Centre, 10550, -14000));
    EXPECT_TRUE(Placed(w, "2", Anchor::Right, 4950, -14900));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.CurrentHarmonicPct[2], 1), Anchor::Right, 11050, -14900));
    EXPECT_TRUE(Placed(w, "11", Anchor::Right, 4950, -17900));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.CurrentHarmonicPct[11], 1), Anchor::Right, 11050, -17900));
  }
  // The Chinese table is set in 5 mm type, the English one in 4 mm.
  EXPECT_NEAR(tableHeight[1] / tableHeight[0], 1.25, 0.05);
}

}  // namespace
}  // namespace kt
