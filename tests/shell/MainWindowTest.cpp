// The main window driven through its own handlers against the simulated
// instrument over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QRadioButton>
#include <QToolButton>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <fstream>

#include "shell/TAlarmForm.h"
#include "shell/TPortForm.h"
#include "shell/WindowRig.h"

namespace kt {
namespace {

using namespace std::chrono;
using test::CpuSeconds;
using test::WaitFor;
using test::WindowRig;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

TEST(MainWindow, StartsWithItsControlsAndSendsNothingUntilATestCommand) {
  test::WorkFolder folder;
  int master = -1, slave = -1;
  char name[256];
  ASSERT_EQ(openpty(&master, &slave, name, nullptr, nullptr), 0);
  symlink(name, folder.File("COM2").c_str());
  ScriptedDialogs dialogs;
  TermiosPort port;
  SystemClock clock;
  {
    TKT5100Form w({dialogs, port, clock});
    w.show();
    EXPECT_EQ(w.windowTitle(), QString::fromUtf8("KT6100电子镇流器综合性能测试仪"));
    EXPECT_EQ(w.minimumSize(), QSize(640, 480));
    EXPECT_EQ(w.form().ChineseMode, 1);
    EXPECT_EQ(w.form().ShownKind, NoTest);
    EXPECT_STREQ(w.form().PortName, "COM2");
    EXPECT_EQ(ReadFile(folder.File("Port.cfg")), std::string("COM2\0\0", 6)) << "a missing Port.cfg is created";
    EXPECT_TRUE(dialogs.messages.empty());
    EXPECT_TRUE(port.IsOpen());

    // Tool buttons in order, with their hints.
    const char* hints[] = {"输入性能测试", "输出性能测试", "综合性能测试", "启动性能测试", "相位角测试",
                           "测试锁定", "输入性能单次测试", "输出性能单次测试", "综合性能单次测试",
                           "相位角单次测试", "前一项", "后一项", "中英文切换", "窄、宽频选择",
                           "高频波动态分析", "打印", "退出"};
    const auto buttons = w.Panel1->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_EQ(buttons.size(), 17);
    for (int i = 0; i < 17; ++i) {
      EXPECT_EQ(buttons[i]->toolTip(), QString::fromUtf8(hints[i])) << i;
      EXPECT_EQ(buttons[i]->size(), QSize(24, 24));
      EXPECT_TRUE(buttons[i]->autoRaise());
      if (i > 0) {
        EXPECT_LT(buttons[i - 1]->x(), buttons[i]->x());
      }
    }
    EXPECT_TRUE(w.LockTestBtn->isCheckable());
    EXPECT_TRUE(w.HanZiBtn->isCheckable());
    EXPECT_FALSE(w.WideFreqBtn->isCheckable());
    EXPECT_EQ(w.Panel1->height(), 28);
    EXPECT_EQ(w.ProgressBar1->width(), 173);
    EXPECT_EQ(w.ProgressBar1->maximum(), 100);
    // Anchored right: resizing keeps its distance to the right edge.
    QCoreApplication::processEvents();
    const int gap = w.Panel1->width() - w.ProgressBar1->geometry().right();
    w.resize(w.width() + 200, w.height());
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Panel1->width() - w.ProgressBar1->geometry().right(), gap);

    // Menus with their separators.
    QStringList layout;
    for (QAction* top : w.menuBar()->actions()) {
      QStringList items;
      for (QAction* a : top->menu()->actions()) items << (a->isSeparator() ? "-" : a->text());
      layout << top->text() + ": " + items.join(", ");
    }
    EXPECT_EQ(layout.join("\n"), QString::fromUtf8(
                                     "文件&F: 打开文件&O, 存盘&S, -, 打印&P, -, 退出&X\n"
                                     "测试&T: 输入性能测试&I, 输出性能测试&O, -, 综合性能测试&W, -, 启动性能测试&S, -, "
                                     "锁定&L, -, 相位角测试&C, -, 高频波分析&A\n"
                                     "选择&C: 宽频选择&W, 中、英文选择&H, -, 串口选择&P, -, 前一项&B, 后一项&N\n"
                                     "信息&I: 输入信息&I"));

    test::WaitFor([] { return false; }, 300);
    char buf[16];
    fcntl(master, F_SETFL, O_NONBLOCK);
    EXPECT_EQ(read(master, buf, sizeof buf), -1) << "nothing is sent before the first test command";
  }
  close(master);
  close(slave);
}

TEST(MainWindow, AContinuousTestRepeatsEvery500MsUntilLocked) {
  WindowRig rig;
  rig.w().InputTestClick();
  EXPECT_EQ(rig.f().TestLocked, 0);
  EXPECT_FALSE(rig.w().LockTestBtn->isChecked());
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() >= 3; }, 5000));
  EXPECT_EQ(rig.f().ShownKind, InputTest);
  for (int i = 1; i < 3; ++i) {
    const auto gap = duration_cast<milliseconds>(rig.w().runEnds[i] - rig.w().runEnds[i - 1]).count();
    EXPECT_GE(gap, 490) << "a 500 ms pause after each run";
    EXPECT_LT(gap, 900);
  }
  EXPECT_EQ(rig.w().statuses.front(), "输入性能测试：通讯联络！");
  EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("输入性能测试：100%"));

  rig.w().LockTestBtn->click();  // lock: the current run finishes, then nothing
  EXPECT_EQ(rig.f().TestLocked, 1);
  ASSERT_TRUE(WaitFor([&] { return !rig.f().TestBusy; }, 3000));
  const int runs = rig.w().Runs();
  WaitFor([] { return false; }, 1100);
  EXPECT_EQ(rig.w().Runs(), runs);
  EXPECT_TRUE(rig.w().Timer1().isActive()) << "the timer keeps ticking while locked";

  rig.w().LockTestBtn->click();  // release: the next run within 500 ms
  const auto released = steady_clock::now();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() > runs; }, 2000));
  EXPECT_LT(duration_cast<milliseconds>(rig.w().runEnds.back() - released).count(), 700);
}

TEST(MainWindow, ASingleCommandDuringAContinuousTestOnlyLocks) {
  WindowRig rig({"--delay-block", "3", "--delay-ms", "400"});
  rig.w().OutputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.f().TestBusy && rig.f().CommStep == 3; }, 3000));
  rig.w().InputTestLockBtnClick();
  EXPECT_EQ(rig.f().SelectedKind, InputTest);
  EXPECT_EQ(rig.f().TestLocked, 1);
  EXPECT_TRUE(rig.w().LockTestBtn->isChecked());
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1; }, 3000));
  EXPECT_EQ(rig.w().statuses.back(), "输出性能测试：100%") << "the running output test finishes";
  WaitFor([] { return false; }, 1100);
  EXPECT_EQ(rig.w().Runs(), 1) << "no input run follows while the lock holds";
  EXPECT_EQ(rig.f().ShownKind, OutputTest);

  rig.w().LockTestClick();  // released from the menu: the input test starts
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 2; }, 3000));
  EXPECT_EQ(rig.f().ShownKind, InputTest);
}

TEST(MainWindow, TheStartTestShowsTheLockPressedRunsOnceAndLocks) {
  WindowRig rig;
  rig.w().StartTestComdClick();
  EXPECT_TRUE(rig.w().LockTestBtn->isChecked());
  EXPECT_EQ(rig.f().TestLocked, 0);
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1; }, 5000));
  EXPECT_EQ(rig.f().TestLocked, 1);
  EXPECT_EQ(rig.f().TestBusy, 0);
  EXPECT_FALSE(rig.w().Timer1().isActive());
  EXPECT_EQ(rig.f().ShownKind, StartTest);
}

TEST(MainWindow, BackAndNextWrapAndAreIgnoredDuringARun) {
  WindowRig rig({"--no-blocks"});
  rig.w().BackBtn->click();
  EXPECT_EQ(rig.f().ShownKind, PhaseTest);
  rig.w().NextBtn->click();
  EXPECT_EQ(rig.f().ShownKind, InputTest);
  rig.w().BackBtn->click();
  EXPECT_EQ(rig.f().ShownKind, PhaseTest);
  rig.f().ShownKind = BaoTest;  // a kind the browsing does not cover
  rig.w().NextBtn->click();
  EXPECT_EQ(rig.f().ShownKind, InputTest);

  rig.w().StartTestComdClick();  // a run that waits forever
  ASSERT_TRUE(WaitFor([&] { return rig.f().TestBusy == 1 && rig.f().CommStep == 1; }, 3000));
  rig.w().NextBtn->click();
  rig.w().BackBtn->click();
  EXPECT_EQ(rig.f().ShownKind, StartTest);
}

TEST(MainWindow, ClosingDuringARunThatNeverEndsTakesFourSeconds) {
  WindowRig rig({"--no-blocks"});
  rig.w().StartTestComdClick();
  ASSERT_TRUE(WaitFor([&] { return rig.f().TestBusy == 1 && rig.f().CommStep == 1; }, 3000));
  const auto asked = steady_clock::now();
  rig.w().ExitClick();
  EXPECT_EQ(rig.f().ExitPending, 1);
  EXPECT_TRUE(rig.w().isVisible());
  rig.w().close();  // the window's own close is held too
  EXPECT_TRUE(rig.w().isVisible());
  ASSERT_TRUE(WaitFor([&] { return !rig.w().isVisible(); }, 6000));
  const auto took = duration_cast<milliseconds>(steady_clock::now() - asked).count();
  EXPECT_GE(took, 3900);
  EXPECT_LT(took, 5000);
  EXPECT_FALSE(rig.port.IsOpen()) << "the port is closed with the window";
}

TEST(MainWindow, AHeldCloseHappensWhenTheRunEnds) {
  WindowRig rig({"--delay-block", "2", "--delay-ms", "600"});
  rig.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.f().TestBusy == 1 && rig.f().CommStep == 2; }, 3000));
  const auto asked = steady_clock::now();
  rig.w().close();
  EXPECT_TRUE(rig.w().isVisible());
  ASSERT_TRUE(WaitFor([&] { return !rig.w().isVisible(); }, 5000));
  EXPECT_LT(duration_cast<milliseconds>(steady_clock::now() - asked).count(), 2000);
  EXPECT_EQ(rig.w().Runs(), 1);
}

TEST(MainWindow, WithoutAPortTheWindowOpensAndEveryHandshakeFails) {
  WindowRig rig({"none"});
  ASSERT_EQ(rig.dialogs.messages.size(), 1u);
  EXPECT_EQ(rig.dialogs.messages[0], std::make_pair(std::string("打开通讯口失败！"), std::string("警告！")));
  EXPECT_TRUE(rig.w().isVisible());

  rig.w().InputTestLockBtnClick();  // locked: a message
  ASSERT_TRUE(WaitFor([&] { return rig.dialogs.messages.size() == 2; }, 4000));
  EXPECT_EQ(rig.dialogs.messages[1], std::make_pair(std::string("通讯联络失败！"), std::string("警告！")));
  EXPECT_EQ(rig.f().TestBusy, 0);
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());

  rig.w().InputTestClick();  // continuous: the alarm and a retry
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 4000));
  EXPECT_TRUE(rig.w().Timer1().isActive());
  EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("输入性能测试：通讯联络！"));
  EXPECT_EQ(rig.dialogs.messages.size(), 2u);
}

TEST(MainWindow, AnEchoingLineRaisesTheAlarmAndRetries) {
  WindowRig rig({"--echo"});
  rig.w().OutputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 3000));
  EXPECT_TRUE(rig.w().Timer1().isActive());
  const auto shown = rig.w().statuses.size();
  ASSERT_TRUE(WaitFor([&] { return rig.w().statuses.size() > shown; }, 2000)) << "Timer1 retries";
  EXPECT_EQ(rig.w().Runs(), 0);
}

TEST(MainWindow, ALateBlockEndsTheRunAndTheTimerRetries) {
  WindowRig rig({"--delay-block", "2", "--delay-ms", "2400"});
  rig.w().InputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 5000));
  EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("性能测试：通讯联络！"));
  EXPECT_EQ(rig.w().ProgressPosition(), 0);
  EXPECT_EQ(rig.f().TestBusy, 0);
  EXPECT_EQ(rig.f().CommStep, 0);
  EXPECT_EQ(rig.w().Runs(), 0);
  // The retry starts again from the handshake.
  const auto before = rig.w().statuses.size();
  ASSERT_TRUE(WaitFor([&] { return rig.w().statuses.size() > before; }, 2000));
  EXPECT_EQ(rig.w().statuses[before], "输入性能测试：通讯联络！");
}

TEST(MainWindow, ABlockWellWithinTheDeadlineArrivesInPiecesAndIsTaken) {
  WindowRig rig({"--delay-block", "2", "--delay-ms", "1500", "--split", "7", "--split-gap-ms", "1"});
  rig.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1; }, 6000));
  EXPECT_FALSE(rig.w().AlarmForm().isVisible());
  EXPECT_EQ(rig.f().TestBusy, 0);
}

TEST(MainWindow, AnInstrumentThatVanishesMidBlockFailsTheRunWithoutSpinning) {
  WindowRig rig({"--vanish-at-block", "2"});
  rig.w().InputTestClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().AlarmForm().isVisible(); }, 5000));
  EXPECT_EQ(rig.w().StatusText(), QString::fromUtf8("性能测试：通讯联络！"));
  // From now on every retry's handshake waits out its 2000 ms asleep.
  const double cpu0 = CpuSeconds();
  WaitFor([] { return false; }, 1500);
  EXPECT_LT(CpuSeconds() - cpu0, 0.3);
  EXPECT_TRUE(rig.w().isVisible());
}

TEST(MainWindow, ThePortDialogRewritesTheConfigurationAndMovesToTheOtherLine) {
  WindowRig rig;
  sim::SimProcess second{KT6100_SIM_PATH};
  ASSERT_EQ(second.Start({"--link", rig.folder.File("COM1"), "--exit-with-parent"}), 0);
  TPortForm& dialog = rig.w().PortForm();
  dialog.FormShow();
  EXPECT_TRUE(dialog.Com2()->isChecked());
  dialog.Com1()->setChecked(true);
  dialog.OkBtnClick();
  EXPECT_STREQ(rig.f().PortName, "COM1");
  EXPECT_EQ(ReadFile(rig.folder.File("Port.cfg")).substr(0, 5), std::string("COM1\0", 5));
  rig.sim.Stop();  // the old line is gone: only COM1 can answer now
  rig.w().InputTestLockBtnClick();
  ASSERT_TRUE(WaitFor([&] { return rig.w().Runs() == 1; }, 4000));

  // A failed reopen is reported and leaves the port closed.
  std::remove(rig.folder.File("COM2").c_str());
  symlink("/nonexistent/tty", rig.folder.File("COM2").c_str());
  dialog.FormShow();
  EXPECT_TRUE(dialog.Com1()->isChecked());
  dialog.Com2()->setChecked(true);
  dialog.OkBtnClick();
  ASSERT_FALSE(rig.dialogs.messages.empty());
  EXPECT_EQ(rig.dialogs.messages.back().first, "打开通讯口失败！");
  EXPECT_FALSE(rig.port.IsOpen());
  second.Stop();
}

TEST(MainWindow, AnIdleWindowCostsAlmostNoCpu) {
  WindowRig rig;
  WaitFor([] { return false; }, 200);
  const double cpu0 = CpuSeconds();
  const auto t0 = steady_clock::now();
  // Sleep in the event loop the way the program does between commands.
  QTest::qWait(2000);
  const double seconds = duration<double>(steady_clock::now() - t0).count();
  EXPECT_LT((CpuSeconds() - cpu0) / seconds, 0.02);
}

}  // namespace
}  // namespace kt
