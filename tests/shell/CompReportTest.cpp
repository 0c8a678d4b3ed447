// The comprehensive and output tests from the main window: measured, stored,
// reopened and printed in both languages (the English comprehensive report
// for both printer families), the reports checked in the PDFs they produce,
// rotated captions included.
#include <gtest/gtest.h>

#include <QRadioButton>
#include <QToolButton>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "core/NumberText.h"
#include "shell/TPrinterForm.h"
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
using test::WindowRig;
using test::Word;

// A caption printed along the page's height, centred on report point
// (x, y), its glyphs' tops facing the point: the text lies to the right of
// the point when it runs upwards and to the left when it runs downwards.
// Each word is taken where it stands nearest the point.
testing::AssertionResult Rotated(const std::vector<Word>& words, const std::string& text, bool upwards, int x, int y) {
  const double px = Pt(x), py = Pt(-y);
  double xMin = 1e9, xMax = -1e9, yMin = 1e9, yMax = -1e9;
  std::istringstream in(text);
  for (std::string token; in >> token;) {
    const Word* best = nullptr;
    for (const Word& w : words) {
      const bool tall = w.yMax - w.yMin > w.xMax - w.xMin;
      if (w.text != token || !tall) continue;
      const auto distance = [&](const Word& v) { return std::hypot((v.xMin + v.xMax) / 2 - px, (v.yMin + v.yMax) / 2 - py); };
      if (!best || distance(w) < distance(*best)) best = &w;
    }
    if (!best) return testing::AssertionFailure() << "no rotated word \"" << token << "\"";
    xMin = std::min(xMin, best->xMin);
    xMax = std::max(xMax, best->xMax);
    yMin = std::min(yMin, best->yMin);
    yMax = std::max(yMax, best->yMax);
  }
  const double top = upwards ? xMin : xMax, centre = (yMin + yMax) / 2;
  if (std::abs(top - px) <= HalfMillimetre && std::abs(centre - py) <= HalfMillimetre)
    return testing::AssertionSuccess();
  return testing::AssertionFailure() << "\"" << text << "\" expected " << (upwards ? "upwards" : "downwards") << " from ("
                                     << px << ", " << py << ") pt, found x " << xMin << ".." << xMax << " y " << yMin
                                     << ".." << yMax;
}

// For a look at the reports: KT_REPORT_COPIES=<folder> keeps a copy of each.
void Keep(const std::string& pdf) {
  if (const char* folder = std::getenv("KT_REPORT_COPIES")) {
    std::error_code ec;
    std::filesystem::copy_file(pdf, std::filesystem::path(folder) / std::filesystem::path(pdf).filename(),
                               std::filesystem::copy_options::overwrite_existing, ec);
  }
}

std::vector<Word> Print(WindowRig& rig, const std::string& name) {
  const std::string pdf = rig.folder.File(name);
  rig.dialogs.pdfPath = QString::fromStdString(pdf);
  rig.w().PrintClick();
  Keep(pdf);
  return PdfWords(pdf);
}

TEST(CompReport, AMeasuredComprehensiveTestStoresReopensAndPrints) {
  WindowRig rig;
  rig.w().CompTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1 && rig.f().TestBusy == 0; }, 5000));
  Form& f = rig.f();
  ASSERT_EQ(f.ShownKind, CompTest);
  ASSERT_GT(f.M.Input.Urms, 200.0f);
  ASSERT_GT(f.M.Output.Vrms, 10.0f);
  f.Info.Name = "Sample";
  f.Info.Operator = "Lee";
  f.Info.LuminousFlux = "3200";
  f.Info.ColourTemperature = "4000";
  const InputResult measured = f.M.Input;
  const OutputResult lamp = f.M.Output;

  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("comp1")));
  rig.w().StoreFileClick();
  EXPECT_EQ(std::filesystem::file_size(rig.folder.File("comp1.dat")), 3873u);
  f.M.Input.Urms = 0.0f;
  f.M.Output.Ilrms = 0.0f;
  f.Info.LuminousFlux.clear();
  f.ShownKind = InputTest;
  f.ChineseMode = 0;
  rig.dialogs.openAnswers.push_back(QString::fromStdString(rig.folder.File("comp1.dat")));
  rig.w().OpenFileClick();
  EXPECT_EQ(f.ShownKind, CompTest);
  EXPECT_EQ(f.M.Input.Urms, measured.Urms);
  EXPECT_EQ(f.M.Output.Ilrms, lamp.Ilrms);
  EXPECT_EQ(f.Info.LuminousFlux, "3200");
  EXPECT_EQ(f.ChineseMode, 1) << "stored in Chinese, reopened in Chinese";
  EXPECT_FALSE(rig.w().HanZiBtn->isChecked());

  // The printer family is asked for before every English comprehensive
  // print, and never before a Chinese one.
  int chosenFamily = 0;
  rig.dialogs.onModal = [&](QDialog& dialog) {
    dialog.show();
    if (auto* p = qobject_cast<TPrinterForm*>(&dialog)) {
      (chosenFamily ? p->Family1() : p->Family0())->setChecked(true);
      p->OkBtnClick();
      return static_cast<int>(QDialog::Accepted);
    }
    dialog.accept();
    return static_cast<int>(QDialog::Accepted);
  };
  for (int pass : {0, 1, 2}) {  // Chinese, English family 0, English family 1
    const int chinese = pass == 0;
    chosenFamily = pass == 2;
    f.ChineseMode = chinese;
    rig.dialogs.modalCount = 0;
    const auto w = Print(rig, pass == 0 ? "comp-zh.pdf" : pass == 1 ? "comp-en-0.pdf" : "comp-en-1.pdf");
    ASSERT_FALSE(w.empty());
    SCOPED_TRACE(pass);
    EXPECT_EQ(rig.dialogs.modalCount, chinese ? 1 : 2);
    EXPECT_EQ(f.PrinterFamily, chosenFamily);
    const auto text = [&](const char* en, const char* zh) { return std::string(chinese ? zh : en); };

    EXPECT_TRUE(Placed(w, text("KT6100 Electronic Ballast Test Instrument", "KT6100 电子镇流器综合测试仪"),
                       Anchor::Centre, 14300, -2000));
    EXPECT_TRUE(Placed(w, text("Compositive Characteristic Test Report", "综合特性测试报告"), Anchor::Centre, 14300, -2800));
    EXPECT_TRUE(Placed(w, text("Name:", "名称:"), Anchor::Left, 3500, -3800));
    EXPECT_TRUE(Placed(w, "Sample", Anchor::Left, 5000, -3800));
    EXPECT_TRUE(Placed(w, text("Operator:", "测试员:"), Anchor::Left, chinese ? 20500 : 18500, -18700));
    EXPECT_TRUE(Placed(w, "Lee", Anchor::Left, chinese ? 22500 : 21000, -18700));
    EXPECT_TRUE(Placed(w, text("Result:", "测定结果:"), Anchor::Left, chinese ? 20500 : 18500, -19200));
    EXPECT_TRUE(Placed(w, text("Luminous flux:", "光通量:"), Anchor::Left, 12800, -5200));
    EXPECT_TRUE(Placed(w, "3200 lm", Anchor::Left, chinese ? 14800 : 15800, -5200));
    EXPECT_TRUE(Placed(w, "4000 K", Anchor::Left, chinese ? 22000 : 24500, -5200));

    EXPECT_TRUE(Placed(w, text("Urms (V)", "电压 (V)"), Anchor::Left, 12700, -6100));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.Urms, 1), Anchor::Right, 16900, -6100));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.CFi, 2), Anchor::Right, 26100, -7900));
    EXPECT_TRUE(Placed(w, text("THDI", "窄频电流总谐波"), Anchor::Centre, 19200, -8800));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.THDI, 1) + (chinese ? " %" : "%"), Anchor::Centre, 19200, -9700));

    EXPECT_TRUE(Placed(w, text("spectrum", "谐波"), Anchor::Centre, chinese ? 21400 : 19700, -10700));
    EXPECT_TRUE(Placed(w, "1", Anchor::Right, chinese ? 21600 : 19900, -12700));
    EXPECT_TRUE(Placed(w, "100.0", Anchor::Right, chinese ? 23900 : 22800, -12700));
    EXPECT_TRUE(Placed(w, "11", Anchor::Right, chinese ? 21600 : 19900, -17700));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Input.CurrentHarmonicPct[11], 1), Anchor::Right, chinese ? 25800 : 25300,
                       -17700));

    EXPECT_TRUE(Placed(w, text("Vrms", "灯管电压"), Anchor::Centre, chinese ? 14500 : 14000, -10700));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Output.Vrms, 1) + " (V)", Anchor::Centre, chinese ? 14500 : 14000, -11700));
    EXPECT_TRUE(Placed(w, NumberText(f.M.Output.OscFreq, 2) + " (kHz)", Anchor::Centre, chinese ? 18500 : 17000,
                       -15700));

    if (chinese) {
      EXPECT_TRUE(Placed(w, "入", Anchor::Centre, 3500, -6700));
      EXPECT_TRUE(Placed(w, "压", Anchor::Centre, 4000, -13000));
    } else {
      // Captions centred on their points, running down the page for family 0
      // and up it for family 1.
      const bool up = pass == 2;
      EXPECT_TRUE(Rotated(w, "Input", up, 2800, -7700));
      EXPECT_TRUE(Rotated(w, "Characteristic", up, 3800, -7700));
      EXPECT_TRUE(Rotated(w, "Output Characteristic", up, 2800, -14500));
      EXPECT_TRUE(Rotated(w, "Lamp Voltage", up, 3800, -12500));
      EXPECT_TRUE(Rotated(w, "Lamp Current", up, 3800, -16500));
    }
  }
}

TEST(CompReport, AMeasuredOutputTestPrintsInBothLanguages) {
  WindowRig rig;
  rig.w().OutputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1 && rig.f().TestBusy == 0; }, 5000));
  Form& f = rig.f();
  ASSERT_EQ(f.ShownKind, OutputTest);
  f.Info.Name = "Sample";
  f.Info.Temperature = "25";

  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("out1")));
  rig.w().StoreFileClick();
  EXPECT_EQ(std::filesystem::file_size(rig.folder.File("out1.dat")), 3511u);

  for (int chinese : {1, 0}) {
    f.ChineseMode = chinese;
    rig.dialogs.modalCount = 0;
    const auto w = Print(rig, chinese ? "output-zh.pdf" : "output-en.pdf");
    ASSERT_FALSE(w.empty());
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    EXPECT_EQ(rig.dialogs.modalCount, 1) << "no printer family for this report";
    const auto text = [&](const char* en, const char* zh) { return std::string(chinese ? zh : en); };
    const OutputResult& o = f.M.Output;

    EXPECT_TRUE(Placed(w, text("KT6100 Electronic Ballast Test Instrument", "KT6100电子镇流器综合测试仪"),
                       Anchor::Centre, 14300, -2000));
    EXPECT_TRUE(Placed(w, text("Output Characteristic Test Report", "输出特性测试报告"), Anchor::Centre, 14300, -2800));
    EXPECT_TRUE(Placed(w, "Sample", Anchor::Left, chinese ? 5000 : 5500, -3800));
    EXPECT_TRUE(Placed(w, text("Temperature:", "温度:"), Anchor::Left, chinese ? 21500 : 20500, -3800));
    EXPECT_TRUE(Placed(w, "25℃", Anchor::Left, chinese ? 23000 : 23500, -3800));
    EXPECT_TRUE(Placed(w, text("Pout:", "功率:"), Anchor::Left, 3500, -17800));
    EXPECT_TRUE(Placed(w, NumberText(o.Pout, 1) + " (W)", Anchor::Left, 5000, -17800));
    EXPECT_TRUE(Placed(w, NumberText(o.OscFreq, 2) + " (kHz)", Anchor::Left, chinese ? 22500 : 22000, -17800));
    EXPECT_TRUE(Placed(w, text("Lamp Voltage:", "灯电压:"), Anchor::Left, 16500, -5100));
    EXPECT_TRUE(Placed(w, NumberText(o.Vrms, 1) + " (V)", Anchor::Left, 22500, -5850));
    EXPECT_TRUE(Placed(w, NumberText(o.Ilrms, 3) + " (A)", Anchor::Left, 22500, -8300));
    if (chinese) {
      EXPECT_TRUE(Placed(w, "正波：" + NumberText(o.IlcfPos, 2), Anchor::Left, 20000, -9800));
      EXPECT_TRUE(Placed(w, "负波：-" + NumberText(o.IlcfNeg, 2), Anchor::Left, 23000, -9800));
    } else {
      EXPECT_TRUE(Placed(w, NumberText(o.IlcfPos, 2), Anchor::Left, 21500, -9800));
      EXPECT_TRUE(Placed(w, "-" + NumberText(o.IlcfNeg, 2), Anchor::Left, 23000, -9800));
    }
    EXPECT_TRUE(Placed(w, NumberText(o.Ildhc, 1) + " %", Anchor::Left, 22500, -10550));
    EXPECT_TRUE(Placed(w, text("Current Lead to Cathode:", "导入阴极电流:"), Anchor::Left, 16500, -14700));
    EXPECT_TRUE(Placed(w, NumberText(o.Ikcf, 2), Anchor::Left, 22500, -16950));
  }
}

}  // namespace
}  // namespace kt
