// A start test from the main window against the simulated instrument: the
// prompt, a start-up that takes longer than any block deadline, the cursor
// moved by mouse and keys, stored, reopened and printed in both languages,
// the report checked in the PDF it produces.
#include <gtest/gtest.h>

#include <QImage>
#include <QTest>
#include <QToolButton>
#include <chrono>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/NumberText.h"
#include "shell/TAlarmForm.h"
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

TEST(StartReport, AStartTestRunsWithoutDeadlineMovesItsCursorStoresAndPrints) {
  // The operator takes longer to switch the lamp than any block may take.
  WindowRig rig({"--start-wait-ms", "2600", "--order-flag"});
  const auto begun = std::chrono::steady_clock::now();
  rig.w().StartTestComdClick();
  EXPECT_EQ(rig.f().M.Start.Valid, 0);
  QTest::qWait(300);
  EXPECT_EQ(rig.w().PaintBox1->grab().toImage().pixel(5, 5), qRgb(255, 255, 255)) << "the prompt while waiting";
  EXPECT_TRUE(rig.w().LockTestBtn->isChecked());
  EXPECT_EQ(rig.f().TestLocked, 0);
  ASSERT_TRUE(WaitFor([&] { return rig.f().M.Start.Valid == 1 && rig.f().TestBusy == 0; }, 12000));
  EXPECT_GE(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(2600));
  EXPECT_FALSE(rig.w().AlarmForm().isVisible()) << "no time-out while waiting for the lamp";
  QTest::qWait(50);
  EXPECT_EQ(rig.w().PaintBox1->grab().toImage().pixel(5, 5), qRgb(0, 0, 150)) << "the start page";
  EXPECT_EQ(rig.f().TestLocked, 1);
  EXPECT_EQ(rig.f().ShownKind, StartTest);
  StartResult& s = rig.f().M.Start;
  EXPECT_GT(s.Peak[ChU], 300.0f) << "the ignition peak";
  // At the lamp-current peak the cathode lead carries the lamp current too:
  // the curves sent the other way round have been put back.
  EXPECT_GT(s.CursorValue[ChIk], s.CursorValue[ChIf] + 0.5f * s.CursorValue[ChIl]);

  // Mouse: a click 1.00 s into the plot; then the keys.
  QTest::qWait(50);
  const int width = rig.w().PaintBox1->width();
  const double sx = static_cast<float>(width * 0.0015625);
  // The first pixel whose d = trunc(x - 40 s) reaches 60 s.
  const int x = static_cast<int>(std::ceil(40 * sx + std::ceil(60 * sx)));
  QTest::mouseClick(rig.w().PaintBox1, Qt::RightButton, {}, QPoint(x, 100));
  EXPECT_EQ(s.CursorIndex, 60);
  EXPECT_NEAR(s.CursorTime, 1.0, 5.0 / 300);
  QTest::keyClick(&rig.w(), Qt::Key_Left);
  EXPECT_EQ(s.CursorIndex, 59);
  QTest::keyClick(&rig.w(), Qt::Key_Right);
  QTest::keyClick(&rig.w(), Qt::Key_Right);
  EXPECT_EQ(s.CursorIndex, 61);
  const float il = s.CursorValue[ChIl];

  // Stored and reopened over a changed result: the cursor comes back.
  rig.f().Info.Name = "Sample";
  rig.f().Info.Operator = "Lee";
  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("start1")));
  rig.w().StoreFileClick();
  QTest::keyClick(&rig.w(), Qt::Key_Right);
  rig.f().ChineseMode = 0;
  rig.dialogs.openAnswers.push_back(QString::fromStdString(rig.folder.File("start1")));
  rig.w().OpenFileClick();
  EXPECT_EQ(s.CursorIndex, 61);
  EXPECT_FLOAT_EQ(s.CursorTime, 61 / 60.0f);
  EXPECT_EQ(s.CursorValue[ChIl], il);
  EXPECT_EQ(rig.f().ChineseMode, 1);
  EXPECT_FALSE(rig.w().HanZiBtn->isChecked());

  for (int chinese : {1, 0}) {
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    rig.f().ChineseMode = chinese;
    const std::string pdf = rig.folder.File(chinese ? "zh.pdf" : "en.pdf");
    rig.dialogs.pdfPath = QString::fromStdString(pdf);
    rig.w().PrintClick();
    const auto words = PdfWords(pdf);
    ASSERT_FALSE(words.empty()) << "no text in " << pdf;
    // Design (x, y) below the 25 mm margins is report (2500 + x, -(2500 + y)).
    if (chinese) {
      EXPECT_TRUE(Placed(words, "名称:", Anchor::Left, 3500, -3800));
      EXPECT_TRUE(Placed(words, "Lee", Anchor::Left, 20500, -18700));
      EXPECT_TRUE(Placed(words, "灯电压:", Anchor::Left, 16500, -5100));
      EXPECT_TRUE(Placed(words, "导入阴极电流:", Anchor::Left, 16500, -15600));
      EXPECT_TRUE(Placed(words, "时间: 1.02 S", Anchor::Left, 10500, -5300));
      const Word* title = test::Find(words, "启动特性测试报告");
      ASSERT_NE(title, nullptr);
      EXPECT_NEAR((title->xMin + title->xMax) / 2, Pt(14300), HalfMillimetre);
      EXPECT_NEAR(title->yMin, Pt(2800), HalfMillimetre);
    } else {
      EXPECT_TRUE(Placed(words, "Name:", Anchor::Left, 3500, -3800));
      EXPECT_TRUE(Placed(words, "Lee", Anchor::Left, 21000, -18700));
      EXPECT_TRUE(Placed(words, "Lamp Voltage:", Anchor::Left, 16500, -5100));
      EXPECT_TRUE(Placed(words, "Current Lead to Cathode:", Anchor::Left, 16500, -15600));
      EXPECT_TRUE(Placed(words, "Time for warm-up:", Anchor::Left, 16500, -10850));
      EXPECT_TRUE(Placed(words, "Time: 1.02 S", Anchor::Left, 10500, -5300));
      test::ExpectTopCentre(words, "Start", "Report", 14300, -2800);
    }
    EXPECT_TRUE(Placed(words, "Sample", Anchor::Left, 5000, -3800));
    EXPECT_TRUE(Placed(words, "0.50 s/div", Anchor::Left, 22500, -17850));
    EXPECT_TRUE(Placed(words, NumberText(s.Peak[ChU], 1) + " (V)", Anchor::Left, 22500, -5850));
  }
}

}  // namespace
}  // namespace kt
