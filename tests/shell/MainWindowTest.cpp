// The main window and its dialogs through their own handlers, against the
// simulated instrument over a real pseudo-terminal; reports printed to PDF
// and read back.
#include <gtest/gtest.h>

#include <QLabel>

#include <QSettings>

#include <QListWidget>

#include <QAction>
#include <QFontMetricsF>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QRadioButton>
#include <QSettings>
#include <QToolButton>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>

#include "core/AnalysisData.h"
#include "core/NumberText.h"
#include "link/Resets.h"
#include "measurements/RecordFile.h"
#include "platform/GbkText.h"
#include "platform/PrinterCanvas.h"
#include "platform/QtCanvas.h"
#include "shell/TAlarmForm.h"
#include "shell/TBaoLuoForm.h"
#include "shell/TInfoForm.h"
#include "shell/TPortForm.h"
#include "shell/TPrinterForm.h"
#include "shell/WindowRig.h"
#include "support/PdfWords.h"

namespace kt {
namespace {

using test::WaitFor;
using test::WindowRig;

TEST(MainWindow, StartsWithItsControlsAndNothingShown) {
  WindowRig rig({"none"});
  TKT5100Form& w = rig.w();
  EXPECT_EQ(w.windowTitle(), QString::fromUtf8("KT6100电子镇流器综合性能测试仪"));
  EXPECT_EQ(w.minimumSize(), QSize(640, 480));
  EXPECT_EQ(rig.f().ChineseMode, 1);
  EXPECT_EQ(rig.f().ShownKind, NoTest);
  EXPECT_FALSE(w.Timer1().isActive());
  EXPECT_EQ(test::ReadBytes(rig.folder.File("Port.cfg")), std::vector<std::uint8_t>({'C', 'O', 'M', '2', 0, 0}));
  const char* hints[] = {
      "输入性能测试",     "输出性能测试",     "综合性能测试",     "启动性能测试",   "相位角测试", "测试锁定",
      "输入性能单次测试", "输出性能单次测试", "综合性能单次测试", "相位角单次测试", "前一项",     "后一项",
      "中英文切换",       "窄、宽频选择",     "高频波动态分析",   "打印",           "退出"};
  const auto buttons = w.Panel1->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_EQ(buttons.size(), 17);
  for (int i = 0; i < 17; ++i) {
    EXPECT_EQ(buttons[i]->toolTip(), QString::fromUtf8(hints[i])) << i;
    EXPECT_EQ(buttons[i]->size(), QSize(24, 24));
    EXPECT_EQ(buttons[i]->isCheckable(), i == 5 || i == 12) << i;
  }
  EXPECT_EQ(w.Panel1->height(), 28);
  EXPECT_EQ(w.ProgressBar1->width(), 173);
  // The program's own four menus, then the production line's two after them.
  QStringList layout, added;
  for (QAction* top : w.menuBar()->actions()) {
    if (layout.size() == 4) {
      added << top->text();
      continue;
    }
    QStringList items;
    for (QAction* a : top->menu()->actions()) items << (a->isSeparator() ? "-" : a->text());
    layout << top->text() + ": " + items.join(", ");
  }
  EXPECT_EQ(layout.join("\n"), QString::fromUtf8("文件&F: 打开文件&O, 存盘&S, -, 打印&P, -, 退出&X\n"
                                                 "测试&T: 输入性能测试&I, 输出性能测试&O, -, 综合性能测试&W, -, "
                                                 "启动性能测试&S, -, 锁定&L, -, 相位角测试&C, -, 高频波分析&A\n"
                                                 "选择&C: 宽频选择&W, 中、英文选择&H, -, 串口选择&P, -, 前一项&B, "
                                                 "后一项&N\n信息&I: 输入信息&I"));
  EXPECT_EQ(added,
            QStringList({QString::fromUtf8("限值&L"), QString::fromUtf8("记录&R"), QString::fromUtf8("工位&S")}));
  // Qt's own dialogs speak the page's language.
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString::fromUtf8("取消"));
  w.HanZiClick();
  EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), QString("Cancel"));
  w.HanZiClick();
  // Every handshake fails without an instrument: the alarm and its retry.
  w.InputTestClick();
  ASSERT_TRUE(WaitFor([&] { return w.AlarmForm().isVisible(); }, 10000));
  EXPECT_TRUE(w.Timer1().isActive());
  EXPECT_EQ(w.StatusText(), QString::fromUtf8("输入性能测试：通讯联络！"));
}

// The status text at each paint of the page box.
struct PagePaints : QObject {
  explicit PagePaints(TKT5100Form& form) : w(form) { w.PaintBox1->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) at.push_back(w.StatusText());
    return false;
  }
  TKT5100Form& w;
  QStringList at;
};

TEST(MainWindow, EachCommandRunsItsKindWithItsLockAndRepetition) {
  struct Case {
    void (TKT5100Form::*command)();
    TestKind kind;
    bool continuous, lockDown;
    const char* prefix;
    QRgb background;
  } cases[] = {
      {&TKT5100Form::InputTestLockBtnClick, InputTest, false, true, "输入性能测试：", qRgb(255, 255, 255)},
      {&TKT5100Form::OutputTestClick, OutputTest, true, false, "输出性能测试：", qRgb(0, 0, 150)},
      {&TKT5100Form::CompTestLockBtnClick, CompTest, false, true, "综合性能测试：", qRgb(255, 255, 255)},
      {&TKT5100Form::StartTestComdClick, StartTest, false, true, "启动性能测试：", qRgb(0, 0, 150)},
      {&TKT5100Form::CurrentClick, PhaseTest, true, false, "相位角性能测试：", qRgb(255, 255, 255)},
      {&TKT5100Form::PhaseTestLockBtnClick, PhaseTest, false, true, "相位角性能测试：", qRgb(255, 255, 255)},
  };
  WindowRig rig;
  PagePaints paints(rig.w());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.prefix);
    const int before = rig.w().runs;
    paints.at.clear();
    (rig.w().*c.command)();
    EXPECT_EQ(rig.w().LockTestBtn->isChecked(), c.lockDown);
    ASSERT_TRUE(WaitFor([&] { return rig.w().runs >= before + (c.continuous ? 2 : 1) && !rig.f().TestBusy; }, 15000));
    EXPECT_EQ(rig.f().ShownKind, c.kind);
    EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8(c.prefix) + "100%");
    EXPECT_TRUE(WaitFor([&] { return rig.w().ProgressBar1->value() == 100; }, 5000));  // moved after the step
    // The new results reach the screen by themselves (rasterised off the
    // window thread), not only when something else asks for a paint.
    EXPECT_TRUE(WaitFor([&] { return paints.at.contains(QString::fromUtf8(c.prefix) + "100%"); }, 5000));
    if (c.continuous) {
      // A pause of 500 ms after each run, never less.
      const auto& ends = rig.w().runEnds;
      EXPECT_GE(std::chrono::duration_cast<std::chrono::milliseconds>(ends.back() - ends[ends.size() - 2]).count(),
                490);
      rig.w().LockTestClick();
      ASSERT_TRUE(WaitFor([&] { return !rig.f().TestBusy; }, 5000));
    }
    const int runs = rig.w().runs;
    WaitFor([] { return false; }, 700);
    EXPECT_EQ(rig.w().runs, runs) << "locked: no further run";
    EXPECT_EQ(rig.w().Timer1().isActive(), c.kind != StartTest) << "the start test never arms the timer";
    const QImage page = rig.w().PaintBox1->grab().toImage();
    EXPECT_EQ(page.pixel(page.width() - 2, page.height() - 2), c.background);
  }
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  EXPECT_TRUE(rig.dialogs.messages.empty());
}

TEST(Dialogs, TheInformationBoxesHoldTheirFieldsInGbkBytesAndCancelKeepsTheInformation) {
  WindowRig rig({"none"});
  TInfoForm& info = rig.w().InfoForm();
  info.show();
  QLineEdit* name = info.Box(TInfoForm::Name);
  name->setFocus();
  QTest::keyClicks(name, QString(33, 'n'));
  EXPECT_EQ(name->text(), QString(30, 'n')) << "30 bytes, and no more";
  name->clear();
  const QString fifteen = QString::fromUtf8("电子镇流器电子镇流器电子镇流器");
  for (QChar ch : fifteen + QString::fromUtf8("器")) name->insert(ch);
  EXPECT_EQ(name->text(), fifteen) << "15 Chinese characters fill 30 bytes";
  QTest::keyClicks(info.Box(TInfoForm::Temperature), "12345678901");
  info.OkBtnClick();
  EXPECT_EQ(rig.f().Info.Name, fifteen.toStdString());
  EXPECT_EQ(rig.f().Info.Temperature, "1234567890");
  info.show();
  EXPECT_EQ(name->text(), fifteen);
  name->setText("changed");
  info.CancelBtnClick();
  EXPECT_EQ(rig.f().Info.Name, fifteen.toStdString());
  info.show();
  EXPECT_EQ(name->text(), fifteen);
  info.hide();

  // The printer family: OK keeps the choice, cancel does not.
  TPrinterForm& p = rig.w().PrinterForm();
  for (const bool ok : {true, false}) {
    p.show();
    EXPECT_EQ(p.Family1()->isChecked(), !ok);
    (ok ? p.Family1() : p.Family0())->setChecked(true);
    ok ? p.OkBtnClick() : p.CancelBtnClick();
    EXPECT_EQ(rig.f().PrinterFamily, 1);
  }
}

// Every kind stored, reopened and printed in both languages through the
// window's commands; the report's words stand where the layout puts them.
TEST(MainWindow, EveryKindStoresReopensAndPrintsInBothLanguages) {
  struct Case {
    void (TKT5100Form::*command)();
    TestKind kind;
    const char* words;  // a text of the English report, its anchor and place
    test::Anchor anchor;
    int x, y;
  } cases[] = {
      {&TKT5100Form::InputTestLockBtnClick, InputTest, "Input Characteristic Test Report", test::Anchor::Centre, 14300,
       -2800},
      {&TKT5100Form::OutputTestLockBtnClick, OutputTest, "Lamp Voltage:", test::Anchor::Left, 16500, -5100},
      {&TKT5100Form::CompTestLockBtnClick, CompTest, "Name:", test::Anchor::Left, 3500, -3800},
      {&TKT5100Form::StartTestComdClick, StartTest, "Time for warm-up:", test::Anchor::Left, 16500, -10850},
      {&TKT5100Form::PhaseTestLockBtnClick, PhaseTest, "spectrum", test::Anchor::Centre, 4850, -13400},
  };
  WindowRig rig;
  rig.f().Info.Name = "Sample";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.words);
    const int before = rig.w().runs;
    (rig.w().*c.command)();
    ASSERT_TRUE(WaitFor([&] { return rig.w().runs > before && !rig.f().TestBusy; }, 15000));
    const RecordLayout& layout = *rig.f().Kinds[static_cast<std::size_t>(c.kind)].Record;
    const auto measured = BuildRecord(layout, rig.f());
    const std::string name = rig.folder.File("run" + std::to_string(c.kind));
    rig.dialogs.saveAnswers.push_back(QString::fromStdString(name));
    rig.dialogs.modalCount = 0;
    rig.w().StoreFileClick();
    EXPECT_EQ(rig.dialogs.modalCount, 1) << "the test information comes first";
    EXPECT_EQ(test::ReadBytes(name + ".dat"), measured);
    ClearResults(rig.f().M);
    rig.f().ShownKind = NoTest;
    rig.dialogs.openAnswers.push_back(QString::fromStdString(name + ".dat"));
    rig.w().OpenFileClick();
    EXPECT_EQ(rig.f().ShownKind, c.kind);
    EXPECT_EQ(BuildRecord(layout, rig.f()), measured);

    for (int chinese : {0, 1}) {
      rig.f().ChineseMode = chinese;
      const std::string pdf = name + (chinese ? "-zh.pdf" : "-en.pdf");
      rig.dialogs.pdfPath = QString::fromStdString(pdf);
      rig.dialogs.modalCount = 0;
      rig.w().PrintClick();
      // Only the English comprehensive report asks for the printer family.
      EXPECT_EQ(rig.dialogs.modalCount, c.kind == CompTest && !chinese ? 2 : 1);
      const auto words = test::PdfWords(pdf);
      ASSERT_FALSE(words.empty()) << pdf;
      if (!chinese) {
        EXPECT_TRUE(test::Placed(words, c.words, c.anchor, c.x, c.y));
      }
      EXPECT_TRUE(test::Placed(words, "Sample", test::Anchor::Left,
                               c.kind == InputTest || c.kind == PhaseTest ? 5000
                               : c.kind == OutputTest && !chinese         ? 5500
                                                                          : 5000,
                               c.kind == InputTest || c.kind == PhaseTest ? -4000 : -3800));
    }
  }
  EXPECT_TRUE(rig.dialogs.messages.empty());
  // Cancelling still locks; nothing shown prints an empty page.
  rig.f().TestLocked = 0;
  rig.f().ShownKind = NoTest;
  rig.w().OpenFileClick();
  EXPECT_EQ(rig.f().TestLocked, 1);
  rig.dialogs.pdfPath = QString::fromStdString(rig.folder.File("empty.pdf"));
  rig.w().PrintClick();
  EXPECT_TRUE(std::filesystem::exists(rig.folder.File("empty.pdf")));
  EXPECT_TRUE(test::PdfWords(rig.folder.File("empty.pdf")).empty());
}

TEST(MainWindow, ThePortDialogRewritesPortCfgAndMovesToTheOtherLine) {
  WindowRig rig;
  // A COM1 link whose device is gone names that port, and it cannot open.
  ASSERT_EQ(symlink("/dev/nonexistent-adapter", rig.folder.File("COM1").c_str()), 0);
  rig.w().ChangePort("COM1");
  EXPECT_TRUE(rig.Said("打开通讯口失败！"));
  EXPECT_EQ(test::ReadBytes(rig.folder.File("Port.cfg")), std::vector<std::uint8_t>({'C', 'O', 'M', '1', 0, 0}));
  sim::SimProcess com1(KT6100_SIM_PATH);
  ASSERT_EQ(com1.Start({"--link", rig.folder.File("COM1"), "--exit-with-parent"}), 0);
  rig.sim.Stop();  // the old line is gone: only COM1 can answer
  rig.w().ChangePort("COM1");
  rig.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().runs == 1 && !rig.f().TestBusy; }, 10000));
  EXPECT_GT(rig.f().M.Input.Urms, 200.0f);
}

// A device from the system's list is the port from then on, across a
// restart; gone, it is reported missing and listed greyed; COM2 again
// forgets it.
TEST(MainWindow, AChosenDeviceIsUsedKeptAndReportedMissingWhenGone) {
  const auto listed = [](TPortForm& dialog, const std::string& device) -> QListWidgetItem* {
    dialog.show();
    for (int i = 0; i < dialog.SystemPorts()->count(); ++i)
      if (dialog.SystemPorts()->item(i)->data(Qt::UserRole).toString().toStdString() == device)
        return dialog.SystemPorts()->item(i);
    return nullptr;
  };
  auto rig = std::make_unique<WindowRig>();
  // A name of its own for the line, gone with the rig's folder: a freed
  // pseudo-terminal number may be taken by another test's simulator.
  const std::string device = rig->folder.File("adapter");
  ASSERT_EQ(symlink(rig->sim.SlavePath().c_str(), device.c_str()), 0);
  rig->w().ChangeDevice(device);  // what the dialog's OK does with a chosen row
  rig->w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig->w().runs == 1 && !rig->f().TestBusy; }, 10000));
  auto* label = rig->w().findChild<QLabel*>("PortLabel");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->text(), QString::fromStdString("串口 " + device));
  QListWidgetItem* row = listed(rig->w().PortForm(), device);
  ASSERT_NE(row, nullptr);
  EXPECT_TRUE(row->isSelected());
  EXPECT_FALSE(rig->w().PortForm().Com2()->isChecked());
  rig->w().PortForm().hide();

  // Restarted with the instrument gone.
  rig.reset();
  WindowRig restarted({"none"});
  EXPECT_EQ(restarted.f().PortDevice, device);
  EXPECT_TRUE(restarted.Said("打开通讯口失败！"));
  auto* missing = restarted.w().findChild<QLabel*>("PortLabel");
  EXPECT_TRUE(missing->text().endsWith(QString::fromUtf8("（未连接）")));
  // Plugged in again: found by itself and used; pulled out: said at once.
  std::filesystem::create_directories(std::filesystem::path(device).parent_path());
  ASSERT_EQ(restarted.sim.Start({"--link", device, "--exit-with-parent"}), 0);
  ASSERT_TRUE(WaitFor([&] { return missing->text() == QString::fromStdString("串口 " + device); }, 5000));
  restarted.w().InputTestLockBtnClick();
  EXPECT_TRUE(WaitFor([&] { return restarted.w().runs == 1 && !restarted.f().TestBusy; }, 10000));
  restarted.sim.Stop();
  EXPECT_TRUE(WaitFor([&] { return missing->text().endsWith(QString::fromUtf8("（未连接）")); }, 5000));
  TPortForm& dialog = restarted.w().PortForm();
  row = listed(dialog, device);
  ASSERT_NE(row, nullptr);
  EXPECT_FALSE(row->flags() & Qt::ItemIsEnabled) << "greyed";
  dialog.Com2()->setChecked(true);
  dialog.OkBtnClick();
  EXPECT_TRUE(restarted.f().PortDevice.empty());
  EXPECT_FALSE(QSettings().contains("port/device"));
  EXPECT_TRUE(restarted.w().findChild<QLabel*>("PortLabel")->isHidden());
}

TEST(MainWindow, AnAnalysisIsTakenWhereTheOperatorClickedAndStoredPrintedAndClosed) {
  WindowRig rig;
  AnalysisData* data = nullptr;
  rig.dialogs.onModal = [&](QDialog& dialog) {
    dialog.show();
    if (auto* a = qobject_cast<TBaoLuoForm*>(&dialog)) {
      data = &a->Data();
      EXPECT_FALSE(a->GaoPinBtn->isEnabled()) << "an analysis needs an envelope first";
      QTest::mouseClick(a->BaoBtn, Qt::LeftButton);
      EXPECT_TRUE(WaitFor([&] { return a->Data().EnvelopeValid == 1 && rig.f().CommStep == 0; }, 10000));
      EXPECT_TRUE(a->GaoPinBtn->isEnabled());
      QTest::mouseClick(a->ilPaint, Qt::LeftButton, {}, QPoint(151, 50));
      EXPECT_EQ(a->Data().SelectX, 151);
      QTest::mouseClick(a->GaoPinBtn, Qt::LeftButton);
      EXPECT_TRUE(WaitFor([&] { return a->Data().Period[ChIl] > 0 && rig.f().CommStep == 0; }, 10000));
      EXPECT_EQ(a->ilrmsPanel->text().toStdString(), NumberText(a->Data().WaveRms[ChIl], 3));
      EXPECT_EQ(a->IlrmsHead->text(), QString::fromUtf8("灯电流--Il"));
      a->HanYingClick();
      EXPECT_EQ(a->IlrmsHead->text(), QString("RMS--Il"));
      rig.dialogs.saveAnswers.push_back(QString::fromStdString(rig.folder.File("wave")));
      a->SaveClick();
      rig.dialogs.pdfPath = QString::fromStdString(rig.folder.File("wave.pdf"));
      a->PrintClick();
      a->ExitClick();
    }
    return static_cast<int>(QDialog::Rejected);
  };
  rig.w().BaoAnaClick();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(test::ReadBytes(rig.folder.File("wave.bdt")).size(), 13107u);
  // Opened by the name it was stored under, without its extension.
  rig.dialogs.openAnswers.push_back(QString::fromStdString(rig.folder.File("wave")));
  rig.dialogs.onModal = [&](QDialog& dialog) {
    if (auto* a = qobject_cast<TBaoLuoForm*>(&dialog)) {
      a->show();
      a->OpenClick();
      EXPECT_GT(a->Data().Period[ChIl], 0);
      a->ExitClick();
    }
    return static_cast<int>(QDialog::Rejected);
  };
  rig.w().BaoAnaClick();
  EXPECT_TRUE(rig.dialogs.openAnswers.empty());
  EXPECT_TRUE(rig.dialogs.messages.empty());
  EXPECT_TRUE(test::Placed(test::PdfWords(rig.folder.File("wave.pdf")), "Hight Frequency Analysis Report",
                           test::Anchor::Centre, 14300, -2800));
  EXPECT_EQ(rig.f().ShownKind, OutputTest) << "closing the window shows the output page";
  EXPECT_EQ(rig.f().SelectedKind, NoTest);
}

// The layouts give font heights as cell heights (ascent plus descent), on
// the screen and on paper; and a line of no length draws nothing, a wide
// printer pen included.
TEST(Canvases, FontsHaveTheCellHeightOfTheLayoutAndEmptyLinesDrawNoDot) {
  for (const char* face : {"Times New Roman", "宋体", "MS Sans Serif"}) {
    for (double cell : {14.0, 20.0, 94.5}) {
      QFont f(QString::fromUtf8(face));
      f.setPixelSize(CellPixelSize(QString::fromUtf8(face), cell));
      const QFontMetricsF fm(f);
      EXPECT_NEAR(fm.ascent() + fm.descent(), cell, 0.06 * cell + 0.5) << face << " " << cell;
    }
  }
  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    PrinterCanvas canvas(painter, 300.0);
    canvas.SetPen(clBlack, 100, PenStyle::Solid);
    canvas.MoveTo(1000, -1000);
    canvas.LineTo(1000, -1000);
  }
  EXPECT_EQ(image.pixel(118, 118), qRgb(255, 255, 255));
  EXPECT_EQ(image.pixel(117, 117), qRgb(255, 255, 255));
}

// The screen canvas fills a solid one-pixel line along an axis as a
// rectangle: the pixels must be the line's, either way round, clipped or not.
TEST(ScreenCanvas, AnAxisLineIsFilledWithTheLinesOwnPixels) {
  std::mt19937 random(7);
  for (int i = 0; i < 2000; ++i) {
    const int x1 = int(random() % 80) - 8, y1 = int(random() % 80) - 8, to = int(random() % 80) - 8;
    const int x2 = i % 2 ? x1 : to, y2 = i % 2 ? to : y1;
    if (x1 == x2 && y1 == y2) continue;  // the canvas draws nothing there, on purpose
    QImage line(64, 64, QImage::Format_RGB32), canvas(64, 64, QImage::Format_RGB32);
    line.fill(Qt::white);
    canvas.fill(Qt::white);
    {
      QPainter p(&line);
      QPen pen(Qt::red, 1);
      pen.setCapStyle(Qt::FlatCap);
      p.setPen(pen);
      if (i % 3 == 0) p.setClipRect(QRect(QPoint(9, 11), QPoint(41, 38)));
      p.drawLine(x1, y1, x2, y2);
    }
    QPainter p(&canvas);
    QtCanvas c(p);
    c.SetPen(clRed, 1, PenStyle::Solid);
    if (i % 3 == 0) c.SetClip(10, 12, 40, 37);
    c.MoveTo(x1, y1);
    c.LineTo(x2, y2);
    p.end();
    ASSERT_TRUE(line == canvas) << x1 << "," << y1 << " to " << x2 << "," << y2;
  }
}

}  // namespace
}  // namespace kt
