// The analysis window opened from the main window: its layout, the envelope
// test and the analysis at a clicked point against the simulated instrument
// over a real pseudo-terminal, its files, and its report checked in the PDF.
#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <tuple>

#include "analysis/AnalysisPanels.h"
#include "core/MeasureSet.h"
#include "shell/TBaoLuoForm.h"
#include "shell/TInfoForm.h"
#include "shell/WindowRig.h"
#include "support/PdfWords.h"

namespace kt {
namespace {

using test::ExpectTopCentre;
using test::PdfWords;
using test::WaitFor;
using test::WindowRig;

// Runs `body` while the analysis window is shown by the main window's
// command, as an operator would inside the modal window; the test
// information dialog is answered with a name and an operator.
void WithAnalysisWindow(WindowRig& rig, const std::function<void(TBaoLuoForm&)>& body) {
  bool shown = false;
  rig.dialogs.onModal = [&](QDialog& dialog) {
    dialog.show();
    if (auto* info = qobject_cast<TInfoForm*>(&dialog)) {
      const char* texts[] = {"Sample", "No-7", "EB-236", "GB", "25", "60", "Maker", "张工"};
      for (int f = 0; f < 8; ++f) info->Box(static_cast<TInfoForm::Field>(f))->setText(QString::fromUtf8(texts[f]));
      info->OkBtnClick();
      return static_cast<int>(QDialog::Accepted);
    }
    auto* window = qobject_cast<TBaoLuoForm*>(&dialog);
    EXPECT_NE(window, nullptr) << "the analysis window, modal";
    if (window) {
      shown = true;
      body(*window);
    }
    dialog.close();
    return static_cast<int>(QDialog::Rejected);
  };
  rig.w().BaoAnaClick();
  EXPECT_TRUE(shown);
}

bool EnvelopeTest(WindowRig& rig, TBaoLuoForm& w) {
  w.Data().EnvelopeValid = 0;
  QTest::mouseClick(w.BaoBtn, Qt::LeftButton);
  return WaitFor([&] { return w.Data().EnvelopeValid == 1 && rig.f().CommStep == 0; }, 8000);
}

bool Analysis(WindowRig& rig, TBaoLuoForm& w) {
  w.Data().BlockSamples = 0;
  QTest::mouseClick(w.GaoPinBtn, Qt::LeftButton);
  return WaitFor([&] { return w.Data().BlockSamples == 600 && rig.f().TestBusy == 0 && rig.f().CommStep == 0; }, 8000);
}

QPoint InClient(const QWidget& child, const TBaoLuoForm& w) {
  return child.mapTo(&w, QPoint(0, 0)) - QPoint(0, w.MainMenu1->height());
}

TEST(AnalysisWindow, OpensModallyWithItsToolBarMenuAndFourRows) {
  WindowRig rig({"none"});
  WithAnalysisWindow(rig, [&](TBaoLuoForm& w) {
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("高频波动态分析"));
    EXPECT_EQ(w.width(), 632) << "the client area of a 640-pixel window";
    EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "fixed size";
    w.resize(800, 700);
    EXPECT_EQ(w.size(), w.ClientSize());

    const std::pair<QToolButton*, const char*> buttons[] = {{w.BaoBtn, "包络波测试"}, {w.GaoPinBtn, "高频波分析"},
                                                            {w.HanBtn, "中、英文切换"}, {w.PrintBtn, "打印"},
                                                            {w.ExitBtn, "关闭"}};
    const int xs[] = {13, 38, 72, 106, 140};
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(buttons[i].first->toolTip(), QString::fromUtf8(buttons[i].second));
      EXPECT_EQ(buttons[i].first->geometry(), QRect(xs[i], 1, 24, 24)) << buttons[i].second;
    }
    EXPECT_TRUE(w.HanBtn->isCheckable());
    EXPECT_EQ(w.Panel1->height(), 26);
    EXPECT_EQ(w.ProgressBar1->width(), 183);
    EXPECT_EQ(w.ProgressBar1->geometry().right(), 632 - 2) << "right-aligned";
    EXPECT_FALSE(w.GaoPinBtn->isEnabled()) << "no envelope yet in this showing";
    EXPECT_FALSE(w.GaoTest->isEnabled());

    QStringList items;
    for (QAction* menu : w.MainMenu1->actions()) {
      items << menu->text();
      for (QAction* a : menu->menu()->actions()) items << (a->isSeparator() ? "-" : a->text());
    }
    EXPECT_EQ(items.join("|"), QString::fromUtf8("文件&F|打开文件&O|存储数据&S|-|打印&P|-|关闭&C|分析测试&A|"
                                                 "包络波测试&B|-|高频波分析&G|选择&C|中英文选择&H"));

    // Rows at 26, 128, 230, 332: envelope, wave and value cells.
    const int rows[] = {26, 128, 230, 332};
    TBaoPaintBox* envelopes[] = {w.vPaint, w.ilPaint, w.ifPaint, w.ikPaint};
    TBaoPaintBox* waves[] = {w.GaoPaint, w.GaoPaintIl, w.GaoPaintIf, w.GaoPaintIk};
    QFrame* cells[] = {w.Panel2, w.Panel4, w.Panel7, w.Panel11};
    for (int r = 0; r < 4; ++r) {
      EXPECT_EQ(InClient(*envelopes[r], w), QPoint(1, rows[r] + 1));
      EXPECT_EQ(envelopes[r]->size(), QSize(300, 100));
      EXPECT_EQ(InClient(*waves[r], w), QPoint(303, rows[r] + 1));
      EXPECT_EQ(waves[r]->size(), QSize(228, 100));
      EXPECT_EQ(InClient(*cells[r], w), QPoint(532, rows[r]));
      EXPECT_EQ(cells[r]->size(), QSize(100, 102));
    }
    EXPECT_EQ(w.vrmsPanel->geometry(), QRect(5, 27, 55, 20));
    EXPECT_EQ(w.Panel13->text(), "A");
    EXPECT_EQ(w.ilrmsPanel->palette().color(QPalette::WindowText), QColor(Qt::red));

    // Headings follow the window's own language; twice back to Chinese.
    EXPECT_EQ(w.rmsHeadPanel->text(), QString::fromUtf8("灯电压--U"));
    EXPECT_EQ(w.vrmsPanel->text(), "0.0");
    EXPECT_EQ(w.ikrmsPanel->text(), "0.000");
    EXPECT_EQ(w.ikcfPanel->text(), "0.00");
    w.HanYingClick();
    EXPECT_EQ(w.Language(), 1);
    EXPECT_TRUE(w.HanBtn->isChecked());
    EXPECT_EQ(w.IkrmsHead->text(), "RMS--Ik");
    EXPECT_EQ(w.cfHeadPanel->text(), "CF");
    EXPECT_EQ(rig.f().ChineseMode, 1) << "the main window keeps its own language";
    w.HanYing->trigger();
    EXPECT_EQ(w.Language(), 0);
    EXPECT_FALSE(w.HanBtn->isChecked());
    EXPECT_EQ(w.IkrmsHead->text(), QString::fromUtf8("阴极电流--Ik"));
    EXPECT_EQ(w.cfHeadPanel->text(), QString::fromUtf8("波峰比"));
  });
  EXPECT_EQ(rig.f().ShownKind, OutputTest) << "closing shows the output page";
}

TEST(AnalysisWindow, AnalysesTheWavesWhereTheOperatorClickedOnTheEnvelope) {
  WindowRig rig;
  WithAnalysisWindow(rig, [&](TBaoLuoForm& w) {
    ASSERT_TRUE(EnvelopeTest(rig, w));
    EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("输出性能测试：100%"));
    EXPECT_EQ(w.ProgressBar1->value(), 100);
    EXPECT_EQ(rig.w().ProgressPosition(), 0) << "the main window's bar stays";
    EXPECT_EQ(rig.f().TestBusy, 0);
    EXPECT_TRUE(w.GaoPinBtn->isEnabled());
    EXPECT_TRUE(w.GaoTest->isEnabled());
    EXPECT_GT(w.Data().EnvelopeMax[ChIl], 0.0f);

    QTest::mouseClick(w.ilPaint, Qt::LeftButton, {}, QPoint(151, 50));
    EXPECT_EQ(w.Data().SelectX, 151);
    ASSERT_TRUE(Analysis(rig, w));
    EXPECT_EQ(rig.f().ShownKind, GaoTest);
    EXPECT_EQ(w.ProgressBar1->value(), 100);
    for (int c = 0; c < 4; ++c) {
      EXPECT_GT(w.Data().WaveRms[c], 0.0f) << c;
      EXPECT_NEAR(w.Data().CrestFactor[c], 1.45, 0.35) << c;
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(w.ilrmsPanel->text().toStdString(), RmsValueText(w.Data(), ChIl));
    EXPECT_EQ(w.vcfPanel->text().toStdString(), CrestValueText(w.Data(), ChU));

    // The selection line stands in every envelope panel; the panels are
    // dark blue around it.
    for (TBaoPaintBox* box : {w.vPaint, w.ilPaint, w.ifPaint, w.ikPaint}) {
      const QImage image = box->grab().toImage();
      EXPECT_EQ(image.pixelColor(151, 3), QColor(Qt::black)) << box->objectName().toStdString();
      EXPECT_EQ(image.pixelColor(160, 3), QColor(0, 0, 150));
    }

    // Where the lamp-current envelope is lowest and highest.
    const float* il = w.Data().Envelope[ChIl];
    const int lo = static_cast<int>(std::min_element(il, il + 150) - il);
    const int hi = static_cast<int>(std::max_element(il, il + 150) - il);
    float rms[2];
    for (int k = 0; k < 2; ++k) {
      QTest::mouseClick(w.vPaint, Qt::RightButton, {}, QPoint(2 * (k ? hi : lo), 10));
      ASSERT_TRUE(Analysis(rig, w));
      rms[k] = w.Data().WaveRms[ChIl];
    }
    EXPECT_GT(rms[1], rms[0] * 1.05f) << "another point of the envelope, another wave";
    EXPECT_NEAR(rms[1] / rms[0], il[hi] / il[lo], 0.05);
  });
}

TEST(AnalysisWindow, StoresOpensAndPrintsItsReportInBothLanguages) {
  WindowRig rig;
  const std::string file = rig.folder.File("run1");
  WithAnalysisWindow(rig, [&](TBaoLuoForm& w) {
    ASSERT_TRUE(EnvelopeTest(rig, w));
    QTest::mouseClick(w.ikPaint, Qt::LeftButton, {}, QPoint(100, 50));
    ASSERT_TRUE(Analysis(rig, w));
    const AnalysisData measured = w.Data();

    rig.dialogs.modalCount = 0;
    rig.dialogs.saveAnswers.push_back(QString::fromStdString(file));
    w.SaveClick();
    EXPECT_EQ(rig.dialogs.modalCount, 1) << "the test information first";
    ASSERT_TRUE(std::filesystem::exists(file + ".bdt"));
    EXPECT_EQ(std::filesystem::file_size(file + ".bdt"), 13107u);
    EXPECT_EQ(rig.f().Info.Name, "Sample");

    w.Data().WaveRms[ChIl] = 0.0f;
    w.Data().Period[ChU] = 0;
    rig.dialogs.openAnswers.push_back(QString::fromStdString(file));
    w.OpenClick();
    EXPECT_EQ(w.Data().WaveRms[ChIl], measured.WaveRms[ChIl]);
    EXPECT_EQ(w.Data().Period[ChU], measured.Period[ChU]);
    EXPECT_EQ(w.ilrmsPanel->text().toStdString(), RmsValueText(measured, ChIl));
    EXPECT_FALSE(w.GaoPinBtn->isEnabled()) << "no analysis from a loaded envelope";
    EXPECT_FALSE(w.GaoTest->isEnabled());
    EXPECT_EQ(w.Data().EnvelopeValid, 0);

    // Report positions: design points below the 25 mm margins.
    struct Place {
      const char* en;
      int enX, enNth;
      const char* zh;
      int zhX, zhNth, y;
    };
    const Place places[] = {
        {"Name:", 1000, 0, "名称:", 1000, 0, 1300},
        {"Sample", 3000, 0, "Sample", 2500, 0, 1300},
        {"No.", 1000, 0, "编号:", 1000, 0, 1800},
        {"No-7", 3000, 0, "No-7", 2500, 0, 1800},
        {"Type:", 9000, 0, "型号:", 10000, 0, 1300},
        {"EB-236", 11500, 0, "EB-236", 11500, 0, 1300},
        {"standard:", 9000, 0, "规格:", 10000, 0, 1800},
        {"GB", 11500, 0, "GB", 11500, 0, 1800},
        {"Temperature:", 18000, 0, "温度:", 19000, 0, 1300},
        {"25℃", 21000, 0, "25℃", 20500, 0, 1300},
        {"Humidity:", 18000, 0, "湿度:", 19000, 0, 1800},
        {"60%", 21000, 0, "60%", 20500, 0, 1800},
        {"Manufacturer:", 1000, 0, "制造商:", 1000, 0, 16200},
        {"Maker", 4500, 0, "Maker", 3000, 0, 16200},
        {"Operator:", 16000, 0, "测试员:", 18000, 0, 16200},
        {"张工", 18500, 0, "张工", 20000, 0, 16200},
        {"Test", 1000, 1, "测试日期:", 1000, 0, 16700},  // the English title holds the first "Test"
        {"RMS--U:", 20000, 0, "灯电压--U:", 20000, 0, 2675},
        {"V", 22800, 0, "V", 22800, 0, 3475},
        {"RMS--Il:", 20000, 0, "灯电流--Il:", 20000, 0, 6050},
        {"RMS--If:", 20000, 0, "灯丝电流--If:", 20000, 0, 9425},
        {"RMS--Ik:", 20000, 0, "阴极电流--Ik:", 20000, 0, 12800},
        {"A", 22800, 2, "A", 22800, 2, 13600},
        {"CF:", 20000, 0, "波峰比:", 20000, 0, 4275},
        {"CF:", 20000, 3, "波峰比:", 20000, 3, 14400},
    };
    for (int english : {0, 1}) {
      SCOPED_TRACE(english ? "English" : "Chinese");
      if (w.Language() != english) w.HanYingClick();
      const std::string pdf = rig.folder.File(english ? "en.pdf" : "zh.pdf");
      rig.dialogs.pdfPath = QString::fromStdString(pdf);
      w.PrintClick();
      const auto words = PdfWords(pdf);
      ASSERT_FALSE(words.empty()) << "no text in " << pdf;
      if (english) {
        ExpectTopCentre(words, "KT6100", "Instrument", 14300, -2000);
        ExpectTopCentre(words, "Hight", "Report", 14300, -2800);
      } else {
        ExpectTopCentre(words, "KT6100电子镇流器综合测试仪", "KT6100电子镇流器综合测试仪", 14300, -2000);
        ExpectTopCentre(words, "高频波分析报告", "高频波分析报告", 14300, -2800);
      }
      for (const Place& p : places) {
        const std::string text = english ? p.en : p.zh;
        const test::Word* word = test::Find(words, text, english ? p.enNth : p.zhNth);
        ASSERT_NE(word, nullptr) << text;
        EXPECT_NEAR(word->xMin, test::Pt(2500 + (english ? p.enX : p.zhX)), test::HalfMillimetre) << text;
        EXPECT_NEAR(word->yMin, test::Pt(2500 + p.y), test::HalfMillimetre) << text;
      }
      const std::tuple<std::string, int, int> values[] = {{RmsValueText(measured, ChU), 20800, 3475},
                                                          {CrestValueText(measured, ChIl), 20800, 8450},
                                                          {RmsValueText(measured, ChIk), 20800, 13600},
                                                          {rig.f().TestDate, english ? 4500 : 3000, 16700}};
      for (const auto& [text, x, y] : values) {
        const test::Word* word = test::Find(words, text);
        ASSERT_NE(word, nullptr) << text;
        EXPECT_NEAR(word->xMin, test::Pt(2500 + x), test::HalfMillimetre) << text;
        EXPECT_NEAR(word->yMin, test::Pt(2500 + y), test::HalfMillimetre) << text;
      }
    }
  });
}

}  // namespace
}  // namespace kt
