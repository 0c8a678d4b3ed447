// The test information dialog, the file commands and printing from the main
// window, with the report checked in the PDF it produces.
#include <gtest/gtest.h>

#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>

#include "platform/GbkText.h"
#include "shell/TInfoForm.h"
#include "shell/TPrinterForm.h"
#include "shell/WindowRig.h"
#include "support/PdfWords.h"

namespace kt {
namespace {

using test::ExpectTopCentre;
using test::ExpectTopLeft;
using test::ExpectTopRight;
using test::PdfWords;
using test::WaitFor;
using test::WindowRig;

TEST(InfoForm, LimitsEachBoxByItsGbkBytesAndCancelKeepsTheInformation) {
  WindowRig rig({"none"});
  TInfoForm& info = rig.w().InfoForm();
  info.show();
  QLineEdit* name = info.Box(TInfoForm::Name);
  name->setFocus();
  const std::string thirty(30, 'n');
  QTest::keyClicks(name, QString::fromStdString(thirty + "xyz"));
  EXPECT_EQ(name->text().toStdString(), thirty) << "a 30-byte name, and no more";
  name->clear();
  const QString fifteen = QString::fromUtf8("电子镇流器电子镇流器电子镇流器");
  // Typed through the input method: each insertion is validated.
  for (QChar ch : fifteen + QString::fromUtf8("器")) name->insert(ch);
  EXPECT_EQ(name->text(), fifteen) << "15 Chinese characters fill 30 bytes";
  QLineEdit* temperature = info.Box(TInfoForm::Temperature);
  QTest::keyClicks(temperature, "12345678901");
  EXPECT_EQ(temperature->text(), "1234567890");
  info.OkBtnClick();
  EXPECT_EQ(rig.f().Info.Name, fifteen.toStdString());
  EXPECT_EQ(GbkLength(rig.f().Info.Name), 30u);
  EXPECT_EQ(rig.f().Info.Temperature, "1234567890");

  info.show();
  EXPECT_EQ(name->text(), fifteen) << "showing fills the boxes from the information";
  name->setText("changed");
  info.CancelBtnClick();
  EXPECT_EQ(rig.f().Info.Name, fifteen.toStdString());
  EXPECT_TRUE(name->text().isEmpty());
  info.show();
  EXPECT_EQ(name->text(), fifteen);
  info.hide();
}

TEST(PrinterForm, KeepsTheFamilyOnCancel) {
  WindowRig rig({"none"});
  TPrinterForm& p = rig.w().PrinterForm();
  p.show();
  EXPECT_TRUE(p.Family0()->isChecked());
  p.Family1()->setChecked(true);
  p.OkBtnClick();
  EXPECT_EQ(rig.f().PrinterFamily, 1);
  p.show();
  EXPECT_TRUE(p.Family1()->isChecked());
  p.Family0()->setChecked(true);
  p.CancelBtnClick();
  EXPECT_EQ(rig.f().PrinterFamily, 1);
}

TEST(FileCommands, LockFirstEvenWhenCancelledAndAskForTheInformationBeforeStoring) {
  WindowRig rig({"none"});
  rig.w().OpenFileClick();  // cancelled: no answer queued
  EXPECT_EQ(rig.f().TestLocked, 1);
  EXPECT_TRUE(rig.w().LockTestBtn->isChecked());
  EXPECT_EQ(rig.dialogs.lastOpenTitle, QString::fromUtf8("打开数据文件"));
  EXPECT_TRUE(rig.dialogs.lastFilter.contains("*.dat"));

  rig.f().TestLocked = 0;
  rig.dialogs.modalCount = 0;
  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("nothing")));
  rig.w().StoreFileClick();
  EXPECT_EQ(rig.f().TestLocked, 1);
  EXPECT_EQ(rig.dialogs.modalCount, 1) << "the test information comes first";
  EXPECT_EQ(rig.dialogs.lastSaveTitle, QString::fromUtf8("保存测试数据"));
  EXPECT_FALSE(std::ifstream(rig.folder.File("nothing.dat")).good()) << "nothing shown: nothing stored";
  EXPECT_TRUE(rig.dialogs.messages.size() <= 1);  // only the port message of the start-up
}

TEST(FileCommands, AMeasuredInputTestStoresReopensAndPrintsInBothLanguages) {
  WindowRig rig;
  rig.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1; }, 5000));
  rig.f().Info.Name = "Sample";
  rig.f().Info.Operator = "Lee";
  const float urms = rig.f().M.Input.Urms;

  rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("run1")));
  rig.w().StoreFileClick();
  rig.f().M.Input.Urms = 0.0f;
  rig.f().ChineseMode = 0;
  rig.dialogs.openAnswers.push_back(QString::fromStdString(rig.folder.File("run1")));
  rig.w().OpenFileClick();
  EXPECT_EQ(rig.f().M.Input.Urms, urms);
  EXPECT_EQ(rig.f().ChineseMode, 1) << "stored in Chinese, reopened in Chinese";
  EXPECT_FALSE(rig.w().HanZiBtn->isChecked());

  for (int chinese : {1, 0}) {
    rig.f().ChineseMode = chinese;
    const std::string pdf = rig.folder.File(chinese ? "zh.pdf" : "en.pdf");
    rig.dialogs.pdfPath = QString::fromStdString(pdf);
    rig.w().PrintClick();
    const auto words = PdfWords(pdf);
    ASSERT_FALSE(words.empty()) << "no text in " << pdf;
    SCOPED_TRACE(chinese ? "Chinese" : "English");
    if (chinese) {
      ExpectTopCentre(words, "KT6100电子镇流器综合测试仪", "KT6100电子镇流器综合测试仪", 14300, -2000);
      ExpectTopCentre(words, "输入特性测试报告", "输入特性测试报告", 14300, -2800);
      ExpectTopLeft(words, "温度:", 21500, -4000);
      ExpectTopLeft(words, "测试员:", 21500, -18700);
      ExpectTopLeft(words, "Lee", 23000, -18700);
    } else {
      ExpectTopCentre(words, "KT6100", "Instrument", 14300, -2000);
      ExpectTopCentre(words, "Input", "Report", 14300, -2800);
      ExpectTopLeft(words, "Temperature:", 20500, -4000);
      ExpectTopLeft(words, "Operator:", 20500, -18700);
      ExpectTopLeft(words, "Lee", 22500, -18700);
    }
    ExpectTopLeft(words, "Sample", 5000, -4000);
    ExpectTopRight(words, "100.0", 0, 23800, -8200);  // bin 1, voltage
    ExpectTopRight(words, "39", 2, 21400, -(8200 + 500 * 19));
  }
}

TEST(PrintCommand, PrintsAnEmptyPageWhenNothingIsShownAndStopsOnCancel) {
  WindowRig rig({"none"});
  const std::string pdf = rig.folder.File("empty.pdf");
  rig.dialogs.pdfPath = QString::fromStdString(pdf);
  rig.w().PrintClick();
  EXPECT_TRUE(std::ifstream(pdf).good()) << "the document is started and ended";
  EXPECT_TRUE(PdfWords(pdf).empty());
  rig.dialogs.pdfPath.clear();
  const auto before = rig.dialogs.messages.size();
  rig.w().PrintClick();
  EXPECT_EQ(rig.dialogs.messages.size(), before);
  EXPECT_EQ(rig.f().TestLocked, 1);
}

}  // namespace
}  // namespace kt
